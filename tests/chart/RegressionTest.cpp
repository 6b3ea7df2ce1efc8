#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "ChartFixture.h"
#include "chart/RtLinearRegression.h"
#include "supervisor/mainchart/RtMainChart.h"

namespace karvo {
namespace {

constexpr double kMinute = 1.0 / 1440.0;
constexpr double kT0 = 46000.25;

struct Fit {
  TRtDoubleVector x, y;
  TRtLinearRegression line{"line"};
  Fit() {
    line.SetXData(&x);
    line.SetYData(&y);
  }
  void Add(double t, double v) {
    y.Add(v);
    x.Add(t);
  }
};

TEST(RtLinearRegression, ResultsAreOneBeforeTheFirstCalculation) {
  TRtCustomGraph graph;
  TStandaloneChart chart(graph, {});
  TRtLinearRegression& r = chart.RtLinearRegressionRateOfChange;
  EXPECT_EQ(r.GetSlope(), 1.0);
  EXPECT_EQ(r.GetCalculationStop(), 15.0);
  EXPECT_EQ(r.Results().Correlation, 1.0);
  EXPECT_EQ(r.Results().SumOfResiduals, 1.0);
}

TEST(RtLinearRegression, SpecialCases) {
  struct Case {
    const char* name;
    std::vector<std::pair<double, double>> points;  // (time, temperature)
    double start, stop;
    bool error;
    double slope, offset, correlation, probability, deltaSlope, deltaOffset;
  };
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      // Rising one degree per minute: 1440 degrees per day.
      {"rising",
       {{kT0, 20}, {kT0 + kMinute, 21}, {kT0 + 2 * kMinute, 22}, {kT0 + 3 * kMinute, 23}},
       kT0 - 1,
       kT0 + 1,
       false,
       1440.0,
       nan,
       1.0,
       1.0,
       0.0,
       nan},
      // Constant temperature: slope 0, offset the temperature.
      {"constant",
       {{kT0, 500}, {kT0 + kMinute, 500}, {kT0 + 2 * kMinute, 500}},
       kT0 - 1,
       kT0 + 1,
       false,
       0.0,
       500.0,
       1.0,
       1.0,
       0.0,
       nan},
      // Two points: the line passes through both, no error estimate.
      {"two points", {{kT0, 100}, {kT0 + kMinute, 130}}, kT0 - 1, kT0 + 1, false, 30 * 1440.0, nan, 1.0, 1.0, 0.0, 0.0},
      // A point exactly at the window start takes part: off the line of
      // the other two, it turns the slope from 1 to 1.5 degrees a minute.
      {"start included",
       {{kT0, 99}, {kT0 + kMinute, 101}, {kT0 + 2 * kMinute, 102}},
       kT0,
       kT0 + 5 * kMinute,
       false,
       1.5 * 1440.0,
       nan,
       nan,
       nan,
       nan,
       nan},
      // Values that are not numbers (or infinite) take no part.
      {"not finite left out",
       {{kT0, 20},
        {kT0 + kMinute, nan},
        {kT0 + 2 * kMinute, 22},
        {nan, 50},
        {kT0 + 3 * kMinute, inf},
        {kT0 + 4 * kMinute, 24}},
       kT0 - 1,
       kT0 + 1,
       false,
       1440.0,
       nan,
       1.0,
       1.0,
       0.0,
       nan},
      // One point in the window: not enough data, slope 0.
      {"one point",
       {{kT0, 100}, {kT0 + kMinute, 130}},
       kT0 + 0.5 * kMinute,
       kT0 + 1,
       true,
       0.0,
       0.0,
       0.0,
       0.0,
       -1.7976931348623157e308,
       1.7976931348623157e308},
      // Every point at one time: no finite line.
      {"same time",
       {{kT0, 100}, {kT0, 130}, {kT0, 160}},
       kT0 - 1,
       kT0 + 1,
       false,
       1.7976931348623157e308,
       1.7976931348623157e308,
       1.0,
       1.0,
       0.0,
       0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fit f;
    for (const auto& [t, v] : c.points) f.Add(t, v);
    f.line.SetCalculationStart(c.start);
    f.line.SetCalculationStop(c.stop);
    if (c.error) {
      try {
        f.line.Calculate();
        FAIL() << "no error";
      } catch (const ERtMathError& e) {
        EXPECT_STREQ(e.what(), "Not enough data points to calculate function");
      }
      EXPECT_TRUE(f.line.CurvePoints().empty());
    } else {
      f.line.Calculate();
    }
    const TRtRegressionResults& r = f.line.Results();
    // Time stamps of a date-time carry about 1e-11 days of rounding, so a
    // slope over minutes is good to about 1e-7 of itself.
    EXPECT_NEAR(r.Slope, c.slope, std::fabs(c.slope) * 1e-6);
    if (!std::isnan(c.offset)) {
      EXPECT_NEAR(r.Offset, c.offset, std::fabs(c.offset) * 1e-12);
    }
    EXPECT_TRUE(std::isfinite(r.Slope));
    if (!std::isnan(c.correlation)) {
      EXPECT_NEAR(r.Correlation, c.correlation, 1e-6);
      EXPECT_NEAR(r.Probability, c.probability, 1e-6);
      EXPECT_NEAR(r.DeltaSlope, c.deltaSlope, 1e-2);
    }
    if (!std::isnan(c.deltaOffset)) {
      EXPECT_EQ(r.DeltaOffset, c.deltaOffset);
    }
    const std::map<std::string, int> used = {{"start included", 3}, {"not finite left out", 3}, {"one point", 1}};
    if (used.count(c.name)) {
      EXPECT_EQ(r.PointsUsed, used.at(c.name));
    }
    if (c.name == std::string("two points")) {
      EXPECT_NEAR(r.Offset + r.Slope * kT0, 100.0, 1e-6);
      EXPECT_NEAR(r.Offset + r.Slope * (kT0 + kMinute), 130.0, 1e-6);
    }
  }
}

TEST(RtLinearRegression, RecalculatesOnlyWhenDataOrLimitsChange) {
  Fit f;
  for (int i = 0; i < 5; ++i) f.Add(kT0 + i * kMinute, 100 + i);
  f.line.AutoStop = true;
  f.line.SetCalculationStart(kT0 - 1);
  f.line.Calculate();
  EXPECT_NEAR(f.line.GetSlope(), 1440.0, 1e-6);
  EXPECT_EQ(f.line.GetCalculationStop(), kT0 + 4 * kMinute);

  // Overwrite the result to see whether a call recalculates.
  f.line.SetOffset(-1.0);
  f.line.Calculate();  // nothing changed
  EXPECT_EQ(f.line.GetOffset(), -1.0);
  f.line.SetCalculationStart(kT0 - 1);  // the value already stored
  f.line.Calculate();
  EXPECT_EQ(f.line.GetOffset(), -1.0);
  f.line.SetCalculationStart(kT0 + kMinute);  // a new start
  f.line.Calculate();
  EXPECT_NE(f.line.GetOffset(), -1.0);
  EXPECT_EQ(f.line.Results().PointsUsed, 4);
  f.line.SetOffset(-1.0);
  f.Add(kT0 + 5 * kMinute, 105);  // new data
  f.line.Calculate();
  EXPECT_NE(f.line.GetOffset(), -1.0);
}

TEST(RtLinearRegression, WindowAsTheOwnerDrivesIt) {
  // Each tick: start := last stop - window; Calculate; the fit then spans
  // from (previous newest - window) to the newest sample.
  TRtCustomGraph graph;
  TStandaloneChart chart(graph, {});
  TRtLinearRegression& r = chart.RtLinearRegressionRateOfChange;
  const double step = 1.0 / 1024;  // exact binary fractions: no rounding at the window's edge
  const double window = 12 * step;
  std::vector<int> used;
  for (int i = 0; i < 30; ++i) {
    chart.AddSample(kT0 + i * step, i % 2 ? 100.0 : 101.0, 100, 100, 50);
    if (chart.Count() < 4) continue;
    r.SetCalculationStart(r.GetCalculationStop() - window);
    try {
      r.Calculate();
    } catch (const ERtMathError&) {
    }
    used.push_back(r.Results().PointsUsed);
  }
  EXPECT_EQ(used.front(), 4);  // the first fit uses every sample
  // Later: the window plus one sample interval, both ends included.
  EXPECT_EQ(used.back(), 14);
  EXPECT_EQ(r.GetCalculationStop(), kT0 + 29 * step);
  EXPECT_EQ(r.DisplayStart, r.GetCalculationStart());

  // Clearing keeps the range and the last result.
  const double slope = r.GetSlope(), stop = r.GetCalculationStop();
  chart.Clear();
  r.Calculate();
  EXPECT_EQ(r.GetSlope(), slope);
  EXPECT_EQ(r.GetCalculationStop(), stop);
  EXPECT_TRUE(r.CurvePoints().empty());
}

// The window as the owner drives it, when the clock is set back an hour in
// the middle of a run: the fit follows the samples taken since, at once.
TEST(RtLinearRegression, FitFollowsTheNewestSamplesAfterTheClockWentBack) {
  TRtCustomGraph graph;
  TStandaloneChart chart(graph, {});
  TRtLinearRegression& r = chart.RtLinearRegressionRateOfChange;
  const double step = 5.0 / 86400, window = 300.0 / 86400;
  std::vector<double> slopes;
  double t = kT0, temperature = 500;
  auto tick = [&](double rise) {
    t += step;
    temperature += rise;
    chart.AddSample(t, temperature, 500, 500, 50);
    r.SetCalculationStart(r.GetCalculationStop() - window);
    try {
      r.Calculate();
    } catch (const ERtMathError&) {
    }
    slopes.push_back(r.GetSlope() / 1440);  // per minute
  };
  for (int i = 0; i < 720; ++i) tick(1.0 / 12);  // one hour rising 1 degree a minute
  EXPECT_NEAR(slopes.back(), 1.0, 1e-6);
  t -= 3600.0 / 86400;                    // the clock goes back an hour
  for (int i = 0; i < 4; ++i) tick(0.0);  // the furnace now holds
  EXPECT_EQ(r.GetCalculationStop(), t);
  EXPECT_NEAR(slopes.back(), 0.0, 1e-9);
  EXPECT_EQ(r.Results().PointsUsed, 4);
  // The other way: calm before, rising after; the rise shows as soon as
  // two samples are in.
  for (int i = 0; i < 720; ++i) tick(0.0);
  t -= 3600.0 / 86400;
  tick(1.0 / 12);
  tick(1.0 / 12);
  EXPECT_NEAR(slopes.back(), 1.0, 1e-6);
  // A clock set back by a second keeps the window whole.
  for (int i = 0; i < 100; ++i) tick(1.0 / 12);
  t -= 1.0 / 86400;
  tick(1.0 / 12);
  EXPECT_GE(r.Results().PointsUsed, 60);
}

TEST(RtLinearRegression, MissingVectorDoesNothing) {
  TRtLinearRegression line;
  TRtDoubleVector x;
  line.SetXData(&x);
  x.Add(1);
  x.Add(2);
  line.Calculate();
  EXPECT_EQ(line.GetSlope(), 1.0);
}

}  // namespace
}  // namespace karvo
