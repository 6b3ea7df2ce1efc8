#include "supervisor/logic/Stability.h"

#include <cmath>
#include <cstdio>
#include <exception>

#include "common/Attention.h"
#include "common/Log.h"
#include "common/Seams.h"
#include "common/Text.h"
#include "supervisor/logic/Formats.h"
#include "supervisor/logic/Supervisor.h"
#include "supervisor/store/KarvoRegistry.h"

namespace karvo {

namespace {

// The regression's slope is in ºC per day (its X data are instants in
// days); everything shown or compared is per minute.
double SlopePerMinute(const TRtMainChart& chart) {
  return chart.RtLinearRegressionRateOfChange.GetSlope() / kMinutesPerDay;
}

// Text from another program, on one line of the log: control characters
// (line breaks, tabs) become blanks.
std::wstring OneLine(std::wstring text) {
  for (wchar_t& c : text)
    if (c < 0x20 || c == 0x7F) c = L' ';
  return text;
}

// The oldest sample the observation window may count: the oldest of the
// chart while every sample is of the current run; samples before the run
// only while no gap of the back-off cap or more lies between them and the
// run (a reloaded journal's samples end where the program was not running).
TDateTime OldestObserved(const TRtDoubleVector& time, std::int32_t runFirst, TDateTime windowStart) {
  const int count = time.Count();
  if (runFirst <= 0 || runFirst >= count) return time.GetMinimum();
  const double cap = kMaxIntervalMs / 1000.0 / kSecondsPerDay;
  int first = runFirst;
  // Only as far back as the window reaches.
  while (first > 0 && time[first] >= windowStart && time[first] - time[first - 1] < cap) --first;
  return time[first];
}

}  // namespace

bool TemperatureClose(std::int32_t maxOscillation, std::int32_t targetSetpoint, double temperature) {
  return maxOscillation > std::fabs(targetSetpoint - temperature);
}

bool RateOfChangeLow(double maxRatePerMinute, double slopePerMinute, TDateTime oldestTime, TDateTime windowStart) {
  return maxRatePerMinute > std::fabs(slopePerMinute) && oldestTime < windowStart;
}

std::string FormatStableTime(double days) {
  const std::int64_t ms = DaysToMs(days);
  const TDurationParts p = SplitDuration(ms);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%s%02lld:%02d:%02d", ms <= -kMsPerSecond ? "-" : "",
                static_cast<long long>(p.TotalHours()), p.Minutes, p.Seconds);
  return buf;
}

std::wstring StableSegmentValueName(const std::wstring& furnaceName) {
  return L"FS_" + SystemToWide(WideToSystem(furnaceName));
}

std::wstring HoldRequestValueName(const std::wstring& furnaceName) {
  return L"FW_" + SystemToWide(WideToSystem(furnaceName));
}

std::string TStability::ReportLabel(const char* text) { return Label(text, 27); }
std::string TStability::ApplyLabel(const char* text) { return Label(text, 17); }

void TStability::SetLamps(TTickContext& tick, bool oscilation, bool slope, bool time) {
  fLedOscilation = oscilation;
  fLedSlope = slope;
  fLedTime = time;
  tick.Display.LedOscilation = oscilation;
  tick.Display.LedSlope = slope;
  tick.Display.LedTime = time;
}

void TStability::RateOfChange(TTickContext& tick) {
  TRtMainChart& c = tick.Chart;
  TRtLinearRegression& regression = c.RtLinearRegressionRateOfChange;
  const int points = c.RtDoubleVectorTime.Count();
  if (points >= 4) {
    // The window runs from the newest time of the previous calculation less
    // the observation length to the newest sample (AutoStop).
    regression.SetCalculationStart(regression.GetCalculationStop() - tick.State.RateOfChangeWindow);
    try {
      regression.Calculate();
    } catch (const std::exception&) {
      // Too few samples in the window: the regression then reports 0.
    }
    const double slope = SlopePerMinute(c);
    const std::string rate = FormatFixed(slope, 3, tick.Regional);
    LogLine(ReportLabel("Rate of change") + rate + DegreesCelsius() + "/min");
    regression.SetCaption("Rate of change, last " +
                          FormatFixed(tick.Settings.StableSlopeTime / 60.0, 1, tick.Regional) + " minutes: " + rate +
                          DegreesCelsius() + "/min");
    tick.Display.RateOfChange = slope;
  }
  if (!regression.Visible() && points >= 8) regression.SetVisible(true);
}

void TStability::JudgeLamps(TTickContext& tick) {
  const TTickSettings& s = tick.Settings;
  const TFurnaceReadRecord& r = tick.Record;
  const TRtMainChart& c = tick.Chart;
  const bool oscilation = TemperatureClose(s.StableTemperature, r.TargetSetpoint, r.Temperature);
  const TDateTime windowStart = c.RtLinearRegressionRateOfChange.GetCalculationStart();
  const bool slope =
      RateOfChangeLow(s.MaxRateOfChange, SlopePerMinute(c),
                      OldestObserved(c.RtDoubleVectorTime, tick.State.RunFirstSample, windowStart), windowStart);
  SetLamps(tick, oscilation, slope, fLedTime);
  TDateTime& since = tick.State.StableSince;
  if (oscilation && slope) {
    if (since == 0.0) since = tick.Now;
  } else {
    since = 0.0;
  }
  // Stable time a restored run brought along for this segment counts once
  // the furnace is stable again.
  const TTickState& state = tick.State;
  const double credit =
      state.StableCreditSegment == tick.Module.InstructionsCurrentSegment() ? MsToDays(state.StableCreditMs) : 0.0;
  const double beenStable = since > 0.0 ? tick.Now - since + credit : 0.0;
  tick.Module.SetBeenStable(beenStable);
  tick.Display.StableTime = FormatStableTime(beenStable);
}

void TStability::PublishStableSegment(const TTickSettings& settings, const std::wstring& value) {
  WriteStableSegment(StableSegmentValueName(settings.FurnaceName), value);
}

void TStability::RetryStableSegment() {
  if (fSignalFailing) WriteStableSegment(fPendingName, fPendingValue);
}

void TStability::WriteStableSegment(const std::wstring& name, const std::wstring& value) {
  try {
    // Rewritten only when the store holds something else: the same value
    // every 5 s would cost a synchronised file write each time.
    if (ReadRegistryString(name) != value) WriteRegistryString(name, value);
    if (fSignalFailing) LogLine("The stable segment is written to the store again.");
    fSignalFailing = false;
    ClearAttention(kSignalAttention);
  } catch (const StoreError& e) {
    // A store that refuses must not stop the tick: the record would stay
    // unconsumed and the program would stand still. Other programs read an
    // old segment meanwhile: the window says so until the write succeeds.
    if (!fSignalFailing) {
      LogLine();
      LogLine("The stable segment could not be written to the store: " + std::string(e.what()));
    }
    fSignalFailing = true;
    fPendingName = name;
    fPendingValue = value;
    RaiseAttention(kSignalAttention, WideToUtf8(L"The stable segment " + name + L" = " + value) +
                                         " could not be written to the store; other programs read an old value "
                                         "(retried at every tick): " +
                                         e.what());
  }
}

void TStability::SegmentReport(TTickContext& tick) {
  const TTickSettings& s = tick.Settings;
  const int n = tick.Module.InstructionsCurrentSegment();
  const TFurnaceActionParameters segment = tick.Module.GetInstruction(n);
  LogLine(ReportLabel("Current segment") + std::to_string(n));
  LogLine(ReportLabel("Current segment will dwell") + (segment.Duration > 0 ? "True" : "False"));
  const TDateTime since = tick.State.StableSince;
  const std::int64_t stableMs = since > 0.0 ? DaysToMs(tick.Now - since) : 0;
  if (since > 0.0 && stableMs >= s.MinimumSteadyTime * kMsPerMinute) {
    SetLamps(tick, fLedOscilation, fLedSlope, true);
    PublishStableSegment(s, std::to_wstring(n));
    LogLine(ReportLabel("Been stable") + FormatStableTime(tick.Now - since));
    // What the segment asks for: the minimum steady time and its dwell.
    if (segment.Duration > 0)
      LogLine(ReportLabel("Required stable") +
              FormatStableTime(s.MinimumSteadyTime / kMinutesPerDay + segment.Duration));
  } else {
    SetLamps(tick, fLedOscilation, fLedSlope, false);
    PublishStableSegment(s, L"0");
  }
}

void TStability::ApplySegment(TTickContext& tick, int n, const TFurnaceActionParameters& segment) {
  const TFurnaceReadRecord& r = tick.Record;
  LogLine();
  LogLine(ApplyLabel("Apply segment") + std::to_string(n));
  LogLine(ApplyLabel("Module ramprate") + std::to_string(r.RampRate));
  LogLine(ApplyLabel("Segment ramprate") + std::to_string(segment.RampRate));
  LogLine(ApplyLabel("Module setpoint") + std::to_string(r.TargetSetpoint));
  LogLine(ApplyLabel("Segment setpoint") + std::to_string(segment.TargetSetpoint));
  // Both tests use this tick's poll: the setpoint goes out only once a poll
  // shows the segment's ramp rate, so the ramp rate always leads. A write
  // that did not take is repeated next tick, since the poll still differs.
  if (segment.RampRate != r.RampRate) {
    tick.Module.SetRampRate(segment.RampRate);
  } else if (segment.TargetSetpoint != r.TargetSetpoint) {
    tick.Module.SetTargetSetPoint(segment.TargetSetpoint);
  }
}

void TStability::ProgramStep(TTickContext& tick) {
  const TTickSettings& s = tick.Settings;
  const TFurnaceReadRecord& r = tick.Record;
  TFurnaceModule& module = tick.Module;
  const int n = module.InstructionsCurrentSegment();
  const TFurnaceActionParameters segment = module.GetInstruction(n);

  // 1. A hold request from another program keeps the current segment.
  if (AllLampsOn()) {
    const std::wstring request = ReadRegistryString(HoldRequestValueName(s.FurnaceName));
    if (request != L"0" && !request.empty() && n >= 1) {
      LogLine();
      LogLine("External program is signalling for Karvo temp to hold this temperature.");
      LogLine(L"Message from that program: " + OneLine(request));
      return;
    }
  }

  // 2. Segment end: stable for longer than the minimum steady time plus the
  // dwell, counted from the moment stability began.
  const std::int64_t stableMs = DaysToMs(module.BeenStable());
  const std::int64_t requiredMs = s.MinimumSteadyTime * kMsPerMinute + DaysToMs(segment.Duration);
  if (AllLampsOn() && stableMs > requiredMs) {
    module.InstructionFinished(n);
    module.SetBeenStable(0.0);
    tick.State.StableSince = 0.0;
    tick.State.StableCreditMs = 0;
    tick.State.StableCreditSegment = 0;
    SetLamps(tick, false, false, false);
    return;
  }

  // 3. Apply the segment.
  if (n >= 1) ApplySegment(tick, n, segment);

  // 4. Distance report while far from the target.
  if (!fLedOscilation && !fLedSlope && segment.Duration == 0) {
    LogLine(ReportLabel("Distance from Target") +
            FormatOneDecimal(std::fabs(r.TargetSetpoint - r.Temperature), tick.Regional) + DegreesCelsius());
  }

  // 5. The instructions table.
  std::vector<std::string> table;
  module.InstructionsTable(s.ProgramSegment, table);
  tick.Display.InstructionsTable = std::move(table);
}

}  // namespace karvo
