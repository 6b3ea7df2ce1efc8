#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "common/ConfigDir.h"

namespace karvo {

std::string KarvoConfigDir() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.config";
  } else {
    base = "/tmp";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/TalvikAS/Karvo";
}

bool EnsureKarvoConfigDir() {
  const std::string dir = KarvoConfigDir();
  for (std::size_t pos = 1; pos != std::string::npos;) {
    pos = dir.find('/', pos + 1);
    const std::string part = dir.substr(0, pos);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace karvo
