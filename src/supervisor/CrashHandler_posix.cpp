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
#include "supervisor/CrashHandler.h"
#include "supervisor/CrashReport.h"

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

// A line buffer filled without allocating.
class TBuffer {
 public:
  void Add(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length && used_ < sizeof data_; ++i) data_[used_++] = text[i];
  }
  void Add(const char* text) { Add(text, strlen(text)); }
  void AddNumber(std::int64_t n, int width = 0) {
    char digits[24];
    int count = 0;
    const bool negative = n < 0;
    std::uint64_t v = negative ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    do {
      digits[count++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0 && count < 20);
    while (count < width) digits[count++] = '0';
    if (negative) Add("-");
    while (count > 0) Add(&digits[--count], 1);
  }
  void WriteTo(int fd) {
    std::size_t done = 0;
    while (done < used_) {
      const ssize_t n = write(fd, data_ + done, used_ - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    used_ = 0;
  }
  const char* c_str() {
    data_[used_ < sizeof data_ ? used_ : sizeof data_ - 1] = '\0';
    return data_;
  }

 private:
  char data_[4096];
  std::size_t used_ = 0;
};

void AddTime(TBuffer& b, const DateTimeParts& p, bool forFileName) {
  b.AddNumber(p.year, 4);
  b.Add("-");
  b.AddNumber(p.month, 2);
  b.Add("-");
  b.AddNumber(p.day, 2);
  b.Add(forFileName ? "-" : " ");
  b.AddNumber(p.hour, 2);
  if (!forFileName) b.Add(":");
  b.AddNumber(p.minute, 2);
  if (!forFileName) b.Add(":");
  b.AddNumber(p.second, 2);
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
  line.WriteTo(fd);
  RecentLogLines().ForEachUnlocked([&](const char* text, std::size_t length) {
    line.Add(text, length);
    line.Add("\n");
    line.WriteTo(fd);
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
  const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  memcpy(into, text.data(), n);
  into[n] = '\0';
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
