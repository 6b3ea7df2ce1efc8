#include "chart/RtCustomGraph.h"

#include <algorithm>

#include "chart/RtAxis.h"
#include "chart/RtLegend.h"

namespace karvo {

TRtCustomGraph::~TRtCustomGraph() {
  for (TRtSeries* s : series_) s->AttachGraph(nullptr);
  for (TRtAxis* a : axes_) a->AttachGraph(nullptr);
  const auto legends = legends_;
  for (TRtLegend* l : legends) l->SetGraph(nullptr);
}

void TRtCustomGraph::AddSeries(TRtSeries* series) {
  if (std::find(series_.begin(), series_.end(), series) != series_.end()) return;
  if (series->Graph() && series->Graph() != this) series->Graph()->RemoveSeries(series);
  series_.push_back(series);
  series->AttachGraph(this);
  SortLayers();
  series->FlagAxes();
  RebuildLegends();
  RequestRedraw();
}

void TRtCustomGraph::RemoveSeries(TRtSeries* series) {
  const auto it = std::find(series_.begin(), series_.end(), series);
  if (it == series_.end()) return;
  series_.erase(it);
  series->FlagAxes();
  series->AttachGraph(nullptr);
  RebuildLegends();
  RequestRedraw();
}

void TRtCustomGraph::SortLayers() {
  std::stable_sort(series_.begin(), series_.end(),
                   [](const TRtSeries* a, const TRtSeries* b) { return a->layer_ < b->layer_; });
}

bool TRtCustomGraph::HasOtherSeriesOn(const TRtAxis* axis, const TRtSeries* except) const {
  for (const TRtSeries* s : series_)
    if (s != except && (s->XAxis() == axis || s->YAxis() == axis)) return true;
  return false;
}

void TRtCustomGraph::AddAxis(TRtAxis* axis) {
  if (std::find(axes_.begin(), axes_.end(), axis) != axes_.end()) return;
  if (axis->graph_ && axis->graph_ != this) axis->graph_->RemoveAxis(axis);
  axes_.push_back(axis);
  axis->AttachGraph(this);
  axis->FlagRecompute();
  RequestRedraw();
}

void TRtCustomGraph::RemoveAxis(TRtAxis* axis) {
  const auto it = std::find(axes_.begin(), axes_.end(), axis);
  if (it == axes_.end()) return;
  axes_.erase(it);
  for (TRtSeries* s : series_) s->DetachAxis(axis);
  if (PrimaryXAxis == axis) PrimaryXAxis = nullptr;
  if (PrimaryYAxis == axis) PrimaryYAxis = nullptr;
  axis->AttachGraph(nullptr);
  RequestRedraw();
}

void TRtCustomGraph::AddLegend(TRtLegend* legend) {
  if (std::find(legends_.begin(), legends_.end(), legend) == legends_.end()) legends_.push_back(legend);
  RequestRedraw();
}

void TRtCustomGraph::RemoveLegend(TRtLegend* legend) {
  legends_.erase(std::remove(legends_.begin(), legends_.end(), legend), legends_.end());
  RequestRedraw();
}

void TRtCustomGraph::RebuildLegends() {
  if (rebuildingLegends_) return;
  rebuildingLegends_ = true;
  for (TRtLegend* l : legends_) l->RebuildItems();
  rebuildingLegends_ = false;
}

void TRtCustomGraph::EndUpdate() {
  if (updateCount_ > 0) --updateCount_;
  if (updateCount_ == 0 && pending_) {
    pending_ = false;
    if (redraw_) redraw_();
  }
}

void TRtCustomGraph::RequestRedraw() {
  if (updateCount_ > 0) {
    pending_ = true;
    return;
  }
  if (redraw_) redraw_();
}

void TRtCustomGraph::Recalculate() {
  for (TRtSeries* s : series_)
    if (s->AutoUpdate() && s->IsShown()) s->Recalculate();
  for (TRtAxis* a : axes_) a->RecomputeRange();
}

}  // namespace karvo
