// The run journal's file on POSIX systems: O_APPEND, an exclusive flock
// while the run is written, fsync (and the folder's fsync once the file is
// new, so that its name survives a power cut too).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/AtomicFilePlatform.h"
#include "supervisor/logic/JournalFile.h"

namespace karvo::journal_file {

std::intptr_t OpenForAppend(const std::filesystem::path& path, std::uint64_t& size, std::string& reason) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    reason = std::strerror(errno);
    return -1;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    reason = errno == EWOULDBLOCK ? "another program is writing it" : std::strerror(errno);
    ::close(fd);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    reason = std::strerror(errno);
    ::close(fd);
    return -1;
  }
  size = static_cast<std::uint64_t>(st.st_size);
  if (size == 0) atomic_file::SyncFolder(path.parent_path());
  return fd;
}

bool Sync(std::intptr_t handle, std::string& reason) {
  // EINVAL: a file system that cannot sync (nothing to wait for).
  if (::fsync(static_cast<int>(handle)) == 0 || errno == EINVAL) return true;
  reason = std::strerror(errno);
  return false;
}

bool Truncate(std::intptr_t handle, std::uint64_t size) {
  return ::ftruncate(static_cast<int>(handle), static_cast<off_t>(size)) == 0;
}

bool InUse(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return locked;
}

}  // namespace karvo::journal_file
