#include <windows.h>

#include <cstdlib>
#include <random>

#include "TestHome.h"

namespace karvo::test {
namespace {
constexpr const wchar_t* kVariable = L"LOCALAPPDATA";
}

ScopedStateDir::ScopedStateDir() {
  if (const wchar_t* old = _wgetenv(kVariable)) {
    hadPrevious_ = true;
    previous_ = std::filesystem::path(old).string();
  }
  root_ = std::filesystem::temp_directory_path() / ("karvo-state-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(root_);
  _wputenv_s(kVariable, root_.c_str());
}

ScopedStateDir::~ScopedStateDir() {
  _wputenv_s(kVariable, hadPrevious_ ? std::filesystem::path(previous_).c_str() : L"");
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

ScopedStore::ScopedStore() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TalvikAS\\Karvo"); }

ScopedStore::~ScopedStore() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TalvikAS\\Karvo"); }

}  // namespace karvo::test
