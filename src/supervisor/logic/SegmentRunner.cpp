#include "supervisor/logic/SegmentRunner.h"

#include <cmath>
#include <exception>

#include "common/Attention.h"
#include "common/Log.h"
#include "common/Text.h"
#include "supervisor/logic/Formats.h"
#include "supervisor/logic/Supervisor.h"
#include "supervisor/store/KarvoRegistry.h"

namespace karvo {

namespace {

// Text from another program, on one line of the log: control characters
// (line breaks, tabs) become blanks.
std::wstring OneLine(std::wstring text) {
  for (wchar_t& c : text)
    if (c < 0x20 || c == 0x7F) c = L' ';
  return text;
}

}  // namespace

std::string TSegmentRunner::ApplyLabel(const char* text) { return Label(text, 17); }

void TSegmentRunner::PublishStableSegment(const std::wstring& furnaceName, const std::wstring& value) {
  WriteStableSegment(StableSegmentValueName(furnaceName), value);
}

void TSegmentRunner::RetryStableSegment() {
  if (fSignalFailing) WriteStableSegment(fPendingName, fPendingValue);
}

void TSegmentRunner::WriteStableSegment(const std::wstring& name, const std::wstring& value) {
  try {
    // Rewritten only when the store holds something else: the same value
    // every 5 s would cost a synchronised file write each time.
    if (ReadRegistryString(name) != value) WriteRegistryString(name, value);
    if (fSignalFailing) LogLine("The stable segment is written to the store again.");
    fSignalFailing = false;
    ClearAttention(kSignalAttention);
  } catch (const StoreError& e) {
    // A store that refuses must not stop the tick: the record would stay
    // unconsumed and the program would stand still. Other programs read an
    // old segment meanwhile: the window says so until the write succeeds.
    if (!fSignalFailing) {
      LogLine();
      LogLine("The stable segment could not be written to the store: " + std::string(e.what()));
    }
    fSignalFailing = true;
    fPendingName = name;
    fPendingValue = value;
    RaiseAttention(kSignalAttention, WideToUtf8(L"The stable segment " + name + L" = " + value) +
                                         " could not be written to the store; other programs read an old value "
                                         "(retried at every tick): " +
                                         e.what());
  }
}

void TSegmentRunner::SegmentReport(TTickContext& tick) {
  const TTickSettings& s = tick.Settings;
  const int n = tick.Module.InstructionsCurrentSegment();
  const TFurnaceActionParameters segment = tick.Module.GetInstruction(n);
  LogLine(TStability::ReportLabel("Current segment") + std::to_string(n));
  LogLine(TStability::ReportLabel("Current segment will dwell") + (segment.Duration > 0 ? "True" : "False"));
  // The third lamp says the segment is stable: other programs learn which.
  if (fStability.LedTime()) {
    PublishStableSegment(s.FurnaceName, std::to_wstring(n));
    LogLine(TStability::ReportLabel("Been stable") + FormatStableTime(tick.Now - tick.State.StableSince));
    // What the segment asks for: the minimum steady time and its dwell.
    if (segment.Duration > 0)
      LogLine(TStability::ReportLabel("Required stable") +
              FormatStableTime(s.MinimumSteadyTime / kMinutesPerDay + segment.Duration));
  } else {
    PublishStableSegment(s.FurnaceName, L"0");
  }
}

void TSegmentRunner::ApplySegment(TTickContext& tick, int n, const TFurnaceActionParameters& segment) {
  const TFurnaceReadRecord& r = tick.Record;
  LogLine();
  LogLine(ApplyLabel("Apply segment") + std::to_string(n));
  LogLine(ApplyLabel("Module ramprate") + std::to_string(r.RampRate));
  LogLine(ApplyLabel("Segment ramprate") + std::to_string(segment.RampRate));
  LogLine(ApplyLabel("Module setpoint") + std::to_string(r.TargetSetpoint));
  LogLine(ApplyLabel("Segment setpoint") + std::to_string(segment.TargetSetpoint));
  // Both tests use this tick's poll: the setpoint goes out only once a poll
  // shows the segment's ramp rate, so the ramp rate always leads. A write
  // that did not take is repeated next tick, since the poll still differs.
  if (segment.RampRate != r.RampRate) {
    tick.Module.SetRampRate(segment.RampRate);
  } else if (segment.TargetSetpoint != r.TargetSetpoint) {
    tick.Module.SetTargetSetPoint(segment.TargetSetpoint);
  }
}

void TSegmentRunner::ProgramStep(TTickContext& tick) {
  const TTickSettings& s = tick.Settings;
  const TFurnaceReadRecord& r = tick.Record;
  TFurnaceModule& module = tick.Module;
  const int n = module.InstructionsCurrentSegment();
  const TFurnaceActionParameters segment = module.GetInstruction(n);

  // 1. A hold request from another program keeps the current segment.
  if (fStability.AllLampsOn()) {
    const std::wstring request = ReadRegistryString(HoldRequestValueName(s.FurnaceName));
    if (request != L"0" && !request.empty() && n >= 1) {
      LogLine();
      LogLine("External program is signalling for Karvo temp to hold this temperature.");
      LogLine(L"Message from that program: " + OneLine(request));
      return;
    }
  }

  // 2. Segment end: stable for longer than the minimum steady time plus the
  // dwell, counted from the moment stability began.
  const std::int64_t stableMs = DaysToMs(module.BeenStable());
  const std::int64_t requiredMs = s.MinimumSteadyTime * kMsPerMinute + DaysToMs(segment.Duration);
  if (fStability.AllLampsOn() && stableMs > requiredMs) {
    module.InstructionFinished(n);
    fStability.Restart(tick);
    return;
  }

  // 3. Apply the segment.
  if (n >= 1) ApplySegment(tick, n, segment);

  // 4. Distance report while far from the target.
  if (!fStability.LedOscilation() && !fStability.LedSlope() && segment.Duration == 0) {
    LogLine(TStability::ReportLabel("Distance from Target") +
            FormatOneDecimal(std::fabs(r.TargetSetpoint - r.Temperature), tick.Regional) + DegreesCelsius());
  }

  // 5. The instructions table.
  std::vector<std::string> table;
  module.InstructionsTable(s.ProgramSegment, table);
  tick.Display.InstructionsTable = std::move(table);
}

}  // namespace karvo
