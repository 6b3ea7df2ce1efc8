// Every test program on POSIX keeps its UUCP lock files in a folder of its
// own, never in the machine's (/run/lock, /var/lock): other serial programs
// on the machine leave locks there for pseudo-terminal numbers that the
// tests' simulators get again, and a test must not meet them. The folder is
// made before main and removed at the end; the program's child processes
// (a window run in a child, karvo-probe) inherit it through
// KARVO_UUCP_LOCK_FOLDER and lock in the same folder. The one test that
// keeps the system folders' rules honest sets them for its own length
// (SerialPortTest_posix.cpp).

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include "serial/UucpLock_posix.h"

namespace {

class PrivateLockFolder {
 public:
  PrivateLockFolder() {
    if (const char* inherited = std::getenv("KARVO_UUCP_LOCK_FOLDER"); inherited && *inherited) {
      karvo::SetUucpLockFolders({inherited});
      return;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "karvo-locks-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    made_ = pattern;
    ::setenv("KARVO_UUCP_LOCK_FOLDER", made_.c_str(), 1);
    karvo::SetUucpLockFolders({made_});
  }
  ~PrivateLockFolder() {
    if (made_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(made_, ec);
  }

 private:
  std::string made_;
};

const PrivateLockFolder kLockFolder;

}  // namespace
