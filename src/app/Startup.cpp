#include "app/Startup.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "app/ProgramResource.h"
#include "common/AtomicFile.h"
#include "common/Log.h"
#include "common/Seams.h"
#include "common/Types.h"
#include "modbus/Registers.h"

namespace karvo {
namespace fs = std::filesystem;

void ExtractResourceToFile(const std::string& Folder, const std::string& FileName, const std::string& ResourceName) {
  std::error_code ec;
  // A folder that cannot be made ends the attempts after about 5 seconds,
  // the start's limit for the installer, instead of holding the start.
  for (int attempt = 0; !fs::is_directory(Folder, ec); ++attempt) {
    if (attempt == kFolderAttempts) return;
    fs::create_directories(Folder, ec);
    PauseMs(100);
  }
  const fs::path path = fs::path(Folder) / FileName;
  if (fs::exists(path, ec)) return;
  const auto resource = FindProgramResource(ResourceName);
  if (!resource) {
    ShowMessage(kResourceMissing);
    return;
  }
  // Whole or not at all: a short write must not leave a file that counts as
  // present from then on.
  try {
    WriteFileAtomically(path, std::string_view(reinterpret_cast<const char*>(resource->data()), resource->size()));
  } catch (const EFileWriteError& e) {
    LogLine(e.what());
  }
  PauseMs(150);
  ProcessMessages();
}

void PlaceDriverInstaller(const std::string& Folder, const std::string& FileName, const std::string& ResourceName) {
  std::error_code ec;
  if (!fs::is_directory(Folder, ec)) fs::create_directories(Folder, ec);
  const TDateTime t0 = UtcNow();
  const fs::path path = fs::path(Folder) / FileName;
  for (;;) {
    if (UtcNow() - t0 >= 5.0 / kSecondsPerDay) return;
    if (fs::exists(path, ec)) return;
    ExtractResourceToFile(Folder, FileName, ResourceName);
    PauseMs(200);
  }
}

void InitialiseModules() {
  ControllerCatalogue();
  RandomRange(0, 0);
}

}  // namespace karvo
