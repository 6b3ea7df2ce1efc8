#include <gtest/gtest.h>

#include <random>
#include <string>

#include "ChartFixture.h"
#include "supervisor/mainchart/RtMainChart.h"

namespace karvo {
namespace {

using test::kSecond;
using test::OneSeriesChart;

TEST(RtDoubleVector, NewVectorHasEmptyStatistics) {
  TRtDoubleVector v;
  EXPECT_EQ(v.GetCount(), 0);
  EXPECT_EQ(v.Capacity(), 128);
  EXPECT_EQ(v.GetMinimum(), 1.7976931348623157e308);
  EXPECT_EQ(v.GetMaximum(), -1.7976931348623157e308);
  EXPECT_EQ(v.GetMinimumIndex(), -1);
  EXPECT_EQ(v.GetMaximumIndex(), -1);
  EXPECT_EQ(v.GetSum(), 0.0);
}

TEST(RtDoubleVector, GrowsByIncrementWithoutDisturbingValuesOrStatistics) {
  struct Case {
    int increment;
    int count;
    int capacity;
  } cases[] = {{128, 1, 128},   {128, 128, 128}, {128, 129, 256}, {128, 257, 384},
               {100, 129, 256}, {300, 129, 428}, {300, 429, 728}};
  for (const auto& c : cases) {
    TRtDoubleVector v;
    v.SetIncrement(c.increment);  // below 128 is ignored
    for (int i = 0; i < c.count; ++i) EXPECT_EQ(v.Add(1000.0 - i * 0.5), i + 1);
    EXPECT_EQ(v.Capacity(), c.capacity) << c.increment << "/" << c.count;
    EXPECT_EQ(v.GetValue(0), 1000.0);
    EXPECT_EQ(v.GetValue(c.count - 1), 1000.0 - (c.count - 1) * 0.5);
    EXPECT_EQ(v.GetMaximum(), 1000.0);
    EXPECT_EQ(v.GetMinimumIndex(), c.count - 1);
  }
}

TEST(RtDoubleVector, StatisticsCatchUpOnlyOverNewValues) {
  TRtDoubleVector v;
  for (double x : {5.0, 3.0, 8.0}) v.Add(x);
  EXPECT_EQ(v.GetMinimum(), 3.0);
  EXPECT_EQ(v.GetMinimumIndex(), 1);
  EXPECT_EQ(v.GetMaximumIndex(), 2);
  EXPECT_EQ(v.GetSum(), 16.0);
  // Ties keep the first index; later extremes move it.
  for (double x : {3.0, 9.0, -1.0}) v.Add(x);
  EXPECT_EQ(v.GetMinimum(), -1.0);
  EXPECT_EQ(v.GetMinimumIndex(), 5);
  EXPECT_EQ(v.GetMaximum(), 9.0);
  EXPECT_EQ(v.GetMaximumIndex(), 4);
  EXPECT_EQ(v.GetSum(), 27.0);
}

TEST(RtDoubleVector, IndexErrorsAndClear) {
  TRtDoubleVector v;
  for (int i = 0; i < 200; ++i) v.Add(i);
  for (int bad : {-1, 200, 1000}) {
    try {
      v.GetValue(bad);
      FAIL() << bad;
    } catch (const ERtRangeError& e) {
      EXPECT_EQ(std::string(e.what()), "i=" + std::to_string(bad) + " index out of range");
    }
  }
  v.Clear(true);
  EXPECT_EQ(v.GetCount(), 0);
  EXPECT_EQ(v.Capacity(), 256);
  EXPECT_EQ(v.GetMinimum(), 1.7976931348623157e308);
  EXPECT_THROW(v.GetValue(0), ERtRangeError);
  v.Add(7.0);
  EXPECT_EQ(v.GetMaximum(), 7.0);
  EXPECT_EQ(v.RangeMinMax(0, 1).max, 7.0);
}

TEST(RtDoubleVector, RangeExtremesMatchAScan) {
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 100.0);
  TRtDoubleVector v;
  const int n = 70000;  // three levels of the summary
  for (int i = 0; i < n; ++i) v.Add(noise(rng));
  std::uniform_int_distribution<int> pick(0, n);
  for (int k = 0; k < 400; ++k) {
    int a = pick(rng), b = pick(rng);
    if (k % 4 == 0) b = std::min(n, a + k % 70);  // short ranges too
    if (a > b) std::swap(a, b);
    double mn = std::numeric_limits<double>::infinity(), mx = -mn;
    for (int i = a; i < b; ++i) {
      mn = std::min(mn, v[i]);
      mx = std::max(mx, v[i]);
    }
    const TRtMinMax r = v.RangeMinMax(a, b);
    ASSERT_EQ(r.min, mn) << a << ".." << b;
    ASSERT_EQ(r.max, mx) << a << ".." << b;
    const TRtExtremes e = v.RangeExtremes(a, b);
    ASSERT_EQ(e.min, mn);
    ASSERT_EQ(e.max, mx);
    if (a < b) {
      ASSERT_EQ(v[e.minIndex], mn);
      ASSERT_EQ(v[e.maxIndex], mx);
      ASSERT_GE(e.minIndex, a);
      ASSERT_LT(e.maxIndex, b);
    }
  }
}

TEST(RtDoubleVector, OrderFlagFollowsAppendsAndClear) {
  TRtDoubleVector v;
  EXPECT_TRUE(v.IsNonDecreasing());
  for (double x : {1.0, 1.0, 2.0}) v.Add(x);
  EXPECT_TRUE(v.IsNonDecreasing());
  v.Add(1.5);
  EXPECT_FALSE(v.IsNonDecreasing());
  v.Clear();
  v.Add(3.0);
  EXPECT_TRUE(v.IsNonDecreasing());
  v.Add(std::nan(""));
  EXPECT_FALSE(v.IsNonDecreasing());
}

TEST(RtDoubleVector, FiveVectorsStayUnder48BytesPerSample) {
  const int n = 300000;
  TRtDoubleVector v[5];
  for (int i = 0; i < n; ++i)
    for (auto& x : v) x.Add(i * 0.5);
  std::size_t bytes = 0;
  for (auto& x : v) bytes += x.MemoryBytes();
  EXPECT_LT(static_cast<double>(bytes) / n, 48.0);
}

TEST(RtSeries, CaptionLosesLeadingBlanksAndControlCharacters) {
  struct Case {
    const char* in;
    const char* stored;
  } cases[] = {{"  Rate of change", "Rate of change"},
               {"\t\r\n Temperature", "Temperature"},
               {"Trailing  ", "Trailing  "},
               {"   ", ""},
               {"", ""}};
  for (const auto& c : cases) {
    TRtLineSeries s;
    s.SetCaption("x");
    s.SetCaption(c.in);
    EXPECT_EQ(s.Caption(), c.stored) << '"' << c.in << '"';
  }
}

TEST(RtSeries, NeedsTwoPointsAndForgetsThemOnClear) {
  OneSeriesChart chart;
  const double t0 = 45000.5;
  chart.Add(t0, 20.0);
  chart.graph.Recalculate();
  EXPECT_EQ(chart.series.PointCount(), 0);  // one point draws nothing
  EXPECT_FALSE(chart.series.YRange().valid);
  chart.series.PointSymbol.Visible = true;  // ... unless point symbols show
  chart.Add(t0 + kSecond, 22.0);
  chart.graph.Recalculate();
  EXPECT_EQ(chart.series.PointCount(), 2);
  EXPECT_EQ(chart.series.YRange(), (TRtRange{true, 20.0, 22.0}));
  EXPECT_EQ(chart.series.XRange(), (TRtRange{true, t0, t0 + kSecond}));

  // The time vector lags one value behind (it is appended last): only the
  // common points count.
  chart.value.Add(99.0);
  chart.graph.Recalculate();
  EXPECT_EQ(chart.series.PointCount(), 2);
  EXPECT_EQ(chart.series.YRange().stop, 22.0);

  chart.time.Clear();
  chart.value.Clear();
  chart.graph.Recalculate();
  EXPECT_EQ(chart.series.PointCount(), 0);
  EXPECT_FALSE(chart.series.XRange().valid);
}

TEST(RtSeries, SetVisibleWithTheSameValueChangesNothing) {
  OneSeriesChart chart;
  TRtLegend legend;
  legend.SetGraph(&chart.graph);
  chart.redraws = 0;
  chart.series.SetVisible(true);
  EXPECT_EQ(chart.redraws, 0);
  chart.series.SetVisible(false);
  EXPECT_GT(chart.redraws, 0);
  EXPECT_TRUE(legend.Items().empty());
}

TEST(RtCustomGraph, UpdateBracketRedrawsOnceAtTheEnd) {
  OneSeriesChart chart;
  for (int i = 0; i < 10; ++i) chart.Add(45000 + i * kSecond, i);
  chart.redraws = 0;
  chart.graph.BeginUpdate();
  chart.graph.BeginUpdate();
  chart.time.Clear(true);
  chart.value.Clear(true);
  chart.graph.EndUpdate();
  EXPECT_EQ(chart.redraws, 0);
  EXPECT_TRUE(chart.graph.RedrawPending());
  chart.graph.EndUpdate();
  EXPECT_EQ(chart.redraws, 1);
  chart.graph.BeginUpdate();
  chart.graph.EndUpdate();
  EXPECT_EQ(chart.redraws, 1);  // nothing pending, no redraw
}

TEST(RtCustomGraph, KeepsSeriesInLayerOrder) {
  TRtCustomGraph graph;
  TRtLineSeries a("a"), b("b"), c("c");
  a.SetLayer(5);
  b.SetLayer(1);
  c.SetLayer(3);
  for (auto* s : {&a, &b, &c}) graph.AddSeries(s);
  ASSERT_EQ(graph.Series().size(), 3u);
  EXPECT_EQ(graph.Series()[0], &b);
  EXPECT_EQ(graph.Series()[1], &c);
  EXPECT_EQ(graph.Series()[2], &a);
  EXPECT_EQ(a.Layer(), 2);  // renumbered 0, 1, 2
  b.SetLayer(10);
  EXPECT_EQ(graph.Series()[2], &b);
}

TEST(RtCustomGraph, DestroyedVectorsAndAxesDetachThemselves) {
  TRtCustomGraph graph;
  TRtLineSeries s;
  graph.AddSeries(&s);
  {
    TRtDoubleVector x, y;
    TRtAxis axis;
    graph.AddAxis(&axis);
    s.SetXData(&x);
    s.SetYData(&y);
    s.SetXAxis(&axis);
  }
  EXPECT_EQ(s.XData(), nullptr);
  EXPECT_EQ(s.YData(), nullptr);
  EXPECT_EQ(s.XAxis(), nullptr);
  EXPECT_TRUE(graph.Axes().empty());
  graph.Recalculate();  // nothing left to touch
}

std::vector<std::string> LegendCaptions(const TRtLegend& legend) {
  std::vector<std::string> out;
  for (const TRtSeries* s : legend.Items()) out.push_back(s->Caption());
  return out;
}

TEST(RtLegend, MainChartLegendOrder) {
  const std::string temperature =
      "Measured Temperature, \xC2\xBA"
      "C";
  const std::string output = "Working output, % of maximum power";
  const std::string working =
      "Working Setpoint, \xC2\xBA"
      "C";
  const std::string target =
      "Target Setpoint, \xC2\xBA"
      "C";
  struct Case {
    bool temperatureVisible, target, working, output, rate;
    std::vector<std::string> expected;
  } cases[] = {
      {true, false, false, false, false, {temperature}},
      {true, true, true, true, false, {temperature, output, working, target}},
      {true,
       true,
       false,
       false,
       true,
       {temperature, target,
        "Rate of change, last 5.0 minutes: 0.010\xC2\xBA"
        "C/min"}},
      // The listed series comes first whatever its visibility.
      {false, false, true, false, false, {temperature, working}},
  };
  for (const auto& c : cases) {
    TRtCustomGraph graph;
    TStandaloneChart chart(graph, {});
    chart.RtPointSeriesTemperature.SetVisible(c.temperatureVisible);
    chart.RtLineSeriesTargetSetpoint.SetVisible(c.target);
    chart.RtLineSeriesWorkingSetpoint.SetVisible(c.working);
    chart.RtLineSeriesWorkingOutput.SetVisible(c.output);
    chart.RtLinearRegressionRateOfChange.SetVisible(c.rate);
    chart.RtLinearRegressionRateOfChange.SetCaption(
        "Rate of change, last 5.0 minutes: 0.010\xC2\xBA"
        "C/min");
    EXPECT_EQ(LegendCaptions(chart.Legend1), c.expected);
  }
}

TEST(RtMainChart, ObjectsAreConfiguredAsTheWindowNeedsThem) {
  TRtCustomGraph graph;
  auto chart = std::make_unique<TStandaloneChart>(graph, TRegionalSettings{});
  ASSERT_EQ(graph.Series().size(), 5u);
  EXPECT_EQ(graph.Series()[0], &chart->RtLineSeriesWorkingOutput);
  EXPECT_EQ(graph.Series()[4], &chart->RtLinearRegressionRateOfChange);
  // Every series is drawn from the measurements it was given.
  for (const TRtSeries* s : graph.Series()) EXPECT_EQ(s->XData(), &chart->RtDoubleVectorTime);
  EXPECT_EQ(chart->RtPointSeriesTemperature.YData(), &chart->RtDoubleVectorTemperature);
  EXPECT_EQ(chart->RtLinearRegressionRateOfChange.YData(), &chart->RtDoubleVectorTemperature);
  EXPECT_EQ(chart->RtLineSeriesTargetSetpoint.YData(), &chart->RtDoubleVectorSetpoint);
  EXPECT_EQ(chart->RtLineSeriesWorkingSetpoint.YData(), &chart->RtDoubleVectorWorkingSetpoint);
  EXPECT_EQ(chart->RtLineSeriesWorkingOutput.YData(), &chart->RtDoubleVectorWorkingOutput);
  EXPECT_EQ(chart->RtLineSeriesWorkingOutput.YAxis(), &chart->RightAxis1);
  EXPECT_EQ(chart->RightAxis1.Position(), TRtAxisPosition::Left);
  EXPECT_EQ(chart->YAxis1.Position(), TRtAxisPosition::Right);
  EXPECT_FALSE(chart->RightAxis1.Visible());
  EXPECT_EQ(chart->XAxis1.StartEnd(), TRtAxisEnd::Fixed);
  EXPECT_EQ(chart->XAxis1.StopEnd(), TRtAxisEnd::MovingSlit);
  EXPECT_EQ(chart->RtPointSeriesTemperature.Line.Color, 0xFFFF0000u);
  EXPECT_EQ(chart->RtPointSeriesTemperature.Line.Width, 3.0);
  EXPECT_EQ(chart->RtLineSeriesWorkingOutput.Area.ForeColor, 0x14000000u);
  EXPECT_EQ(chart->RtLinearRegressionRateOfChange.GetSlope(), 1.0);
  EXPECT_EQ(chart->RtLinearRegressionRateOfChange.GetOffset(), 3.276551987555707);
  EXPECT_EQ(chart->RtLinearRegressionRateOfChange.GetCalculationStop(), 15.0);
  EXPECT_EQ(chart->RtLinearRegressionRateOfChange.GetCalculationStart(), -6.0);
  EXPECT_FALSE(graph.Zoom.Auto);
  EXPECT_TRUE(graph.Zoom.VScrollbarVisible);
}

TEST(RtMainChart, WorkingOutputAreaReachesDownToZeroOnItsOwnAxis) {
  TRtCustomGraph graph;
  TStandaloneChart chart(graph, {});
  for (int i = 0; i < 20; ++i) {
    chart.AddSample(45000.0 + i * 5 * kSecond, 500.0 + i, 600, 520, 40.0 + i);
  }
  chart.RtLineSeriesWorkingOutput.SetVisible(true);
  chart.RightAxis1.SetVisible(true);
  graph.Recalculate();
  // The working output does not stretch the temperature axis.
  EXPECT_GE(chart.YAxis1.Start(), 400.0);
  EXPECT_LE(chart.RightAxis1.Start(), 40.0);
  EXPECT_GE(chart.RightAxis1.Stop(), 59.0);
}

}  // namespace
}  // namespace karvo
