// The chart over both changes of daylight saving time: its X data are
// instants (as the window appends them, UtcNow), what the operator reads is
// local time.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ChartFixture.h"
#include "TallinnFixture_posix.h"
#include "chart/RtAxis.h"
#include "chart/RtLinearRegression.h"
#include "common/LocalTime.h"
#include "common/Seams.h"
#include "supervisor/mainchart/RtMainChart.h"

namespace karvo {
namespace {

using test::kSecond;

class ChartOverClockChanges : public test::Tallinn {
 protected:
  // The labelled ticks of a 1400-pixel time axis showing start .. stop.
  static std::vector<TRtTick> Labels(double start, double stop, double pixels = 1400) {
    TRtCustomGraph graph;
    TRtAxis x(TRegionalSettings{.shortTimeFormat = "HH:mm"});
    graph.AddAxis(&x);
    x.SetScaling(TRtAxisScaling::DateTime);
    x.SetLengthPixels(pixels);
    x.SetStartEnd(TRtAxisEnd::Fixed);
    x.SetStopEnd(TRtAxisEnd::Fixed);
    x.SetStart(start);
    x.SetStop(stop);
    graph.Recalculate();
    std::vector<TRtTick> labelled;
    for (const TRtTick& t : x.Ticks())
      if (t.labelled) labelled.push_back(t);
    return labelled;
  }
  static std::vector<std::string> Texts(const std::vector<TRtTick>& ticks) {
    std::vector<std::string> texts;
    for (const TRtTick& t : ticks) texts.push_back(t.label);
    return texts;
  }
};

TEST_F(ChartOverClockChanges, HourLabelsShowLocalTime) {
  // Autumn: 04:00 EEST becomes 03:00 EET at 01:00 UTC; the hour from 03:00
  // is labelled twice, an hour apart.
  const std::vector<TRtTick> autumn = Labels(Utc(2024, 10, 26, 22), Utc(2024, 10, 27, 4));
  EXPECT_EQ(Texts(autumn), (std::vector<std::string>{"01:00", "02:00", "03:00", "03:00", "04:00", "05:00", "06:00"}));
  for (std::size_t i = 1; i < autumn.size(); ++i) EXPECT_NEAR(autumn[i].value - autumn[i - 1].value, 1.0 / 24, 1e-9);
  // Spring: 03:00 EET becomes 04:00 EEST at 01:00 UTC; there is no 03:00.
  const std::vector<TRtTick> spring = Labels(Utc(2024, 3, 30, 22), Utc(2024, 3, 31, 4));
  EXPECT_EQ(Texts(spring), (std::vector<std::string>{"00:00", "01:00", "02:00", "04:00", "05:00", "06:00", "07:00"}));
  for (std::size_t i = 1; i < spring.size(); ++i) EXPECT_NEAR(spring[i].value - spring[i - 1].value, 1.0 / 24, 1e-9);
}

TEST_F(ChartOverClockChanges, DayTicksSitAtLocalMidnight) {
  for (const double start : {Utc(2024, 10, 24, 0), Utc(2024, 3, 28, 0)}) {
    const std::vector<TRtTick> days = Labels(start, start + 6, 900);
    ASSERT_GE(days.size(), 3u);
    for (const TRtTick& t : days) {
      const DateTimeParts local = DecodeDateTime(UtcToLocal(t.value));
      EXPECT_EQ(local.hour * 60 + local.minute, 0) << t.label;
    }
  }
}

// The window's chart fed as the tick feeds it, one poll every 5 s through
// the clock seam, over each change: the moving window never steps back and
// stays one width wide, the rate of change stays that of the furnace, and
// the labels of the shown range are in local time.
TEST_F(ChartOverClockChanges, MovingWindowAndRateOfChangeAcrossTheChanges) {
  for (const double change : {Utc(2024, 10, 27, 1), Utc(2024, 3, 31, 1)}) {
    double now = change - 3600 * kSecond;
    seams::Scoped<seams::NowFn> clock(seams::SetUtcNow, [&] { return now; });
    TRtCustomGraph graph;
    TStandaloneChart chart(graph, TRegionalSettings{.shortTimeFormat = "HH:mm"});
    chart.XAxis1.SetLengthPixels(1400);
    chart.XAxis1.SetStart(UtcNow() - 30 * kSecond);
    chart.XAxis1.SetStop(UtcNow());
    chart.XAxis1.SetMovingSlitWidth(0.5 / 24);  // half an hour
    TRtLinearRegression& rate = chart.RtLinearRegressionRateOfChange;
    double temperature = 300, lastStop = 0;
    for (int i = 0; i < 2 * 720; ++i) {  // two hours
      now += 5 * kSecond;
      temperature += 1.0 / 12;  // one degree a minute
      chart.AddSample(UtcNow(), temperature, temperature, temperature, 50);
      rate.SetCalculationStart(rate.GetCalculationStop() - 300 * kSecond);
      try {
        rate.Calculate();
      } catch (const ERtMathError&) {
      }
      graph.Recalculate();
      ASSERT_GE(chart.XAxis1.Stop(), lastStop) << i;
      lastStop = chart.XAxis1.Stop();
      ASSERT_GE(chart.XAxis1.Stop(), now) << i;
      if (i > 400) {
        ASSERT_NEAR(rate.GetSlope() / 1440, 1.0, 1e-6) << i;
        ASSERT_LE(chart.XAxis1.Start(), now - 0.5 / 24 + 15 * kSecond) << i;  // one increment past the data
        ASSERT_LE(chart.XAxis1.Stop() - chart.XAxis1.Start(), 0.5 / 24 + 0.25 / 24) << i;
      }
    }
    // The labels of the last range are the local times of their ticks.
    for (const TRtTick& t : chart.XAxis1.Ticks()) {
      if (!t.labelled) continue;
      const DateTimeParts local = DecodeDateTime(UtcToLocal(t.value));
      char text[8];
      std::snprintf(text, sizeof text, "%02d:%02d", local.hour, local.minute);
      EXPECT_EQ(t.label, text);
    }
  }
}

}  // namespace
}  // namespace karvo
