#include "supervisor/logic/LoadingThread.h"

#include <chrono>
#include <exception>
#include <utility>

#include "common/Log.h"
#include "common/ProgramThread.h"
#include "common/Seams.h"

namespace karvo {

namespace {
// The longest Cancel waits for the thread before it lets it end by itself.
constexpr auto kCancelLimit = std::chrono::seconds(15);
}  // namespace

TLoadingThread::~TLoadingThread() { Cancel(); }

void TLoadingThread::Start(TWork work, TProgressFn progress, TFinishedFn finished) {
  Cancel();
  auto shared = std::make_shared<TShared>();
  shared->Progress = std::move(progress);
  shared->OnFinished = std::move(finished);
  fShared = shared;
  fThread = StartProgramThread([shared, work = std::move(work)] {
    int reported = -1;
    const TReadProgress report = [&shared, &reported](std::uint64_t done, std::uint64_t total) {
      if (shared->Stop) return false;
      const int hundredths = total == 0 ? 100 : static_cast<int>(done * 100 / total);
      if (hundredths != reported) {
        reported = hundredths;
        RunOnUiThreadAndWait([&] {
          std::lock_guard lock(shared->Mutex);
          if (shared->Attached && shared->Progress) shared->Progress(done, total);
        });
      }
      return !shared->Stop;
    };
    std::string error;
    try {
      work(report);
    } catch (const std::exception& e) {
      error = e.what();
    } catch (...) {
      error = "an unknown error";
    }
    try {
      RunOnUiThreadAndWait([&] {
        std::lock_guard lock(shared->Mutex);
        if (shared->Attached && shared->OnFinished) shared->OnFinished(error);
      });
    } catch (...) {
      // The window is gone; nobody waits for the result.
    }
    std::lock_guard lock(shared->Mutex);
    shared->Done = true;
    shared->Ended.notify_all();
  });
}

void TLoadingThread::Cancel() {
  if (!fThread.joinable()) return;
  const std::shared_ptr<TShared> shared = std::exchange(fShared, nullptr);
  {
    std::lock_guard lock(shared->Mutex);
    shared->Attached = false;
  }
  shared->Stop = true;
  // The thread may wait for a hand-off that this (the user-interface)
  // thread runs: let those run until it has ended.
  const auto limit = std::chrono::steady_clock::now() + kCancelLimit;
  for (;;) {
    {
      std::unique_lock lock(shared->Mutex);
      if (shared->Ended.wait_for(lock, std::chrono::milliseconds(10), [&] { return shared->Done; })) break;
    }
    if (std::chrono::steady_clock::now() > limit) {
      LogLine("The reading of a run journal did not stop in time; it ends by itself.");
      fThread.detach();
      return;
    }
    ProcessMessages();
  }
  fThread.join();
}

}  // namespace karvo
