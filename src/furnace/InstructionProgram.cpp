#include "furnace/InstructionProgram.h"

#include <cmath>
#include <cstdio>

#include "common/Duration.h"

namespace karvo {

TFurnaceActionParameters TInstructionProgram::GetInstruction(int Index) const {
  if (Index < 0 || Index > InstructionCount()) return {};
  return fItems[static_cast<std::size_t>(Index)];
}

void TInstructionProgram::SetInstruction(int Index, const TFurnaceActionParameters& Value) {
  if (Index < 0) return;
  const auto i = static_cast<std::size_t>(Index);
  if (i >= fItems.size()) fItems.resize(i + 1);
  fItems[i] = Value;
}

int CurrentSegmentOf(std::span<const TFurnaceActionParameters> segments) {
  for (std::size_t i = 0; i < segments.size(); ++i)
    if (!segments[i].Finished) return static_cast<int>(i) + 1;
  return 0;
}

int TInstructionProgram::InstructionsCurrentSegment() const { return CurrentSegmentOf(std::span(fItems).subspan(1)); }

void TInstructionProgram::InstructionFinished(int Step) {
  if (Step < 0 || Step > InstructionCount()) return;
  fItems[static_cast<std::size_t>(Step)].Finished = true;
}

void TInstructionProgram::InstructionsCull(int NewLength) {
  fItems.resize(static_cast<std::size_t>(NewLength < 2 ? 2 : NewLength));
}

void TInstructionProgram::InstructionsDeleteFrom(int Segment) {
  const auto keep = static_cast<std::size_t>(Segment < 1 ? 1 : Segment);
  if (keep < fItems.size()) fItems.resize(keep);
}

std::string TInstructionProgram::DwellText(double Duration) {
  // Days from the value as it stands (adding 0.0 turns -0 into 0); hours and
  // minutes from the fraction of a day, rounded to the millisecond, so that
  // 0.9999999 shows 0/00:00 and not 0/23:59.
  const double days = std::isfinite(Duration) ? std::trunc(Duration) + 0.0 : 0.0;
  const double fraction = std::isfinite(Duration) ? std::fabs(Duration - days) : 0.0;
  const TDurationParts p = SplitDuration(DaysToMs(fraction) % kMsPerDay);
  char buf[400];
  std::snprintf(buf, sizeof buf, "%3.0f/%02d:%02d", days, p.Hours, p.Minutes);
  return buf;
}

std::string TInstructionProgram::SegmentLine(int Number, const TFurnaceActionParameters& Segment, bool Highlighted) {
  char buf[120];
  std::snprintf(buf, sizeof buf, "%s%7d %9d %8d ", Highlighted ? "*" : " ", Number,
                static_cast<int>(Segment.TargetSetpoint), static_cast<int>(Segment.RampRate));
  char finished[16];
  std::snprintf(finished, sizeof finished, " %9s", Segment.Finished ? "Yes" : "No");
  return buf + DwellText(Segment.Duration) + finished;
}

void TInstructionProgram::InstructionsTable(int Highlighted, std::vector<std::string>& Field) const {
  Field.clear();
  Field.emplace_back(kTitle);
  Field.emplace_back();
  Field.emplace_back(kHeader);
  for (int n = 1; n <= InstructionCount(); ++n) {
    Field.push_back(SegmentLine(n, fItems[static_cast<std::size_t>(n)], n == Highlighted));
  }
}

}  // namespace karvo
