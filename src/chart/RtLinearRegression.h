#pragma once
// The least-squares straight line through the points of a calculation range
// (the chart's rate-of-change line).

#include <stdexcept>
#include <utility>

#include "chart/RtSeries.h"

namespace karvo {

// An arithmetic failure of a function series' calculation.
class ERtMathError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TRtRegressionResults {
  double Slope = 1.0;
  double Offset = 1.0;
  double DeltaSlope = 1.0;
  double DeltaOffset = 1.0;
  double AverageX = 1.0;
  double AverageY = 1.0;
  double VarianceX = 1.0;
  double VarianceY = 1.0;
  double Correlation = 1.0;
  double Probability = 1.0;
  double SumOfResiduals = 1.0;
  int PointsUsed = 0;
};

// The points of a fit among the first `count`: the newest stretch (by
// index) of samples whose x lies in start .. stop, both ends included: the
// newest such sample and those before it, back to the first one outside the
// range. Points with a value that is not finite take no part (and do not
// end the stretch). While x is non-decreasing these are exactly the points
// with start <= x <= stop. After the clock went back, the samples taken
// since then are the newest stretch: older samples that fall into the same
// times belong to another stretch and stay out.
// Returns the index range [first, last) that holds them.
std::pair<int, int> FitWindow(const TRtDoubleVector& x, const TRtDoubleVector& y, int count, double start, double stop);

// Ordinary least squares over the points of FitWindow. Throws ERtMathError
// "Not enough data points to calculate function" when fewer than two
// points take part; `out` then holds the reset values (Slope 0).
void FitStraightLine(const TRtDoubleVector& x, const TRtDoubleVector& y, int count, double start, double stop,
                     TRtRegressionResults& out);

// X of the newest of the first `count` points whose x and y are finite (NaN
// when there is none): where AutoStop puts the calculation's stop.
double NewestX(const TRtDoubleVector& x, const TRtDoubleVector& y, int count);

class TRtLinearRegression : public TRtFunctionSeries {
 public:
  explicit TRtLinearRegression(std::string name = {});

  // 1.0 each until the first calculation.
  const TRtRegressionResults& Results() const { return results_; }
  double GetSlope() const { return results_.Slope; }
  double GetOffset() const { return results_.Offset; }
  // Presets Offset (it has no effect on the fit while FixedOffset is false).
  void SetOffset(double offset) { results_.Offset = offset; }
  bool FixedOffset = false;

  void Calculate() override;
  std::vector<std::pair<double, double>> CurvePoints() const override;
  TRtRange XRange() const override { return drawable_ ? xRange_ : TRtRange{}; }
  TRtRange YRange() const override { return drawable_ ? yRange_ : TRtRange{}; }

  double XNewest() const override { return drawable_ ? xNewest_ : kNoValue; }

 private:
  TRtRegressionResults results_;
  double dataStart_ = 0.0;
  double dataStop_ = 0.0;
  bool haveDataRange_ = false;
};

}  // namespace karvo
