#pragma once
// The run journal: a furnace run kept on disk while it happens, so that a
// crash, a reboot or a power cut loses at most the sample in flight.
//
// A run begins with the first consumed poll after Start and ends with Stop
// or the close. Its files lie in the runs folder of the per-user state
// folder, named by the run's start and the furnace (supervisor/logic/
// RunFiles.h): the journal, the instructions program and, once the run
// ended cleanly, its closed mark.
//
// The journal (its lines: supervisor/logic/JournalFormat.h) gets one line
// per consumed sample, which the writer thread writes and flushes to stable
// storage once the tick has queued it (the tick only queues it and goes
// on). The instructions program (supervisor/logic/ProgramFile.h) is
// rewritten whole (temporary file and rename) whenever it changes. Nothing
// here deletes a run.
//
// The writing happens on a thread of its own: the tick only queues the
// sample. When the disk refuses a write or its flush, what reached the file
// is cut off again, the samples wait in memory (at most a day of them) and
// the writer tries again, backing off up to every 30 s; once the disk takes
// writes again they are written in order. While samples wait, the window's
// attention line says how many. Samples beyond the bound are given up,
// oldest first; the journal then holds a gap line where they were, and the
// run's closed mark says how many it lacks.
//
// This header also brings the journal's format, the program file and the
// run files.

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
#include "supervisor/logic/JournalFormat.h"
#include "supervisor/logic/ProgramFile.h"
#include "supervisor/logic/RunFiles.h"

namespace karvo {

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
    TRunFiles Files;  // Open: the run (its journal empty: the writer's last one)
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
