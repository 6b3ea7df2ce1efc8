#pragma once
// The stability judgement of the tick: the rate of change over the
// observation window (step 8), the first two lamps and the stable clock
// (step 9), and the third lamp once the furnace has been stable for the
// minimum steady time (step 11). The segment runner (SegmentRunner.h) acts
// on its verdict. The tick calls them at their places, all with the same
// instant (TTickContext::Now).
//
// Time stamps are instants (UtcNow) and durations are compared in whole
// milliseconds, so a daylight-saving change never shortens or stretches a
// dwell, and "stable for exactly the minimum steady time" is exact.

#include <cstdint>
#include <string>

#include "common/Duration.h"
#include "common/Types.h"
#include "supervisor/logic/TickContext.h"

namespace karvo {

// The first lamp: the temperature lies closer to the controller's target
// setpoint than the maximum oscillation (strictly).
bool TemperatureClose(std::int32_t maxOscillation, std::int32_t targetSetpoint, double temperature);
// The second lamp: the rate of change (ºC/min) is smaller than the maximum
// (strictly), and the data reach back beyond the window's start (strictly):
// a window that is not yet full never counts as calm.
bool RateOfChangeLow(double maxRatePerMinute, double slopePerMinute, TDateTime oldestTime, TDateTime windowStart);

// A duration as "hh:nn:ss": hours, minutes and seconds, the hours counted
// on past 24 (25 h 3 min 4 s is "25:03:04"); seconds are truncated. A
// negative span carries a "-".
std::string FormatStableTime(double days);

class TStability {
 public:
  // Step 8.
  void RateOfChange(TTickContext& tick);
  // Step 9.
  void JudgeLamps(TTickContext& tick);
  // Step 11, before the segment report: the third lamp is on once the
  // furnace has been stable for the minimum steady time.
  void JudgeTimeLamp(TTickContext& tick);
  // A finished segment starts the judgement afresh: the stable clock and a
  // restored run's credit are cleared, all lamps off.
  void Restart(TTickContext& tick);

  // The lamps as last judged (all off at start).
  bool LedOscilation() const { return fLedOscilation; }
  bool LedSlope() const { return fLedSlope; }
  bool LedTime() const { return fLedTime; }
  // The verdict the segment program acts on.
  bool AllLampsOn() const { return fLedOscilation && fLedSlope && fLedTime; }

  // The label of the tick's stability and segment report lines: 29
  // characters, ending in ": ".
  static std::string ReportLabel(const char* text);

 private:
  void SetLamps(TTickContext& tick, bool oscilation, bool slope, bool time);

  bool fLedOscilation = false;
  bool fLedSlope = false;
  bool fLedTime = false;
};

}  // namespace karvo
