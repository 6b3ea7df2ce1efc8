#include <windows.h>
// after windows.h
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdlib>

#include "common/StateDir.h"

namespace karvo {

std::filesystem::path KarvoStateDir() {
  std::filesystem::path base;
  if (const wchar_t* local = _wgetenv(L"LOCALAPPDATA"); local && *local) {
    base = local;
  } else {
    PWSTR path = nullptr;
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path) == S_OK) base = path;
    CoTaskMemFree(path);
    if (base.empty()) base = std::filesystem::temp_directory_path();
  }
  return base / "KarvoTemp";
}

}  // namespace karvo
