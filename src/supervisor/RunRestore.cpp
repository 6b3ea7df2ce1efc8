// The supervisor's side of the run journal: the program written beside it,
// and at program start the run that did not end cleanly, its data loaded
// into the chart and its program restored at Start.
#include <fstream>
#include <iterator>
#include <utility>

#include "common/AtomicFile.h"
#include "common/LocalTime.h"
#include "common/Log.h"
#include "common/Text.h"
#include "supervisor/DataExport.h"
#include "supervisor/Supervisor.h"

namespace karvo {

void TSupervisor::JournalProgram() {
  if (!fFurnaceModule || !Journal.Open()) return;
  TProgramStability stability;
  stability.Segment = fFurnaceModule->InstructionsCurrentSegment();
  stability.StableSince = State.StableSince;
  if (State.StableCreditSegment == stability.Segment) stability.CreditMs = State.StableCreditMs;
  Journal.SaveProgram(ProgramSegments(*fFurnaceModule), stability);
}

std::int64_t RestoredStableMs(const TProgramStability& stability, int current, TDateTime lastSample) {
  if (current <= 0 || stability.Segment != current) return 0;
  std::int64_t ms = stability.CreditMs;
  if (stability.StableSince > 0.0 && lastSample > stability.StableSince)
    ms += DaysToMs(lastSample - stability.StableSince);
  return ms;
}

std::optional<TPreviousRun> TSupervisor::TakeUnclosedRun() {
  std::optional<TRunFiles> files = LastUnclosedRun(RunsFolder());
  if (!files) return std::nullopt;
  try {
    MarkRunClosed(*files);
  } catch (const std::exception& e) {
    LogLine(std::string("The previous run cannot be marked as seen: ") + e.what());
  }
  fRunToRestore = files;
  TPreviousRun run;
  run.Files = *files;
  run.Contents = ReadJournal(files->Journal, ExportRegional(fRegional));
  run.Ended = run.Contents.Samples.empty() ? files->Started : run.Contents.Samples.back().Time;
  fRunToRestoreEnded = run.Ended;
  return run;
}

std::string TSupervisor::LoadRunQuestion(const TPreviousRun& run) const {
  const std::string when =
      FormatDateTime(fRegional.shortDateFormat + " " + fRegional.longTimeFormat, UtcToLocal(run.Ended), fRegional);
  return "The previous run of " + WideToSystem(run.Files.Furnace) + " ended unexpectedly at " + when +
         ". Load its data into the chart?";
}

void TSupervisor::LoadRun(TPreviousRun& run) {
  const TJournalContents& c = run.Contents;
  if (!c.Error.empty()) {
    LogLine();
    LogLine("The journal \"" + PathText(run.Files.Journal) + "\" cannot be loaded: " + c.Error);
    return;
  }
  TRtMainChart& chart = fChart;
  chart.RtGraph2D1.BeginUpdate();
  for (const TJournalSample& s : c.Samples) {
    chart.RtDoubleVectorSetpoint.Add(s.Setpoint);
    chart.RtDoubleVectorWorkingSetpoint.Add(s.WorkingSetpoint);
    chart.RtDoubleVectorTemperature.Add(s.Temperature);
    chart.RtDoubleVectorWorkingOutput.Add(s.WorkingOutput);
    // The time vector grows last, as in the tick.
    chart.RtDoubleVectorTime.Add(s.Time);
  }
  chart.RtGraph2D1.EndUpdate();
  LogLine();
  LogLine("Loaded " + std::to_string(c.Samples.size()) + " samples of the previous run from \"" +
          PathText(run.Files.Journal) + "\".");
  if (c.RefusedLines > 0) LogLine(std::to_string(c.RefusedLines) + " lines of it are not samples and were left out.");
  Journal.ContinueRun(run.Files);
  // The samples stay in the chart only.
  run.Contents = {};
}

std::optional<std::vector<TFurnaceActionParameters>> TSupervisor::TakeProgramToRestore(const std::wstring& furnace,
                                                                                       std::string* refused) {
  if (!fRunToRestore || fRunToRestore->Furnace != furnace) return std::nullopt;
  const std::filesystem::path path = std::exchange(fRunToRestore, std::nullopt)->Program();
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  auto segments = ParseProgramFile(text, error, &fStabilityToRestore);
  if (!segments) {
    const std::string said = "The instructions program \"" + PathText(path) + "\" cannot be restored: " + error + ".";
    LogLine();
    LogLine(said);
    if (refused) *refused = said;
    return std::nullopt;
  }
  if (segments->empty()) return std::nullopt;
  return segments;
}

std::string TSupervisor::RestoreProgramQuestion(const std::wstring& furnace,
                                                const std::vector<TFurnaceActionParameters>& segments) {
  std::size_t current = 0;
  while (current < segments.size() && segments[current].Finished) ++current;
  const std::string next =
      current < segments.size() ? "going on at segment " + std::to_string(current + 1) : "all of them finished";
  return "Restore the instructions program of the previous run of " + WideToSystem(furnace) + " (" +
         std::to_string(segments.size()) + (segments.size() == 1 ? " segment, " : " segments, ") + next + ")?";
}

void TSupervisor::RestoreProgram(const std::vector<TFurnaceActionParameters>& segments) {
  if (!fFurnaceModule) return;
  TFurnaceModule& m = *fFurnaceModule;
  m.InstructionsDeleteFrom(1);
  for (std::size_t i = 0; i < segments.size(); ++i) m.SetInstruction(static_cast<int>(i) + 1, segments[i]);
  const int current = m.InstructionsCurrentSegment();
  State.StableSince = 0.0;
  State.StableCreditSegment = current;
  State.StableCreditMs = RestoredStableMs(std::exchange(fStabilityToRestore, {}), current, fRunToRestoreEnded);
  LogLine();
  LogLine("The instructions program of the previous run is restored: " + std::to_string(segments.size()) +
          " segments, current segment " + std::to_string(current) + ".");
  if (State.StableCreditMs > 0)
    LogLine("Its stable time before the run ended counts towards the segment's dwell: " +
            FormatStableTime(State.StableCreditMs / 86400000.0) + ".");
  JournalProgram();
}

}  // namespace karvo
