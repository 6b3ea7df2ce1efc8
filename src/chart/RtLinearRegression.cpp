#include "chart/RtLinearRegression.h"

#include <algorithm>
#include <cmath>

#include "chart/RtAxis.h"
#include "chart/RtCustomGraph.h"
#include "chart/RtVectors.h"

namespace karvo {

namespace {

// Index range [first, last) of the points i < count with start <= x_i <=
// stop, for a non-decreasing x.
void WindowBySearch(const TRtDoubleVector& x, int count, double start, double stop, int& first, int& last) {
  int lo = 0, hi = count;  // first index with x >= start
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (x[mid] < start)
      lo = mid + 1;
    else
      hi = mid;
  }
  first = lo;
  hi = count;  // first index with x > stop
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (x[mid] <= stop)
      lo = mid + 1;
    else
      hi = mid;
  }
  last = std::max(lo, first);
}

}  // namespace

void FitStraightLine(const TRtDoubleVector& x, const TRtDoubleVector& y, int count, double start, double stop,
                     TRtFitScan scan, TRtRegressionResults& r) {
  r = TRtRegressionResults{};
  r.Slope = r.Offset = 0.0;
  r.AverageX = r.AverageY = r.VarianceX = r.VarianceY = 0.0;
  r.Correlation = r.Probability = r.SumOfResiduals = 0.0;
  r.DeltaSlope = -kRtMaxDouble;
  r.DeltaOffset = kRtMaxDouble;
  count = std::min({count, x.Count(), y.Count()});

  // The points taking part: every i < count with start <= x_i <= stop. A
  // non-decreasing x holds them as one index run, found by binary search;
  // the loops below then visit exactly the points the full test would, in
  // the same order.
  int first = 0, last = count;
  const bool search = scan == TRtFitScan::Auto && x.IsNonDecreasing() && !std::isnan(start) && !std::isnan(stop);
  if (search) WindowBySearch(x, count, start, stop, first, last);
  auto inRange = [&](double xi) { return search || (start <= xi && xi <= stop); };

  long double sx = 0, sy = 0;
  int n = 0;
  for (int i = first; i < last; ++i) {
    const double xi = x[i];
    if (!inRange(xi)) continue;
    sx += xi;
    sy += y[i];
    ++n;
  }
  r.PointsUsed = n;
  if (n > 0) {
    r.AverageX = static_cast<double>(sx / n);
    r.AverageY = static_cast<double>(sy / n);
  }
  if (n < 2) throw ERtMathError("Not enough data points to calculate function");

  const long double meanX = sx / n, meanY = sy / n;
  long double sxx = 0, syy = 0, sxy = 0;
  for (int i = first; i < last; ++i) {
    const double xi = x[i];
    if (!inRange(xi)) continue;
    const long double dx = static_cast<long double>(xi) - meanX;
    const long double dy = static_cast<long double>(y[i]) - meanY;
    sxx += dx * dx;
    syy += dy * dy;
    sxy += dx * y[i];
  }
  const double Sxx = static_cast<double>(sxx), Syy = static_cast<double>(syy), Sxy = static_cast<double>(sxy);
  r.VarianceX = Sxx / (n - 1);
  r.VarianceY = Syy / (n - 1);

  if (Sxx > 0) {
    r.Slope = Sxy / Sxx;
    r.Offset = r.AverageY - r.Slope * r.AverageX;
    long double res = 0;
    for (int i = first; i < last; ++i) {
      const double xi = x[i];
      if (!inRange(xi)) continue;
      const long double d = static_cast<long double>(y[i]) - r.Slope * static_cast<long double>(xi) - r.Offset;
      res += d * d;
    }
    r.SumOfResiduals = static_cast<double>(res);
    r.Correlation = std::sqrt(r.VarianceX) * r.Slope / std::sqrt(r.VarianceY);
    r.Probability = 1.0 - r.SumOfResiduals / Syy;
    if (Syy == 0) {
      r.Slope = 0.0;
      r.Offset = r.AverageY;
      r.Correlation = 1.0;
      r.Probability = 1.0;
      r.SumOfResiduals = 0.0;
    }
  } else {
    // Every point at the same X: no finite line.
    r.Slope = r.Offset = kRtMaxDouble;
    r.Correlation = 1.0;
    r.Probability = 1.0;
    r.SumOfResiduals = 0.0;
  }

  // Statistical errors; with two points (or no spread in X) they do not
  // exist and read 0.
  const double denominator = (n - 2) * Sxx;
  const double deltaSlope = std::sqrt(r.SumOfResiduals / denominator);
  const double deltaOffset = std::sqrt((1.0 / n + r.AverageX * r.AverageX / Sxx) * r.SumOfResiduals / (n - 2));
  if (denominator == 0 || !std::isfinite(deltaSlope) || !std::isfinite(deltaOffset)) {
    r.DeltaSlope = r.DeltaOffset = r.SumOfResiduals = 0.0;
  } else {
    r.DeltaSlope = deltaSlope;
    r.DeltaOffset = deltaOffset;
  }
}

TRtLinearRegression::TRtLinearRegression(std::string name) : TRtFunctionSeries(std::move(name)) {
  SetAutoUpdate(false);
}

void TRtLinearRegression::Calculate() {
  TRtDoubleVector* xs = XData();
  TRtDoubleVector* ys = YData();
  if (!xs || !ys) return;
  if (lastCalculatedCount_ >= xs->Count() && lastCalculatedCount_ >= ys->Count()) return;
  const int n = std::min(xs->Count(), ys->Count());
  if (lastCalculatedCount_ >= n || n < 2) return;

  const double xStart = xs->GetMinimum(), xStop = xs->GetMaximum();
  if (!haveDataRange_ || xStart != dataStart_ || xStop != dataStop_) {
    dataStart_ = xStart;
    dataStop_ = xStop;
    haveDataRange_ = true;
    if (XAxis()) XAxis()->FlagRecompute();
  }
  if (AutoStart) calculationStart_ = xStart;
  if (AutoStop) calculationStop_ = xStop;
  if (CoupleCalculationAndDisplay) {
    DisplayStart = calculationStart_;
    DisplayStop = calculationStop_;
  } else {
    if (DisplayAutoStart) DisplayStart = xStart;
    if (DisplayAutoStop) DisplayStop = xStop;
  }

  try {
    FitStraightLine(*xs, *ys, n, calculationStart_, calculationStop_, scan_, results_);
  } catch (...) {
    drawable_ = false;
    lastCalculatedCount_ = 0;
    FlagAxes();
    RequestRedraw();
    throw;
  }

  xRange_ = {true, dataStart_, dataStop_};
  const double a = results_.Offset + results_.Slope * DisplayStart;
  const double b = results_.Offset + results_.Slope * DisplayStop;
  const bool otherSeriesOnY = Graph() && YAxis() && Graph()->HasOtherSeriesOn(YAxis(), this);
  yRange_ = (ClipYValues && otherSeriesOnY) ? TRtRange{} : TRtRange{true, std::min(a, b), std::max(a, b)};
  if (YAxis()) YAxis()->FlagRecompute();
  pointCount_ = n;
  drawable_ = true;
  lastCalculatedCount_ = n;
  RequestRedraw();
}

std::vector<std::pair<double, double>> TRtLinearRegression::CurvePoints() const {
  if (!drawable_) return {};
  return {{DisplayStart, results_.Offset + results_.Slope * DisplayStart},
          {DisplayStop, results_.Offset + results_.Slope * DisplayStop}};
}

}  // namespace karvo
