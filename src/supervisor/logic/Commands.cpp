#include "supervisor/logic/Commands.h"

#include <string>

#include "common/Duration.h"
#include "common/Log.h"
#include "common/Seams.h"
#include "supervisor/store/KarvoRegistry.h"

namespace karvo {

namespace {

constexpr const char* kNoFurnace = "Cannot program, no furnace installed";

bool FitsRegister(std::int32_t value) { return value >= 0 && value <= TFurnaceModule::kMaxWordValue; }

}  // namespace

double DwellDuration(const TDwell& d) { return d.Hours / 24.0 + d.Days + d.Minutes / 1440.0; }

TDwell DwellOf(double duration) {
  const TDurationParts p = SplitDuration(DaysToMs(duration));
  const int sign = p.Negative ? -1 : 1;
  TDwell d;
  d.Days = sign * static_cast<std::int32_t>(p.Days);
  d.Hours = sign * p.Hours;
  d.Minutes = sign * p.Minutes;
  return d;
}

bool SaveInstruction(TFurnaceModule* module, const TSegmentEditors& e) {
  if (module == nullptr) {
    LogLine();
    LogLine(kNoFurnace);
    return false;
  }
  const std::int32_t k = e.Segment;
  const int next = module->InstructionCount() + 1;
  if (k < 0 || k > next) {
    LogLine();
    LogLine("Cannot save segment " + std::to_string(k) + ": the next free segment is " + std::to_string(next));
    return false;
  }
  if (module->GetInstruction(k).Finished) {
    LogLine();
    LogLine("Finished segement cannot be edited");
    return false;
  }
  if (!FitsRegister(e.Setpoint) || !FitsRegister(e.RampRate)) {
    LogLine();
    LogLine("Cannot save segment " + std::to_string(k) + ": the controller takes setpoints and ramp rates from 0 to " +
            std::to_string(TFurnaceModule::kMaxWordValue));
    return false;
  }
  TFurnaceActionParameters segment;
  segment.Finished = false;
  segment.TargetSetpoint = e.Setpoint;
  segment.RampRate = e.RampRate;
  segment.Duration = DwellDuration(e.Dwell);
  module->SetInstruction(k, segment);
  return true;
}

TDeleteResult DeleteInstructions(TFurnaceModule* module, std::int32_t from) {
  if (module == nullptr) {
    LogLine(kNoFurnace);
    return TDeleteResult::NoFurnace;
  }
  if (module->InstructionCount() == 0 || from > module->InstructionCount()) {
    LogLine();
    LogLine("There are no segments from " + std::to_string(from) + " onwards to delete");
    return TDeleteResult::NothingToDelete;
  }
  if (!AskYesNo("Do you want to delete all segments from " + std::to_string(from) + " onwards?"))
    return TDeleteResult::Declined;
  module->InstructionsDeleteFrom(from);
  return TDeleteResult::Deleted;
}

TBrowseResult BrowseInstructions(const TFurnaceModule& module, std::int32_t current, int step) {
  const std::int64_t count = module.InstructionCount();
  std::int64_t n = static_cast<std::int64_t>(current) + step;
  if (n > count) n = count;
  if (n <= 1) n = 1;
  TBrowseResult result;
  result.Segment = static_cast<std::int32_t>(n);
  if (n <= count) result.Loaded = module.GetInstruction(result.Segment);
  return result;
}

TSegmentEditors EditorsFor(std::int32_t number, const TFurnaceActionParameters& segment) {
  TSegmentEditors e;
  e.Segment = number;
  e.Setpoint = segment.TargetSetpoint;
  e.RampRate = segment.RampRate;
  e.Dwell = DwellOf(segment.Duration);
  return e;
}

bool QuickUpdate(TFurnaceModule& module, std::int32_t rampRate, std::int32_t targetSetpoint) {
  return module.SetRampRate(rampRate) && module.SetTargetSetPoint(targetSetpoint);
}

std::wstring NormaliseFurnaceName(std::wstring_view text) {
  std::wstring name;
  for (const wchar_t c : text) {
    if ((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z')) name += c;
  }
  if (!name.empty() && name[0] >= L'0' && name[0] <= L'9') name.insert(0, 1, L'A');
  return name;
}

void ResetFurnaceSignals(const std::wstring& name) {
  WriteRegistryString(StableSegmentValueName(name), L"0");
  WriteRegistryString(HoldRequestValueName(name), L"0");
}

}  // namespace karvo
