#pragma once
// The operator's commands on the "Quick control" and "Instructions" pages:
// the quick update, the segment editors (save, delete, browse), the dwell
// in days, hours and minutes, and the furnace name. The window reads its
// boxes into these calls and shows what they return; log lines go straight
// to the program log and the Yes/No question goes through its seam.
//
// Segments exist only where the operator saved them: a save that would
// leave a gap in the numbering is refused, and "Delete" removes what it
// asked about and never adds a segment.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "furnace/ClassFurnaceModule.h"

namespace karvo {

// A dwell as the three editors show it.
struct TDwell {
  std::int32_t Days = 0;
  std::int32_t Hours = 0;
  std::int32_t Minutes = 0;
  friend bool operator==(const TDwell&, const TDwell&) = default;
};

// Days + hours / 24 + minutes / 1440 (boxes are not limited: hours above
// 23 or minutes above 59 count in full).
double DwellDuration(const TDwell& dwell);
// The dwell of a duration in days: whole days, the hour of the day and the
// minute of the hour, rounded to the millisecond first (seconds are not
// shown). A negative duration gives negative parts, so it loads back as
// it was saved.
TDwell DwellOf(double duration);

// The six boxes of "Edit instruction".
struct TSegmentEditors {
  std::int32_t Segment = 0;
  std::int32_t Setpoint = 0;
  std::int32_t RampRate = 1;
  TDwell Dwell;
};

// Stores the edited segment as segment Editors.Segment. True when it was
// stored (the table is then shown with that segment marked). Refused, with
// a log line: without a furnace, for a finished segment, for a number
// below 0 or more than one past the last segment (the line names the next
// free number), and for values a controller register cannot hold.
bool SaveInstruction(TFurnaceModule* module, const TSegmentEditors& editors);

enum class TDeleteResult {
  NoFurnace,        // logged "Cannot program, no furnace installed"
  NothingToDelete,  // no segment from that number on: logged, nothing asked
  Declined,         // the operator answered No
  Deleted,          // the segments from that number on are gone
};
// Asks "Do you want to delete all segments from <from> onwards?" and on
// Yes removes them; from 1 (or less) the program becomes empty.
TDeleteResult DeleteInstructions(TFurnaceModule* module, std::int32_t from);

// Browsing with the arrow keys: the segment number one up (step -1) or one
// down (step +1) from `current`, kept within 1 .. the last segment (1 when
// there is none), and that segment's record when it exists.
struct TBrowseResult {
  std::int32_t Segment = 1;
  std::optional<TFurnaceActionParameters> Loaded;
};
TBrowseResult BrowseInstructions(const TFurnaceModule& module, std::int32_t current, int step);
// The editors showing a segment (its number, setpoint, ramp rate, dwell).
TSegmentEditors EditorsFor(std::int32_t number, const TFurnaceActionParameters& segment);

// Quick control: the ramp rate, and only once that is confirmed the target
// setpoint. True when both were confirmed.
bool QuickUpdate(TFurnaceModule& module, std::int32_t rampRate, std::int32_t targetSetpoint);
inline constexpr const char* kQuickUpdateFailed = "Updating Ramp rate and/or Target setpoint failed, please try again.";

// The furnace name as Save keeps it: only the characters 0-9, A-Z and a-z,
// in their order, with "A" in front when it begins with a digit.
std::wstring NormaliseFurnaceName(std::wstring_view text);
// Save of the furnace name: the stable-segment signal and the hold request
// of the new name start at "0". Throws StoreError when the store refuses.
void ResetFurnaceSignals(const std::wstring& name);

}  // namespace karvo
