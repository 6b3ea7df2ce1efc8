#include "sim/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <system_error>
#include <thread>

namespace karvo::sim {
namespace {

constexpr int kHangUpPauseMs = 3;

[[noreturn]] void Fail(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

PseudoTerminal::PseudoTerminal() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) Fail("posix_openpt");
  try {
    if (grantpt(master_) != 0) Fail("grantpt");
    if (unlockpt(master_) != 0) Fail("unlockpt");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) Fail("ptsname_r");
    devicePath_ = name;
    // Settings made on the master belong to the terminal the program opens:
    // raw, no echo (an echo would send every reply straight back to the
    // controller as if it were a request), no CR/LF translation.
    termios tio{};
    if (tcgetattr(master_, &tio) != 0) Fail("tcgetattr");
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(master_, TCSANOW, &tio) != 0) Fail("tcsetattr");
    const int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) Fail("fcntl");
  } catch (...) {
    close(master_);
    throw;
  }
}

PseudoTerminal::~PseudoTerminal() {
  if (master_ >= 0) close(master_);
}

bool PseudoTerminal::Receive(std::vector<std::uint8_t>& into, int timeoutMs) {
  pollfd p{master_, POLLIN, 0};
  const int r = poll(&p, 1, std::max(timeoutMs, 0));
  bool got = false;
  if (r > 0 && (p.revents & POLLIN)) {
    std::uint8_t buf[512];
    for (;;) {
      const ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) break;  // EAGAIN: all read; EIO: the other side is closed
      into.insert(into.end(), buf, buf + n);
      got = true;
    }
  }
  if (!got && r > 0 && (p.revents & (POLLHUP | POLLERR))) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, kHangUpPauseMs)));
  }
  return got;
}

bool PseudoTerminal::Transmit(const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN && std::chrono::steady_clock::now() < deadline) {
      pollfd p{master_, POLLOUT, 0};
      poll(&p, 1, 10);
      continue;
    }
    return false;
  }
  return true;
}

}  // namespace karvo::sim
