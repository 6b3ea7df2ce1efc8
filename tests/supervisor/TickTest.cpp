// The supervisor tick as a function of the controls' settings, the poll
// record and the state, with the poll start and the clock replaced.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestHome.h"
#include "chart/RtCustomGraph.h"
#include "common/Log.h"
#include "common/Seams.h"
#include "supervisor/logic/Formats.h"
#include "supervisor/logic/Supervisor.h"
#include "supervisor/logic/WindowTitle.h"

namespace karvo {
namespace {

using Lines = std::vector<std::string>;

TRegionalSettings DecimalComma() {
  TRegionalSettings r;
  r.decimalSeparator = ",";
  return r;
}

class Tick : public ::testing::Test {
 protected:
  Tick() {
    supervisor.StartPoll = [this](const std::string& port) {
      started.push_back(port);
      return true;
    };
    supervisor.PollsRunning = [this] { return running; };
    auto module = std::make_unique<TFurnaceModule>();
    module->SetOnPort("COM250");  // no such port: nothing here talks to a controller
    module->SetAddress(1);
    supervisor.SetFurnaceModule(std::move(module));
    settings.PollPort = "COM250";
    MemoryLog::Clear();
  }

  // A poll's record as the hand-off leaves it.
  void Deliver(double temperature = 1021.5) {
    record = {};
    record.Valid = true;
    record.Temperature = temperature;
    record.TargetSetpoint = 1050;
    record.WorkingSetpoint = 1043;
    record.WorkingOutput = 455;
    record.MaxOutputPowerActual = 725;
    record.RampRate = 10;
    record.ReadtimeUtc = 45356.25;
    record.Readtime = 45356.25 + 1.0 / 24;
  }
  void DeliverFailure(const std::string& text) {
    record = {};
    record.Valid = true;
    record.aMessage = text;
  }
  TTickOutcome Run() { return supervisor.Tick(settings, record); }
  static Lines Logged() {
    Lines lines = MemoryLog::Lines();
    MemoryLog::Clear();
    return lines;
  }

  test::ScopedStore store;  // the tick writes the stable-segment signal
  TRtCustomGraph graph;
  TSupervisor supervisor{graph, DecimalComma()};
  TRtMainChart& chart = supervisor.Chart();
  const TMeasurements& data = supervisor.Measurements();
  TTickSettings settings;
  TFurnaceReadRecord record;
  std::vector<std::string> started;
  int running = 0;
  seams::Scoped<seams::RandomFn> random_{seams::SetRandom, [](int, int hi) { return hi; }};
};

TEST_F(Tick, WithoutModuleOrOnTheDebugPageNothingHappens) {
  settings.TickPaused = true;
  Deliver();
  EXPECT_EQ(Run().Kind, TTickKind::Idle);
  record.Valid = false;
  EXPECT_EQ(Run().Kind, TTickKind::Idle);
  supervisor.SetFurnaceModule(nullptr);
  settings.TickPaused = false;
  settings.ProgramMayRun = true;
  EXPECT_EQ(Run().Kind, TTickKind::Idle);
  EXPECT_EQ(supervisor.State.TickCounter, 0);
  EXPECT_TRUE(started.empty());
  EXPECT_TRUE(Logged().empty());
  EXPECT_EQ(data.RtDoubleVectorTime.GetCount(), 0);
}

TEST_F(Tick, PollsAndConsumingTicksAlternateAndAtMostOnePollRuns) {
  EXPECT_EQ(Run().Kind, TTickKind::PollStarted);
  EXPECT_EQ(started, Lines{"COM250"});
  // The poll has not delivered yet and still runs: the tick only counts.
  running = 1;
  EXPECT_EQ(Run().Kind, TTickKind::PollRunning);
  EXPECT_EQ(started.size(), 1u);
  running = 0;
  Deliver();
  EXPECT_EQ(Run().Kind, TTickKind::Consumed);
  EXPECT_FALSE(record.Valid);
  EXPECT_EQ(Run().Kind, TTickKind::PollStarted);
  EXPECT_EQ(started.size(), 2u);
  EXPECT_EQ(supervisor.State.TickCounter, 4);
}

TEST_F(Tick, ConsumedRecordIsReportedShownAndAppendedTimeLast) {
  settings.VerboseLog = true;
  Deliver();
  const TTickOutcome out = Run();
  ASSERT_EQ(out.Kind, TTickKind::Consumed);
  const std::string degrees = DegreesCelsius();
  EXPECT_EQ(Logged(),
            (Lines{"", "Target setpoint            : 1050" + degrees, "Working setpoint           : 1043" + degrees,
                   "Temperature                : 1021,5" + degrees, "Ramp rate                  : 10",
                   "Current segment            : 0", "Current segment will dwell : False",
                   "Output power limit %       : 72"}));
  ASSERT_TRUE(out.Consumed);
  EXPECT_EQ(out.Consumed->TargetSetpoint, 1050);
  EXPECT_DOUBLE_EQ(out.Consumed->Temperature, 1021.5);
  EXPECT_FALSE(out.IntervalChanged);
  EXPECT_TRUE(supervisor.FurnaceModule()->Com()->Debug());
  EXPECT_EQ(supervisor.FurnaceModule()->MaxOutputPowerActual, 725);
  struct {
    const TRtDoubleVector& vector;
    double value;
  } appended[] = {
      {data.RtDoubleVectorSetpoint, 1050},           {data.RtDoubleVectorWorkingSetpoint, 1043},
      {data.RtDoubleVectorTemperature, 1021.5},      {data.RtDoubleVectorWorkingOutput, 45.5},
      {data.RtDoubleVectorTime, record.ReadtimeUtc},
  };
  for (const auto& a : appended) {
    ASSERT_EQ(a.vector.GetCount(), 1);
    EXPECT_DOUBLE_EQ(a.vector.GetValue(0), a.value);
  }
}

TEST_F(Tick, AxisModesAndVisibilityFollowTheControlsAtEveryConsumedPoll) {
  settings.ShowAllData = false;
  settings.TimeAxisMaxHours = 0.05;
  settings.MinTemp = 300;
  settings.LegendVisible = false;
  settings.TargetSetpointVisible = true;
  settings.WorkingOutputVisible = true;
  Deliver();
  Run();
  EXPECT_EQ(chart.XAxis1.StartEnd(), TRtAxisEnd::Fixed);
  EXPECT_EQ(chart.XAxis1.StopEnd(), TRtAxisEnd::MovingSlit);
  EXPECT_DOUBLE_EQ(chart.XAxis1.MovingSlitWidth(), 0.05 / 24);
  EXPECT_EQ(chart.YAxis1.StartEnd(), TRtAxisEnd::Fixed);
  EXPECT_EQ(chart.YAxis1.StopEnd(), TRtAxisEnd::AutoRange);
  EXPECT_EQ(chart.YAxis1.InitialStart(), 300);
  EXPECT_FALSE(chart.Legend1.Visible());
  EXPECT_TRUE(chart.RtLineSeriesTargetSetpoint.Visible());
  EXPECT_FALSE(chart.RtLineSeriesWorkingSetpoint.Visible());
  EXPECT_TRUE(chart.RtLineSeriesWorkingOutput.Visible());
  EXPECT_TRUE(chart.RightAxis1.Visible());

  settings.ShowAllData = true;
  settings.WorkingOutputVisible = false;
  Deliver();
  Run();
  for (const TRtAxis* axis : {&chart.XAxis1, &chart.YAxis1}) {
    EXPECT_EQ(axis->StartEnd(), TRtAxisEnd::AutoRange);
    EXPECT_EQ(axis->StopEnd(), TRtAxisEnd::AutoRange);
  }
  EXPECT_FALSE(chart.RightAxis1.Visible());
}

TEST_F(Tick, FailedPollsBackOffUpToAHalfMinuteAndAConsumedPollResetsTheInterval) {
  DeliverFailure("Timeout while waiting for response");
  TTickOutcome out = Run();
  EXPECT_EQ(out.Kind, TTickKind::PollFailed);
  EXPECT_TRUE(out.IntervalChanged);
  EXPECT_EQ(Logged(),
            (Lines{"", "Retrieving values from furnace was unsuccessfull:", "Timeout while waiting for response"}));
  EXPECT_FALSE(record.Valid);
  EXPECT_EQ(supervisor.State.IntervalMs, 2500u + 999u);
  DeliverFailure("Timeout while waiting for response");
  Run();
  EXPECT_EQ(supervisor.State.IntervalMs, 2500u + 2 * 999u);
  EXPECT_EQ(data.RtDoubleVectorTime.GetCount(), 0);
  // An hour of a pulled cable.
  for (int i = 0; i < 720; ++i) {
    DeliverFailure("Timeout while waiting for response");
    Run();
  }
  EXPECT_EQ(supervisor.State.IntervalMs, 30000u);  // half a minute at most
  Deliver();
  out = Run();
  EXPECT_TRUE(out.IntervalChanged);
  EXPECT_EQ(supervisor.State.IntervalMs, 2500u);
}

TEST_F(Tick, SensorBreakIsReportedAndNothingElseHappens) {
  Deliver();
  record.SensorBreak = true;
  const TTickOutcome out = Run();
  EXPECT_EQ(out.Kind, TTickKind::SensorBreak);
  EXPECT_FALSE(out.IntervalChanged);
  EXPECT_FALSE(out.Consumed);
  EXPECT_FALSE(record.Valid);
  EXPECT_EQ(Logged(), (Lines{"", "Sensor break detected. Refer to furnace manual."}));
  EXPECT_EQ(data.RtDoubleVectorTemperature.GetCount(), 0);
}

TEST_F(Tick, TheOutputLimitIsWrittenAtEveryThirdTickOnlyWhileEnabled) {
  // Far below the band: the low power 45 % is the target, 100 % the limit.
  settings.VerboseLog = true;  // the write's frame shows in the log
  auto writes = [](const Lines& log) {
    int n = 0;
    for (const std::string& line : log)
      if (line.rfind("Modbus in Hex", 0) == 0 && line.find("01 06 00 1E 03 CF") != std::string::npos) ++n;
    return n;
  };
  for (const bool enabled : {false, true}) {
    SCOPED_TRACE(enabled);
    settings.VaryingLimitEnabled = enabled;
    supervisor.State.TickCounter = 0;
    std::vector<int> written;
    for (int tick = 1; tick <= 6; ++tick) {
      Deliver(200.0);
      record.MaxOutputPowerActual = 1000;
      ASSERT_EQ(Run().Kind, TTickKind::Consumed);
      written.push_back(writes(Logged()));
    }
    EXPECT_EQ(written, enabled ? (std::vector<int>{0, 0, 1, 0, 0, 1}) : std::vector<int>(6, 0));
  }
}

TEST_F(Tick, ARecordIsConsumedBeforeItIsUsedAndEntersTheChartWhole) {
  // Something further on fails: here the log, at the temperature's line.
  const std::vector<const TRtDoubleVector*> vectors = {
      &data.RtDoubleVectorTime, &data.RtDoubleVectorTemperature, &data.RtDoubleVectorSetpoint,
      &data.RtDoubleVectorWorkingSetpoint, &data.RtDoubleVectorWorkingOutput};
  {
    const ScopedLogSink failing([](const std::string& line) {
      if (line.rfind("Temperature", 0) == 0) throw std::runtime_error("the log refuses");
    });
    Deliver();
    EXPECT_THROW(Run(), std::runtime_error);
  }
  EXPECT_FALSE(record.Valid);
  for (const TRtDoubleVector* v : vectors) EXPECT_EQ(v->GetCount(), 1);
  // The next tick polls; the sample is not appended again.
  EXPECT_EQ(Run().Kind, TTickKind::PollStarted);
  for (const TRtDoubleVector* v : vectors) EXPECT_EQ(v->GetCount(), 1);
}

TEST_F(Tick, TheTimeVectorGrowsLastWithEveryValueInPlace) {
  // Whoever watches the time vector (the series, the regression) finds the
  // sample's values when it grows.
  struct Watch : TRtSeries {
    explicit Watch(const TMeasurements& d) : data(d) {}
    void VectorAppended(const TRtDoubleVector* v) override {
      if (v != &data.RtDoubleVectorTime) return;
      const int n = data.RtDoubleVectorTime.GetCount();
      for (const TRtDoubleVector* other : {&data.RtDoubleVectorTemperature, &data.RtDoubleVectorSetpoint,
                                           &data.RtDoubleVectorWorkingSetpoint, &data.RtDoubleVectorWorkingOutput})
        counts.push_back(other->GetCount() - n);
    }
    const TMeasurements& data;
    std::vector<int> counts;
  } watch(data);
  watch.SetXData(&data.RtDoubleVectorTime);
  Deliver();
  Run();
  watch.SetXData(nullptr);
  EXPECT_EQ(watch.counts, std::vector<int>(4, 0));
}

TEST(Formats, OutputLimitIsShownAsWholePerCentHalvesToEven) {
  const struct {
    int tenths, percent;
  } cases[] = {{725, 72}, {735, 74}, {724, 72}, {726, 73}, {0, 0}, {1000, 100}, {5, 0}, {15, 2}, {-725, -72}};
  for (const auto& c : cases) EXPECT_EQ(TenthsToWholePercent(c.tenths), c.percent) << c.tenths;
  EXPECT_EQ(FurnaceNameFromTitle(L"Oven : Karvo Temp"), L"Oven");
  EXPECT_EQ(FurnaceNameFromTitle(TitleForFurnace(L"")), L"");
}

// The varying output-power limit: transition 600 ºC, high 75 %, low 45 %.
class OutputLimit : public ::testing::Test {
 protected:
  OutputLimit() {
    settings.TransitionTemperature = 600;
    settings.HighPower = 75;
    settings.LowPower = 45;
  }
  std::optional<std::int32_t> Next(double temperature) { return NextOutputLimit(temperature, settings, module); }
  TTickSettings settings;
  TFurnaceModule module;
};

TEST_F(OutputLimit, NothingIsWrittenUntilTheTemperatureHasLeftTheBand) {
  module.MaxOutputPowerActual = 1000;
  for (double t : {600.0, 575.0, 625.0, 590.5}) EXPECT_EQ(Next(t), std::nullopt) << t;
  EXPECT_FALSE(module.MaxOutputPowerTargetChosen);
  EXPECT_EQ(Next(574.9), 975);  // low target 450: stepped down from 1000
  EXPECT_EQ(module.MaxOutputPowerTarget, 450);
  // Back inside the band the target stays.
  module.MaxOutputPowerActual = 600;
  EXPECT_EQ(Next(600.0), 575);
  EXPECT_EQ(Next(625.0), 575);
  EXPECT_EQ(Next(625.1), 625);  // high target 750
  EXPECT_EQ(module.MaxOutputPowerTarget, 750);
}

TEST_F(OutputLimit, StepsByTwoAndAHalfPointsAndClosesAGapOfFivePointsAtOnce) {
  // Actual 750, target 450: 725, 700, ... and, once the controller reports 500, 450.
  std::vector<std::int32_t> writes;
  module.MaxOutputPowerActual = 750;
  for (int i = 0; i < 20; ++i) {
    const auto value = Next(500.0);
    if (!value) break;
    writes.push_back(*value);
    module.MaxOutputPowerActual = *value;  // the controller took it
  }
  EXPECT_EQ(writes, (std::vector<std::int32_t>{725, 700, 675, 650, 625, 600, 575, 550, 525, 500, 450}));
  module.MaxOutputPowerActual = 500;  // exactly 50 away: one write
  EXPECT_EQ(Next(500.0), 450);
  module.MaxOutputPowerActual = 501;  // 51 away: a step
  EXPECT_EQ(Next(500.0), 476);
  module.MaxOutputPowerActual = 399;
  EXPECT_EQ(Next(500.0), 424);
}

}  // namespace
}  // namespace karvo
