#pragma once
// The per-user state folder (program log files, error reports) in a fresh
// temporary folder for the lifetime of the object.

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

}  // namespace karvo::test
