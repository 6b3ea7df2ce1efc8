// The per-sample chart work reads only what is new; these tests check that
// it gives exactly what a full scan of the history gives.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "ChartFixture.h"
#include "chart/RtLinearRegression.h"
#include "chart/RtSeriesBands.h"
#include "supervisor/mainchart/RtMainChart.h"

namespace karvo {
namespace {

using test::kSecond;

// The fit worked out here on its own, the plain way: the newest sample in
// start .. stop and the samples before it back to the first one outside
// (values that are not finite left out), two passes, times taken relative
// to the newest one.
struct Reference {
  int used = 0;
  double slope = 0, offset = 0;
};
Reference ReferenceFit(const TRtDoubleVector& x, const TRtDoubleVector& y, double start, double stop) {
  const int n = std::min(x.Count(), y.Count());
  auto inRange = [&](int i) { return std::isfinite(x[i]) && start <= x[i] && x[i] <= stop; };
  int newest = n - 1;
  while (newest >= 0 && !inRange(newest)) --newest;
  std::vector<int> used;
  for (int i = newest; i >= 0; --i) {
    if (!std::isfinite(x[i])) continue;
    if (!inRange(i)) break;
    if (std::isfinite(y[i])) used.push_back(i);
  }
  Reference r;
  r.used = static_cast<int>(used.size());
  if (r.used < 2) return r;
  const double x0 = x[used.front()];
  long double mx = 0, my = 0;
  for (int i : used) {
    mx += x[i] - x0;
    my += y[i];
  }
  mx /= r.used;
  my /= r.used;
  long double sxx = 0, sxy = 0;
  for (int i : used) {
    sxx += (x[i] - x0 - mx) * (x[i] - x0 - mx);
    sxy += (x[i] - x0 - mx) * (y[i] - my);
  }
  r.slope = static_cast<double>(sxy / sxx);
  r.offset = static_cast<double>(my - sxy / sxx * (mx + x0));
  return r;
}

struct Run {
  TRtCustomGraph graph;
  TStandaloneChart chart{graph, {}};
  Run() {
    chart.RtLineSeriesTargetSetpoint.SetVisible(true);
    chart.RtLineSeriesWorkingSetpoint.SetVisible(true);
    chart.RtLineSeriesWorkingOutput.SetVisible(true);
    chart.RightAxis1.SetVisible(true);
    chart.RtLinearRegressionRateOfChange.SetVisible(true);
  }
  void Append(double t, double temperature, double setpoint, double working, double output) {
    chart.AddSample(t, temperature, setpoint, working, output);
  }
};

// Random furnace-like data; with `backwards` some time stamps go back (a
// clock set back by 40 s), and a few values are not numbers. Times are
// whole multiples of 2^-17 day (about 0.66 s), exact in a double, so that
// samples fall exactly on the window's start.
void RunEquality(bool backwards) {
  std::mt19937 rng(backwards ? 11 : 5);
  std::normal_distribution<double> noise(0.0, 2.0);
  std::uniform_int_distribution<int> jitter(-1, 1);
  std::uniform_int_distribution<int> oneIn(0, 40);
  constexpr double kTick = 1.0 / (1 << 17);
  const double start = 45600.0 + 10.0 / 24;
  const double window = 450 * kTick;

  Run live;  // updated sample by sample, as the tick does
  const TRtAxis& axis = live.chart.XAxis1;
  live.chart.XAxis1.SetStart(start - 30 * kSecond);
  live.chart.XAxis1.SetStop(start);
  TRtLinearRegression& r = live.chart.RtLinearRegressionRateOfChange;
  double t = start, temperature = 20.0, newest = 0;
  int atStart = 0;
  for (int i = 0; i < 3000; ++i) {
    t += (8 + jitter(rng)) * kTick;
    if (backwards && oneIn(rng) == 0) t -= 60 * kTick;  // a clock set back
    temperature += 0.3 + noise(rng);
    const bool bad = backwards && oneIn(rng) == 0;
    live.Append(t, bad ? std::nan("") : temperature, 1000, 20 + i * 0.1, 50 + noise(rng));
    if (!bad) newest = t;
    if (i == 1500) live.chart.XAxis1.SetMovingSlitWidth(600 * kSecond);

    if (i >= 3) {
      r.SetCalculationStart(r.GetCalculationStop() - window);
      try {
        r.Calculate();
      } catch (const ERtMathError&) {
      }
      const Reference ref = ReferenceFit(live.chart.RtDoubleVectorTime, live.chart.RtDoubleVectorTemperature,
                                         r.GetCalculationStart(), r.GetCalculationStop());
      ASSERT_EQ(r.Results().PointsUsed, ref.used) << "sample " << i;
      if (ref.used >= 2) {
        ASSERT_NEAR(r.GetSlope(), ref.slope, 1e-9 * std::fabs(ref.slope)) << "sample " << i;
        ASSERT_NEAR(r.GetOffset(), ref.offset, 1e-9 * std::fabs(ref.offset)) << "sample " << i;
      }
      // The stop follows the newest sample (with a temperature), also after
      // the clock went back.
      ASSERT_EQ(r.GetCalculationStop(), newest) << "sample " << i;
      for (int k = 0; k < live.chart.RtDoubleVectorTime.Count(); ++k)
        atStart += live.chart.RtDoubleVectorTime[k] == r.GetCalculationStart() ? 1 : 0;
    }
    live.graph.Recalculate();

    if (i % 250 == 249) {
      // A chart built from the whole history at once.
      Run fresh;
      fresh.chart.XAxis1.SetStart(start - 30 * kSecond);
      fresh.chart.XAxis1.SetStop(start);
      if (i > 1500) fresh.chart.XAxis1.SetMovingSlitWidth(600 * kSecond);
      for (int k = 0; k < live.chart.RtDoubleVectorTime.Count(); ++k)
        fresh.Append(live.chart.RtDoubleVectorTime[k], live.chart.RtDoubleVectorTemperature[k],
                     live.chart.RtDoubleVectorSetpoint[k], live.chart.RtDoubleVectorWorkingSetpoint[k],
                     live.chart.RtDoubleVectorWorkingOutput[k]);
      fresh.graph.Recalculate();
      const TRtSeries* a[] = {&live.chart.RtPointSeriesTemperature, &live.chart.RtLineSeriesTargetSetpoint,
                              &live.chart.RtLineSeriesWorkingSetpoint, &live.chart.RtLineSeriesWorkingOutput};
      const TRtSeries* b[] = {&fresh.chart.RtPointSeriesTemperature, &fresh.chart.RtLineSeriesTargetSetpoint,
                              &fresh.chart.RtLineSeriesWorkingSetpoint, &fresh.chart.RtLineSeriesWorkingOutput};
      for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(a[s]->XRange(), b[s]->XRange());
        EXPECT_EQ(a[s]->YRange(), b[s]->YRange());
      }
      EXPECT_EQ(axis.Start(), fresh.chart.XAxis1.Start()) << "sample " << i;
      EXPECT_EQ(axis.Stop(), fresh.chart.XAxis1.Stop()) << "sample " << i;
      EXPECT_EQ(live.chart.YAxis1.Start(), fresh.chart.YAxis1.Start());
      EXPECT_EQ(live.chart.YAxis1.Stop(), fresh.chart.YAxis1.Stop());
      EXPECT_EQ(live.chart.RightAxis1.Stop(), fresh.chart.RightAxis1.Stop());
    }
  }
  EXPECT_EQ(live.chart.RtDoubleVectorTime.IsNonDecreasing(), !backwards);
  EXPECT_GT(atStart, 100);  // the window's start met samples exactly
}

TEST(ChartIncremental, EqualsFullScanOnOrderedTimes) { RunEquality(false); }
TEST(ChartIncremental, EqualsFullScanWhenTimeGoesBackwards) { RunEquality(true); }

TEST(SeriesPoints, ReducedColumnsKeepEverySpike) {
  TRtDoubleVector x, y;
  const int n = 100000;
  for (int i = 0; i < n; ++i) {
    x.Add(45000 + i * 5 * kSecond);
    y.Add(i == 31337 ? 900.0 : (i == 70001 ? -50.0 : 500.0 + (i % 7)));
  }
  const TRtPixelMap xm{x[0], x[n - 1], 10.0, 1010.0};
  const TRtPixelMap ym{-100.0, 1000.0, 400.0, 0.0};
  std::vector<TRtPoint> reduced, exact;
  BuildSeriesPolyline(x, y, 0, n, xm, ym, TRtPointReduction::Auto, reduced);
  BuildSeriesPolyline(x, y, 0, n, xm, ym, TRtPointReduction::Exact, exact);
  EXPECT_EQ(exact.size(), static_cast<std::size_t>(n));
  EXPECT_LE(reduced.size(), 4u * 1002u);
  double top = 1e9, bottom = -1e9;
  for (const TRtPoint& p : reduced) {
    top = std::min(top, p.y);
    bottom = std::max(bottom, p.y);
  }
  EXPECT_EQ(top, ym(900.0));
  EXPECT_EQ(bottom, ym(-50.0));
  // The spikes sit in the right pixel columns.
  for (const TRtPoint& p : reduced) {
    if (p.y == ym(900.0)) {
      EXPECT_NEAR(p.x, xm(x[31337]), 1.0);
    }
    if (p.y == ym(-50.0)) {
      EXPECT_NEAR(p.x, xm(x[70001]), 1.0);
    }
  }
}

TEST(SeriesPoints, SparseDataIsDrawnExactlyRunByRun) {
  TRtDoubleVector x, y;
  for (int i = 0; i < 50; ++i) {
    x.Add(i);
    y.Add(i * i);
  }
  const TRtPixelMap xm{0, 49, 0, 980};  // 20 pixels per sample
  const TRtPixelMap ym{0, 2401, 100, 0};
  std::vector<TRtPoint> points;
  BuildSeriesPolyline(x, y, 0, 50, xm, ym, TRtPointReduction::Auto, points);
  ASSERT_EQ(points.size(), 50u);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(points[static_cast<std::size_t>(i)].x, xm(i));
    EXPECT_EQ(points[static_cast<std::size_t>(i)].y, ym(i * i));
  }
  // A time vector that goes back: two runs, drawn one by one, none
  // joined to the other.
  x.Add(10);
  y.Add(5);
  x.Add(11);
  y.Add(6);
  std::vector<std::pair<int, int>> runs;
  x.Runs(52, runs);
  ASSERT_EQ(runs, (std::vector<std::pair<int, int>>{{0, 50}, {50, 52}}));
  BuildSeriesPolyline(x, y, runs[1].first, runs[1].second, xm, ym, TRtPointReduction::Auto, points);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points.front().x, xm(10));
  EXPECT_EQ(points.back().x, xm(11));
}

TEST(SeriesPoints, SegmentsEnteringFromOutsideAreClippedAtTheEdge) {
  TRtDoubleVector x, y;
  for (int i = 0; i < 1000; ++i) {
    x.Add(i);
    y.Add(i % 2 ? 10 : 0);
  }
  const TRtPixelMap xm{500, 510, 0, 100};  // ten samples across 100 pixels
  const TRtPixelMap ym{0, 10, 100, 0};
  std::vector<TRtPoint> points;
  BuildSeriesPolyline(x, y, 0, 1000, xm, ym, TRtPointReduction::Auto, points);
  ASSERT_EQ(points.size(), 13u);  // 11 inside, one neighbour each side
  EXPECT_EQ(points.front().x, -2.0);
  EXPECT_EQ(points.back().x, 102.0);
}

}  // namespace
}  // namespace karvo
