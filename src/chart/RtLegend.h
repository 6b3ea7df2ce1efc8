#pragma once
// The chart's legend: a framed box listing one item per series.

#include <string>
#include <vector>

#include "chart/RtSeries.h"

namespace karvo {

enum class TRtLegendPosition { FreeFloating, Left, Right, Top, Bottom };
enum class TRtLegendItemsOrder { ByColumn, ByRow };

class TRtLegend {
 public:
  TRtLegend() = default;
  ~TRtLegend();
  TRtLegend(const TRtLegend&) = delete;
  TRtLegend& operator=(const TRtLegend&) = delete;

  TRtCustomGraph* Graph() const { return graph_; }
  // Puts the legend on a graph (nullptr takes it off).
  void SetGraph(TRtCustomGraph* graph);

  TRtLegendPosition Position = TRtLegendPosition::FreeFloating;
  // Series names whose items come first, in this order.
  std::vector<std::string> ItemsOrderList;
  int Rows = 1;
  int Columns = 1;
  TRtLegendItemsOrder ItemsOrder = TRtLegendItemsOrder::ByColumn;
  double ItemWidth = 80.0;
  bool AutoSize = true;
  TRtColor FrameColor = 0xFF646464;
  double FrameWidth = 1.0;
  TRtColor BackColor = 0xFFFFFFFF;
  bool CaptionVisible = false;
  std::string Caption;
  // Place and size in pixels, relative to the graph's drawing origin.
  double Left = 0, Top = 0, Width = 100, Height = 30;

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);

  // The series listed: first those named in ItemsOrderList (that belong to
  // the graph and are included in legends), then every other included and
  // shown series in drawing order.
  const std::vector<TRtSeries*>& Items() const { return items_; }
  void RebuildItems();

  // Moves the box by a drag of (dx, dy) pixels (free-floating only).
  void MoveBy(double dx, double dy);

 private:
  TRtCustomGraph* graph_ = nullptr;
  bool visible_ = true;
  std::vector<TRtSeries*> items_;
};

}  // namespace karvo
