#pragma once
// The files of the runs (see supervisor/logic/RunJournal.h): their names,
// the runs that did not end cleanly, a run's summary without reading every
// sample, and the closed marks.
//
// A run's files lie in the runs folder, all named by the run's start (UTC)
// and the furnace name:
//
//   2026-12-10 16.55.03 UTC Furnace1.csv      the journal
//   2026-12-10 16.55.03 UTC Furnace1.program  the instructions program
//   2026-12-10 16.55.03 UTC Furnace1.closed   present once the run ended cleanly
//
// A second run of the furnace started in the same second carries " (2)"
// behind the furnace name, and so on. The names are made here only.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/Regional.h"
#include "common/Types.h"
#include "supervisor/logic/LoadingThread.h"

namespace karvo {

// The runs folder: KarvoStateDir()/runs.
std::filesystem::path RunsFolder();

// The furnace name as the run's files write it: its characters other than
// 0-9, A-Z, a-z, "-" and "_" made "_" ("_" for an empty name).
std::string RunFileNameText(const std::wstring& furnace);
// "2026-12-10 16.55.03 UTC Furnace1": the start instant and the furnace
// name as RunFileNameText writes it.
std::string RunBaseName(TDateTime startedUtc, const std::wstring& furnace);
// The journal of a run in `folder`: RunBaseName and ".csv"; `copy` from 2
// on (runs started within the same second) with " (<copy>)" behind the base
// name.
std::filesystem::path RunJournalPath(const std::filesystem::path& folder, TDateTime startedUtc,
                                     const std::wstring& furnace, int copy = 1);
// The instructions program and the closed mark beside a run's journal.
std::filesystem::path RunProgramPath(const std::filesystem::path& journal);
std::filesystem::path RunClosedMarkPath(const std::filesystem::path& journal);

// The files of one run.
struct TRunFiles {
  std::filesystem::path Journal;  // ".csv"
  std::wstring Furnace;           // from the file name
  TDateTime Started = 0.0;        // instant, from the file name
  std::filesystem::path Program() const { return RunProgramPath(Journal); }
  std::filesystem::path ClosedMark() const { return RunClosedMarkPath(Journal); }
};

// The run a journal's path names; none for a file that is not a journal.
std::optional<TRunFiles> RunOfJournal(const std::filesystem::path& journal);
// Every run in `folder` that did not end cleanly and that no running
// program is writing, newest (latest start) first.
std::vector<TRunFiles> UnclosedRuns(const std::filesystem::path& folder);

// What a run's journal holds, found without reading every sample: the
// count of its sample lines (whole lines that begin with a digit, as a
// sample's date does; gap lines and a torn last line do not count) and the
// instants of its first and last sample (0 when it has none that reads).
struct TRunSummary {
  TRunFiles Files;
  std::uint64_t Samples = 0;
  TDateTime First = 0.0;
  TDateTime Last = 0.0;
  // Not empty: the journal cannot be read or is not one.
  std::string Error;
};
// Reads the journal in blocks, telling `progress` how far it is; stops
// with Error kReadingStopped when `progress` answers false.
TRunSummary SummarizeRun(const TRunFiles& run, const TRegionalSettings& regional, const TReadProgress& progress = {});

// Marks a run closed (the file is flushed to stable storage). Throws
// EFileWriteError.
void MarkRunClosed(const TRunFiles& run);
// The text of a closed mark: empty for a run whose journal holds every
// sample, else "Gap: <lost> samples of this run are not in its journal."
std::string ClosedMarkText(std::uint64_t lost);
// How many samples a run's closed mark names as missing from its journal
// ("Gap: N samples ..."); 0 for a plain mark, none, or one not readable.
std::uint64_t GapOfClosedMark(const std::filesystem::path& mark);

}  // namespace karvo
