// The "Controller settings" and "Debug" pages driven as the operator drives
// them, against the simulated controller: the thermocouple change, the
// programmer mode, the register read and write, the register dump and the
// verbose log.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QtTest/QTest>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FileContents.h"
#include "TempFolder.h"
#include "WindowFixture.h"
#include "modbus/Registers.h"
#include "supervisor/logic/ControllerTools.h"

namespace karvo::test {
namespace {

namespace fs = std::filesystem;

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The simulated controller's requests and replies ("<- 01 06 ...",
// "-> ..."), as its serving thread reports them.
class Frames {
 public:
  static Frames& Instance() {
    static Frames frames;
    return frames;
  }
  void Add(const std::string& line) {
    std::lock_guard lock(m_);
    lines_.push_back(line);
  }
  void Clear() {
    std::lock_guard lock(m_);
    lines_.clear();
  }
  // The requests that start with `prefix` (e.g. "<- 01 06" for writes).
  std::vector<std::string> Requests(const std::string& prefix) {
    std::lock_guard lock(m_);
    std::vector<std::string> out;
    for (const std::string& l : lines_)
      if (l.rfind(prefix, 0) == 0) out.push_back(l.substr(0, 20));
    return out;
  }
  std::vector<std::string> All() {
    std::lock_guard lock(m_);
    return lines_;
  }

 private:
  std::mutex m_;
  std::vector<std::string> lines_;
};

// A controller that restarts within 0.3 s after leaving configuration mode;
// the test's pauses take a tenth of the time asked for, so the six waiting
// seconds outlast the restart as they do with a real controller.
sim::SimOptions QuickRestart() {
  sim::SimOptions o = StandingFurnace();
  o.RestartMs = 300;
  o.Trace = [](const std::string& line) { Frames::Instance().Add(line); };
  return o;
}

class ControllerPages : public WindowTest {
 protected:
  ControllerPages() : WindowTest(QuickRestart()) { Frames::Instance().Clear(); }

  // The window's input at each pause, and what a pause may do on the way.
  std::vector<bool> enabledAtPause;
  std::function<void(std::uint32_t ms, std::size_t index)> onPause;
  seams::Scoped<seams::PauseFn> scaledPause_{seams::SetPause, [this](std::uint32_t ms) {
                                               std::size_t index = 0;
                                               {
                                                 std::lock_guard lock(m_);
                                                 index = pauses.size();
                                                 pauses.push_back(ms);
                                               }
                                               enabledAtPause.push_back(form->isEnabled());
                                               if (onPause) onPause(ms, index);
                                               std::this_thread::sleep_for(std::chrono::milliseconds(ms / 10));
                                             }};
  bool answer = true;
  std::vector<std::string> questions;
  seams::Scoped<seams::QuestionFn> question_{seams::SetQuestion, [this](const std::string& text) {
                                               questions.push_back(text);
                                               return answer;
                                             }};

  QLineEdit* ThermocoupleText() { return form->ComboBoxThermocouple->lineEdit(); }
  // The operator picks an item of the list.
  void Choose(int index) {
    form->ComboBoxThermocouple->setCurrentIndex(index);
    emit form->ComboBoxThermocouple->activated(index);
  }
  // The operator replaces the text by typing.
  void Type(const char* text) {
    ThermocoupleText()->selectAll();
    QTest::keyClicks(ThermocoupleText(), QString::fromLatin1(text));
  }
};

const std::vector<std::uint32_t> kChangePauses = {2500, 500, 500, 500, 1000, 1000, 1000, 1000, 1000, 1000};

TEST_F(ControllerPages, TypingNWritesTheTypeBetweenConfigurationAndOperatingModeAndSurvivesTheRestart) {
  Connect();
  ASSERT_EQ(form->ComboBoxThermocouple->currentText(), QStringLiteral("K"));
  const qsizetype before = Log().size();
  Frames::Instance().Clear();
  Type("N");
  // Enter confirms the typed item: that is no second change.
  QTest::keyClick(ThermocoupleText(), Qt::Key_Return);
  EXPECT_EQ(questions, std::vector<std::string>{kThermocoupleQuestion});

  // 199 = 2, 12290 = 5, 199 = 0, and after the restart 199 read back.
  EXPECT_EQ(Frames::Instance().Requests("<- 01 06"),
            (std::vector<std::string>{"<- 01 06 00 C7 00 02", "<- 01 06 30 02 00 05", "<- 01 06 00 C7 00 00"}));
  EXPECT_EQ(Frames::Instance().Requests("<- 01 03 00 C7"), std::vector<std::string>{"<- 01 03 00 C7 00 01"});
  EXPECT_EQ(Sim().GetRegister(reg::ThermocoupleType), 5);
  EXPECT_EQ(Sim().GetRegister(reg::ConfigurationMode), 0);
  EXPECT_EQ(pauses, kChangePauses);
  // No input from the first write to the last log line.
  EXPECT_EQ(enabledAtPause, (std::vector<bool>{true, false, false, false, false, false, false, false, false, false}));
  EXPECT_TRUE(form->isEnabled());
  EXPECT_TRUE(form->Timer1->isActive());
  EXPECT_TRUE(messages.empty()) << messages.front();
  EXPECT_EQ(form->ComboBoxThermocouple->currentText(), QStringLiteral("N"));
  EXPECT_EQ(
      Log().mid(before),
      (QStringList{Q(""), Q("Changing Thermocouple type, please wait..."), Q("Waiting the controller to reset 1/6"),
                   Q("Waiting the controller to reset 2/6"), Q("Waiting the controller to reset 3/6"),
                   Q("Waiting the controller to reset 4/6"), Q("Waiting the controller to reset 5/6"),
                   Q("Waiting the controller to reset 6/6"), Q("Done changing Thermocouple type.")}));
}

TEST_F(ControllerPages, ATypeTheControllerDidNotTakeIsShownAsItsOwnAndCanBeChosenAgain) {
  Connect();
  ASSERT_EQ(form->ComboBoxThermocouple->currentText(), QStringLiteral("K"));
  // The controller's configuration keeps the type register locked away.
  Sim().SetFaults({.SilentOnWritesTo = reg::ThermocoupleType});
  const qsizetype before = Log().size();
  Choose(5);
  EXPECT_EQ(Sim().GetRegister(reg::ThermocoupleType), 1);
  EXPECT_EQ(form->ComboBoxThermocouple->currentText(), QStringLiteral("K"));
  EXPECT_TRUE(
      Log().mid(before).contains(Q("The controller did not take thermocouple type N: register 12290 reads 1 (K).")));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("does not hold the thermocouple type you chose"), std::string::npos) << messages[0];
  // Choosing it again tries again.
  form->Timer1->stop();
  Sim().SetFaults({});
  questions.clear();
  messages.clear();
  Choose(5);
  EXPECT_EQ(questions.size(), 1u);
  EXPECT_EQ(Sim().GetRegister(reg::ThermocoupleType), 5);
  EXPECT_EQ(form->ComboBoxThermocouple->currentText(), QStringLiteral("N"));
  EXPECT_TRUE(messages.empty());
}

TEST_F(ControllerPages, NoOrATextThatIsNoTypeWritesNothing) {
  Connect();
  const qsizetype before = Log().size();
  const std::uint64_t frames = Sim().FramesReceived();
  struct Case {
    const char* what;
    bool answer;
    std::function<void()> act;
    QString shown;  // the box afterwards
  } cases[] = {
      {"N chosen, answered No", false, [this] { Choose(5); }, QStringLiteral("K")},
      {"N typed, answered No", false, [this] { Type("N"); }, QStringLiteral("K")},
      {"X typed, answered Yes", true, [this] { Type("X"); }, QStringLiteral("X")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    form->Timer1->stop();
    questions.clear();
    answer = c.answer;
    c.act();
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(form->ComboBoxThermocouple->currentText(), c.shown);
    EXPECT_TRUE(form->Timer1->isActive());
  }
  EXPECT_EQ(Sim().FramesReceived(), frames);
  EXPECT_EQ(Log().size(), before);
  EXPECT_TRUE(pauses.empty());
  EXPECT_EQ(Sim().GetRegister(reg::ThermocoupleType), 1);
}

TEST_F(ControllerPages, AControllerNotBackInOperatingModeIsReportedWithWhatToCheck) {
  Connect();
  struct Case {
    const char* what;
    int type;
    std::function<void()> fromFirstWait;
    std::string logged;
  } cases[] = {
      {"stays in configuration mode", 7, [this] { Sim().SetRegister(reg::ConfigurationMode, 2); },
       "The controller is not back in operating mode: register 199 reads 2."},
      {"does not answer", 0, [this] { Sim().SetFaults({.NoReply = true}); },
       "The controller did not answer after the restart: it may still be in configuration mode."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    messages.clear();
    // From the first wait on, at every wait: a frame of the change that a
    // busy machine hands the controller late must not undo the condition.
    onPause = [&](std::uint32_t, std::size_t index) {
      if (index >= 4) c.fromFirstWait();
    };
    pauses.clear();
    const qsizetype before = Log().size();
    Choose(c.type);
    const QStringList log = Log().mid(before);
    EXPECT_TRUE(log.contains(Q(c.logged))) << log.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(log.back(), Q("Done changing Thermocouple type."));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("has not come back to operating mode"), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("Check the controller's display"), std::string::npos) << messages[0];
    EXPECT_TRUE(form->isEnabled());
    EXPECT_TRUE(form->Timer1->isActive());
    form->Timer1->stop();
    Sim().SetFaults({});
    Sim().SetRegister(reg::ConfigurationMode, 0);
  }
}

TEST_F(ControllerPages, ProgrammerButtonsWriteRegister320AndShowWhatItHolds) {
  Connect();
  struct Case {
    QPushButton* button;
    bool answering;
    std::string message;
    std::uint16_t held;
  } cases[] = {
      {form->ButtonSetProgrammerMode, true,
       "New value for register @320: 10\nClick until value is 10 (=Timer/Programmer)", 10},
      {form->ButtonProgrammerOff, true,
       "New value for register @320: 0\nClick until value is 0 (=Timer/Programmer is off)", 0},
      // A read that fails does not pass for the value wanted.
      {form->ButtonProgrammerOff, false,
       "New value for register @320: not read (Timeout while waiting for response)\nClick until value is 0 "
       "(=Timer/Programmer is off)",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    messages.clear();
    Sim().SetFaults({.NoReply = !c.answering});
    c.button->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], c.message);
    Sim().SetFaults({});
    EXPECT_EQ(Sim().GetRegister(reg::Programmer), c.held);
    EXPECT_TRUE(form->Timer1->isActive());
    form->Timer1->stop();
  }
}

TEST_F(ControllerPages, ReadLogs32RegistersFromTheStartAddress) {
  Connect();
  form->PageControl1->setCurrentIndex(static_cast<int>(TPageIndex::Debug));
  for (const int first : {1, 65504}) {
    SCOPED_TRACE(first);
    form->RtIntegerEditRead32->SetValue(first);
    const qsizetype before = Log().size();
    form->ButtonRead->click();
    QStringList log = Log().mid(before);
    // A read the controller refuses: its failure, and no value made up.
    if (first == 65504) {
      ASSERT_EQ(log.size(), 3) << log.join(QLatin1Char('\n')).toStdString();
      EXPECT_TRUE(log.front().startsWith(QStringLiteral("Modbus exception 2"))) << log.front().toStdString();
      EXPECT_EQ(log[1], QString());
      EXPECT_TRUE(log[2].startsWith(QStringLiteral("Registers 65504 to 65535 could not be read: Modbus exception 2")))
          << log[2].toStdString();
      continue;
    }
    ASSERT_EQ(log.size(), 33);
    EXPECT_EQ(log[0], QString());
    for (int i = 0; i < 32; ++i) {
      EXPECT_EQ(log[i + 1], QStringLiteral("Address:%1 Value:%2")
                                .arg(first + i)
                                .arg(Sim().GetRegister(static_cast<std::uint32_t>(first + i))));
    }
  }
  EXPECT_FALSE(form->Timer1->isActive());
}

TEST_F(ControllerPages, WriteSendsTheValueAndReadsTheRegisterBack) {
  Connect();
  form->PageControl1->setCurrentIndex(static_cast<int>(TPageIndex::Debug));
  form->RtIntegerEditWriteToAddress->SetValue(100);
  form->RtIntegerEditWriteValue->SetValue(65535);
  const qsizetype before = Log().size();
  Frames::Instance().Clear();
  form->ButtonWrite->click();
  EXPECT_EQ(Frames::Instance().Requests("<- 01 06"), std::vector<std::string>{"<- 01 06 00 64 FF FF"});
  EXPECT_EQ(Log().mid(before),
            (QStringList{Q(""), Q("Trying to write a word to memory:"), Q("Address:100 Written value:65535"),
                         Q("Reading address for result verification:"), Q("Address:100 Read value:65535")}));
  EXPECT_EQ(Sim().GetRegister(100), 65535);
  EXPECT_FALSE(form->Timer1->isActive());
}

TEST_F(ControllerPages, TheRegisterDumpHoldsTheControllersRegistersByteForByte) {
  TempFolder folder;
  ScopedCurrentFolder here(folder.Path());
  Sim().SetRegister(100, 65535);
  Sim().SetRegister(reg::Programmer, 10);
  Connect();
  form->PageControl1->setCurrentIndex(static_cast<int>(TPageIndex::Debug));
  std::vector<bool> busyCursor;
  onPause = [&](std::uint32_t, std::size_t) {
    busyCursor.push_back(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor);
  };
  const qsizetype before = Log().size();
  form->ButtonSaveFurnaceInfo->click();

  std::string expected;
  for (std::uint32_t r = 1; r <= 576; ++r)
    expected += "Address:" + std::to_string(r) + " Value:" + std::to_string(Sim().GetRegister(r)) + "\r\n";
  EXPECT_EQ(FileContents(folder / kFurnaceInfoFile), expected);
  ASSERT_EQ(pauses.size(), 19u);
  EXPECT_EQ(pauses[0], 2000u);
  for (std::size_t i = 1; i < pauses.size(); ++i) EXPECT_TRUE(pauses[i] >= 50 && pauses[i] <= 99) << pauses[i];
  EXPECT_EQ(busyCursor, std::vector<bool>(19, true));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  QStringList log{Q(""), Q("Please wit while the furnace information is saved to disk.")};
  for (int b = 0; b < 18; ++b) log << Q("Writing...");
  log << Q("Furnace information ready.");
  EXPECT_EQ(Log().mid(before), log);
  EXPECT_TRUE(form->Timer1->isActive());
}

TEST_F(ControllerPages, FailedReadsOfTheDebugToolsSaySoInsteadOfShowingZero) {
  TempFolder folder;
  ScopedCurrentFolder here(folder.Path());
  Connect();
  form->PageControl1->setCurrentIndex(static_cast<int>(TPageIndex::Debug));
  Sim().SetFaults({.SilentOnReadsOf = 100});
  form->RtIntegerEditWriteToAddress->SetValue(100);
  form->RtIntegerEditWriteValue->SetValue(7);
  form->ButtonWrite->click();
  const QString readBack = Log().back();
  EXPECT_TRUE(readBack.startsWith(Q("Address:100 Read value:not read ("))) << readBack.toStdString();

  // The dump: registers 33 to 64 are not answered.
  Sim().SetFaults({.SilentOnReadsOf = 33});
  const qsizetype before = Log().size();
  form->ButtonSaveFurnaceInfo->click();
  std::string expected;
  for (std::uint32_t r = 1; r <= 576; ++r)
    expected += "Address:" + std::to_string(r) +
                " Value:" + (r >= 33 && r <= 64 ? std::string("not read") : std::to_string(Sim().GetRegister(r))) +
                "\r\n";
  EXPECT_EQ(FileContents(folder / kFurnaceInfoFile), expected);
  const QStringList log = Log().mid(before);
  EXPECT_FALSE(log.contains(Q("Furnace information ready.")));
  EXPECT_TRUE(log.back().startsWith(
      Q("Furnace information saved, but 32 of 576 registers could not be read (marked \"not read\"): ")))
      << log.back().toStdString();
}

TEST_F(ControllerPages, ADumpThatCannotBeWrittenIsReportedAndTheTimerAndCursorComeBack) {
  TempFolder folder;
  ScopedCurrentFolder here(folder.Path());
  fs::create_directory(folder / kFurnaceInfoFile);  // a folder holds the file's place
  Connect();
  form->ButtonSaveFurnaceInfo->click();
  ASSERT_EQ(errorReports.size(), 1u);
  EXPECT_EQ(errorReports[0].rfind("Cannot write the file \"", 0), 0u) << errorReports[0];
  EXPECT_NE(errorReports[0].find(kFurnaceInfoFile), std::string::npos) << errorReports[0];
  EXPECT_TRUE(fs::is_directory(folder / kFurnaceInfoFile));
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{kFurnaceInfoFile});
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(form->Timer1->isActive());
  EXPECT_FALSE(Log().contains(Q("Furnace information ready.")));
}

TEST_F(ControllerPages, WithoutAFurnaceTheControllerActionsDoNothing) {
  const qsizetype before = Log().size();
  form->Timer1->stop();
  Choose(5);
  Type("S");
  for (QPushButton* b : {form->ButtonSetProgrammerMode, form->ButtonProgrammerOff, form->ButtonRead, form->ButtonWrite,
                         form->ButtonSaveFurnaceInfo})
    b->click();
  EXPECT_TRUE(questions.empty());
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(pauses.empty());
  EXPECT_EQ(Sim().FramesReceived(), 0u);
  EXPECT_EQ(Log().size(), before);
  EXPECT_FALSE(form->Timer1->isActive());
}

TEST_F(ControllerPages, VerboseLogTakesEffectAtTheFirstTickAfterLeavingTheDebugPage) {
  Connect();
  form->PageControl1->setCurrentIndex(static_cast<int>(TPageIndex::Debug));
  form->CheckBoxVerboseLog->click();
  form->Timer1Timer();
  EXPECT_FALSE(form->FurnaceModule()->Com()->Debug());
  form->PageControl1->setCurrentIndex(static_cast<int>(TPageIndex::ControllerSettings));
  EXPECT_FALSE(form->FurnaceModule()->Com()->Debug());
  form->Timer1Timer();
  EXPECT_TRUE(form->FurnaceModule()->Com()->Debug());
  ASSERT_TRUE(WaitFor([] { return PollsInFlight() == 0; }));
}

}  // namespace
}  // namespace karvo::test
