#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>

#include "ChartFixture.h"
#include "chart/RtAxis.h"
#include "common/DateTime.h"
#include "supervisor/mainchart/RtMainChart.h"

namespace karvo {
namespace {

using test::kSecond;
using test::OneSeriesChart;

// Decimal comma and "." as time separator.
TRtRegionalSettings PinnedLocale() {
  TRtRegionalSettings r;
  r.decimalSeparator = ",";
  r.timeSeparator = ".";
  r.shortDateFormat = "dd.MM.yyyy";
  r.shortTimeFormat = "HH:mm:ss";
  r.longTimeFormat = "HH:mm:ss";
  return r;
}

// A 1400-pixel time axis on `graph` showing exactly start .. stop (before
// rounding), ticks and labels worked out.
void ShowFixedTimeRange(TRtCustomGraph& graph, TRtAxis& x, double start, double stop) {
  graph.AddAxis(&x);
  x.SetScaling(TRtAxisScaling::DateTime);
  x.SetLengthPixels(1400);
  x.SetStartEnd(TRtAxisEnd::Fixed);
  x.SetStopEnd(TRtAxisEnd::Fixed);
  x.SetStart(start);
  x.SetStop(stop);
  graph.Recalculate();
}

TEST(RtAxis, MovingSlitExamples) {
  const double S = EncodeDate(2024, 3, 5) + 14.0 / 24;
  struct Case {
    double firstSeconds, lastSeconds;
    double startSeconds, stopSeconds;  // expected ends before rounding
  } cases[] = {{5, 50, 0, 60}, {5, 61, 15, 75}, {20, 61, 0, 75}, {5, 200, 150, 210}};
  for (const auto& c : cases) {
    OneSeriesChart chart;
    TRtAxis& x = chart.xAxis;
    x.SetEndRounding(TRtAxisEndRounding::RndNothing);
    x.SetStart(S);
    x.SetStop(S + 30 * kSecond);
    x.SetStopEnd(TRtAxisEnd::MovingSlit);
    EXPECT_EQ(x.StartEnd(), TRtAxisEnd::Fixed);
    x.SetMovingSlitWidth(60 * kSecond);
    x.SetMovingSlitIncrement(15 * kSecond);
    chart.Add(S + c.firstSeconds * kSecond, 1.0);
    chart.Add(S + c.lastSeconds * kSecond, 2.0);
    chart.graph.Recalculate();
    EXPECT_NEAR((x.Start() - S) / kSecond, c.startSeconds, 1e-3) << c.firstSeconds << ".." << c.lastSeconds;
    EXPECT_NEAR((x.Stop() - S) / kSecond, c.stopSeconds, 1e-3) << c.firstSeconds << ".." << c.lastSeconds;
  }
}

TEST(RtAxis, MovingSlitDefaultsFromTheInitialRange) {
  OneSeriesChart chart;
  TRtAxis& x = chart.xAxis;
  const double S = 45000.0;
  x.SetEndRounding(TRtAxisEndRounding::RndNothing);
  x.SetStart(S);
  x.SetStop(S + 90 * kSecond);
  x.SetStopEnd(TRtAxisEnd::MovingSlit);
  chart.Add(S + 10 * kSecond, 1);
  chart.Add(S + 100 * kSecond, 1);
  chart.graph.Recalculate();
  EXPECT_NEAR(x.MovingSlitWidth() / kSecond, 90, 1e-6);
  EXPECT_NEAR(x.MovingSlitIncrement() / kSecond, 30, 1e-6);
  EXPECT_NEAR((x.Stop() - S) / kSecond, 120, 1e-3);
}

TEST(RtAxis, ValueAxisEnds) {
  struct Case {
    const char* name;
    std::vector<double> data;
    TRtAxisEnd startEnd, stopEnd;
    double setStart, setStop;
    TRtAxisEndRounding rounding;
    double start, stop;
  } cases[] = {
      {"constant 23",
       {23, 23, 23},
       TRtAxisEnd::AutoRange,
       TRtAxisEnd::AutoRange,
       20,
       50,
       TRtAxisEndRounding::RndNothing,
       13,
       33},
      {"constant 0",
       {0, 0},
       TRtAxisEnd::AutoRange,
       TRtAxisEnd::AutoRange,
       20,
       50,
       TRtAxisEndRounding::RndNothing,
       -1,
       1},
      {"constant, fixed start",
       {0.5, 0.5},
       TRtAxisEnd::Fixed,
       TRtAxisEnd::AutoRange,
       0.5,
       50,
       TRtAxisEndRounding::RndNothing,
       0.5,
       0.6},
      {"reversed", {10, 30}, TRtAxisEnd::Fixed, TRtAxisEnd::AutoRange, 40, 50, TRtAxisEndRounding::RndNothing, 0, 100},
      {"no data", {}, TRtAxisEnd::AutoRange, TRtAxisEnd::AutoRange, 20, 50, TRtAxisEndRounding::RndNothing, 20, 50},
      {"first set widened",
       {10, 60},
       TRtAxisEnd::FirstSet,
       TRtAxisEnd::FirstSet,
       20,
       50,
       TRtAxisEndRounding::RndNothing,
       10,
       60},
      {"first set kept",
       {30, 40},
       TRtAxisEnd::FirstSet,
       TRtAxisEnd::FirstSet,
       20,
       50,
       TRtAxisEndRounding::RndNothing,
       20,
       50},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OneSeriesChart chart;
    TRtAxis& y = chart.yAxis;
    y.SetEndRounding(c.rounding);
    y.SetStart(c.setStart);
    y.SetStop(c.setStop);
    y.SetStartEnd(c.startEnd);
    y.SetStopEnd(c.stopEnd);
    for (std::size_t i = 0; i < c.data.size(); ++i) chart.Add(45000 + static_cast<double>(i) * kSecond, c.data[i]);
    chart.graph.Recalculate();
    EXPECT_NEAR(y.Start(), c.start, 1e-12);
    EXPECT_NEAR(y.Stop(), c.stop, 1e-12);
  }
}

TEST(RtAxis, ValueAxisRoundsToMajorTicks) {
  for (double fixedStart : {23.0, 20.0, 0.3, -7.0}) {
    OneSeriesChart chart;
    TRtAxis& y = chart.yAxis;
    y.SetStart(fixedStart);
    y.SetStartEnd(TRtAxisEnd::Fixed);
    chart.Add(45000, fixedStart + 37.3);
    chart.Add(45000 + kSecond, fixedStart + 120.0);
    chart.graph.Recalculate();
    const double major = y.MajorStep();
    EXPECT_LE(y.Start(), fixedStart);
    EXPECT_GT(y.Start(), fixedStart - major);
    EXPECT_NEAR(std::remainder(y.Start(), major), 0.0, 1e-9);
    EXPECT_GE(y.Stop(), fixedStart + 120.0);
    EXPECT_NEAR(std::remainder(y.Stop(), major), 0.0, 1e-9);
  }
}

TEST(RtAxis, TimeAxisWithoutSpanShowsOneMinute) {
  OneSeriesChart chart;
  TRtAxis& x = chart.xAxis;
  x.SetEndRounding(TRtAxisEndRounding::RndNothing);
  chart.Add(45000.5, 1);
  chart.Add(45000.5, 2);
  chart.graph.Recalculate();
  EXPECT_EQ(x.Start(), 45000.5);
  EXPECT_NEAR(x.Stop() - x.Start(), 1.0 / 1440, 1e-10);
}

TEST(RtAxis, TimeAxisClampsToItsDateRange) {
  OneSeriesChart chart;
  TRtAxis& x = chart.xAxis;
  x.SetStart(-1e9);
  x.SetStop(1e9);
  EXPECT_EQ(x.Start(), TRtAxis::kMinDateTime);
  EXPECT_EQ(x.Stop(), TRtAxis::kMaxDateTime);
  chart.Add(-1e7, 1);
  chart.Add(1e7, 2);
  chart.graph.Recalculate();
  EXPECT_GE(x.Start(), TRtAxis::kMinDateTime);
  EXPECT_LE(x.Stop(), TRtAxis::kMaxDateTime);
  EXPECT_FALSE(x.Ticks().empty());
}

TEST(RtAxis, LabelFormatsComeFromTheRegionalSettings) {
  struct Case {
    const char* shortDate;
    const char* shortTime;
    const char* day;
    const char* minute;
  } cases[] = {{"dd.MM.yyyy", "HH:mm:ss", "d.M.yy", "HH:mm"},
               {"yyyy-MM-dd", "HH:mm", "yy-M-d", "HH:mm"},
               {"M/d/yyyy", "h:mm:ss AP", "M/d/yy", "h:mm AP"},
               {"dd/MM/yy", "H.mm.ss", "d/M/yy", "H.mm"},
               // Month names stay names: only a run of exactly "MM" is a number.
               {"d MMM yyyy", "HH:mm", "d MMM yy", "HH:mm"},
               {"dddd, MMMM d, yyyy", "h:mm AP", "dddd, MMMM d, yy", "h:mm AP"}};
  for (const auto& c : cases) {
    const TRtRegionalSettings r{
        .decimalSeparator = ",", .shortDateFormat = c.shortDate, .shortTimeFormat = c.shortTime};
    const TRtTimeFormats f = TRtTimeFormats::FromRegional(r);
    EXPECT_EQ(f.day, c.day);
    EXPECT_EQ(f.minute, c.minute);
    EXPECT_EQ(f.dayAndHour, std::string(c.day) + " " + c.minute);
  }
  const TRtRegionalSettings pinned = PinnedLocale();
  const double t = EncodeDateTime({2024, 3, 5, 14, 7, 9, 250});
  EXPECT_EQ(FormatDateTime(TRtTimeFormats::FromRegional(pinned).dayAndHour, t, pinned), "5.3.24 14.07");
  EXPECT_EQ(FormatDateTime(TRtTimeFormats::FromRegional(pinned).millisecond, t, pinned), "9,250");
  EXPECT_EQ(FormatDateTime("MMMM yyyy", t, pinned), "March 2024");
}

struct TimeCase {
  const char* name;
  double spanDays;
  TRtTimeUnit region;
  const char* labelPattern;
};

TEST(RtAxis, TimeLabelsForTenMinutesAndThreeDays) {
  const TimeCase cases[] = {
      {"ten minutes", 10.0 / 1440, TRtTimeUnit::Minute, R"(^\d\d\.\d\d$)"},
      {"three days", 3.0, TRtTimeUnit::Hour, R"(^\d{1,2}\.\d{1,2}\.\d\d( \d\d\.\d\d)?$)"},
      {"five seconds", 5.0 / 86400, TRtTimeUnit::Second, R"(^\d\d\.\d\d\.\d\d$)"},
      {"half a second", 0.5 / 86400, TRtTimeUnit::Millisecond, R"(^\d{1,2},\d{1,3}$)"},
      {"a year", 365.0, TRtTimeUnit::Month, R"(^[A-Z][a-z]+ \d\d(\d\d)?$)"},
  };
  const double start = EncodeDateTime({2024, 3, 5, 14, 5, 0, 0});
  for (const TimeCase& c : cases) {
    SCOPED_TRACE(c.name);
    TRtCustomGraph graph;
    TRtAxis x(PinnedLocale());
    ShowFixedTimeRange(graph, x, start, start + c.spanDays);
    EXPECT_EQ(x.TimeStep().region, c.region);
    int labels = 0;
    for (const TRtTick& t : x.Ticks()) {
      EXPECT_GE(t.value, x.Start());
      EXPECT_LE(t.value, x.Stop());
      if (!t.labelled) continue;
      EXPECT_TRUE(t.major);
      EXPECT_TRUE(std::regex_match(t.label, std::regex(c.labelPattern))) << t.label;
      ++labels;
    }
    EXPECT_GE(labels, 2);
    EXPECT_LE(labels, 12);
  }
}

TEST(RtAxis, TenMinuteLabelsSitOnEvenMinutes) {
  TRtCustomGraph graph;
  TRtAxis x(PinnedLocale());
  const double start = EncodeDateTime({2024, 3, 5, 14, 5, 30, 0});
  ShowFixedTimeRange(graph, x, start, start + 10.0 / 1440);
  // Rounded out to whole major ticks (every minute here).
  EXPECT_EQ(FormatIsoDateTime(x.Start()), "2024-03-05 14:05:00");
  EXPECT_EQ(FormatIsoDateTime(x.Stop()), "2024-03-05 14:16:00");
  std::vector<std::string> labels;
  for (const TRtTick& t : x.Ticks())
    if (t.labelled) labels.push_back(t.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"14.06", "14.08", "14.10", "14.12", "14.14", "14.16"}));
}

TEST(RtAxis, ClearFallsBackToTheInitialRangeAndModesSwitchBack) {
  TRtCustomGraph graph;
  TStandaloneChart chart(graph, PinnedLocale());
  TRtAxis& x = chart.XAxis1;
  x.SetEndRounding(TRtAxisEndRounding::RndNothing);
  const double now = EncodeDateTime({2024, 3, 5, 14, 0, 0, 0});
  x.SetStart(now - 30 * kSecond);
  x.SetStop(now);
  graph.Recalculate();
  EXPECT_EQ(x.Start(), now - 30 * kSecond);
  EXPECT_NEAR(x.Stop(), now + 30 * kSecond, 1e-9);  // one slit width from the initial start

  for (int i = 0; i < 100; ++i) {
    chart.AddSample(now + i * 5 * kSecond, 20 + i, 100, 50, 30);
  }
  graph.Recalculate();
  EXPECT_NEAR((x.Stop() - x.Start()) / kSecond, 60, 1e-3);  // "Hours" mode: one minute wide

  // "Show all data": every sample from the first one.
  x.SetStartEnd(TRtAxisEnd::AutoRange);
  x.SetStopEnd(TRtAxisEnd::AutoRange);
  graph.Recalculate();
  EXPECT_EQ(x.Start(), now);
  EXPECT_EQ(x.Stop(), now + 99 * 5 * kSecond);

  // Back to the moving window, then clear: the initial range again.
  x.SetStartEnd(TRtAxisEnd::Fixed);
  x.SetStopEnd(TRtAxisEnd::MovingSlit);
  graph.BeginUpdate();
  chart.Clear();
  graph.EndUpdate();
  graph.Recalculate();
  EXPECT_EQ(x.Start(), now - 30 * kSecond);
  EXPECT_NEAR(x.Stop(), now + 30 * kSecond, 1e-9);
  EXPECT_EQ(chart.YAxis1.Start(), 0.0);  // the temperature axis: its initial 0 .. 100
}

}  // namespace
}  // namespace karvo
