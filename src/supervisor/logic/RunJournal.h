#pragma once
// The run journal: a furnace run kept on disk while it happens, so that a
// crash, a reboot or a power cut loses at most the sample in flight.
//
// A run begins with the first consumed poll after Start and ends with Stop
// or the close. Its files lie in the runs folder of the per-user state
// folder (RunsFolder()), all named by the run's start (UTC) and the
// furnace name:
//
//   2026-12-10 16.55.03 UTC Furnace1.csv      the journal
//   2026-12-10 16.55.03 UTC Furnace1.program  the instructions program
//   2026-12-10 16.55.03 UTC Furnace1.closed   present once the run ended cleanly
//
// The journal is the data export's file (supervisor/logic/DataExport.h) with
// a fifth column, the working output in % of the maximum power: the header,
// then one line per consumed sample, which the writer thread writes and
// flushes to stable storage as soon as the tick has queued it (the tick
// does not wait for it). It opens in a spreadsheet as it stands. The
// instructions program is rewritten whole (temporary file and rename)
// whenever it changes. Nothing here deletes a run.
//
// The writing happens on a thread of its own: the tick only queues the
// sample. When the disk refuses a write or its flush, what reached the file
// is cut off again, the samples wait in memory (at most a day of them) and
// the writer tries again, backing off up to every 30 s; once the disk takes
// writes again they are written in order. While samples wait, the window's
// attention line says how many. Samples beyond the bound are given up,
// oldest first; the journal then holds a gap line where they were, and the
// run's closed mark says how many it lacks.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/Regional.h"
#include "common/Types.h"
#include "furnace/ClassFurnaceModule.h"
#include "supervisor/logic/LoadingThread.h"

namespace karvo {

// One consumed sample as the chart holds it.
struct TJournalSample {
  TDateTime Time = 0.0;  // the instant of the reading
  double Temperature = 0.0;
  double Setpoint = 0.0;
  double WorkingSetpoint = 0.0;
  double WorkingOutput = 0.0;  // % of the maximum power
};

// The data export's header with "; Working output %" behind it: the column
// titles.
std::string JournalHeader();
// The header the writer writes: the column titles and the separators the
// lines are written with (`regional` as ExportRegional gives it), as
// `; Decimal separator "<d>"; Time separator "<t>"`. The reader takes the
// separators from it, so a journal reads back under any regional settings
// and a continued run appends in its own format. A header of only the
// column titles (older journals) is read with the current separators; the
// degree sign of the titles may be in any code page.
std::string JournalHeader(const TRegionalSettings& regional);
// One journal line without its line end: the data export's line of the
// sample, ";" and the working output. `regional` as ExportRegional gives it.
void AppendJournalLine(std::string& line, const TJournalSample& sample, const TRegionalSettings& regional);

// Samples the writer had to give up, recorded in the journal by a line of
// their own ("Gap;<first>;<last>;<count>", times as the sample lines
// write them).
struct TJournalGap {
  TDateTime From = 0.0;  // instant of the first sample given up
  TDateTime To = 0.0;    // instant of the last
  std::uint64_t Samples = 0;
};
// The gap line without its line end.
void AppendJournalGapLine(std::string& line, const TJournalGap& gap, const TRegionalSettings& regional);

// What a journal holds.
struct TJournalContents {
  std::vector<TJournalSample> Samples;
  // Gap lines, in the order of the file; never counted as samples.
  std::vector<TJournalGap> Gaps;
  // The last line had no line end (the write in flight when the power
  // went): it is left out.
  bool TornLastLine = false;
  // Complete lines that are not samples of the journal's format; left out,
  // never guessed at.
  std::size_t RefusedLines = 0;
  // Not empty: the bytes are not a run journal at all (wrong header, too
  // big); Samples is then empty.
  std::string Error;
  // The separators the lines were read with (the header's, or the current
  // ones for a header without them).
  std::string DecimalSeparator;
  std::string TimeSeparator;
};

// The most a journal may hold to be read (years of a run).
inline constexpr std::size_t kMaxJournalBytes = std::size_t{1} << 30;

// Reads a journal from its bytes. Times are the local times of the lines
// turned back into instants (in the hour repeated when daylight saving time
// ends, the occurrence that keeps the series in order); an empty number
// field is a value that was not a number. Takes any bytes: nothing makes it
// fail other than by the fields of TJournalContents.
TJournalContents ParseJournal(std::string_view bytes, const TRegionalSettings& regional);
// The same, telling `progress` how far it is (after every hundredth of the
// bytes, at most every 64 KiB); when `progress` answers false the reading stops and
// gives Error kReadingStopped, without samples.
TJournalContents ParseJournal(std::string_view bytes, const TRegionalSettings& regional, const TReadProgress& progress);
// The same from a file; a file that cannot be read gives Error.
TJournalContents ReadJournal(const std::filesystem::path& path, const TRegionalSettings& regional,
                             const TReadProgress& progress = {});
inline constexpr const char* kReadingStopped = "the reading was stopped";

// What the segment runner needs to go on with a dwell after a restart: the
// segment the stability belongs to, the instant the furnace became stable
// (0: it was not stable) and the stable time of that segment counted before
// the last restart.
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
// Segments 1..n of the module's program.
std::vector<TFurnaceActionParameters> ProgramSegments(const TFurnaceModule& module);

// The runs folder: KarvoStateDir()/runs.
std::filesystem::path RunsFolder();

// The files of one run.
struct TRunFiles {
  std::filesystem::path Journal;  // ".csv"
  std::wstring Furnace;           // from the file name
  TDateTime Started = 0.0;        // instant, from the file name
  std::filesystem::path Program() const;
  std::filesystem::path ClosedMark() const;
};

// "2026-12-10 16.55.03 UTC Furnace1": the start instant and the furnace
// name, its characters other than 0-9, A-Z, a-z, "-" and "_" made "_".
std::string RunBaseName(TDateTime startedUtc, const std::wstring& furnace);
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
// How many samples a run's closed mark names as missing from its journal
// ("Gap: N samples ..."); 0 for a plain mark, none, or one not readable.
std::uint64_t GapOfClosedMark(const std::filesystem::path& mark);

// The file operations of the writer, replaceable for tests (a full disk).
// Failures return false (or -1) with the system's reason.
struct TJournalIo {
  // Opens the file for appending (creating it), locked against a second
  // writer; `size` receives its length.
  std::function<std::intptr_t(const std::filesystem::path& path, std::uint64_t& size, std::string& reason)> Open;
  std::function<bool(std::intptr_t handle, std::string_view bytes, std::string& reason)> Write;
  // Flushes to stable storage.
  std::function<bool(std::intptr_t handle, std::string& reason)> Sync;
  // Cuts the file back to `size` bytes (a failed write's remains).
  std::function<bool(std::intptr_t handle, std::uint64_t size)> Truncate;
  std::function<void(std::intptr_t handle)> Close;
  // Writes a whole file atomically; throws EFileWriteError.
  std::function<void(const std::filesystem::path& path, std::string_view bytes)> Replace;
};
// The platform's operations.
TJournalIo SystemJournalIo();

// Samples the writer keeps in memory while the disk refuses them: a day of
// samples at the shortest poll interval.
inline constexpr std::size_t kJournalQueueBound = 17280;
// The writer's first retry after a refused write, and the longest it waits
// between retries (each retry that fails doubles the wait).
inline constexpr std::uint32_t kJournalFirstRetryMs = 2000;
inline constexpr std::uint32_t kJournalMostRetryMs = 30000;
// The attention condition raised while samples wait.
inline constexpr std::string_view kJournalAttentionKey = "run journal";

// The journal of the current run and its writer thread.
class TRunJournal {
 public:
  explicit TRunJournal(const TRegionalSettings& regional);
  // Writes what is queued, then ends the thread. The run is not marked
  // closed (End does that).
  ~TRunJournal();
  TRunJournal(const TRunJournal&) = delete;
  TRunJournal& operator=(const TRunJournal&) = delete;

  // The folder runs are written to; none (the default): no journal is kept.
  void SetFolder(std::optional<std::filesystem::path> folder);
  // Replaces the file operations; before the first Begin.
  void SetIo(TJournalIo io);
  // Replaces the retry waits and the queue bound (tests); before the first
  // Begin.
  void SetRetry(std::uint32_t firstMs, std::uint32_t mostMs, std::size_t queueBound = kJournalQueueBound);

  // A run is open (Begin was called and End was not).
  bool IsOpen() const { return fOpen; }
  // Opens a run of `furnace` starting now: a new journal, or the one
  // ContinueRun named.
  void Begin(const std::wstring& furnace);
  // Queues one sample of the open run.
  void Append(const TJournalSample& sample);
  // Queues the program's segments to be written beside the journal (only
  // when they differ from the ones last queued).
  void SaveProgram(const std::vector<TFurnaceActionParameters>& segments, const TProgramStability& stability = {});
  // Ends the run: its closed mark is written after its last sample (one
  // more try for samples still waiting; those it cannot write are named in
  // the mark).
  void End();
  // The next Begin appends to this run's journal (its data were loaded
  // into the chart, which goes on from there).
  void ContinueRun(const TRunFiles& run);
  // The run End ended last, while no other has begun since and none is
  // to be continued: its furnace and start (its journal is the writer's
  // last one).
  std::optional<TRunFiles> EndedRun() const;
  // The next Begin appends to the journal of EndedRun() (its closed mark
  // goes): the chart's data go on in one run file after a Stop and Start.
  void ContinueEndedRun();

  // Waits until everything queued has been taken by the writer (written,
  // or waiting for the disk); false when `limitMs` passed first.
  bool WaitIdle(std::uint32_t limitMs);
  // Waits until everything queued is on stable storage (or given up at
  // End); false when `limitMs` passed first.
  bool WaitWritten(std::uint32_t limitMs);
  // Samples on stable storage since the program started.
  std::uint64_t DurableSamples() const;
  // Samples queued and not yet taken by the writer.
  std::size_t QueuedSamples() const;
  // Samples waiting in memory for the disk.
  std::uint64_t WaitingSamples() const;
  // Samples of the current run given up (beyond the queue bound).
  std::uint64_t LostSamples() const;
  // The journal of the open run (empty before its first sample).
  std::filesystem::path JournalPath() const;

 private:
  struct TJob {
    enum class Kind { Open, Sample, Program, Close } What;
    TJournalSample Sample;
    std::filesystem::path Path;
    std::string Text;
    bool Continue = false;
  };
  using TClock = std::chrono::steady_clock;
  void Queue(TJob job);
  void Run();
  void DoOpen(const TJob& job);
  void Keep(const TJournalSample& sample);
  // Writes the gap and the waiting samples when the disk may take them
  // (`force`: also before the retry is due).
  void Flush(bool force);
  bool OpenFile(std::string& reason);
  void Failed(const std::string& reason);
  void ShowWaiting();
  void Published();
  void DoProgram(const TJob& job);
  void DoClose();
  void CloseFile();

  const TRegionalSettings fRegional;  // in the system code page
  TRegionalSettings fLineRegional;    // the open journal's own separators (writer thread)
  std::optional<std::filesystem::path> fFolder;
  bool fOpen = false;
  std::optional<TRunFiles> fContinue;
  bool fContinueEnded = false;      // fContinue is the ended run: the writer's last journal
  std::optional<TRunFiles> fEnded;  // the run End ended last
  std::optional<TRunFiles> fRun;    // UI thread's view of the open run
  std::vector<TFurnaceActionParameters> fSavedProgram;
  TProgramStability fSavedStability;
  bool fProgramSaved = false;

  mutable std::mutex fMutex;
  std::condition_variable fWake;
  std::condition_variable fIdle;
  std::deque<TJob> fQueue;
  bool fBusy = false;
  bool fStop = false;
  std::uint64_t fDurable = 0;
  std::uint64_t fWaitingShared = 0;
  std::uint64_t fLostShared = 0;
  std::optional<TClock::time_point> fRetryAt;  // when samples wait for a retry
  std::filesystem::path fJournalPath;          // the writer's; read under the lock elsewhere
  std::thread fThread;

  // Writer thread only.
  TJournalIo fIo;
  std::chrono::milliseconds fFirstRetry{kJournalFirstRetryMs};
  std::chrono::milliseconds fMostRetry{kJournalMostRetryMs};
  std::size_t fQueueBound = kJournalQueueBound;
  std::chrono::milliseconds fBackoff{kJournalFirstRetryMs};
  bool fRunActive = false;   // between an Open and a Close job
  bool fContinuing = false;  // the open run appends to an existing journal
  std::intptr_t fHandle = -1;
  std::uint64_t fSize = 0;  // bytes of the file known whole and on disk
  bool fDirty = false;      // the file may hold bytes beyond fSize
  bool fFailing = false;
  std::string fReason;
  std::deque<TJournalSample> fWaiting;
  TJournalGap fGap;            // given up, not yet recorded in the file
  std::uint64_t fRunLost = 0;  // given up in this run
  bool fProgramFailing = false;
  std::string fLine;
};

}  // namespace karvo
