#pragma once
// The instructions program file written beside a run's journal (see
// supervisor/logic/RunJournal.h): the segments with their finished flags and
// the stability the segment runner goes on with after a restart.
//
// Segments are numbered as the instruction program numbers them, 1 first;
// the vectors here hold segment n at element n - 1 (as CurrentSegmentOf
// takes them).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Types.h"
#include "furnace/ClassFurnaceModule.h"

namespace karvo {

// What the segment runner needs to go on with a dwell after a restart: the
// segment the stability belongs to (its number; 0: none), the instant the
// furnace became stable (0: it was not stable) and the stable time of that
// segment counted before the last restart.
struct TProgramStability {
  int Segment = 0;
  TDateTime StableSince = 0.0;
  std::int64_t CreditMs = 0;
  friend bool operator==(const TProgramStability&, const TProgramStability&) = default;
};

// The instructions program file: the segments 1..n with their finished
// flags (the current segment follows from them: the lowest unfinished) and
// the stability line ("Stability: <segment>;<stable since, UTC days, 0 = not
// stable>;<credited ms>").
std::string ProgramFileText(const std::wstring& furnace, const std::vector<TFurnaceActionParameters>& segments,
                            const TProgramStability& stability = {});
// The segments of a program file (element 0 is segment 1) and, when asked
// for, its stability (none in a file written without one); none, with the
// line and the reason in `error`, when the text is not one or holds what no
// editor takes (values a register cannot hold, a negative dwell, a segment
// twice or missing).
std::optional<std::vector<TFurnaceActionParameters>> ParseProgramFile(std::string_view text, std::string& error,
                                                                      TProgramStability* stability = nullptr);
// Segments 1..n of the module's program (element 0 is segment 1).
std::vector<TFurnaceActionParameters> ProgramSegments(const TFurnaceModule& module);
// Makes `segments` the module's program: segment 1 is element 0.
void SetProgramSegments(TFurnaceModule& module, const std::vector<TFurnaceActionParameters>& segments);

}  // namespace karvo
