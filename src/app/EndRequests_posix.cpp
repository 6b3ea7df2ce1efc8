// End requests on POSIX systems: the signal handler only writes a byte to a
// pipe (async-signal-safe); the event loop hears the pipe and asks to end.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

#include "app/EndRequests.h"

namespace karvo {

namespace {

int gWriteEnd = -1;

void OnEndSignal(int) {
  const int saved = errno;
  const char byte = 1;
  if (gWriteEnd >= 0) (void)!::write(gWriteEnd, &byte, 1);
  errno = saved;
}

class TPosixHooks : public TEndRequestHooks {
 public:
  explicit TPosixHooks(std::function<void()> onEnd) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    gWriteEnd = pipe_[1];
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this, onEnd = std::move(onEnd)] {
      char bytes[64];
      bool heard = false;
      while (::read(pipe_[0], bytes, sizeof bytes) > 0) heard = true;
      if (heard) onEnd();
    });
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < kSignals; ++i) {
      struct sigaction previous {};
      ::sigaction(kSignal[i], nullptr, &previous);
      // A background job of a script starts with SIGINT ignored: it stays so.
      if (kSignal[i] == SIGINT && previous.sa_handler == SIG_IGN) continue;
      hooked_[i] = ::sigaction(kSignal[i], &action, &previous_[i]) == 0;
    }
  }
  ~TPosixHooks() override {
    for (int i = 0; i < kSignals; ++i)
      if (hooked_[i]) ::sigaction(kSignal[i], &previous_[i], nullptr);
    gWriteEnd = -1;
    notifier_.reset();
    for (const int fd : pipe_)
      if (fd >= 0) ::close(fd);
  }
  TPosixHooks(const TPosixHooks&) = delete;
  TPosixHooks& operator=(const TPosixHooks&) = delete;

 private:
  static constexpr int kSignals = 3;
  static constexpr int kSignal[kSignals] = {SIGTERM, SIGHUP, SIGINT};
  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  struct sigaction previous_[kSignals] {};
  bool hooked_[kSignals] = {false, false, false};
};

}  // namespace

std::unique_ptr<TEndRequestHooks> HookEndRequests(std::function<void()> onEnd, std::function<bool()>) {
  return std::make_unique<TPosixHooks>(std::move(onEnd));
}

}  // namespace karvo
