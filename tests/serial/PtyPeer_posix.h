#pragma once
// The far end of a pseudo-terminal for tests and benchmarks of the serial
// transport: the transaction opens the terminal's device path like a COM
// port, and a thread on the master side plays the controller from a script.
//
// The peer keeps a descriptor of the device open itself, as a simulated
// controller does, so the terminal lives on between transactions; through it
// a test can also see what waits unread in the port's input queue.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "sim/LineJournal.h"

namespace karvo::testing {

class PtyPeer {
 public:
  using Clock = std::chrono::steady_clock;

  // One exchange: once `requestBytes` more bytes have come, `reply` goes
  // back after `delay` (nothing for an empty reply). With `hangUpAfter` the
  // peer then hangs up that long after the request: it closes its side, as
  // a device that goes away (the script ends there).
  struct Step {
    std::size_t requestBytes;
    std::string reply;
    std::chrono::milliseconds delay{0};
    std::chrono::milliseconds hangUpAfter{-1};
  };

  PtyPeer() {
    termios raw{};
    ::cfmakeraw(&raw);
    ::cfsetspeed(&raw, B9600);
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
      throw std::runtime_error("openpty failed");
    }
    path_ = name;
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    journal_.emplace(path_);
    thread_ = std::thread([this] { Run(); });
  }

  ~PtyPeer() {
    stop_ = true;
    thread_.join();
    if (master_ >= 0) ::close(master_);
    ::close(slave_);
  }

  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  // The device path the transaction opens.
  const std::string& Path() const { return path_; }
  // The peer's own descriptor of the device (the port's side).
  int DeviceFd() const { return slave_; }

  // Appends exchanges to the script. Bytes that come when the script is
  // used up are taken and counted but not answered.
  void Script(std::vector<Step> steps) {
    std::lock_guard lock(mutex_);
    for (auto& s : steps) script_.push_back(std::move(s));
  }

  // Everything the port has written so far.
  std::string Received() {
    std::lock_guard lock(mutex_);
    return received_;
  }

  // When the replies so far went out, in order.
  std::vector<Clock::time_point> ReplyTimes() {
    std::lock_guard lock(mutex_);
    return replyTimes_;
  }

  // When each run of bytes from the port came, and how many bytes it held.
  struct Arrival {
    Clock::time_point at;
    std::size_t bytes;
  };
  std::vector<Arrival> Arrivals() {
    std::lock_guard lock(mutex_);
    return arrivals_;
  }

  // Sends bytes to the port at once, outside the script (from any thread).
  void Send(const std::string& bytes) { WriteAll(bytes); }

  // Stops and resumes taking what the port writes: while stopped, the
  // port's output queue fills up.
  void SetReading(bool reading) { reading_ = reading; }

  // Waits until `n` bytes have come from the port; false on timeout.
  bool WaitForReceived(std::size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return received_.size() >= n; });
  }

  // Bytes waiting unread in the port's input queue.
  int WaitingForPort() const {
    int n = 0;
    ::ioctl(slave_, FIONREAD, &n);
    return n;
  }

  // Waits until at least `n` bytes wait in the port's input queue.
  bool WaitForWaitingForPort(int n, std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    while (WaitingForPort() < n) {
      if (Clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

 private:
  struct Due {
    Clock::time_point at;
    std::string bytes;
    bool hangUp = false;
  };

  // A run of bytes read is timed by the notes of the transaction that
  // wrote it (sim/LineJournal.h): a peer held up by a busy machine reads
  // two frames at once, late, and could tell neither them apart nor when
  // they came. A frame counts from the start of its write; bytes nobody
  // noted from when they were read.
  void NoteArrivals(const char* data, std::size_t n, Clock::time_point readAt) {
    for (const karvo::sim::LineJournal::Piece& piece : journal_->Split(karvo::sim::Bytes(data, data + n), readAt)) {
      // The rest of a frame whose start an earlier read took.
      if (piece.noted && !arrivals_.empty() && lastNoted_ && arrivals_.back().at == piece.first) {
        arrivals_.back().bytes += piece.bytes.size();
        continue;
      }
      arrivals_.push_back({piece.noted ? piece.first : readAt, piece.bytes.size()});
      lastNoted_ = piece.noted;
    }
  }

  void Run() {
    std::vector<Due> due;
    std::size_t counted = 0;  // bytes of `received_` already matched to steps
    char buffer[4096];
    while (!stop_) {
      int timeoutMs = 10;
      const auto now = Clock::now();
      for (const Due& d : due) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(d.at - now).count();
        timeoutMs = std::max(0, std::min<int>(timeoutMs, static_cast<int>(left)));
      }
      if (master_ < 0) return;  // hung up
      pollfd p{master_, static_cast<short>(reading_ ? POLLIN : 0), 0};
      if (::poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN)) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
          const Clock::time_point readAt = Clock::now();
          std::lock_guard lock(mutex_);
          received_.append(buffer, static_cast<std::size_t>(n));
          NoteArrivals(buffer, static_cast<std::size_t>(n), readAt);
          while (!script_.empty() && received_.size() - counted >= script_.front().requestBytes) {
            const Step& step = script_.front();
            counted += step.requestBytes;
            if (!step.reply.empty()) due.push_back({Clock::now() + step.delay, step.reply});
            if (step.hangUpAfter.count() >= 0) due.push_back({Clock::now() + step.hangUpAfter, {}, true});
            script_.pop_front();
          }
          if (script_.empty()) counted = received_.size();
          changed_.notify_all();
        }
      }
      for (auto it = due.begin(); it != due.end();) {
        if (Clock::now() < it->at) {
          ++it;
          continue;
        }
        if (it->hangUp) {
          ::close(master_);
          master_ = -1;
          return;
        }
        WriteAll(it->bytes);
        {
          std::lock_guard lock(mutex_);
          replyTimes_.push_back(Clock::now());
        }
        it = due.erase(it);
      }
    }
  }

  void WriteAll(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size() && !stop_) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else {
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 10);
      }
    }
  }

  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Step> script_;
  std::string received_;
  std::vector<Clock::time_point> replyTimes_;
  std::vector<Arrival> arrivals_;
  bool lastNoted_ = false;                          // the last arrival was a noted write
  std::optional<karvo::sim::LineJournal> journal_;  // the notes of writes to the device
  std::atomic<bool> reading_{true};
  std::thread thread_;
};

}  // namespace karvo::testing
