#include "serial/UucpLock_posix.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "serial/Processes_posix.h"

namespace karvo {
namespace {

std::mutex& FoldersMutex() {
  static std::mutex m;
  return m;
}
std::vector<std::string>& Folders() {
  static std::vector<std::string> folders = [] {
    const char* folder = std::getenv("KARVO_UUCP_LOCK_FOLDER");
    return folder && *folder ? std::vector<std::string>{folder} : SystemUucpLockFolders();
  }();
  return folders;
}

// The configured folders that exist, each once.
std::vector<std::string> ExistingFolders() {
  std::vector<std::string> configured;
  {
    std::lock_guard lock(FoldersMutex());
    configured = Folders();
  }
  std::vector<std::string> folders, seen;
  for (const std::string& folder : configured) {
    char real[PATH_MAX];
    if (!::realpath(folder.c_str(), real)) continue;
    bool again = false;
    for (const std::string& s : seen) again = again || s == real;
    if (again) continue;
    seen.emplace_back(real);
    folders.push_back(folder);
  }
  return folders;
}

enum class Owner { None, Live, Ended, Unknown };

// Who a lock file names: none (no file), a live or an ended process, or
// unknown (a file that names no process: being written, or not ours to
// judge).
Owner LockOwner(const std::string& path, pid_t& pid) {
  pid = 0;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return errno == ENOENT ? Owner::None : Owner::Unknown;
  char text[64];
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  bool isText = n > 0;
  for (ssize_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    isText = isText && (std::isdigit(c) || c == ' ' || c == '\n');
  }
  if (n == static_cast<ssize_t>(sizeof(int)) && !isText) {
    int binary = 0;  // the oldest form: the number as a binary int
    std::memcpy(&binary, text, sizeof binary);
    pid = binary;
  } else if (isText) {
    text[n] = '\0';
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end != text && (*end == '\0' || *end == '\n') && value > 0 && value <= INT_MAX) pid = static_cast<pid_t>(value);
  }
  if (pid <= 0) return Owner::Unknown;
  if (pid == ::getpid()) return Owner::Ended;  // left by this process: its transactions take turns
  return ProcessAlive(pid) ? Owner::Live : Owner::Ended;
}

std::string OwnText() {
  char text[16];
  std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
  return text;
}

// Makes this process's lock at `path` (folder/LCK..name) at once whole: the
// text is written to a file of its own and linked to the lock's name, which
// fails when a lock is there.
bool MakeLock(const std::string& folder, const std::string& path) {
  const std::string temp = folder + "/LTMP." + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return false;
  const std::string text = OwnText();
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::fchmod(fd, 0644);
  ::close(fd);
  const bool linked = written && ::link(temp.c_str(), path.c_str()) == 0;
  ::unlink(temp.c_str());
  return linked;
}

}  // namespace

std::vector<std::string> SystemUucpLockFolders() { return {"/run/lock", "/var/lock"}; }

std::vector<std::string> SetUucpLockFolders(std::vector<std::string> folders) {
  std::lock_guard lock(FoldersMutex());
  std::vector<std::string> previous = std::move(Folders());
  Folders() = std::move(folders);
  return previous;
}

std::string UucpLockName(const std::string& devicePath) {
  std::string name = devicePath.starts_with("/dev/") ? devicePath.substr(5) : devicePath;
  if (!devicePath.starts_with("/dev/")) {
    if (const auto slash = name.rfind('/'); slash != std::string::npos) name = name.substr(slash + 1);
  }
  for (char& c : name)
    if (c == '/') c = '_';
  return "LCK.." + name;
}

bool TakeUucpLock(const std::string& device, std::string& lockFile, std::string& holder) {
  lockFile.clear();
  const std::string name = UucpLockName(device);
  const std::vector<std::string> folders = ExistingFolders();
  for (const std::string& folder : folders) {
    const std::string path = folder + "/" + name;
    pid_t pid = 0;
    switch (LockOwner(path, pid)) {
      case Owner::None:
        break;
      case Owner::Live:
        holder = "is locked by process " + std::to_string(pid) + " (" + path + ")";
        return false;
      case Owner::Unknown:
        holder = "is locked (" + path + " names no process)";
        return false;
      case Owner::Ended:
        ::unlink(path.c_str());  // stale: its process has ended
        break;
    }
  }
  for (const std::string& folder : folders) {
    if (::access(folder.c_str(), W_OK) != 0) continue;
    const std::string path = folder + "/" + name;
    if (MakeLock(folder, path)) {
      lockFile = path;
      return true;
    }
    // Another program made its lock in the meantime.
    pid_t pid = 0;
    const Owner owner = LockOwner(path, pid);
    if (owner == Owner::Live) {
      holder = "is locked by process " + std::to_string(pid) + " (" + path + ")";
      return false;
    }
    if (owner == Owner::Unknown) {
      holder = "is locked (" + path + " names no process)";
      return false;
    }
    break;
  }
  return true;
}

void ReleaseUucpLock(const std::string& lockFile) {
  if (lockFile.empty()) return;
  pid_t pid = 0;
  if (LockOwner(lockFile, pid) == Owner::Ended && pid == ::getpid()) ::unlink(lockFile.c_str());
}

}  // namespace karvo
