#pragma once
// The least-squares straight line through the points of a calculation range
// (the chart's rate-of-change line).

#include <stdexcept>

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

// How the fit finds the points of its range. Auto uses a binary search
// over the range of X when X is non-decreasing and reads only the points
// inside; Full tests every point. Both sum the same points in the same
// order, so they give identical results.
enum class TRtFitScan { Auto, Full };

// Ordinary least squares over the points i < count with start <= x_i <= stop.
// Throws ERtMathError "Not enough data points to calculate function" when
// fewer than two points take part; `out` then holds the reset values
// (Slope 0).
void FitStraightLine(const TRtDoubleVector& x, const TRtDoubleVector& y, int count, double start, double stop,
                     TRtFitScan scan, TRtRegressionResults& out);

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

  // For verification and benchmarks: the way the fit finds its points.
  void SetFitScan(TRtFitScan scan) { scan_ = scan; }

 private:
  TRtRegressionResults results_;
  TRtFitScan scan_ = TRtFitScan::Auto;
  double dataStart_ = 0.0;
  double dataStop_ = 0.0;
  bool haveDataRange_ = false;
};

}  // namespace karvo
