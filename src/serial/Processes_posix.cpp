#include "serial/Processes_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace karvo {
namespace {

// The fields of /proc/<pid>/stat after the command name, which is in
// brackets and may itself hold blanks and brackets; false when the file
// cannot be read.
bool StatFields(const char* pid, std::string& fields) {
  const std::string path = std::string("/proc/") + pid + "/stat";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[1024];
  const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
  ::close(fd);
  if (n <= 0) return false;
  buffer[n] = '\0';
  const char* end = std::strrchr(buffer, ')');
  if (!end || end[1] != ' ') return false;
  fields = end + 2;
  return true;
}

// The controlling terminal field (tty_nr) of /proc/<pid>/stat encodes the
// device as minor bits 0-7 and 20-31, major bits 8-19.
unsigned long long StatTerminal(dev_t device) {
  const unsigned long long maj = major(device), min = minor(device);
  return (min & 0xFF) | (maj << 8) | ((min & ~0xFFull) << 12);
}

}  // namespace

bool ProcessAlive(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

std::optional<unsigned long long> ProcessStartTime(pid_t pid) {
  std::string fields;
  if (pid <= 0 || !StatFields(std::to_string(pid).c_str(), fields)) return std::nullopt;
  // Fields 3 (state) to 22 (starttime) of the file; here the first is the state.
  unsigned long long start = 0;
  if (std::sscanf(fields.c_str(), "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu",
                  &start) != 1)
    return std::nullopt;
  return start;
}

pid_t ControllingProcessOf(dev_t device) {
  DIR* proc = ::opendir("/proc");
  if (!proc) return 0;
  const unsigned long long wanted = StatTerminal(device);
  pid_t found = 0;
  std::string fields;
  while (const dirent* e = ::readdir(proc)) {
    if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;
    long long terminal = 0;
    if (!StatFields(e->d_name, fields) || std::sscanf(fields.c_str(), "%*c %*d %*d %*d %lld", &terminal) != 1) continue;
    if (terminal != 0 && static_cast<unsigned long long>(terminal) == wanted) {
      found = static_cast<pid_t>(std::atol(e->d_name));
      break;
    }
  }
  ::closedir(proc);
  return found;
}

}  // namespace karvo
