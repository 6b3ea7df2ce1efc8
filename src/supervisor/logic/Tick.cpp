// The supervisor tick: start a poll or consume the record the last poll
// delivered.
#include <algorithm>
#include <string>

#include "common/Log.h"
#include "common/Seams.h"
#include "common/Text.h"
#include "modbus/Registers.h"
#include "supervisor/logic/Formats.h"
#include "supervisor/logic/Supervisor.h"

namespace karvo {

namespace {

// The value report's labels are 29 characters long, ": " included.
std::string ValueLabel(const char* text) { return Label(text, 27); }

}  // namespace

TSupervisor::TSupervisor(TRtCustomGraph& graph, TRegionalSettings regional)
    : StartPoll(ReadFurnace),
      PollsRunning(PollsInFlight),
      Journal(regional),
      fChart(graph, fMeasurements, regional),
      fRegional(std::move(regional)) {}

TSupervisor::~TSupervisor() = default;

void TSupervisor::ClearAllData() {
  fChart.RtGraph2D1.BeginUpdate();
  fMeasurements.Clear();
  fChart.RtGraph2D1.EndUpdate();
}

void TSupervisor::SetFurnaceModule(std::unique_ptr<TFurnaceModule> module) {
  fFurnaceModule = std::move(module);
  State.RunFirstSample = -1;
}

void TSupervisor::SetRateOfChangeWindow(std::int32_t seconds) { State.RateOfChangeWindow = seconds / kSecondsPerDay; }

std::optional<std::int32_t> NextOutputLimit(double temperature, const TTickSettings& settings, TFurnaceModule& module) {
  const std::int32_t t = settings.TransitionTemperature;
  if (temperature > t + 25) {
    module.MaxOutputPowerTarget = settings.HighPower * 10;
    module.MaxOutputPowerTargetChosen = true;
  } else if (temperature < t - 25) {
    module.MaxOutputPowerTarget = settings.LowPower * 10;
    module.MaxOutputPowerTargetChosen = true;
  }
  // Inside the band the target keeps its value; before the temperature has
  // left the band once there is none, and nothing is written.
  if (!module.MaxOutputPowerTargetChosen) return std::nullopt;
  const std::int32_t target = module.MaxOutputPowerTarget;
  const std::int32_t actual = module.MaxOutputPowerActual;
  if (target == actual) return std::nullopt;
  const std::int32_t gap = target > actual ? target - actual : actual - target;
  if (gap <= 50) return target;
  return target > actual ? actual + 25 : actual - 25;
}

void TSupervisor::ReportValues(const TFurnaceReadRecord& r) {
  const std::string degrees = DegreesCelsius();
  // The sample enters the chart whole, before anything that may fail.
  fMeasurements.AddSample(r.ReadtimeUtc, r.Temperature, r.TargetSetpoint, r.WorkingSetpoint, r.WorkingOutput / 10.0);
  LogLine();
  LogLine(ValueLabel("Target setpoint") + std::to_string(r.TargetSetpoint) + degrees);
  LogLine(ValueLabel("Working setpoint") + std::to_string(r.WorkingSetpoint) + degrees);
  LogLine(ValueLabel("Temperature") + FormatOneDecimal(r.Temperature, fRegional) + degrees);
  LogLine(ValueLabel("Ramp rate") + std::to_string(r.RampRate));
}

void TSupervisor::SetAxisModes(const TTickSettings& s) {
  TRtMainChart& c = fChart;
  if (s.ShowAllData) {
    c.XAxis1.SetStartEnd(TRtAxisEnd::AutoRange);
    c.XAxis1.SetStopEnd(TRtAxisEnd::AutoRange);
    c.YAxis1.SetStartEnd(TRtAxisEnd::AutoRange);
    c.YAxis1.SetStopEnd(TRtAxisEnd::AutoRange);
  } else {
    c.XAxis1.SetStartEnd(TRtAxisEnd::Fixed);
    c.XAxis1.SetStopEnd(TRtAxisEnd::MovingSlit);
    c.XAxis1.SetMovingSlitWidth(s.TimeAxisMaxHours / kHoursPerDay);
    c.YAxis1.SetStartEnd(TRtAxisEnd::Fixed);
    c.YAxis1.SetStopEnd(TRtAxisEnd::AutoRange);
    c.YAxis1.SetStart(s.MinTemp);
  }
}

void TSupervisor::SetVisibility(const TTickSettings& s) {
  TRtMainChart& c = fChart;
  c.Legend1.SetVisible(s.LegendVisible);
  c.RtLineSeriesTargetSetpoint.SetVisible(s.TargetSetpointVisible);
  c.RtLineSeriesWorkingSetpoint.SetVisible(s.WorkingSetpointVisible);
  c.RtLineSeriesWorkingOutput.SetVisible(s.WorkingOutputVisible);
  c.RightAxis1.SetVisible(s.WorkingOutputVisible);
}

TTickOutcome TSupervisor::Tick(const TTickSettings& s, TFurnaceReadRecord& r) {
  TTickOutcome out;
  TFurnaceModule* module = fFurnaceModule.get();
  // 1. Guard.
  if (module == nullptr || s.TickPaused) return out;
  // 2, 3.
  ++State.TickCounter;
  if (module->Com()) module->Com()->SetDebug(s.VerboseLog);
  SegmentRunner.RetryStableSegment();

  // 4. Dispatch.
  if (!r.Valid) {
    // At most one poll at a time: on a slow or silent line polls would pile
    // up and contend for the port.
    if (PollsRunning && PollsRunning() > 0) {
      out.Kind = TTickKind::PollRunning;
      return out;
    }
    if (StartPoll) StartPoll(s.PollPort);
    out.Kind = TTickKind::PollStarted;
    return out;
  }
  // The record is consumed before it is used: whatever fails further on,
  // the same sample never comes back at the next tick.
  const TFurnaceReadRecord rec = r;
  r.Valid = false;
  if (!rec.aMessage.empty()) {
    // Back off, but never beyond kMaxIntervalMs; a consumed poll sets the
    // interval back.
    State.IntervalMs =
        std::min<std::uint32_t>(kMaxIntervalMs, State.IntervalMs + static_cast<std::uint32_t>(RandomRange(0, 999)));
    out.IntervalChanged = true;
    out.Kind = TTickKind::PollFailed;
    LogLine();
    LogLine("Retrieving values from furnace was unsuccessfull:");
    LogLine(rec.aMessage);
    return out;
  }
  if (rec.SensorBreak) {
    out.Kind = TTickKind::SensorBreak;
    LogLine();
    LogLine("Sensor break detected. Refer to furnace manual.");
    return out;
  }

  // 5 to 15: the record is consumed.
  out.Kind = TTickKind::Consumed;
  out.Consumed = rec;
  TFurnaceReadRecord& used = *out.Consumed;
  TTickContext tick{s, used, State, *module, fChart, fMeasurements, out.Display, fRegional, 0.0};
  module->MaxOutputPowerActual = used.MaxOutputPowerActual;
  if (State.TickCounter % 3 == 0 && s.VaryingLimitEnabled) {
    if (const auto value = NextOutputLimit(used.Temperature, s, *module); value && module->Com())
      module->Com()->WriteWord(1, reg::OutputHighLimit, *value, false);
  }
  if (State.RunFirstSample < 0) State.RunFirstSample = fMeasurements.Count();
  ReportValues(used);
  // The run begins with its first consumed record; the writer thread takes
  // the sample from here.
  if (!Journal.IsOpen()) Journal.Begin(s.SavedFurnaceName);
  Journal.Append({used.ReadtimeUtc, used.Temperature, static_cast<double>(used.TargetSetpoint),
                  static_cast<double>(used.WorkingSetpoint), used.WorkingOutput / 10.0});
  Stability.RateOfChange(tick);
  tick.Now = UtcNow();
  Stability.JudgeLamps(tick);
  SetAxisModes(s);
  Stability.JudgeTimeLamp(tick);
  SegmentRunner.SegmentReport(tick);
  SetVisibility(s);
  LogLine(ValueLabel("Output power limit %") + std::to_string(TenthsToWholePercent(module->MaxOutputPowerActual)));
  if (State.IntervalMs != kInitialIntervalMs) {
    State.IntervalMs = kInitialIntervalMs;
    out.IntervalChanged = true;
  }
  if (s.ProgramMayRun) SegmentRunner.ProgramStep(tick);
  JournalProgram();
  return out;
}

}  // namespace karvo
