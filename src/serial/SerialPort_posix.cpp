// The transaction's system calls on POSIX: termios, poll and flock.
//
// The handle points at a small per-open record holding the file descriptor
// and the time limits, which termios has no place for: reads and writes
// enforce them with poll().

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <new>

#include "serial/PortMap.h"
#include "serial/SerialPlatform.h"

namespace karvo::serialplatform {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct OpenPortRecord {
  int fd = -1;
  TimeLimits limits{};
};

OpenPortRecord& Record(ComHandle port) { return *reinterpret_cast<OpenPortRecord*>(port); }

// The device a port name stands for; a name that starts with "/" is a
// device path already (tools and tests open pseudo-terminals that way).
std::string DevicePath(const std::string& name) {
  if (name.starts_with("/")) return name;
  return MappedPortDevice(name);
}

// Milliseconds left until `deadline`, rounded up, at least 0.
int MsUntil(Clock::time_point deadline) {
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  return static_cast<int>(std::chrono::ceil<milliseconds>(left).count());
}

// Waits up to `timeoutMs` for `events` on fd; the poll revents, 0 on
// timeout, -1 on failure.
int WaitFor(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  for (;;) {
    const int r = ::poll(&p, 1, timeoutMs);
    if (r > 0) return p.revents;
    if (r == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

}  // namespace

// O_NONBLOCK: the open must not wait for a carrier, and reads and writes
// wait in poll() under the time limits instead of blocking. The owner takes
// flock (which keeps two objects of this program apart, root included) and
// TIOCEXCL (which keeps other programs out); a loser of the flock closes
// without touching the exclusive flag.
ComHandle OpenPort(const std::string& name) {
  const std::string path = DevicePath(name);
  if (path.empty()) return kInvalidComHandle;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return kInvalidComHandle;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return kInvalidComHandle;
  }
  if (::ioctl(fd, TIOCEXCL) != 0) {
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return kInvalidComHandle;
  }
  auto* record = new (std::nothrow) OpenPortRecord{fd, {}};
  if (!record) {
    ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return kInvalidComHandle;
  }
  return reinterpret_cast<ComHandle>(record);
}

// Built from zero, like the Windows device control block: raw 8N1 at 9600,
// receiver on, modem status lines ignored, DTR and RTS dropped on the last
// close (they are raised only while the port is open).
bool ApplyLineSettings(ComHandle port) {
  const int fd = Record(port).fd;
  termios t{};
  t.c_cflag = CS8 | CREAD | CLOCAL | HUPCL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (::cfsetispeed(&t, B9600) != 0 || ::cfsetospeed(&t, B9600) != 0) return false;
  if (::tcsetattr(fd, TCSANOW, &t) != 0) return false;
  // A pseudo-terminal has no modem lines and refuses this; that is no fault.
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (::ioctl(fd, TIOCMBIS, &lines) != 0 && errno != EINVAL && errno != ENOTTY) return false;
  return true;
}

bool ApplyTimeLimits(ComHandle port, const TimeLimits& limits) {
  Record(port).limits = limits;
  return true;
}

// The kernel's queues have a fixed size.
bool ApplyQueueSizes(ComHandle, std::uint32_t, std::uint32_t) { return true; }

bool PurgeInput(ComHandle port) { return ::tcflush(Record(port).fd, TCIFLUSH) == 0; }

bool Write(ComHandle port, const std::uint8_t* data, std::uint32_t size, std::uint32_t& written) {
  const OpenPortRecord& r = Record(port);
  const auto deadline =
      Clock::now() + milliseconds(std::uint64_t{r.limits.writePerByteMs} * size + r.limits.writeConstantMs);
  written = 0;
  while (written < size) {
    const ssize_t n = ::write(r.fd, data + written, size - written);
    if (n > 0) {
      written += static_cast<std::uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    const int timeoutMs = MsUntil(deadline);
    if (timeoutMs == 0) break;  // the write limit ran out: `written` tells how far it got
    const int events = WaitFor(r.fd, POLLOUT, timeoutMs);
    if (events < 0 || (events & (POLLERR | POLLNVAL))) return false;
  }
  return true;
}

bool BytesWaiting(ComHandle port) {
  int waiting = 0;
  return ::ioctl(Record(port).fd, FIONREAD, &waiting) == 0 && waiting > 0;
}

// The total limit runs from the start of the read; once a byte has come, the
// read also ends when the interval limit passes without a further byte.
bool Read(ComHandle port, std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got) {
  const OpenPortRecord& r = Record(port);
  const auto total =
      Clock::now() + milliseconds(std::uint64_t{r.limits.readPerByteMs} * size + r.limits.readConstantMs);
  got = 0;
  while (got < size) {
    int timeoutMs = MsUntil(total);
    if (got > 0 && timeoutMs > static_cast<int>(r.limits.readIntervalMs)) {
      timeoutMs = static_cast<int>(r.limits.readIntervalMs);
    }
    if (timeoutMs == 0) break;
    const int events = WaitFor(r.fd, POLLIN, timeoutMs);
    if (events == 0) break;
    if (events < 0 || (events & (POLLERR | POLLNVAL))) return false;
    if ((events & POLLHUP) && !(events & POLLIN)) return false;  // the device went away
    const ssize_t n = ::read(r.fd, buffer + got, size - got);
    if (n > 0) {
      got += static_cast<std::uint32_t>(n);
    } else if (n == 0) {
      break;  // nothing more to take
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      return false;
    }
  }
  return true;
}

// Both locks are released before the close: the device itself may stay
// open elsewhere (a pseudo-terminal's peer), and the exclusive flag would
// outlive this handle.
void ClosePort(ComHandle port) {
  OpenPortRecord* r = &Record(port);
  ::ioctl(r->fd, TIOCNXCL);
  ::flock(r->fd, LOCK_UN);
  ::close(r->fd);
  delete r;
}

}  // namespace karvo::serialplatform
