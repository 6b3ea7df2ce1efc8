#pragma once
// The stability steps of the tick: the rate of change over the observation
// window (step 8), the first two lamps and the stable clock (step 9), the
// segment report with the third lamp and the stable-segment signal (step
// 11), and the program step that holds, finishes or applies segments (step
// 15). The tick calls them at their places, all with the same instant
// (TTickContext::Now).
//
// Time stamps are instants (UtcNow) and durations are compared in whole
// milliseconds, so a daylight-saving change never shortens or stretches a
// dwell, and "stable for exactly the minimum steady time" is exact.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Duration.h"
#include "common/Regional.h"
#include "common/Types.h"

namespace karvo {

struct TFurnaceReadRecord;
struct TTickSettings;
struct TTickState;
struct TFurnaceActionParameters;
class TFurnaceModule;
class TRtMainChart;

// What the stability steps give the window to show; unset fields stay as
// the window shows them.
struct TStabilityDisplay {
  std::optional<bool> LedOscilation;                          // temperature close to the target setpoint
  std::optional<bool> LedSlope;                               // very low rate of change
  std::optional<bool> LedTime;                                // stable for a while
  std::optional<std::string> StableTime;                      // "hh:nn:ss" for Label10
  std::optional<double> RateOfChange;                         // ºC/min
  std::optional<std::vector<std::string>> InstructionsTable;  // lines of MemoInstructions
};

// Everything a step may look at and change.
struct TTickContext {
  const TTickSettings& Settings;
  TFurnaceReadRecord& Record;
  TTickState& State;
  TFurnaceModule& Module;
  TRtMainChart& Chart;
  TStabilityDisplay& Display;
  const TRegionalSettings& Regional;
  // The tick's instant: the clock is read once, just before the lamps are
  // judged, and every step from there on uses it.
  TDateTime Now;
};

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

// The store's value names for a furnace name: the text as the system code
// page holds it (Windows: characters the ANSI code page lacks become its
// default character), behind "FS_" (stable segment) or "FW_" (hold request).
std::wstring StableSegmentValueName(const std::wstring& furnaceName);
std::wstring HoldRequestValueName(const std::wstring& furnaceName);

class TStability {
 public:
  // Step 8.
  void RateOfChange(TTickContext& tick);
  // Step 9.
  void JudgeLamps(TTickContext& tick);
  // Step 11.
  void SegmentReport(TTickContext& tick);
  // Step 15 (not on the "Quick control" page).
  void ProgramStep(TTickContext& tick);

  // A stable-segment signal the store refused is written again at every
  // tick until the store takes it (the tick calls this before it polls or
  // consumes).
  void RetryStableSegment();
  // The key of the window's attention line while the signal is stale.
  static constexpr const char* kSignalAttention = "stable-segment";

  // The lamps as last judged (all off at start).
  bool LedOscilation() const { return fLedOscilation; }
  bool LedSlope() const { return fLedSlope; }
  bool LedTime() const { return fLedTime; }

  // The log labels: 29 characters for the main report, 19 for the
  // segment-apply lines, both ending in ": ".
  static std::string ReportLabel(const char* text);
  static std::string ApplyLabel(const char* text);

 private:
  bool AllLampsOn() const { return fLedOscilation && fLedSlope && fLedTime; }
  void SetLamps(TTickContext& tick, bool oscilation, bool slope, bool time);
  // Writes the stable-segment signal; a store that refuses is reported in
  // the log once and in the window's attention line until a later write
  // succeeds, and the tick goes on.
  void PublishStableSegment(const TTickSettings& settings, const std::wstring& value);
  void WriteStableSegment(const std::wstring& name, const std::wstring& value);
  void ApplySegment(TTickContext& tick, int n, const TFurnaceActionParameters& segment);

  bool fLedOscilation = false;
  bool fLedSlope = false;
  bool fLedTime = false;
  bool fSignalFailing = false;
  // The signal the store refused last, to be written again.
  std::wstring fPendingName, fPendingValue;
};

}  // namespace karvo
