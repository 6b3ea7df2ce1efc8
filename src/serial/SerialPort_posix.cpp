// The transaction's system calls on POSIX: termios, poll and flock.
//
// The handle points at a small per-open record holding the file descriptor
// and the time limits, which termios has no place for: reads and writes
// enforce them with poll().
//
// Before a device is opened, the transaction makes sure it belongs to no one
// else: it is no session's controlling terminal (someone's shell), no live
// process holds a UUCP lock file on it, and, once open, no other program
// has it locked (flock) or taken exclusively (TIOCEXCL, which root would
// otherwise pass). It takes all of these itself for the length of the
// transaction and gives back only what it took.

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "serial/PortMap.h"
#include "serial/Processes_posix.h"
#include "serial/SerialPlatform.h"
#include "serial/UucpLock_posix.h"

namespace karvo::serialplatform {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct OpenPortRecord {
  int fd = -1;
  TimeLimits limits{};
  bool exclusiveTaken = false;  // this open set TIOCEXCL
  std::string lockFile;         // the UUCP lock this open made
};

OpenPortRecord& Record(ComHandle port) { return *reinterpret_cast<OpenPortRecord*>(port); }

// The device a port name stands for; a name that starts with "/" is a
// device path already (tools and tests open pseudo-terminals that way).
std::string DevicePath(const std::string& name) {
  if (name.starts_with("/")) return name;
  return MappedPortDevice(name);
}

std::string RealPath(const std::string& path) {
  char real[PATH_MAX];
  return ::realpath(path.c_str(), real) ? std::string(real) : std::string();
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

// Closes what OpenPort took so far when it gives up.
ComHandle Refuse(std::string& reason, std::string text, int fd, const std::string& lockFile) {
  reason = std::move(text);
  if (fd >= 0) ::close(fd);
  ReleaseUucpLock(lockFile);
  return kInvalidComHandle;
}

}  // namespace

std::string PortKey(const std::string& name) {
  const std::string path = DevicePath(name);
  const std::string real = path.empty() ? std::string() : RealPath(path);
  return real.empty() ? name : real;
}

// O_NONBLOCK: the open must not wait for a carrier, and reads and writes
// wait in poll() under the time limits instead of blocking.
ComHandle OpenPort(const std::string& name, std::string& reason) {
  const std::string path = DevicePath(name);
  if (path.empty()) return Refuse(reason, (name.empty() ? "\"\"" : name) + " maps to no device", -1, {});
  const std::string who = path == name ? name : name + " (" + path + ")";
  const std::string device = RealPath(path);
  if (device.empty()) return Refuse(reason, who + ": " + std::strerror(errno), -1, {});

  struct stat st {};
  if (::stat(device.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) {
    if (const pid_t session = ControllingProcessOf(st.st_rdev); session != 0) {
      return Refuse(reason, who + " is the controlling terminal of a session (process " + std::to_string(session) + ")",
                    -1, {});
    }
  }
  std::string lockFile, holder;
  if (!TakeUucpLock(device, lockFile, holder)) return Refuse(reason, who + " " + holder, -1, {});

  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
    return Refuse(reason,
                  error == EBUSY ? who + " is held exclusively by another program" : who + ": " + std::strerror(error),
                  -1, lockFile);
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    return Refuse(reason, who + " is in use by another program (flock)", fd, lockFile);
  }
  // Root passes another program's exclusive flag at open; look at it.
  int exclusive = 0;
  if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
    return Refuse(reason, who + " is held exclusively by another program", fd, lockFile);
  }
  if (::ioctl(fd, TIOCEXCL) != 0) return Refuse(reason, who + ": " + std::strerror(errno), fd, lockFile);
  auto* record = new (std::nothrow) OpenPortRecord{fd, {}, true, lockFile};
  if (!record) {
    ::ioctl(fd, TIOCNXCL);
    return Refuse(reason, who + ": out of memory", fd, lockFile);
  }
  return reinterpret_cast<ComHandle>(record);
}

std::string SystemErrorText() { return std::strerror(errno); }

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

// tcdrain() could wait for ever on a device that stopped taking bytes; the
// output queue is watched instead, under a limit.
bool Drain(ComHandle port, std::uint32_t limitMs) {
  const int fd = Record(port).fd;
  const auto deadline = Clock::now() + milliseconds(limitMs);
  for (;;) {
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0) return false;
    if (queued == 0) return true;
    if (Clock::now() >= deadline) {
      errno = ETIMEDOUT;
      return false;
    }
    std::this_thread::sleep_for(milliseconds(1));
  }
}

std::uint32_t BytesWaiting(ComHandle port) {
  int waiting = 0;
  if (::ioctl(Record(port).fd, FIONREAD, &waiting) != 0 || waiting < 0) return 0;
  return static_cast<std::uint32_t>(waiting);
}

bool WaitForInput(ComHandle port, std::uint32_t timeoutMs) {
  const int events = WaitFor(Record(port).fd, POLLIN, static_cast<int>(timeoutMs));
  if (events > 0 && (events & POLLIN) && !(events & (POLLERR | POLLNVAL))) return true;
  // A device that hung up reports it at once: wait the time out instead.
  if (events != 0) std::this_thread::sleep_for(milliseconds(timeoutMs));
  return false;
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
    if (events < 0) return false;
    // The device went away: the reply is cut off, not complete.
    if ((events & (POLLERR | POLLNVAL)) || ((events & POLLHUP) && !(events & POLLIN))) {
      errno = EIO;
      return false;
    }
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

// The locks are released before the close: the device itself may stay open
// elsewhere (a pseudo-terminal's peer), and the exclusive flag would outlive
// this handle. Only the flag this open set is cleared.
void ClosePort(ComHandle port) {
  OpenPortRecord* r = &Record(port);
  if (r->exclusiveTaken) ::ioctl(r->fd, TIOCNXCL);
  ::flock(r->fd, LOCK_UN);
  ::close(r->fd);
  ReleaseUucpLock(r->lockFile);
  delete r;
}

}  // namespace karvo::serialplatform
