#pragma once
// A stand-in for the user-interface thread in tests: while it exists,
// RunOnUiThreadAndWait queues the function to the test's own thread and
// waits until that thread has run it (RunUntil, RunPending).

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "common/Seams.h"
#include "furnace/ReadCycle.h"

namespace karvo::test {

class UiLoop {
 public:
  UiLoop() : invoke_(seams::SetUiInvoke, [this](const std::function<void()>& fn) { Invoke(fn); }) {}
  // Lets every poll still alive finish, so that none waits on a dead loop.
  ~UiLoop() {
    RunUntil([] { return PollsInFlight() == 0; }, std::chrono::seconds(60));
  }
  UiLoop(const UiLoop&) = delete;
  UiLoop& operator=(const UiLoop&) = delete;

  // Runs the queued functions, on this thread, until Done() holds or Limit
  // has passed; returns Done().
  template <class Pred>
  bool RunUntil(Pred Done, std::chrono::milliseconds Limit) {
    const auto deadline = std::chrono::steady_clock::now() + Limit;
    for (;;) {
      RunPending();
      if (Done()) return true;
      // Done() may turn true without anything queued (a poll ending on its
      // thread): look again every few milliseconds.
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return Done();
      std::unique_lock lock(m_);
      cv_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(5)), [this] { return !queue_.empty(); });
    }
  }

  // Runs what is queued now.
  void RunPending() {
    std::unique_lock lock(m_);
    while (!queue_.empty()) {
      const std::shared_ptr<Item> item = queue_.front();
      queue_.pop_front();
      lock.unlock();
      item->fn();
      lock.lock();
      item->done = true;
      ++ran_;
      cv_.notify_all();
    }
  }

  // Functions waiting to run / run so far.
  std::size_t Queued() {
    std::lock_guard lock(m_);
    return queue_.size();
  }
  std::size_t Ran() {
    std::lock_guard lock(m_);
    return ran_;
  }

  // Waits (without running anything) until at least n functions are queued.
  bool WaitQueued(std::size_t n, std::chrono::milliseconds Limit) {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, Limit, [&] { return queue_.size() >= n; });
  }

  // What RunOnUiThreadAndWait does while the loop exists: queues fn and
  // waits until the loop has run it.
  void Invoke(const std::function<void()>& fn) {
    auto item = std::make_shared<Item>();
    item->fn = fn;
    std::unique_lock lock(m_);
    queue_.push_back(item);
    cv_.notify_all();
    cv_.wait(lock, [&] { return item->done; });
  }

 private:
  struct Item {
    std::function<void()> fn;
    bool done = false;
  };

  std::mutex m_;
  std::condition_variable cv_;
  std::deque<std::shared_ptr<Item>> queue_;
  std::size_t ran_ = 0;
  seams::Scoped<seams::UiInvokeFn> invoke_;
};

}  // namespace karvo::test
