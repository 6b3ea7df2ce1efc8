#pragma once
// The furnace's schedule: an ordered list of segments, each ramping the
// controller to a target setpoint at a ramp rate and then holding it for a
// dwell time. Element 0 of the list is never a segment; segment n is
// element n, so the segment numbers shown to the operator are the indexes.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace karvo {

// One segment of the instruction program.
struct TFurnaceActionParameters {
  bool Finished = false;            // completed; skipped when the current segment is sought
  std::int32_t TargetSetpoint = 0;  // ºC
  std::int32_t RampRate = 0;        // the controller's ramp-rate unit
  double Duration = 0.0;            // extra dwell in days (days + hours / 24 + minutes / 1440)
  bool Compensate = false;          // carried, read by nothing

  friend bool operator==(const TFurnaceActionParameters&, const TFurnaceActionParameters&) = default;
};

// The current segment of a program given as its segments in order, segment
// 1 first: the number of the lowest that is not finished, 0 when every one
// is.
int CurrentSegmentOf(std::span<const TFurnaceActionParameters> segments);

// The segment list with its operations. Used from the user-interface thread
// only; no operation logs or throws on bad indexes.
class TInstructionProgram {
 public:
  TInstructionProgram() : fItems(1) {}

  // A copy of element Index; an all-zero record for an index outside the list.
  TFurnaceActionParameters GetInstruction(int Index) const;
  // Element Index := Value, growing the list with all-zero elements when
  // Index lies beyond its end. Never shrinks; a negative Index does nothing.
  void SetInstruction(int Index, const TFurnaceActionParameters& Value);

  // Number of segments: the list's length - 1.
  int InstructionCount() const { return static_cast<int>(fItems.size()) - 1; }
  // The lowest unfinished segment number, 0 when there is none.
  int InstructionsCurrentSegment() const;
  // Marks element Step finished when Step is an index of the list (0 included).
  void InstructionFinished(int Step);
  // Sets the list's length to NewLength, never below 2: drops the segments
  // from NewLength on or adds all-zero ones.
  void InstructionsCull(int NewLength);
  // Removes the segments from Segment on (all of them for Segment 1 or
  // less); never adds any. Element 0 stays.
  void InstructionsDeleteFrom(int Segment);
  // Replaces Field with the program as a text table; segment Highlighted
  // carries the marker "*".
  void InstructionsTable(int Highlighted, std::vector<std::string>& Field) const;

  // One segment line of the table (without a trailing line break).
  static std::string SegmentLine(int Number, const TFurnaceActionParameters& Segment, bool Highlighted);
  // The dwell column: whole days "%3d", then "/hh:nn" of the day's fraction.
  static std::string DwellText(double Duration);

  static constexpr const char* kTitle = "Instructions";
  static constexpr const char* kHeader = " Segment  SetPoint RampRate DwellTime  Finished";

 private:
  std::vector<TFurnaceActionParameters> fItems;
};

}  // namespace karvo
