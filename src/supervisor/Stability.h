#pragma once
// The stability steps of the tick: the rate of change over the observation
// window (step 8), the first two lamps and the stable clock (step 9), the
// segment report with the third lamp and the stable-segment signal (step
// 11), and the program step that holds, finishes or applies segments (step
// 15). The tick calls them at their places; until they are built they do
// nothing, and the lamps and the program stay as they are.

#include <optional>
#include <string>
#include <vector>

namespace karvo {

struct TFurnaceReadRecord;
struct TTickSettings;
struct TTickState;
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
};

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
};

}  // namespace karvo
