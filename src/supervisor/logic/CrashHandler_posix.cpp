// Fatal signals write a crash report. The handler runs in signal context:
// it uses only async-signal-safe calls (open, write, close, clock_gettime)
// and memory prepared beforehand, and gives the time in UTC.
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/DateTime.h"
#include "supervisor/logic/CrashHandler.h"
#include "supervisor/logic/CrashReport.h"
#include "supervisor/logic/CrashText.h"

namespace karvo {
namespace {

char gFolder[2048];
char gVersion[128];
char gAltStack[1 << 16];

struct TSignalName {
  int number;
  const char* name;
};
constexpr TSignalName kFatalSignals[] = {
    {SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"}, {SIGFPE, "SIGFPE"}, {SIGILL, "SIGILL"}, {SIGABRT, "SIGABRT"},
};

using crash_text::TBuffer;

void AddTime(TBuffer& b, const DateTimeParts& p, bool forFileName) {
  crash_text::AddTime(b, p.year, p.month, p.day, p.hour, p.minute, p.second, forFileName);
}

// Writes what the buffer holds to fd and empties it.
void WriteTo(TBuffer& b, int fd) {
  b.Flush([fd](const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = write(fd, data + done, size - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
  });
}

void WriteSignalReport(int signal) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const DateTimeParts p = DecodeDateTime(kUnixEpochDays + static_cast<double>(now.tv_sec) / 86400.0);
  TBuffer path;
  path.Add(gFolder);
  path.Add("/crash-");
  AddTime(path, p, true);
  path.Add(".txt");
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return;
  TBuffer line;
  line.Add("KarvoTemp crash report\nTime: ");
  AddTime(line, p, false);
  line.Add(" UTC\nVersion: ");
  line.Add(gVersion);
  line.Add("\nError: fatal signal ");
  line.AddNumber(signal);
  for (const TSignalName& s : kFatalSignals)
    if (s.number == signal) {
      line.Add(" (");
      line.Add(s.name);
      line.Add(")");
    }
  line.Add("\n\nLast lines of the program log:\n");
  WriteTo(line, fd);
  RecentLogLines().ForEachUnlocked([&](const char* text, std::size_t length) {
    line.Add(text, length);
    line.Add("\n");
    WriteTo(line, fd);
  });
  close(fd);
}

void OnFatalSignal(int signal, siginfo_t*, void*) {
  if (ClaimCrashReport()) WriteSignalReport(signal);
  // The handler was reset to the default action on entry: raised again, the
  // signal ends the process as it would have.
  raise(signal);
}

void CopyText(char* into, std::size_t size, const std::string& text) {
  crash_text::CopyText(into, size, text.data(), text.size());
}

}  // namespace

void InstallPlatformCrashHandler(const std::filesystem::path& folder) {
  CopyText(gFolder, sizeof gFolder, folder.string());
  CopyText(gVersion, sizeof gVersion, ProgramVersion());
  // A stack of its own, so that a stack overflow still gets its report.
  stack_t stack{};
  stack.ss_sp = gAltStack;
  stack.ss_size = sizeof gAltStack;
  sigaltstack(&stack, nullptr);
  struct sigaction action {};
  action.sa_sigaction = OnFatalSignal;
  action.sa_flags = SA_SIGINFO | SA_RESETHAND | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (const TSignalName& s : kFatalSignals) sigaction(s.number, &action, nullptr);
}

}  // namespace karvo
