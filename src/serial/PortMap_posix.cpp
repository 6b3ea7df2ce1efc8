#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "common/ConfigDir.h"
#include "serial/PortMap.h"
#include "serial/PortName.h"
#include "serial/Processes_posix.h"

namespace karvo {
namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool IsLinkToExistingTarget(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && Exists(path);
}

bool LeadsToPseudoTerminal(const std::string& link) {
  char real[PATH_MAX];
  return ::realpath(link.c_str(), real) && std::string(real).starts_with("/dev/pts/");
}

// A non-zero number in the first line of `path`; false when the file is
// missing or holds no number.
bool HoldsNonZeroNumber(const std::string& path) {
  std::ifstream in(path);
  long value = 0;
  return static_cast<bool>(in >> value) && value != 0;
}

struct DeviceRange {
  int firstPort;
  const char* prefix;
  bool needsUartType;  // legacy ports are registered even without a UART
};
constexpr DeviceRange kRanges[] = {{1, "ttyS", true}, {33, "ttyUSB", false}, {65, "ttyACM", false}};
constexpr int kRangeSize = 32;

}  // namespace

PortMapRoots DefaultPortMapRoots() {
  // No map folder at all when the per-user folder is unknown or not this
  // user's.
  const std::string dir = KarvoConfigDir();
  const bool own = !dir.empty() && KarvoConfigDirIsOwn() && OwnFolderOrAbsent(dir + "/ports");
  return PortMapRoots{own ? dir + "/ports" : std::string(), "/sys/class/tty", "/dev"};
}

std::string PortLinkOwnerFile(const std::string& mapDir, std::string_view name) {
  return mapDir + "/." + std::string(name) + ".owner";
}

bool WritePortLinkOwner(const std::string& mapDir, std::string_view name) {
  const pid_t self = ::getpid();
  const std::string file = PortLinkOwnerFile(mapDir, name);
  const std::string temp = file + "." + std::to_string(self);
  {
    std::ofstream out(temp, std::ios::trunc);
    out << self << ' ' << ProcessStartTime(self).value_or(0) << '\n';
    if (!out.flush()) {
      ::unlink(temp.c_str());
      return false;
    }
  }
  if (::rename(temp.c_str(), file.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

long LivePortLinkOwner(const std::string& mapDir, std::string_view name) {
  std::ifstream in(PortLinkOwnerFile(mapDir, name));
  long pid = 0;
  unsigned long long started = 0;
  if (!(in >> pid >> started) || pid <= 0 || !ProcessAlive(static_cast<pid_t>(pid))) return 0;
  // The same number, but a process that started later, is not the owner.
  const auto now = ProcessStartTime(static_cast<pid_t>(pid));
  if (started != 0 && now && *now != started) return 0;
  return pid;
}

std::string MappedPortDevice(std::string_view name, const PortMapRoots& roots) {
  const int n = ComPortNumberOf(name);
  if (n == 0) return {};
  if (!roots.mapDir.empty()) {
    const std::string link = roots.mapDir + "/" + ComPortName(n);
    if (IsLinkToExistingTarget(link) &&
        (!LeadsToPseudoTerminal(link) || LivePortLinkOwner(roots.mapDir, ComPortName(n)) != 0)) {
      return link;
    }
  }
  for (const DeviceRange& range : kRanges) {
    if (n < range.firstPort || n >= range.firstPort + kRangeSize) continue;
    const std::string device = range.prefix + std::to_string(n - range.firstPort);
    const std::string sys = roots.sysClassTty + "/" + device;
    if (!Exists(sys + "/device")) return {};
    if (range.needsUartType && !HoldsNonZeroNumber(sys + "/type")) return {};
    return roots.dev + "/" + device;
  }
  return {};
}

std::vector<std::string> MappedPortNames(const PortMapRoots& roots) {
  std::vector<std::string> names;
  for (int n = 1; n <= 254; ++n) {
    std::string name = ComPortName(n);
    if (!MappedPortDevice(name, roots).empty()) names.push_back(std::move(name));
  }
  return names;
}

}  // namespace karvo
