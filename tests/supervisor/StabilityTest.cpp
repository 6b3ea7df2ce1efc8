// Stability, the segment program and the hold request, tick by tick on a
// clock the test steps; the furnace module has no port, so nothing is sent
// (what reaches a controller is tested against the simulator in
// tests/window/ProgramTest.cpp).

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SupervisorTestUtil.h"
#include "TestHome.h"
#include "chart/RtCustomGraph.h"
#include "common/Log.h"
#include "common/Seams.h"
#include "supervisor/logic/Formats.h"
#include "supervisor/logic/Supervisor.h"
#include "supervisor/store/KarvoRegistry.h"

namespace karvo {
namespace {

using Lines = std::vector<std::string>;

using test::Contains;

TEST(Lamps, TheFirstTwoCompareStrictly) {
  const struct {
    std::int32_t maxOscillation, target;
    double temperature;
    bool on;
  } first[] = {
      {2, 1050, 1048.0, false}, {2, 1050, 1048.01, true}, {2, 1050, 1052.0, false},
      {2, 1050, 1051.99, true}, {2, 1050, 1050.0, true},  {20, 100, 80.0, false},
      {20, 100, 80.5, true},    {2, 0, -1.99, true},      {2, 1050, 0.0, false},
  };
  for (const auto& c : first)
    EXPECT_EQ(TemperatureClose(c.maxOscillation, c.target, c.temperature), c.on) << c.target << " " << c.temperature;

  const TDateTime t0 = 45356.25;
  const struct {
    double maxRate, slope;
    TDateTime oldest, windowStart;
    bool on;
  } second[] = {
      {0.75, 0.75, t0, t0 + 1, false},    // equal slope
      {0.75, -0.75, t0, t0 + 1, false},   // equal, falling
      {0.75, 0.7499, t0, t0 + 1, true},   //
      {0.75, -0.7499, t0, t0 + 1, true},  //
      {0.75, 0.0, t0, t0, false},         // the data start where the window does: not yet full
      {0.75, 0.0, t0, t0 - 1e-9, false},  // the window reaches back beyond the data
      {0.75, 0.0, t0, -6.0, false},       // before the first calculation
      {0.001, 0.0, t0, t0 + 1e-9, true},
  };
  for (const auto& c : second) EXPECT_EQ(RateOfChangeLow(c.maxRate, c.slope, c.oldest, c.windowStart), c.on) << c.slope;
}

TEST(StableTime, HoursCountOnPastADay) {
  const double s = 1.0 / kSecondsPerDay;
  const struct {
    double days;
    const char* text;
  } cases[] = {
      {0.0, "00:00:00"},
      {59.0 * s, "00:00:59"},
      {59.9994 * s, "00:00:59"},  // seconds are not rounded up
      {59.9996 * s, "00:01:00"},  // but the span is taken to the millisecond
      {(25 * 3600 + 3 * 60 + 4) * s, "25:03:04"},
      {100.0 / 24, "100:00:00"},
      {-90.0 * s, "-00:01:30"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatStableTime(c.days), c.text) << c.days;
}

// Steps 8 to 15 tick by tick: one consumed poll every `step` seconds of a
// clock the test moves.
class Program : public ::testing::Test {
 protected:
  Program() {
    supervisor.StartPoll = [](const std::string&) { return true; };
    supervisor.PollsRunning = [] { return 0; };
    supervisor.SetFurnaceModule(std::make_unique<TFurnaceModule>());
    settings.ProgramMayRun = true;
    settings.FurnaceName = L"Oven";
    settings.MinimumSteadyTime = 1;
    Observe(10);
    MemoryLog::Clear();
  }
  TFurnaceModule& Module() { return *supervisor.FurnaceModule(); }
  void Observe(std::int32_t seconds) {
    settings.StableSlopeTime = seconds;
    supervisor.SetRateOfChangeWindow(seconds);
  }
  void AddSegment(std::int32_t setpoint, std::int32_t rampRate, double dwell) {
    TFurnaceActionParameters s;
    s.TargetSetpoint = setpoint;
    s.RampRate = rampRate;
    s.Duration = dwell;
    Module().SetInstruction(Module().InstructionCount() + 1, s);
  }
  // The next poll, `step` seconds after the previous one, consumed.
  TTickOutcome Consume(double temperature, std::int32_t target = 1050, std::int32_t rampRate = 10) {
    clock = t0 + polls * step / kSecondsPerDay;
    ++polls;
    record = {};
    record.Valid = true;
    record.Temperature = temperature;
    record.TargetSetpoint = target;
    record.WorkingSetpoint = target;
    record.RampRate = rampRate;
    record.ReadtimeUtc = clock;
    record.Readtime = clock;
    TTickOutcome out = supervisor.Tick(settings, record);
    EXPECT_EQ(out.Kind, TTickKind::Consumed);
    return out;
  }
  static Lines Logged() {
    Lines lines = MemoryLog::Lines();
    MemoryLog::Clear();
    return lines;
  }
  const TStability& Lamps() const { return supervisor.Stability; }
  std::wstring Signal() const { return ReadRegistryString(L"FS_Oven"); }
  void HoldRequest(const std::optional<std::wstring>& text) {
    if (text) WriteRegistryString(L"FW_Oven", *text);
  }

  test::ScopedStore store;
  TDateTime clock = 0.0;
  seams::Scoped<seams::NowFn> clock_{seams::SetUtcNow, [this] { return clock; }};
  const TDateTime t0 = 45356.25;
  double step = 20.0;
  int polls = 0;
  TRtCustomGraph graph;
  TSupervisor supervisor{graph, [] {
                           TRegionalSettings r;
                           r.decimalSeparator = ",";
                           return r;
                         }()};
  TTickSettings settings;
  TFurnaceReadRecord record;
};

TEST_F(Program, RateOfChangeFromTheFourthPointLineFromTheEighth) {
  Observe(300);
  step = 5.0;
  TRtLinearRegression& regression = supervisor.Chart().RtLinearRegressionRateOfChange;
  for (int i = 0; i < 3; ++i) {
    const TTickOutcome out = Consume(1000.0 + i);  // rising 12 ºC a minute
    EXPECT_FALSE(out.Display.RateOfChange);
    for (const std::string& line : Logged()) EXPECT_EQ(line.rfind("Rate of change", 0), std::string::npos) << line;
  }
  TTickOutcome out = Consume(1003.0);
  ASSERT_TRUE(out.Display.RateOfChange);
  EXPECT_NEAR(*out.Display.RateOfChange, 12.0, 1e-6);
  EXPECT_TRUE(Contains(Logged(), "Rate of change             : 12,000" + DegreesCelsius() + "/min"));
  EXPECT_EQ(regression.Caption(),
            "Rate of change, last 5,0 minutes: 12,000\xC2\xBA"
            "C/min");
  // The first fit takes every sample: the design stop 15.0 less the window.
  EXPECT_DOUBLE_EQ(regression.GetCalculationStart(), 15.0 - 300.0 / kSecondsPerDay);
  for (int i = 4; i < 8; ++i) {
    EXPECT_FALSE(regression.Visible()) << i;
    Consume(1000.0 + i);
    // From now on the window starts one observation length before the
    // newest sample of the previous fit.
    EXPECT_DOUBLE_EQ(regression.GetCalculationStart(),
                     supervisor.Measurements().RtDoubleVectorTime.GetValue(i - 1) - 300.0 / kSecondsPerDay);
    EXPECT_DOUBLE_EQ(regression.GetCalculationStop(), supervisor.Measurements().RtDoubleVectorTime.GetValue(i));
  }
  EXPECT_TRUE(regression.Visible());
}

// The first lamp on consumed polls: the controller's target setpoint (not
// the segment's), a difference equal to the maximum oscillation off.
TEST_F(Program, TheFirstLampComparesEachPollWithTheControllersTargetStrictly) {
  AddSegment(900, 10, 0.0);
  settings.StableTemperature = 2;
  const struct {
    double temperature;
    bool on;
  } cases[] = {{1048.0, false}, {1048.01, true}, {1052.0, false}, {1051.99, true}, {900.0, false}, {1050.0, true}};
  for (const auto& c : cases) {
    const TTickOutcome out = Consume(c.temperature, 1050);
    ASSERT_TRUE(out.Display.LedOscilation);
    EXPECT_EQ(*out.Display.LedOscilation, c.on) << c.temperature;
    EXPECT_EQ(Lamps().LedOscilation(), c.on) << c.temperature;
  }
  settings.StableTemperature = 20;
  EXPECT_FALSE(*Consume(1030.0, 1050).Display.LedOscilation);
  EXPECT_TRUE(*Consume(1030.5, 1050).Display.LedOscilation);
}

TEST_F(Program, TheSecondLampWaitsForAFullWindow) {
  Observe(300);
  step = 5.0;
  // Polls every 5 s: the time vector must span more than 300 s, which
  // takes 62 polls after the first.
  for (int i = 0; i <= 60; ++i) {
    Consume(1050.0);
    EXPECT_FALSE(Lamps().LedSlope()) << i;
    EXPECT_TRUE(Lamps().LedOscilation());
  }
  Consume(1050.0);  // the edge: 300 s exactly, rounding decides
  Consume(1050.0);
  EXPECT_TRUE(Lamps().LedSlope());
  EXPECT_NE(supervisor.State.StableSince, 0.0);
}

TEST_F(Program, ASegmentEndsOnlyAfterMinimumSteadyTimePlusDwellStrictly) {
  AddSegment(1050, 10, 1.0 / kMinutesPerDay);  // minimum steady time 1 min, dwell 1 min
  std::vector<TTickOutcome> ticks;
  for (int i = 0; i < 4; ++i) ticks.push_back(Consume(1049.5));
  EXPECT_FALSE(Lamps().LedSlope());  // four points: the first fit takes all of them
  EXPECT_EQ(supervisor.State.StableSince, 0.0);
  Logged();
  // Poll 4 (80 s): the window reaches back beyond the oldest sample.
  Consume(1049.5);
  const TDateTime since = clock;
  EXPECT_EQ(supervisor.State.StableSince, since);
  EXPECT_TRUE(Lamps().LedOscilation() && Lamps().LedSlope());
  EXPECT_FALSE(Lamps().LedTime());
  EXPECT_EQ(Signal(), L"0");
  // Stable for 20 and 40 s.
  Consume(1049.5);
  TTickOutcome out = Consume(1049.6);
  EXPECT_EQ(out.Display.StableTime, "00:00:40");
  EXPECT_FALSE(Lamps().LedTime());
  // 60 s: the third lamp (at least the minimum steady time), FS_ shows the
  // segment; the segment asks for 2 min.
  Logged();
  out = Consume(1049.5);
  EXPECT_TRUE(Lamps().LedTime());
  EXPECT_EQ(out.Display.LedTime, true);
  EXPECT_EQ(Signal(), L"1");
  const Lines report = Logged();
  EXPECT_TRUE(Contains(report, "Current segment            : 1"));
  EXPECT_TRUE(Contains(report, "Current segment will dwell : True"));
  EXPECT_TRUE(Contains(report, "Been stable                : 00:01:00"));
  EXPECT_TRUE(Contains(report, "Required stable            : 00:02:00"));
  EXPECT_DOUBLE_EQ(Module().BeenStable(), clock - since);
  // 80, 100, 120 s: not yet longer than 2 min.
  for (int i = 0; i < 3; ++i) {
    out = Consume(1049.5);
    EXPECT_EQ(Module().InstructionsCurrentSegment(), 1);
    ASSERT_TRUE(out.Display.InstructionsTable);
    EXPECT_EQ(out.Display.InstructionsTable->size(), 4u);
  }
  EXPECT_EQ(out.Display.StableTime, "00:02:00");
  // 140 s: finished; the lamps go off, the clock restarts, the table stays.
  out = Consume(1049.5);
  EXPECT_TRUE(Module().GetInstruction(1).Finished);
  EXPECT_EQ(Module().InstructionsCurrentSegment(), 0);
  EXPECT_EQ(supervisor.State.StableSince, 0.0);
  EXPECT_EQ(Module().BeenStable(), 0.0);
  EXPECT_EQ(out.Display.LedOscilation, false);
  EXPECT_EQ(out.Display.LedSlope, false);
  EXPECT_EQ(out.Display.LedTime, false);
  EXPECT_FALSE(out.Display.InstructionsTable);
  EXPECT_EQ(Signal(), L"1");  // written before the segment ended
  // The next tick: stable anew, not for long: "0".
  out = Consume(1049.5);
  EXPECT_EQ(supervisor.State.StableSince, clock);
  EXPECT_EQ(Signal(), L"0");
  EXPECT_TRUE(Contains(Logged(), "Current segment            : 0"));
}

TEST_F(Program, WithoutDwellTheSegmentEndsOnTheTickAfterTheThirdLamp) {
  AddSegment(1050, 10, 0.0);
  AddSegment(1100, 10, 0.0);
  for (int i = 0; i < 5; ++i) Consume(1050.0);
  ASSERT_NE(supervisor.State.StableSince, 0.0);
  Consume(1050.0);
  Consume(1050.0);
  Consume(1050.0);  // exactly 60 s
  EXPECT_TRUE(Lamps().LedTime());
  EXPECT_EQ(Module().InstructionsCurrentSegment(), 1);
  Consume(1050.0);
  EXPECT_EQ(Module().InstructionsCurrentSegment(), 2);
  // The next segment is applied from the next tick: its log lines, 19
  // characters to the colon.
  Logged();
  Consume(1050.0);
  const Lines lines = Logged();
  const Lines apply{"",
                    "Apply segment    : 2",
                    "Module ramprate  : 10",
                    "Segment ramprate : 10",
                    "Module setpoint  : 1050",
                    "Segment setpoint : 1100"};
  EXPECT_NE(std::search(lines.begin(), lines.end(), apply.begin(), apply.end()), lines.end());
}

TEST_F(Program, DistanceIsReportedWhileBothLampsAreOffAndTheSegmentHasNoDwell) {
  AddSegment(1050, 10, 0.0);
  Consume(1047.55);
  EXPECT_TRUE(Contains(Logged(), "Distance from Target       : 2,5" + DegreesCelsius()));
  Consume(1049.0);  // first lamp on
  for (const std::string& line : Logged()) EXPECT_EQ(line.rfind("Distance", 0), std::string::npos);
  Module().SetInstruction(1, {false, 1050, 10, 0.5, false});
  Consume(1040.0);
  for (const std::string& line : Logged()) EXPECT_EQ(line.rfind("Distance", 0), std::string::npos);
}

// Stable and past the segment's time: what keeps the segment current.
TEST_F(Program, AHoldRequestKeepsTheSegmentWhileItsTextIsNeitherZeroNorEmpty) {
  const struct {
    std::optional<std::wstring> request;
    bool holds;
  } cases[] = {
      {std::nullopt, false},         {L"0", false}, {L"", false}, {L"00", true}, {L" 0", true}, {L"0 ", true},
      {L"Sample 4 measuring", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request ? std::string(c.request->begin(), c.request->end()) : "missing");
    test::ScopedStore fresh;
    HoldRequest(c.request);
    Module().InstructionsDeleteFrom(1);
    AddSegment(1050, 10, 0.0);
    supervisor.State.StableSince = 0.0;
    for (int i = 0; i < 10; ++i) Consume(1050.0);  // stable for 100 s: the segment is due
    const Lines lines = Logged();
    const bool held = Contains(lines, "External program is signalling for Karvo temp to hold this temperature.");
    EXPECT_EQ(held, c.holds);
    EXPECT_EQ(Module().InstructionsCurrentSegment(), c.holds ? 1 : 0);
    if (c.holds) {
      EXPECT_TRUE(Contains(lines, "Message from that program: " + std::string(c.request->begin(), c.request->end())));
      EXPECT_EQ(Signal(), L"1");
      EXPECT_TRUE(Lamps().LedTime());
    }
  }
}

TEST_F(Program, AHeldSegmentFinishesOnceTheRequestIsWithdrawn) {
  AddSegment(1050, 10, 0.0);
  AddSegment(1060, 10, 0.0);
  HoldRequest(L"Sample 4\r\nmeasuring");
  for (int i = 0; i < 12; ++i) Consume(1050.0);
  const Lines lines = Logged();
  // Each held tick logs the request; the message stays on one line.
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Message from that program: Sample 4  measuring"), 5);
  EXPECT_EQ(Module().InstructionsCurrentSegment(), 1);
  HoldRequest(L"0");
  Consume(1050.0);
  EXPECT_EQ(Module().InstructionsCurrentSegment(), 2);
}

TEST_F(Program, AHoldRequestWithoutSegmentOrOnQuickControlIsNotHeeded) {
  HoldRequest(L"Sample 4 measuring");
  // No program: slot 0's time passes like a segment's, over and over.
  int ends = 0;
  for (int i = 0; i < 16; ++i) {
    const TTickOutcome out = Consume(1050.0);
    if (out.Display.LedTime == false && out.Display.LedOscilation == false) ++ends;
  }
  EXPECT_GE(ends, 2);
  EXPECT_TRUE(Module().GetInstruction(0).Finished);
  EXPECT_EQ(Signal(), L"0");
  Lines lines = Logged();
  EXPECT_FALSE(Contains(lines, "External program is signalling for Karvo temp to hold this temperature."));

  // "Quick control": lamps and signal go on, the program step does not run.
  AddSegment(1050, 10, 0.0);
  settings.ProgramMayRun = false;
  for (int i = 0; i < 10; ++i) {
    const TTickOutcome out = Consume(1050.0);
    EXPECT_FALSE(out.Display.InstructionsTable);
  }
  EXPECT_TRUE(Lamps().LedTime());
  EXPECT_EQ(Signal(), L"1");
  EXPECT_EQ(Module().InstructionsCurrentSegment(), 1);
  lines = Logged();
  EXPECT_FALSE(Contains(lines, "External program is signalling for Karvo temp to hold this temperature."));
  EXPECT_FALSE(Contains(lines, "Apply segment    : 1"));
}

TEST_F(Program, ChangedSettingsTakeEffectAtTheNextTick) {
  AddSegment(1050, 10, 0.0);
  for (int i = 0; i < 6; ++i) Consume(1049.0);
  EXPECT_TRUE(Lamps().LedOscilation());
  settings.StableTemperature = 1;  // |1050 - 1049| is not below 1
  Consume(1049.0);
  EXPECT_FALSE(Lamps().LedOscilation());
  EXPECT_EQ(supervisor.State.StableSince, 0.0);
  settings.StableTemperature = 2;
  Consume(1049.0);
  EXPECT_NE(supervisor.State.StableSince, 0.0);
  settings.MaxRateOfChange = 0.001;
  Consume(1049.2);  // 0.6 ºC/min over the last 20 s
  EXPECT_FALSE(Lamps().LedSlope());
}

}  // namespace
}  // namespace karvo
