#include "chart/RtLinearRegression.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "chart/RtAxis.h"
#include "chart/RtCustomGraph.h"
#include "chart/RtVectors.h"

namespace karvo {

namespace {

bool Finite(double x, double y) { return std::isfinite(x) && std::isfinite(y); }

}  // namespace

std::pair<int, int> FitWindow(const TRtDoubleVector& x, const TRtDoubleVector& y, int count, double start,
                              double stop) {
  count = std::min({count, x.Count(), y.Count()});
  if (count <= 0 || !(start <= stop)) return {0, 0};
  auto inRange = [&](int i) { return start <= x[i] && x[i] <= stop; };
  // Each run of the vector is non-decreasing: the newest run that holds a
  // point of the range holds the newest such point, found by binary search.
  const std::vector<int>& starts = x.RunStarts();
  auto next = std::upper_bound(starts.begin(), starts.end(), count - 1);  // past the last run's start
  for (int runEnd = count; runEnd > 0;) {
    const int runBegin = next == starts.begin() ? 0 : *--next;
    const int first = LowerBound(x, runBegin, runEnd, start);
    const int last = UpperBound(x, first, runEnd, stop);
    runEnd = runBegin;
    if (first == last) continue;
    // The stretch goes on into older runs while their samples stay in the
    // range (a clock set back by a second keeps the window whole); values
    // that are not finite do not end it.
    int from = first;
    for (int i = first - 1; i >= 0; --i) {
      if (!std::isfinite(x[i])) continue;
      if (!inRange(i)) break;
      from = i;
    }
    return {from, last};
  }
  return {0, 0};
}

double NewestX(const TRtDoubleVector& x, const TRtDoubleVector& y, int count) {
  count = std::min({count, x.Count(), y.Count()});
  for (int i = count - 1; i >= 0; --i)
    if (Finite(x[i], y[i])) return x[i];
  return std::numeric_limits<double>::quiet_NaN();
}

void FitStraightLine(const TRtDoubleVector& x, const TRtDoubleVector& y, int count, double start, double stop,
                     TRtRegressionResults& r) {
  r = TRtRegressionResults{};
  r.Slope = r.Offset = 0.0;
  r.AverageX = r.AverageY = r.VarianceX = r.VarianceY = 0.0;
  r.Correlation = r.Probability = r.SumOfResiduals = 0.0;
  r.DeltaSlope = -kRtMaxDouble;
  r.DeltaOffset = kRtMaxDouble;

  const auto [first, last] = FitWindow(x, y, count, start, stop);
  // Inside the window's index range every finite point lies in start ..
  // stop but for the older runs' samples the stretch walked through; the
  // test keeps the sums to the points of the range.
  auto takesPart = [&](int i) { return Finite(x[i], y[i]) && start <= x[i] && x[i] <= stop; };

  // Times are large numbers (days since 1900) and windows short: the sums
  // take them relative to the window's last point, and Sxy is summed as
  // (x - mean x)(y - mean y), so that no digits cancel.
  const long double x0 = last > first ? x[last - 1] : 0.0;
  long double sx = 0, sy = 0;
  int n = 0;
  for (int i = first; i < last; ++i) {
    if (!takesPart(i)) continue;
    sx += x[i] - x0;
    sy += y[i];
    ++n;
  }
  r.PointsUsed = n;
  // Usually every point of the index range takes part: the passes below
  // then test none.
  const bool all = n == last - first;
  auto counts = [&](int i) { return all || takesPart(i); };
  if (n > 0) {
    r.AverageX = static_cast<double>(x0 + sx / n);
    r.AverageY = static_cast<double>(sy / n);
  }
  if (n < 2) throw ERtMathError("Not enough data points to calculate function");

  const long double meanX = sx / n, meanY = sy / n;
  long double sxx = 0, syy = 0, sxy = 0;
  for (int i = first; i < last; ++i) {
    if (!counts(i)) continue;
    const long double dx = x[i] - x0 - meanX;
    const long double dy = y[i] - meanY;
    sxx += dx * dx;
    syy += dy * dy;
    sxy += dx * dy;
  }
  const double Sxx = static_cast<double>(sxx), Syy = static_cast<double>(syy), Sxy = static_cast<double>(sxy);
  r.VarianceX = Sxx / (n - 1);
  r.VarianceY = Syy / (n - 1);

  if (Sxx > 0) {
    r.Slope = Sxy / Sxx;
    r.Offset = r.AverageY - r.Slope * r.AverageX;
    long double res = 0;
    for (int i = first; i < last; ++i) {
      if (!counts(i)) continue;
      const long double d = static_cast<long double>(y[i]) - r.Slope * static_cast<long double>(x[i]) - r.Offset;
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
  const TRtDoubleVector* xs = XData();
  const TRtDoubleVector* ys = YData();
  if (!xs || !ys) return;
  if (lastCalculatedCount_ >= xs->Count() && lastCalculatedCount_ >= ys->Count()) return;
  const int n = std::min(xs->Count(), ys->Count());
  if (lastCalculatedCount_ >= n || n < 2) return;

  // The data's range (values that are not finite take no part), and the
  // newest time: the stop follows the newest sample, which is the largest
  // unless the clock went back.
  const double xStart = xs->GetMinimum(), xStop = xs->GetMaximum();
  const double newest = NewestX(*xs, *ys, n);
  if (!haveDataRange_ || xStart != dataStart_ || xStop != dataStop_) {
    dataStart_ = xStart;
    dataStop_ = xStop;
    haveDataRange_ = true;
    if (XAxis()) XAxis()->FlagRecompute();
  }
  if (AutoStart) calculationStart_ = xStart;
  if (AutoStop) calculationStop_ = newest;
  if (CoupleCalculationAndDisplay) {
    DisplayStart = calculationStart_;
    DisplayStop = calculationStop_;
  } else {
    if (DisplayAutoStart) DisplayStart = xStart;
    if (DisplayAutoStop) DisplayStop = newest;
  }

  try {
    FitStraightLine(*xs, *ys, n, calculationStart_, calculationStop_, results_);
  } catch (...) {
    drawable_ = false;
    lastCalculatedCount_ = 0;
    FlagAxes();
    RequestRedraw();
    throw;
  }

  xRange_ = {dataStart_ <= dataStop_, dataStart_, dataStop_};
  xNewest_ = newest;
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
