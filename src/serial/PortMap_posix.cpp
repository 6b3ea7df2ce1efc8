#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "common/ConfigDir.h"
#include "serial/PortMap.h"
#include "serial/PortName.h"

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

PortMapRoots DefaultPortMapRoots() { return PortMapRoots{KarvoConfigDir() + "/ports", "/sys/class/tty", "/dev"}; }

std::string MappedPortDevice(std::string_view name, const PortMapRoots& roots) {
  const int n = ComPortNumberOf(name);
  if (n == 0) return {};
  const std::string link = roots.mapDir + "/" + ComPortName(n);
  if (IsLinkToExistingTarget(link)) return link;
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
