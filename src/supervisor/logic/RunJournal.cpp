#include "supervisor/logic/RunJournal.h"

#include <algorithm>
#include <fstream>
#include <system_error>
#include <utility>

#include "common/AtomicFile.h"
#include "common/AtomicFilePlatform.h"
#include "common/Attention.h"
#include "common/Log.h"
#include "common/ProgramThread.h"
#include "common/Text.h"
#include "supervisor/logic/DataExport.h"
#include "supervisor/logic/JournalFile.h"

namespace karvo {
namespace fs = std::filesystem;

TJournalIo SystemJournalIo() {
  TJournalIo io;
  io.Open = journal_file::OpenForAppend;
  io.Write = [](std::intptr_t handle, std::string_view bytes, std::string& reason) {
    return atomic_file::WriteAll(handle, bytes.data(), bytes.size(), reason);
  };
  io.Sync = journal_file::Sync;
  io.Truncate = journal_file::Truncate;
  io.Close = atomic_file::Close;
  io.Replace = WriteFileAtomically;
  return io;
}

// --- The writer --------------------------------------------------------------------

TRunJournal::TRunJournal(const TRegionalSettings& regional)
    : fRegional(ExportRegional(regional)), fIo(SystemJournalIo()) {}

TRunJournal::~TRunJournal() {
  {
    std::lock_guard lock(fMutex);
    fStop = true;
  }
  fWake.notify_all();
  if (fThread.joinable()) fThread.join();
  CloseFile();
  if (fRunActive) ClearAttention(kJournalAttentionKey);
}

void TRunJournal::SetFolder(std::optional<fs::path> folder) { fFolder = std::move(folder); }

void TRunJournal::SetIo(TJournalIo io) {
  std::lock_guard lock(fMutex);
  fIo = std::move(io);
}

void TRunJournal::SetRetry(std::uint32_t firstMs, std::uint32_t mostMs, std::size_t queueBound) {
  std::lock_guard lock(fMutex);
  fFirstRetry = fBackoff = std::chrono::milliseconds(firstMs);
  fMostRetry = std::chrono::milliseconds(mostMs);
  fQueueBound = std::max<std::size_t>(queueBound, 1);
}

void TRunJournal::ContinueRun(const TRunFiles& run) {
  fContinue = run;
  fContinueEnded = false;
}

std::optional<TRunFiles> TRunJournal::EndedRun() const { return fContinue ? std::nullopt : fEnded; }

void TRunJournal::ContinueEndedRun() {
  if (!fEnded) return;
  fContinue = fEnded;
  fContinueEnded = true;
}

void TRunJournal::Queue(TJob job) {
  {
    std::lock_guard lock(fMutex);
    fQueue.push_back(std::move(job));
    if (!fThread.joinable()) fThread = StartProgramThread([this] { Run(); });
  }
  fWake.notify_one();
}

void TRunJournal::Begin(const std::wstring& furnace) {
  if (fOpen || !fFolder) return;
  fOpen = true;
  fProgramSaved = false;
  TJob job{TJob::Kind::Open, {}, {}, {}, false};
  fEnded.reset();
  if (fContinue) {
    fRun = std::exchange(fContinue, std::nullopt);
    job.Continue = true;
    // The ended run's journal is the one the writer had last, whatever
    // name it made unique.
    if (std::exchange(fContinueEnded, false)) fRun->Journal.clear();
  } else {
    TRunFiles run;
    run.Started = UtcNow();
    run.Furnace = furnace;
    // The writer thread makes the name unique.
    run.Journal = RunJournalPath(*fFolder, run.Started, furnace);
    fRun = std::move(run);
  }
  job.Files = *fRun;
  Queue(std::move(job));
}

void TRunJournal::Append(const TJournalSample& sample) {
  if (!fOpen) return;
  Queue({TJob::Kind::Sample, sample, {}, {}, false});
}

void TRunJournal::SaveProgram(const std::vector<TFurnaceActionParameters>& segments,
                              const TProgramStability& stability) {
  if (!fOpen) return;
  if (fProgramSaved && segments == fSavedProgram && stability == fSavedStability) return;
  fSavedProgram = segments;
  fSavedStability = stability;
  fProgramSaved = true;
  Queue({TJob::Kind::Program, {}, {}, ProgramFileText(fRun->Furnace, segments, stability), false});
}

void TRunJournal::End() {
  if (!fOpen) return;
  fOpen = false;
  Queue({TJob::Kind::Close, {}, {}, {}, false});
  fEnded = std::exchange(fRun, std::nullopt);
}

bool TRunJournal::WaitIdle(std::uint32_t limitMs) {
  std::unique_lock lock(fMutex);
  return fIdle.wait_for(lock, std::chrono::milliseconds(limitMs), [this] { return fQueue.empty() && !fBusy; });
}

bool TRunJournal::WaitWritten(std::uint32_t limitMs) {
  std::unique_lock lock(fMutex);
  return fIdle.wait_for(lock, std::chrono::milliseconds(limitMs),
                        [this] { return fQueue.empty() && !fBusy && fWaitingShared == 0; });
}

std::uint64_t TRunJournal::DurableSamples() const {
  std::lock_guard lock(fMutex);
  return fDurable;
}

std::size_t TRunJournal::QueuedSamples() const {
  std::lock_guard lock(fMutex);
  return static_cast<std::size_t>(
      std::count_if(fQueue.begin(), fQueue.end(), [](const TJob& job) { return job.What == TJob::Kind::Sample; }));
}

std::uint64_t TRunJournal::WaitingSamples() const {
  std::lock_guard lock(fMutex);
  return fWaitingShared;
}

std::uint64_t TRunJournal::LostSamples() const {
  std::lock_guard lock(fMutex);
  return fLostShared;
}

fs::path TRunJournal::JournalPath() const {
  std::lock_guard lock(fMutex);
  return fJournalPath;
}

void TRunJournal::Run() {
  std::vector<TJob> jobs;
  for (;;) {
    {
      std::unique_lock lock(fMutex);
      fBusy = false;
      if (fQueue.empty()) fIdle.notify_all();
      const auto due = [this] { return fStop || !fQueue.empty(); };
      if (fRetryAt) {
        fWake.wait_until(lock, *fRetryAt, due);
      } else {
        fWake.wait(lock, due);
      }
      if (fQueue.empty() && fStop) {
        lock.unlock();
        // One last try for samples still waiting.
        Flush(true);
        return;
      }
      jobs.assign(std::make_move_iterator(fQueue.begin()), std::make_move_iterator(fQueue.end()));
      fQueue.clear();
      fBusy = true;
    }
    for (const TJob& job : jobs) {
      switch (job.What) {
        case TJob::Kind::Open:
          DoOpen(job);
          break;
        case TJob::Kind::Sample:
          Keep(job.Sample);
          break;
        case TJob::Kind::Program:
          // The samples before the program go first.
          Flush(false);
          DoProgram(job);
          break;
        case TJob::Kind::Close:
          DoClose();
          break;
      }
    }
    jobs.clear();
    Flush(false);
  }
}

void TRunJournal::Keep(const TJournalSample& sample) {
  if (!fRunActive) return;
  fWaiting.push_back(sample);
  if (fWaiting.size() <= fQueueBound) return;
  // The oldest is given up; the gap line records it.
  const TJournalSample& oldest = fWaiting.front();
  if (fGap.Samples == 0) fGap.From = oldest.Time;
  fGap.To = oldest.Time;
  ++fGap.Samples;
  ++fRunLost;
  fWaiting.pop_front();
}

void TRunJournal::Published() {
  std::lock_guard lock(fMutex);
  fWaitingShared = fWaiting.size();
  fLostShared = fRunLost;
  if (fFailing) {
    fRetryAt = TClock::now() + fBackoff;
  } else {
    fRetryAt.reset();
  }
}

void TRunJournal::ShowWaiting() {
  std::string text = "The run journal cannot be written (" + fReason + "): " + std::to_string(fWaiting.size()) +
                     " samples wait in memory; it is tried again every " +
                     std::to_string(std::chrono::duration_cast<std::chrono::seconds>(fBackoff).count()) + " s.";
  if (fRunLost > 0) text += " " + std::to_string(fRunLost) + " older samples did not fit and are recorded as a gap.";
  RaiseAttention(kJournalAttentionKey, text);
}

void TRunJournal::Failed(const std::string& reason) {
  // What part of the lines reached the file is cut off again; when even
  // that fails, the next try cuts it first.
  if (fHandle != -1 && fDirty && fIo.Truncate(fHandle, fSize)) fDirty = false;
  if (!fFailing) {
    fBackoff = fFirstRetry;
    LogLine();
    LogLine("The run journal \"" + PathText(JournalPath()) + "\" cannot be written: " + reason +
            ". The samples wait in memory and are written when the disk takes them again.");
  } else {
    fBackoff = std::min(fBackoff * 2, fMostRetry);
  }
  fFailing = true;
  fReason = reason;
}

void TRunJournal::CloseFile() {
  if (fHandle == -1) return;
  fIo.Close(std::exchange(fHandle, -1));
}

void TRunJournal::DoOpen(const TJob& job) {
  CloseFile();
  fRunActive = true;
  fContinuing = job.Continue;
  fLineRegional = fRegional;
  fFailing = false;
  fDirty = false;
  fSize = 0;
  fWaiting.clear();
  fGap = {};
  fRunLost = 0;
  fs::path path = job.Files.Journal.empty() ? JournalPath() : job.Files.Journal;
  std::error_code ec;
  if (!job.Continue) {
    // Runs started within the same second get " (2)" and so on.
    for (int n = 2; fs::exists(path, ec) && n < 1000; ++n)
      path = RunJournalPath(job.Files.Journal.parent_path(), job.Files.Started, job.Files.Furnace, n);
  }
  std::lock_guard lock(fMutex);
  fJournalPath = path;
}

namespace {

// The length of `path` up to its last line end, read backwards in blocks:
// whatever follows it (a line cut short, blocks of zeros a file system left
// after a power cut) is not a whole line.
std::uint64_t WholeLinesLength(const fs::path& path, std::uint64_t size) {
  std::ifstream in(path, std::ios::binary);
  constexpr std::uint64_t kBlock = 65536;
  std::string block;
  for (std::uint64_t end = size; end > 0 && in;) {
    const std::uint64_t start = end > kBlock ? end - kBlock : 0;
    block.resize(static_cast<std::size_t>(end - start));
    in.seekg(static_cast<std::streamoff>(start));
    if (!in.read(block.data(), static_cast<std::streamsize>(block.size()))) break;
    if (const std::size_t at = block.rfind('\n'); at != std::string::npos) return start + at + 1;
    end = start;
  }
  return 0;
}

// The first line of the journal at `path` (empty when it has none within
// its first 4 KiB).
std::string HeaderLine(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string head(4096, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  const std::size_t end = head.find('\n');
  head.resize(end == std::string::npos ? 0 : end);
  return head;
}

}  // namespace

bool TRunJournal::OpenFile(std::string& reason) {
  const fs::path path = JournalPath();
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  if (ec) {
    reason = ec.message();
    return false;
  }
  std::uint64_t size = 0;
  const std::intptr_t handle = fIo.Open(path, size, reason);
  if (handle == -1) return false;
  fHandle = handle;
  fSize = size;
  if (fContinuing) {
    // The run goes on: its closed mark goes (the samples it names as missing
    // stay counted for the run's next mark), and whatever follows the last
    // whole line is cut off so that the next one starts on a line of its
    // own.
    const fs::path mark = RunClosedMarkPath(path);
    fRunLost += GapOfClosedMark(mark);
    fs::remove(mark, ec);
    // Its lines go on in the journal's own format (the header's separators).
    ReadJournalHeader(HeaderLine(path), fLineRegional);
    const std::uint64_t keep = WholeLinesLength(path, size);
    if (keep != size) {
      fDirty = true;
      if (!fIo.Truncate(fHandle, keep)) {
        reason = "what follows the last whole line cannot be removed";
        return false;
      }
      fDirty = false;
      fSize = keep;
    }
    fContinuing = false;
  }
  return true;
}

void TRunJournal::Flush(bool force) {
  if (!fRunActive || (fWaiting.empty() && fGap.Samples == 0)) return;
  if (fFailing && !force) {
    bool due = true;
    {
      std::lock_guard lock(fMutex);
      due = !fRetryAt || TClock::now() >= *fRetryAt;
      fWaitingShared = fWaiting.size();
      fLostShared = fRunLost;
    }
    if (!due) {
      ShowWaiting();
      return;
    }
  }
  std::string reason;
  const bool ready = [&] {
    if (fHandle == -1) return OpenFile(reason);
    if (fDirty && !fIo.Truncate(fHandle, fSize)) {
      reason = "a write cut short cannot be removed";
      return false;
    }
    fDirty = false;
    return true;
  }();
  if (ready) {
    fLine.clear();
    // A file with nothing whole in it starts with the header.
    if (fSize == 0) {
      fLine += JournalHeader(fLineRegional);
      fLine += kJournalLineEnd;
    }
    if (fGap.Samples > 0) {
      AppendJournalGapLine(fLine, fGap, fLineRegional);
      fLine += kJournalLineEnd;
    }
    for (const TJournalSample& s : fWaiting) {
      AppendJournalLine(fLine, s, fLineRegional);
      fLine += kJournalLineEnd;
    }
    fDirty = true;
    // Durable only once the flush to stable storage succeeded.
    if (fIo.Write(fHandle, fLine, reason) && fIo.Sync(fHandle, reason)) {
      fDirty = false;
      fSize += fLine.size();
      const std::size_t written = fWaiting.size();
      fWaiting.clear();
      fGap = {};
      {
        std::lock_guard lock(fMutex);
        fDurable += written;
      }
      if (fFailing) {
        fFailing = false;
        LogLine();
        LogLine("The run journal is written again: " + std::to_string(written) + " samples that waited are on disk.");
        ClearAttention(kJournalAttentionKey);
      }
      Published();
      return;
    }
  }
  Failed(reason);
  ShowWaiting();
  Published();
}

void TRunJournal::DoProgram(const TJob& job) {
  try {
    fIo.Replace(RunProgramPath(JournalPath()), job.Text);
    fProgramFailing = false;
  } catch (const std::exception& e) {
    // The data go on being journaled; the program is written again when
    // it changes next. Said once until a write succeeds.
    if (!fProgramFailing) {
      LogLine();
      LogLine(std::string("The instructions program of the run cannot be saved: ") + e.what());
    }
    fProgramFailing = true;
  }
}

void TRunJournal::DoClose() {
  // One more try for what waits, whether or not a retry is due.
  Flush(true);
  CloseFile();
  const std::uint64_t lost = fRunLost + fWaiting.size();
  const std::string mark = ClosedMarkText(lost);
  if (lost > 0) {
    LogLine();
    LogLine("The run ended with " + std::to_string(lost) + " samples that are not in its journal \"" +
            PathText(JournalPath()) + "\" (they are in the chart).");
  }
  fRunActive = false;
  fFailing = false;
  fWaiting.clear();
  fGap = {};
  fRunLost = 0;
  Published();
  ClearAttention(kJournalAttentionKey);
  // Marked also when samples are missing: the run did end cleanly.
  try {
    fIo.Replace(RunClosedMarkPath(JournalPath()), mark);
  } catch (const std::exception& e) {
    LogLine();
    LogLine(std::string("The end of the run cannot be marked: ") + e.what());
  }
}

}  // namespace karvo
