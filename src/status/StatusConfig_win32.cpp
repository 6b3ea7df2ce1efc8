// The status settings file on Windows: %APPDATA%\TalvikAS\Karvo, a folder
// of the user's profile that only the user (and administrators) can read.
#include <cstdlib>
#include <stdexcept>

#include "common/AtomicFile.h"
#include "status/StatusConfig.h"

namespace karvo {

std::filesystem::path StatusConfigPath() {
  const char* appData = std::getenv("APPDATA");
  if (!appData || !*appData) return {};
  return std::filesystem::path(appData) / "TalvikAS" / "Karvo" / "status.conf";
}

void WriteStatusConfig(const std::filesystem::path& path, std::string_view text) {
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  if (ec) throw std::runtime_error(path.parent_path().string() + ": " + ec.message());
  WriteFileAtomically(path, text);
}

}  // namespace karvo
