// TAtomicFile on POSIX systems: open(O_EXCL), write, fsync, rename, and an
// fsync of the folder so that the rename itself survives a power cut.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/AtomicFilePlatform.h"

namespace karvo::atomic_file {

std::intptr_t Create(const std::filesystem::path& temporary, const std::filesystem::path& target, bool& exists,
                     std::string& reason) {
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    exists = errno == EEXIST;
    reason = std::strerror(errno);
    return -1;
  }
  // The new file keeps the permissions of the one it replaces.
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd, st.st_mode & 07777);
  return fd;
}

bool WriteAll(std::intptr_t handle, const char* data, std::size_t size, std::string& reason) {
  const int fd = static_cast<int>(handle);
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      reason = std::strerror(errno);
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool SyncAndClose(std::intptr_t handle, std::string& reason) {
  const int fd = static_cast<int>(handle);
  // EINVAL: a file system that cannot sync (nothing to wait for).
  int err = ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
  if (::close(fd) != 0 && err == 0 && errno != EINTR) err = errno;
  if (err == 0) return true;
  reason = std::strerror(err);
  return false;
}

void Close(std::intptr_t handle) noexcept { ::close(static_cast<int>(handle)); }

bool Replace(const std::filesystem::path& temporary, const std::filesystem::path& target, std::string& reason) {
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    reason = std::strerror(errno);
    return false;
  }
  // The rename is done: a failure to make it durable loses nothing a reader
  // can see, so it is not reported.
  SyncFolder(target.parent_path());
  return true;
}

void SyncFolder(const std::filesystem::path& folder) noexcept {
  const std::filesystem::path f = folder.empty() ? std::filesystem::path(".") : folder;
  if (const int dfd = ::open(f.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

std::string LastErrorText() { return std::strerror(errno); }

void Remove(const std::filesystem::path& temporary) noexcept { ::unlink(temporary.c_str()); }

}  // namespace karvo::atomic_file
