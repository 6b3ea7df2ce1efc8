// Closing the window while a poll is under way: the close waits for every
// poll thread, which drops its hand-off, and nothing uses the window after
// it has gone. Run under AddressSanitizer in the sanitizer build.

#include <atomic>

#include "WindowFixture.h"

namespace karvo::test {
namespace {

TEST_F(WindowTest, CloseWhileAPollTalksToTheController) {
  Connect();
  Sim().SetFaults({.ReplyDelayMs = 300});
  form->Timer1Timer();
  ASSERT_EQ(PollsInFlight(), 1);
  Close();
  EXPECT_EQ(PollsInFlight(), 0);
  EXPECT_FALSE(ReadResult.Valid);  // the hand-off was dropped
  EXPECT_EQ(pauses, std::vector<std::uint32_t>{2000});
}

TEST_F(WindowTest, CloseWhileAPollWaitsForItsHandOff) {
  Connect();
  // Note when the poll calls the user-interface thread.
  std::atomic<bool> handingOff{false};
  const seams::UiInvokeFn qt = seams::SetUiInvoke({});
  seams::SetUiInvoke([qt, &handingOff](const std::function<void()>& fn) {
    handingOff = true;
    qt(fn);
  });
  form->Timer1Timer();
  // The user-interface thread runs no events meanwhile: the poll waits.
  for (int i = 0; i < 2000 && !handingOff; ++i) QThread::msleep(5);
  ASSERT_TRUE(handingOff);
  Close();
  EXPECT_EQ(PollsInFlight(), 0);
  EXPECT_FALSE(ReadResult.Valid);
}

}  // namespace
}  // namespace karvo::test
