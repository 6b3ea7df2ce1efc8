#pragma once
// What the steps of a consumed tick share: the context they look at and
// change, and what they give the window to show. The stability judgement
// (Stability.h) and the segment runner (SegmentRunner.h) take it.

#include <optional>
#include <string>
#include <vector>

#include "common/Regional.h"
#include "common/Types.h"

namespace karvo {

struct TFurnaceReadRecord;
struct TTickSettings;
struct TTickState;
class TFurnaceModule;
class TRtMainChart;
class TMeasurements;

// What the tick's steps give the window to show; unset fields stay as the
// window shows them. The lamps, the stable time and the rate of change come
// from the stability judgement, the program table from the segment runner.
struct TTickDisplay {
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
  const TMeasurements& Data;
  TTickDisplay& Display;
  const TRegionalSettings& Regional;
  // The tick's instant: the clock is read once, just before the lamps are
  // judged, and every step from there on uses it.
  TDateTime Now;
};

}  // namespace karvo
