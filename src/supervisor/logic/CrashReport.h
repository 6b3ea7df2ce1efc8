#pragma once
// Error reports. An error that escapes an operator action is shown to the
// operator with a button that saves a report; a crash of the process (a
// fatal signal, an unhandled exception or structured exception) writes the
// same report before the process ends. A report holds the time, the
// program's version, the error and the newest 200 lines of the program log;
// it goes to <state folder>/reports/.

#include <array>
#include <atomic>
#include <cstddef>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/Types.h"

namespace karvo {

// "KarvoTemp <version>".
std::string ProgramVersion();

// The newest lines of the program log, kept for reports in fixed slots, so
// that a crash handler can read them without allocating or locking. Lines
// longer than a slot are cut.
class TRecentLogLines {
 public:
  static constexpr std::size_t kLines = 200;
  static constexpr std::size_t kLineBytes = 512;

  void Add(std::string_view line);
  // Oldest first.
  std::vector<std::string> Lines() const;
  void Clear();

  // For a crash handler: calls fn(text, length) for each line, oldest first,
  // without locking (a line being written at that moment may come out torn).
  template <class Fn>
  void ForEachUnlocked(Fn fn) const noexcept {
    const std::size_t count = fCount.load(std::memory_order_acquire);
    const std::size_t n = count < kLines ? count : kLines;
    for (std::size_t i = count - n; i < count; ++i) {
      const Slot& slot = fSlots[i % kLines];
      fn(slot.text.data(), slot.length);
    }
  }

 private:
  struct Slot {
    std::array<char, kLineBytes> text{};
    std::size_t length = 0;
  };
  mutable std::mutex fMutex;
  std::array<Slot, kLines> fSlots{};
  std::atomic<std::size_t> fCount{0};
};

// The lines the program log has seen (the program's log sink feeds it).
TRecentLogLines& RecentLogLines();

// The report's text: lines ending in the system's line end, the log lines
// oldest first.
std::string ErrorReportText(TDateTime local, const std::string& error, const std::vector<std::string>& lines);

// The folder reports go to.
std::filesystem::path ErrorReportFolder();

// Writes a report of `error` with the current local time and the recent log
// lines; returns the file's path. Throws std::runtime_error (with the
// system's reason) when the file cannot be written.
std::filesystem::path WriteErrorReport(const std::string& error);

// An error that escaped an operator action: shows it with the offer of a
// report (AskSaveErrorReport) and, when asked, writes the report and tells
// where it went. The program goes on.
void ReportActionError(const std::string& error);

// From here on a crash of the process writes a report before the process
// ends: fatal signals (POSIX), unhandled structured exceptions (Windows)
// and exceptions that nothing caught (std::terminate). Call once, early.
void InstallCrashHandler();

// True once a crash report has been written by the handlers above.
bool CrashReportWritten();

}  // namespace karvo
