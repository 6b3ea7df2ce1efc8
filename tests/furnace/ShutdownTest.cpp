// The read cycle at the end of the program: polls in flight when the window
// closes must neither touch the detached record nor keep the close waiting
// on the user-interface thread. Built with AddressSanitizer, so a hand-off
// that wrote into the freed record fails the test.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "SimFixture.h"
#include "UiLoop.h"
#include "furnace/ReadCycle.h"

namespace karvo {
namespace {

using namespace std::chrono_literals;

// A port name that fails at once: polls on it are quick.
constexpr const char* kNoSuchPort = "/nonexistent/karvo-port";

// A window of the test's own: a record on the heap receives the hand-offs
// while the test runs; ReadResult does again afterwards.
struct Window {
  Window() : record(std::make_unique<TFurnaceReadRecord>()) { AttachReadResult(*record); }
  ~Window() { AttachReadResult(ReadResult); }
  std::unique_ptr<TFurnaceReadRecord> record;
};

class ReadCycleShutdown : public ::testing::Test {
 protected:
  Window window;
  std::unique_ptr<TFurnaceReadRecord>& receiver = window.record;
  test::UiLoop ui;
};

TEST_F(ReadCycleShutdown, HandOffsQueuedAtShutdownAreDropped) {
  ASSERT_TRUE(ReadFurnace(kNoSuchPort));
  ASSERT_TRUE(ReadFurnace(kNoSuchPort));
  EXPECT_EQ(receiver->ActiveThreads, 2);
  // Both polls are done and wait for the user-interface thread, which is
  // busy closing the window.
  ASSERT_TRUE(ui.WaitQueued(2, 30s));
  EXPECT_TRUE(ShutdownReadCycle(10000));
  EXPECT_FALSE(ReadFurnace(kNoSuchPort));  // nothing starts any more
  EXPECT_EQ(receiver->ActiveThreads, 2);
  EXPECT_FALSE(receiver->Valid);
  receiver.reset();
  // The window is gone; the queued hand-offs run late and drop themselves.
  ASSERT_TRUE(ui.RunUntil([] { return PollsInFlight() == 0; }, 30s));
  EXPECT_EQ(ui.Ran(), 2u);
}

TEST_F(ReadCycleShutdown, ShutdownWithPumpLetsWaitingPollsEnd) {
  ASSERT_TRUE(ReadFurnace(kNoSuchPort));
  ASSERT_TRUE(ui.WaitQueued(1, 30s));
  EXPECT_TRUE(ShutdownReadCycle(10000, [this] { ui.RunPending(); }));
  EXPECT_EQ(PollsInFlight(), 0);
  EXPECT_EQ(ui.Ran(), 1u);
  EXPECT_FALSE(receiver->Valid);
  EXPECT_EQ(receiver->ActiveThreads, 1);
}

TEST_F(ReadCycleShutdown, HandOffReachingTheUiAfterShutdownIsDropped) {
  // The poll has decided to hand over but reaches the user-interface invoke
  // only after the window has closed.
  std::mutex m;
  std::condition_variable cv;
  bool entered = false, released = false;
  seams::Scoped<seams::UiInvokeFn> gate(seams::SetUiInvoke, [&](const std::function<void()>& fn) {
    {
      std::unique_lock lock(m);
      entered = true;
      cv.notify_all();
      cv.wait(lock, [&] { return released; });
    }
    ui.Invoke(fn);
  });
  ASSERT_TRUE(ReadFurnace(kNoSuchPort));
  {
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, 30s, [&] { return entered; }));
  }
  EXPECT_TRUE(ShutdownReadCycle(10000));
  receiver.reset();
  {
    std::lock_guard lock(m);
    released = true;
    cv.notify_all();
  }
  ASSERT_TRUE(ui.RunUntil([] { return PollsInFlight() == 0; }, 30s));
  EXPECT_EQ(ui.Ran(), 1u);
}

// A poll that waits for the user-interface thread when the window closes,
// and a new record attached before its hand-off runs: the hand-off belongs
// to the old record and is dropped.
TEST_F(ReadCycleShutdown, HandOffOfAPollStartedBeforeANewRecordIsDropped) {
  ASSERT_TRUE(ReadFurnace(kNoSuchPort));
  ASSERT_TRUE(ui.WaitQueued(1, 30s));
  EXPECT_TRUE(ShutdownReadCycle(10000));
  TFurnaceReadRecord fresh;
  AttachReadResult(fresh);
  ASSERT_TRUE(ui.RunUntil([] { return PollsInFlight() == 0; }, 30s));
  EXPECT_EQ(ui.Ran(), 1u);
  EXPECT_FALSE(fresh.Valid);
  EXPECT_EQ(fresh.ActiveThreads, 0);
  EXPECT_EQ(fresh.aMessage, "");
}

class ReadCycleShutdownOnSim : public test::SimFixture {
 protected:
  Window window;
  std::unique_ptr<TFurnaceReadRecord>& receiver = window.record;
  test::UiLoop ui;
};

TEST_F(ReadCycleShutdownOnSim, PollTalkingAtShutdownStopsAfterItsTransaction) {
  Sim().SetFaults({.NoReply = true});
  ASSERT_TRUE(ReadFurnace(Port()));
  // Wait until the first request is on the line, then close.
  ASSERT_TRUE(ui.RunUntil([this] { return Sim().FramesReceived() >= 1; }, 30s));
  EXPECT_TRUE(ShutdownReadCycle(30000, [this] { ui.RunPending(); }));
  EXPECT_EQ(PollsInFlight(), 0);
  receiver.reset();
  // The poll gave up after the transaction it was in and handed nothing over.
  EXPECT_EQ(Sim().FramesReceived(), 1u);
  EXPECT_EQ(ui.Ran(), 0u);
}

// Without a way to run the user-interface thread's events, the shutdown
// still waits until no poll talks to the controller: the port is free when
// it returns.
TEST_F(ReadCycleShutdownOnSim, ShutdownWithoutPumpWaitsForTheTransactionUnderWay) {
  Sim().SetFaults({.NoReply = true});
  ASSERT_TRUE(ReadFurnace(Port()));
  ASSERT_TRUE(ui.RunUntil([this] { return Sim().FramesReceived() >= 1; }, 30s));
  EXPECT_TRUE(ShutdownReadCycle(30000));
  const int device = ::open(Port().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(device, 0);
  EXPECT_EQ(::flock(device, LOCK_EX | LOCK_NB), 0) << "a transaction still holds the port";
  ::close(device);
  EXPECT_EQ(Sim().FramesReceived(), 1u);
  ASSERT_TRUE(ui.RunUntil([] { return PollsInFlight() == 0; }, 30s));
  EXPECT_EQ(ui.Ran(), 0u);
}

}  // namespace
}  // namespace karvo
