#pragma once
// Reading on a thread of its own while the window goes on: the journals of
// the runs that did not end cleanly, read at program start. How far the
// reading is and its end come back on the user-interface thread through
// RunOnUiThreadAndWait; the window stays responsive meanwhile.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace karvo {

// How far a long read is: `done` of `total` bytes. False stops the reading.
using TReadProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

class TLoadingThread {
 public:
  using TWork = std::function<void(const TReadProgress& progress)>;
  // Both run on the user-interface thread.
  using TProgressFn = std::function<void(std::uint64_t done, std::uint64_t total)>;
  // `error`: what escaped the work (empty when it ended normally).
  using TFinishedFn = std::function<void(const std::string& error)>;

  TLoadingThread() = default;
  // Cancel().
  ~TLoadingThread();
  TLoadingThread(const TLoadingThread&) = delete;
  TLoadingThread& operator=(const TLoadingThread&) = delete;

  // Runs `work` on a new thread (a work still running is cancelled first).
  // `progress` comes whenever another hundredth is done, `finished` once
  // the work has returned.
  void Start(TWork work, TProgressFn progress, TFinishedFn finished);
  // Stops the work (its progress function answers false from now on) and
  // waits for the thread, letting the user interface run the hand-offs the
  // thread waits for (ProcessMessages). Neither `progress` nor `finished`
  // runs afterwards.
  void Cancel();

 private:
  struct TShared {
    std::mutex Mutex;
    std::condition_variable Ended;
    bool Attached = true;  // the callbacks may run
    bool Done = false;     // the thread has ended
    std::atomic<bool> Stop{false};
    TProgressFn Progress;
    TFinishedFn OnFinished;
  };
  std::shared_ptr<TShared> fShared;
  std::thread fThread;
};

}  // namespace karvo
