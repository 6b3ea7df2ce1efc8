// The supervisor's side of the run journal: the program written beside it,
// and at program start the run that did not end cleanly, its data loaded
// into the chart and its program restored at Start.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <utility>

#include "common/AtomicFile.h"
#include "common/Duration.h"
#include "common/LocalTime.h"
#include "common/Log.h"
#include "common/Text.h"
#include "supervisor/logic/DataExport.h"
#include "supervisor/logic/Supervisor.h"

namespace karvo {

void TSupervisor::JournalProgram() {
  if (!fFurnaceModule || !Journal.IsOpen()) return;
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

TSupervisor::TUnclosedRuns TSupervisor::FindUnclosedRuns(const TRegionalSettings& journalRegional,
                                                         const TReadProgress& progress) {
  TUnclosedRuns found;
  const std::vector<TRunFiles> runs = UnclosedRuns(RunsFolder());
  if (runs.size() == 1) {
    found.Only = ReadPreviousRun(runs.front(), journalRegional, progress);
    const TJournalContents& c = found.Only->Contents;
    TRunSummary summary;
    summary.Files = runs.front();
    summary.Samples = c.Samples.size();
    if (!c.Samples.empty()) {
      summary.First = c.Samples.front().Time;
      summary.Last = c.Samples.back().Time;
    }
    summary.Error = c.Error;
    found.Runs.push_back(std::move(summary));
    return found;
  }
  // The progress of all journals together.
  std::vector<std::uint64_t> sizes;
  std::uint64_t total = 0;
  for (const TRunFiles& run : runs) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(run.Journal, ec);
    sizes.push_back(ec ? 0 : size);
    total += sizes.back();
  }
  std::uint64_t before = 0;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    TReadProgress part;
    if (progress)
      part = [&](std::uint64_t done, std::uint64_t) { return progress(before + std::min(done, sizes[i]), total); };
    found.Runs.push_back(SummarizeRun(runs[i], journalRegional, part));
    if (found.Runs.back().Error == kReadingStopped) break;
    before += sizes[i];
  }
  return found;
}

TPreviousRun TSupervisor::ReadPreviousRun(const TRunFiles& files, const TRegionalSettings& journalRegional,
                                          const TReadProgress& progress) {
  TPreviousRun run;
  run.Files = files;
  run.Contents = ReadJournal(files.Journal, journalRegional, progress);
  run.Ended = run.Contents.Samples.empty() ? files.Started : run.Contents.Samples.back().Time;
  return run;
}

TRegionalSettings TSupervisor::JournalRegional() const { return ExportRegional(fRegional); }

void TSupervisor::RunAnswered(const TPreviousRun& run) {
  try {
    MarkRunClosed(run.Files);
  } catch (const std::exception& e) {
    LogLine(std::string("The previous run cannot be marked as seen: ") + e.what());
  }
  fRunToRestore = run.Files;
  fRunToRestoreEnded = run.Ended;
}

std::optional<TPreviousRun> TSupervisor::TakeUnclosedRun() {
  const std::vector<TRunFiles> runs = UnclosedRuns(RunsFolder());
  if (runs.empty()) return std::nullopt;
  TPreviousRun run = ReadPreviousRun(runs.front(), JournalRegional());
  RunAnswered(run);
  return run;
}

std::string TSupervisor::RunTime(TDateTime instant) const {
  return FormatDateTime(fRegional.shortDateFormat + " " + fRegional.longTimeFormat, UtcToLocal(instant), fRegional);
}

std::string TSupervisor::LoadRunQuestion(const TPreviousRun& run) const {
  const std::vector<TJournalSample>& samples = run.Contents.Samples;
  std::string holds;
  if (samples.empty()) {
    holds = "Its journal holds no samples.";
  } else {
    holds = "Its journal holds " + std::to_string(samples.size()) + (samples.size() == 1 ? " sample" : " samples") +
            " from " + RunTime(samples.front().Time) + " to " + RunTime(samples.back().Time) + ".";
  }
  return "The previous run of " + WideToUtf8(run.Files.Furnace) + " ended unexpectedly at " + RunTime(run.Ended) +
         ". " + holds + " Load its data into the chart?";
}

std::string TSupervisor::ContinueRunQuestion(const std::wstring& furnace) {
  return "The chart holds the data of the last run of " + WideToUtf8(furnace) +
         ". Go on with that run's journal file? (No: a new run file begins.)";
}

TListChoiceOptions TSupervisor::RunChoice(const std::vector<TRunSummary>& runs) const {
  TListChoiceOptions choice;
  choice.Title = kRunChoiceTitle;
  choice.Text = kRunChoiceText;
  for (const TRunSummary& run : runs) {
    std::string item = WideToUtf8(run.Files.Furnace) + ": started " + RunTime(run.Files.Started);
    if (!run.Error.empty()) {
      item += ", its journal cannot be read (" + run.Error + ")";
    } else if (run.Samples == 0) {
      item += ", no samples";
    } else {
      item += ", last sample " + (run.Last > 0.0 ? RunTime(run.Last) : std::string("unreadable")) + ", " +
              std::to_string(run.Samples) + (run.Samples == 1 ? " sample" : " samples");
    }
    choice.Items.push_back(std::move(item));
  }
  choice.Items.emplace_back(kKeepRunsForLater);
  return choice;
}

std::string TSupervisor::LoadRun(TPreviousRun& run) {
  const TJournalContents& c = run.Contents;
  if (!c.Error.empty()) {
    const std::string said = "The journal \"" + PathText(run.Files.Journal) + "\" cannot be loaded: " + c.Error + ".";
    LogLine();
    LogLine(said);
    return said;
  }
  fChart.RtGraph2D1.BeginUpdate();
  for (const TJournalSample& s : c.Samples)
    fMeasurements.AddSample(s.Time, s.Temperature, s.Setpoint, s.WorkingSetpoint, s.WorkingOutput);
  fChart.RtGraph2D1.EndUpdate();
  LogLine();
  LogLine("Loaded " + std::to_string(c.Samples.size()) + " samples of the previous run from \"" +
          PathText(run.Files.Journal) + "\".");
  if (c.RefusedLines > 0) LogLine(std::to_string(c.RefusedLines) + " lines of it are not samples and were left out.");
  Journal.ContinueRun(run.Files);
  // The samples stay in the chart only.
  run.Contents = {};
  return {};
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
  const int current = CurrentSegmentOf(segments);
  const std::string next = current > 0 ? "going on at segment " + std::to_string(current) : "all of them finished";
  return "Restore the instructions program of the previous run of " + WideToUtf8(furnace) + " (" +
         std::to_string(segments.size()) + (segments.size() == 1 ? " segment, " : " segments, ") + next + ")?";
}

void TSupervisor::RestoreProgram(const std::vector<TFurnaceActionParameters>& segments) {
  if (!fFurnaceModule) return;
  TFurnaceModule& m = *fFurnaceModule;
  SetProgramSegments(m, segments);
  const int current = m.InstructionsCurrentSegment();
  State.StableSince = 0.0;
  State.StableCreditSegment = current;
  State.StableCreditMs = RestoredStableMs(std::exchange(fStabilityToRestore, {}), current, fRunToRestoreEnded);
  LogLine();
  LogLine("The instructions program of the previous run is restored: " + std::to_string(segments.size()) +
          " segments, current segment " + std::to_string(current) + ".");
  if (State.StableCreditMs > 0)
    LogLine("Its stable time before the run ended counts towards the segment's dwell: " +
            FormatStableTime(MsToDays(State.StableCreditMs)) + ".");
  JournalProgram();
}

}  // namespace karvo
