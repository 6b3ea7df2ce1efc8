#include "chart/RtSeries.h"

#include <algorithm>
#include <cmath>

#include "chart/RtAxis.h"
#include "chart/RtCustomGraph.h"
#include "chart/RtVectors.h"

namespace karvo {

TRtSeries::TRtSeries(std::string name) : name_(std::move(name)) {}

TRtSeries::~TRtSeries() {
  if (xData_) xData_->RemoveRelated(this);
  if (yData_ && yData_ != xData_) yData_->RemoveRelated(this);
  if (graph_) graph_->RemoveSeries(this);
}

void TRtSeries::SetCaption(std::string_view text) {
  if (text == caption_) return;
  std::size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  caption_ = std::string(text.substr(i));
  RebuildLegend();
}

void TRtSeries::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  FlagAxes();
  RequestRedraw();
  RebuildLegend();
}

void TRtSeries::SetIncludeInLegend(bool include) {
  if (include == includeInLegend_) return;
  includeInLegend_ = include;
  RebuildLegend();
}

void TRtSeries::SetXAxis(TRtAxis* axis) {
  if (axis == xAxis_) return;
  FlagAxes();
  xAxis_ = axis;
  FlagAxes();
  RequestRedraw();
}

void TRtSeries::SetYAxis(TRtAxis* axis) {
  if (axis == yAxis_) return;
  FlagAxes();
  yAxis_ = axis;
  FlagAxes();
  RequestRedraw();
}

void TRtSeries::SetXData(const TRtDoubleVector* vector) {
  if (vector == xData_) return;
  if (xData_ && xData_ != yData_) xData_->RemoveRelated(this);
  xData_ = vector;
  if (xData_) xData_->AddRelated(this);
  ForgetPoints();
}

void TRtSeries::SetYData(const TRtDoubleVector* vector) {
  if (vector == yData_) return;
  if (yData_ && yData_ != xData_) yData_->RemoveRelated(this);
  yData_ = vector;
  if (yData_) yData_->AddRelated(this);
  ForgetPoints();
}

void TRtSeries::Changed() {
  FlagAxes();
  RequestRedraw();
  RebuildLegend();
}

void TRtSeries::SetLayer(int layer) {
  if (layer == layer_) return;
  layer_ = layer;
  if (graph_) graph_->SortLayers();
  RequestRedraw();
}

int TRtSeries::Layer() const {
  if (!graph_) return layer_;
  const auto& all = graph_->Series();
  return static_cast<int>(std::find(all.begin(), all.end(), this) - all.begin());
}

bool TRtSeries::IsShown() const { return visible_ && (Line.Visible || Area.Visible || PointSymbol.Visible); }

void TRtSeries::Recalculate() {
  if (!xData_ || !yData_) return;
  if (xData_->Count() <= pointCount_ && yData_->Count() <= pointCount_ && scanned_ == pointCount_) return;
  const int n = std::min(xData_->Count(), yData_->Count());
  pointCount_ = n;
  const int minimum = PointSymbol.Visible ? 1 : 2;
  const TRtRange oldX = XRange(), oldY = YRange();
  if (n < minimum) {
    drawable_ = false;
  } else {
    if (scanned_ > n || scanned_ == 0) {
      scanned_ = 0;
      xMin_ = yMin_ = kRtMaxDouble;
      xMax_ = yMax_ = -kRtMaxDouble;
      xNewest_ = kNoValue;
    }
    // Extremes of the first n values: only the values beyond what was
    // already scanned are read (the vectors only grow until cleared).
    const TRtDoubleVector& xs = *xData_;
    const TRtDoubleVector& ys = *yData_;
    for (int i = scanned_; i < n; ++i) {
      const double x = xs[i], y = ys[i];
      if (!std::isfinite(x) || !std::isfinite(y)) continue;
      xNewest_ = x;
      if (x < xMin_) xMin_ = x;
      if (x > xMax_) xMax_ = x;
      if (y < yMin_) yMin_ = y;
      if (y > yMax_) yMax_ = y;
    }
    scanned_ = n;
    xRange_ = {xMin_ <= xMax_, xMin_, xMax_};
    yRange_ = {yMin_ <= yMax_, yMin_, yMax_};
    drawable_ = true;
  }
  if (!(oldX == XRange()) && xAxis_) xAxis_->FlagRecompute();
  if (!(oldY == YRange()) && yAxis_) yAxis_->FlagRecompute();
}

void TRtSeries::VectorAppended(const TRtDoubleVector* /*vector*/) { RequestRedraw(); }

void TRtSeries::VectorCleared(const TRtDoubleVector* /*vector*/) {
  ForgetPoints();
  FlagAxes();
  RequestRedraw();
}

void TRtSeries::ForgetPoints() {
  pointCount_ = 0;
  scanned_ = 0;
  xNewest_ = kNoValue;
  drawable_ = false;
  xRange_ = {};
  yRange_ = {};
  FlagAxes();
  RequestRedraw();
}

void TRtSeries::DetachVector(const TRtDoubleVector* vector) {
  if (xData_ == vector) xData_ = nullptr;
  if (yData_ == vector) yData_ = nullptr;
  ForgetPoints();
}

void TRtSeries::DetachAxis(TRtAxis* axis) {
  if (xAxis_ == axis) xAxis_ = nullptr;
  if (yAxis_ == axis) yAxis_ = nullptr;
}

void TRtSeries::RequestRedraw() {
  if (graph_) graph_->RequestRedraw();
}

void TRtSeries::FlagAxes() {
  if (xAxis_) xAxis_->FlagRecompute();
  if (yAxis_) yAxis_->FlagRecompute();
}

void TRtSeries::RebuildLegend() {
  if (graph_) graph_->RebuildLegends();
}

void TRtFunctionSeries::SetCalculationStart(double x) {
  if (x == calculationStart_) return;
  calculationStart_ = x;
  lastCalculatedCount_ = 0;
}

void TRtFunctionSeries::SetCalculationStop(double x) {
  if (x == calculationStop_) return;
  calculationStop_ = x;
  lastCalculatedCount_ = 0;
}

void TRtFunctionSeries::VectorAppended(const TRtDoubleVector* /*vector*/) { lastCalculatedCount_ = 0; }

void TRtFunctionSeries::VectorCleared(const TRtDoubleVector* /*vector*/) {
  lastCalculatedCount_ = 0;
  pointCount_ = 0;
  drawable_ = false;
  xRange_ = {};
  yRange_ = {};
  FlagAxes();
  RequestRedraw();
}

}  // namespace karvo
