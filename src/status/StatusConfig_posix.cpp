// The status settings file on POSIX systems: in the program's per-user
// folder, written whole with mode 0600.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "common/ConfigDir.h"
#include "status/StatusConfig.h"

namespace karvo {

std::filesystem::path StatusConfigPath() {
  const std::string dir = KarvoConfigDir();
  if (dir.empty()) return {};
  return std::filesystem::path(dir) / "status.conf";
}

void WriteStatusConfig(const std::filesystem::path& path, std::string_view text) {
  if (!EnsureKarvoConfigDir()) throw std::runtime_error("the folder " + path.parent_path().string() + " is not usable");
  const std::string temporary = path.string() + ".new";
  ::unlink(temporary.c_str());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) throw std::runtime_error(temporary + ": " + std::strerror(errno));
  std::size_t done = 0;
  int err = 0;
  while (done < text.size() && err == 0) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno != EINTR) err = errno;
    if (n > 0) done += static_cast<std::size_t>(n);
  }
  if (err == 0 && ::fchmod(fd, 0600) != 0) err = errno;
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  ::close(fd);
  if (err == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(temporary.c_str());
    throw std::runtime_error(path.string() + ": " + std::strerror(err));
  }
}

}  // namespace karvo
