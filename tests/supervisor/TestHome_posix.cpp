#include <cstdlib>
#include <random>

#include "TestHome.h"

namespace karvo::test {
namespace {
constexpr const char* kVariable = "XDG_STATE_HOME";
}

ScopedStateDir::ScopedStateDir() {
  if (const char* old = std::getenv(kVariable)) {
    hadPrevious_ = true;
    previous_ = old;
  }
  root_ = std::filesystem::temp_directory_path() / ("karvo-state-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(root_);
  setenv(kVariable, root_.c_str(), 1);
}

ScopedStateDir::~ScopedStateDir() {
  if (hadPrevious_) {
    setenv(kVariable, previous_.c_str(), 1);
  } else {
    unsetenv(kVariable);
  }
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

ScopedStore::ScopedStore() {
  if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
    hadPrevious_ = true;
    previous_ = old;
  }
  root_ = std::filesystem::temp_directory_path() / ("karvo-store-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(root_);
  setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
}

ScopedStore::~ScopedStore() {
  if (hadPrevious_) {
    setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

}  // namespace karvo::test
