#pragma once
// The per-user state folder (program log files, error reports) and the
// per-user store, each fresh and empty for the lifetime of an object.

#include <filesystem>
#include <string>

namespace karvo::test {

class ScopedStateDir {
 public:
  ScopedStateDir();
  ~ScopedStateDir();
  ScopedStateDir(const ScopedStateDir&) = delete;
  ScopedStateDir& operator=(const ScopedStateDir&) = delete;
  // The temporary folder the state folder lies in.
  const std::filesystem::path& Root() const { return root_; }

 private:
  std::filesystem::path root_;
  bool hadPrevious_ = false;
  std::string previous_;
};

// An empty per-user store for the lifetime of the object: a temporary
// config folder on Linux, the program's registry key removed before and
// after on Windows (the Wine stage runs its programs one at a time).
class ScopedStore {
 public:
  ScopedStore();
  ~ScopedStore();
  ScopedStore(const ScopedStore&) = delete;
  ScopedStore& operator=(const ScopedStore&) = delete;

 private:
  std::filesystem::path root_;
  bool hadPrevious_ = false;
  std::string previous_;
};

}  // namespace karvo::test
