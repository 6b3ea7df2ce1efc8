#include "supervisor/logic/Stability.h"

#include <cmath>
#include <cstdio>
#include <exception>

#include "common/Log.h"
#include "common/Seams.h"
#include "common/Text.h"
#include "supervisor/logic/Formats.h"
#include "supervisor/logic/Supervisor.h"

namespace karvo {

namespace {

// The regression's slope is in ºC per day (its X data are instants in
// days); everything shown or compared is per minute.
double SlopePerMinute(const TRtMainChart& chart) {
  return chart.RtLinearRegressionRateOfChange.GetSlope() / kMinutesPerDay;
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

std::string TStability::ReportLabel(const char* text) { return Label(text, 27); }

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
  const int points = tick.Data.Count();
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
  const bool slope = RateOfChangeLow(
      s.MaxRateOfChange, SlopePerMinute(c),
      OldestObserved(tick.Data.RtDoubleVectorTime, tick.State.RunFirstSample, windowStart), windowStart);
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

void TStability::JudgeTimeLamp(TTickContext& tick) {
  const TDateTime since = tick.State.StableSince;
  const bool steady = since > 0.0 && DaysToMs(tick.Now - since) >= tick.Settings.MinimumSteadyTime * kMsPerMinute;
  SetLamps(tick, fLedOscilation, fLedSlope, steady);
}

void TStability::Restart(TTickContext& tick) {
  tick.Module.SetBeenStable(0.0);
  tick.State.StableSince = 0.0;
  tick.State.StableCreditMs = 0;
  tick.State.StableCreditSegment = 0;
  SetLamps(tick, false, false, false);
}

}  // namespace karvo
