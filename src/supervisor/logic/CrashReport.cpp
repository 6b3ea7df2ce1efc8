#include "supervisor/logic/CrashReport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "common/DateTime.h"
#include "common/Seams.h"
#include "common/StateDir.h"
#include "supervisor/logic/CrashHandler.h"

#ifndef KARVO_VERSION
#define KARVO_VERSION "unknown"
#endif

namespace karvo {
namespace fs = std::filesystem;

std::string ProgramVersion() { return std::string("KarvoTemp ") + KARVO_VERSION; }

void TRecentLogLines::Add(std::string_view line) {
  std::lock_guard lock(fMutex);
  const std::size_t count = fCount.load(std::memory_order_relaxed);
  Slot& slot = fSlots[count % kLines];
  slot.length = std::min(line.size(), kLineBytes);
  std::copy_n(line.data(), slot.length, slot.text.data());
  fCount.store(count + 1, std::memory_order_release);
}

std::vector<std::string> TRecentLogLines::Lines() const {
  std::lock_guard lock(fMutex);
  std::vector<std::string> lines;
  ForEachUnlocked([&](const char* text, std::size_t length) { lines.emplace_back(text, length); });
  return lines;
}

void TRecentLogLines::Clear() {
  std::lock_guard lock(fMutex);
  fCount.store(0, std::memory_order_release);
}

TRecentLogLines& RecentLogLines() {
  // Never destroyed: a crash at program end may still read it.
  static TRecentLogLines* const lines = new TRecentLogLines;
  return *lines;
}

std::string ErrorReportText(TDateTime local, const std::string& error, const std::vector<std::string>& lines) {
  std::string text = "KarvoTemp error report\n";
  text += "Time: " + FormatIsoDateTime(local) + "\n";
  text += "Version: " + ProgramVersion() + "\n";
  text += "Error: " + error + "\n\n";
  text += "Last " + std::to_string(lines.size()) + " lines of the program log:\n";
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

fs::path ErrorReportFolder() { return KarvoStateDir() / "reports"; }

fs::path WriteErrorReport(const std::string& error) {
  const TDateTime local = Now();
  const fs::path folder = ErrorReportFolder();
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) throw std::runtime_error("cannot create " + folder.string() + ": " + ec.message());
  const DateTimeParts p = DecodeDateTime(local);
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "report-%04d-%02d-%02d-%02d%02d%02d", p.year, p.month, p.day, p.hour, p.minute,
                p.second);
  fs::path path = folder / (std::string(stamp) + ".txt");
  for (int n = 2; fs::exists(path, ec); ++n) path = folder / (std::string(stamp) + "-" + std::to_string(n) + ".txt");
  std::ofstream out(path);
  out << ErrorReportText(local, error, RecentLogLines().Lines());
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
  return path;
}

void ReportActionError(const std::string& error) {
  if (!AskSaveErrorReport(error)) return;
  try {
    ShowMessage("The error report was saved as " + WriteErrorReport(error).string());
  } catch (const std::exception& e) {
    ShowMessage(std::string("The error report could not be saved: ") + e.what());
  }
}

namespace {

std::atomic<bool>& Written() {
  static std::atomic<bool> written{false};
  return written;
}

[[noreturn]] void OnTerminate() {
  std::string error = "unhandled exception";
  if (const std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const std::exception& e) {
      error += ": " + std::string(e.what());
    } catch (...) {
    }
  } else {
    error = "the program was terminated (std::terminate)";
  }
  if (!Written().exchange(true)) {
    try {
      WriteErrorReport(error);
    } catch (...) {
    }
  }
  std::abort();
}

}  // namespace

bool ClaimCrashReport() { return !Written().exchange(true); }
bool CrashReportWritten() { return Written().load(); }

void InstallCrashHandler() {
  std::error_code ec;
  fs::create_directories(ErrorReportFolder(), ec);
  std::set_terminate(OnTerminate);
  InstallPlatformCrashHandler(ErrorReportFolder());
}

}  // namespace karvo
