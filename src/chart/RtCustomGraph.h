#pragma once
// The graph's model: its series (in drawing order), axes and legends, the
// update bracket and the recalculation that precedes every redraw. The Qt
// widget TRtGraph2D paints it.

#include <cstdint>
#include <functional>
#include <vector>

#include "chart/RtSeries.h"

namespace karvo {

class TRtAxis;
class TRtLegend;

enum class TRtSmoothingMode { None, HighQuality };

struct TRtZoom {
  bool Auto = true;  // zooming and panning with the mouse
  bool VScrollbarVisible = false;
  bool HScrollbarVisible = false;
};

class TRtCustomGraph {
 public:
  TRtCustomGraph() = default;
  virtual ~TRtCustomGraph();
  TRtCustomGraph(const TRtCustomGraph&) = delete;
  TRtCustomGraph& operator=(const TRtCustomGraph&) = delete;

  std::uint32_t BackColor = 0xFFFFFF;      // RGB
  std::uint32_t DataAreaColor = 0xFFFFFF;  // RGB
  bool DataAreaFrameVisible = true;
  bool CaptionVisible = true;
  bool XGridVisible = true, YGridVisible = true, X2GridVisible = true, Y2GridVisible = true;
  TRtSmoothingMode SmoothingMode = TRtSmoothingMode::HighQuality;
  TRtZoom Zoom;
  TRtAxis* PrimaryXAxis = nullptr;
  TRtAxis* PrimaryYAxis = nullptr;

  // Series, kept sorted by Layer and renumbered 0, 1, 2 ...
  void AddSeries(TRtSeries* series);
  void RemoveSeries(TRtSeries* series);
  const std::vector<TRtSeries*>& Series() const { return series_; }
  void SortLayers();
  bool HasOtherSeriesOn(const TRtAxis* axis, const TRtSeries* except) const;

  void AddAxis(TRtAxis* axis);
  void RemoveAxis(TRtAxis* axis);
  const std::vector<TRtAxis*>& Axes() const { return axes_; }

  const std::vector<TRtLegend*>& Legends() const { return legends_; }
  void RebuildLegends();

  // The update bracket: while the counter is above 0, redraws are deferred;
  // EndUpdate back to 0 redraws once if anything asked for it.
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }
  bool RedrawPending() const { return pending_; }

  // Something changed that needs a redraw.
  void RequestRedraw();
  // What a redraw request does (the widget schedules a repaint).
  void SetRedrawHandler(std::function<void()> handler) { redraw_ = std::move(handler); }

  // Before each redraw: series with AutoUpdate that are shown catch up with
  // their vectors, then every axis recomputes its range.
  void Recalculate();

  // The graph is never zoomed in by this program.
  bool IsZoomed() const { return false; }

 private:
  friend class TRtLegend;
  void AddLegend(TRtLegend* legend);
  void RemoveLegend(TRtLegend* legend);

  std::vector<TRtSeries*> series_;
  std::vector<TRtAxis*> axes_;
  std::vector<TRtLegend*> legends_;
  int updateCount_ = 0;
  bool pending_ = false;
  bool rebuildingLegends_ = false;
  std::function<void()> redraw_;
};

}  // namespace karvo
