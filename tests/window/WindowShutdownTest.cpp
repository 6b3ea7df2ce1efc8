// Closing the window while a poll is under way: the close waits for every
// poll thread, which drops its hand-off, and nothing uses the window after
// it has gone. Run under AddressSanitizer in the sanitizer build.

#include <signal.h>

#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <filesystem>

#include "WindowFixture.h"
#include "app/EndRequests.h"
#include "supervisor/logic/CrashReport.h"
#include "supervisor/logic/RunJournal.h"
#include "supervisor/store/KarvoRegistry.h"

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

// SIGTERM (a logout, a service manager, kill), SIGHUP and SIGINT close the
// window as its close button does: the close sequence runs, the run's
// journal is closed and FS_ says "0", so the next start asks about nothing.
// A dialog that is open at the moment is answered as cancelled first.
TEST_F(WindowTest, EndSignalsCloseAsTheCloseButtonDoes) {
  namespace fs = std::filesystem;
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(signal);
    if (!form) {
      form = std::make_unique<TFormModbus>();
      qtSeams_.AttachWindow(*form);
      form->show();
      WaitForStartupReading();
    }
    const TEndRequests ends(*form);
    Connect();
    PollAndConsume();
    ASSERT_TRUE(form->Supervisor->Journal.WaitIdle(10000));
    WriteRegistryString(L"FS_Furnace1", L"2");  // as while a segment program runs
    pauses.clear();
    // A dialog of the window is open when the signal comes.
    bool dialogShown = false, dialogOpen = false;
    QTimer::singleShot(0, form.get(), [&] {
      QMessageBox box(QMessageBox::Question, QStringLiteral("KarvoTemp"), QStringLiteral("Go on?"),
                      QMessageBox::Yes | QMessageBox::No, form.get());
      QTimer::singleShot(50, &box, [&] {
        dialogShown = box.isVisible();
        ::kill(::getpid(), signal);
      });
      dialogOpen = true;
      box.exec();
      dialogOpen = false;
    });
    ASSERT_TRUE(WaitFor([&] { return form->Closed(); }, 30000)) << "the window did not close";
    EXPECT_TRUE(dialogShown);
    EXPECT_FALSE(dialogOpen) << "the dialog was left open";
    EXPECT_EQ(ends.Received(), 1);
    EXPECT_EQ(pauses, std::vector<std::uint32_t>{2000}) << "not the close sequence";
    EXPECT_EQ(ReadRegistryString(L"FS_Furnace1"), L"0");
    int closedRuns = 0;
    for (const auto& e : fs::directory_iterator(RunsFolder())) closedRuns += e.path().extension() == ".closed";
    EXPECT_GE(closedRuns, 1) << "the run journal was left open";
    const std::vector<std::string> recent = RecentLogLines().Lines();
    EXPECT_EQ(
        std::count(recent.begin(), recent.end(), "The program was asked to end: closing as the close button does."), 1);
    RecentLogLines().Clear();
    form.reset();
    Pump();
  }
}

}  // namespace
}  // namespace karvo::test
