#include "chart/RtLegend.h"

#include <algorithm>

#include "chart/RtCustomGraph.h"

namespace karvo {

TRtLegend::~TRtLegend() { SetGraph(nullptr); }

void TRtLegend::SetGraph(TRtCustomGraph* graph) {
  if (graph == graph_) return;
  if (graph_) graph_->RemoveLegend(this);
  graph_ = graph;
  if (graph_) graph_->AddLegend(this);
  RebuildItems();
}

void TRtLegend::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (graph_) graph_->RequestRedraw();
}

void TRtLegend::RebuildItems() {
  items_.clear();
  if (!graph_) return;
  const auto& series = graph_->Series();
  for (const std::string& name : ItemsOrderList) {
    for (TRtSeries* s : series) {
      if (s->Name() == name && s->IncludeInLegend() && std::find(items_.begin(), items_.end(), s) == items_.end()) {
        items_.push_back(s);
        break;
      }
    }
  }
  for (TRtSeries* s : series) {
    if (s->IncludeInLegend() && s->IsShown() && std::find(items_.begin(), items_.end(), s) == items_.end())
      items_.push_back(s);
  }
  graph_->RequestRedraw();
}

void TRtLegend::MoveBy(double dx, double dy) {
  if (Position != TRtLegendPosition::FreeFloating) return;
  Left += dx;
  Top += dy;
  if (graph_) graph_->RequestRedraw();
}

}  // namespace karvo
