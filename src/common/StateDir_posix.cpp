#include <cstdlib>

#include "common/StateDir.h"

namespace karvo {

std::filesystem::path KarvoStateDir() {
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".local" / "state";
  } else {
    base = "/tmp";
  }
  return base / "KarvoTemp";
}

}  // namespace karvo
