#include "serial/UucpLock_posix.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
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

enum class Owner { None, Live, Ended, Unreadable };

// The process number a lock file's contents name, or 0. Serial libraries
// write it in one of a few forms: ASCII digits, padded to ten characters by
// most (HDB), followed by a newline or not and, in some, by more lines
// (program name, user, boot id) or more fields on the first line; or, the
// oldest form, the number as a 4-byte binary int.
pid_t LockFilePid(const char* text, std::size_t n) {
  // A process number below 2^24 as a binary int has a zero byte; text has
  // none.
  if (n == sizeof(std::int32_t) && std::memchr(text, 0, n) != nullptr) {
    std::int32_t binary = 0;
    std::memcpy(&binary, text, sizeof binary);
    return binary > 0 ? static_cast<pid_t>(binary) : 0;
  }
  std::size_t i = 0;
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  long long value = 0;
  std::size_t digits = 0;
  while (i < n && std::isdigit(static_cast<unsigned char>(text[i])) && value <= INT_MAX) {
    value = value * 10 + (text[i++] - '0');
    ++digits;
  }
  const bool lineEnds = i == n || text[i] == '\n' || text[i] == '\r' || text[i] == ' ' || text[i] == '\t';
  return digits > 0 && lineEnds && value > 0 && value <= INT_MAX ? static_cast<pid_t>(value) : 0;
}

// Who a lock file names: none (no file), a live or an ended process, or
// nobody this process can tell (a file it cannot read, or one that names no
// process: being written, or not ours to judge); `why` then says which.
Owner LockOwner(const std::string& path, pid_t& pid, std::string& why) {
  pid = 0;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0 && errno == ENOENT) return Owner::None;
  char text[256];
  const ssize_t n = fd < 0 ? -1 : ::read(fd, text, sizeof text);
  const int error = errno;
  if (fd >= 0) ::close(fd);
  if (n < 0) {
    why = path + " cannot be read: " + std::strerror(error);
    return Owner::Unreadable;
  }
  pid = LockFilePid(text, static_cast<std::size_t>(n));
  if (pid <= 0) {
    why = path + " names no process";
    return Owner::Unreadable;
  }
  if (pid == ::getpid()) return Owner::Ended;  // left by this process: its transactions take turns
  return ProcessAlive(pid) ? Owner::Live : Owner::Ended;
}

// Why a lock refuses the device, or empty when it does not.
std::string Refusal(Owner owner, pid_t pid, const std::string& path, const std::string& why) {
  if (owner == Owner::Live) return "is locked by process " + std::to_string(pid) + " (" + path + ")";
  if (owner == Owner::Unreadable) return "is locked (" + why + ")";
  return {};
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
    std::string why;
    const Owner owner = LockOwner(path, pid, why);
    if (owner == Owner::Ended) ::unlink(path.c_str());  // stale: its process has ended
    holder = Refusal(owner, pid, path, why);
    if (!holder.empty()) return false;
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
    std::string why;
    const Owner owner = LockOwner(path, pid, why);
    holder = Refusal(owner, pid, path, why);
    if (!holder.empty()) return false;
    break;
  }
  return true;
}

void ReleaseUucpLock(const std::string& lockFile) {
  if (lockFile.empty()) return;
  pid_t pid = 0;
  std::string why;
  if (LockOwner(lockFile, pid, why) == Owner::Ended && pid == ::getpid()) ::unlink(lockFile.c_str());
}

}  // namespace karvo
