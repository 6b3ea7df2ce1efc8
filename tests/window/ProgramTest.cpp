// The segment program, the hold request and the operator's commands in the
// real window against the simulated controller, on a clock the test moves
// (or one that runs with the simulator's furnace physics), so that a
// program of minutes runs in seconds.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <map>
#include <ostream>

#include "WindowFixture.h"
#include "modbus/Registers.h"
#include "supervisor/store/KarvoRegistry.h"

// Failures print the texts.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace karvo::test {
namespace {

QString Q(const char* text) { return QString::fromUtf8(text); }

class ProgramWindow : public WindowTest {
 protected:
  explicit ProgramWindow(sim::SimOptions options = StandingFurnace()) : WindowTest(options) {}

  // The program's clock: moved by the test, or, once Follow() is called,
  // running `speed` times faster than real time like the simulator's
  // furnace.
  TDateTime Clock() const {
    const double speed = speed_.load();
    if (speed == 0.0) return now_.load();
    const double real = std::chrono::duration<double>(std::chrono::steady_clock::now() - since_).count();
    return now_.load() + real * speed / kSecondsPerDay;
  }
  void Follow(double speed) {
    since_ = std::chrono::steady_clock::now();
    speed_ = speed;
  }
  // The next poll, `seconds` after the previous one, and its consumption.
  void Poll(double seconds = 30.0) {
    now_ = now_.load() + seconds / kSecondsPerDay;
    PollAndConsume();
  }

  void Page(TPageIndex page) { form->PageControl1->setCurrentIndex(static_cast<int>(page)); }
  void SetStability(int slopeSeconds, int minimumSteadyMinutes, int maxOscillation = 2) {
    form->RtIntegerEditStableSlopeTime->SetValue(slopeSeconds);
    form->RtIntegerEditMinimumSteadyTime->SetValue(minimumSteadyMinutes);
    form->RtIntegerEditStableTemperature->SetValue(maxOscillation);
  }
  // Fills the segment editors and presses "Save".
  void EnterSegment(int k, int setpoint, int rampRate, int days, int hours, int minutes) {
    TFormModbus& f = *form;
    f.RtIntegerEditProgramSegment->SetValue(k);
    f.RtIntegerEditProgramSetpoint->SetValue(setpoint);
    f.RtIntegerEditProgramRampRate->SetValue(rampRate);
    f.RtIntegerEditProgramDays->SetValue(days);
    f.RtIntegerEditProgramHours->SetValue(hours);
    f.RtIntegerEditProgramMinutes->SetValue(minutes);
    f.ButtonInstructionsSave->click();
  }
  std::array<bool, 3> Lamps() const {
    return {form->LedOscilation->Value(), form->LedSlope->Value(), form->LedTime->Value()};
  }
  int CurrentSegment() const { return form->FurnaceModule()->InstructionsCurrentSegment(); }
  QStringList Table() const { return form->MemoInstructions->toPlainText().split(QLatin1Char('\n')); }
  std::uint16_t Register(std::uint32_t r) { return Sim().GetRegister(r); }
  // The log lines written since the last call.
  QStringList NewLog() {
    const QStringList log = Log();
    const QStringList lines = log.mid(logSeen_);
    logSeen_ = log.size();
    return lines;
  }

  std::atomic<double> now_{45356.25};
  std::atomic<double> speed_{0.0};
  std::chrono::steady_clock::time_point since_{};
  seams::Scoped<seams::NowFn> clock_{seams::SetUtcNow, [this] { return Clock(); }};
  qsizetype logSeen_ = 0;
};

const QString kHoldLine = Q("External program is signalling for Karvo temp to hold this temperature.");

// The furnace is played by the test: the simulator stands still, and the
// test puts its temperature where the controller was sent.
TEST_F(ProgramWindow, ATwoSegmentProgramRunsByItself) {
  Sim().SetTemperature(120.0);  // the controller's target is 137
  Connect();
  SetStability(10, 1);
  Page(TPageIndex::Instructions);
  EnterSegment(1, 150, 20, 0, 0, 1);
  EnterSegment(2, 160, 30, 0, 0, 0);
  EXPECT_EQ(Table(), (QStringList{Q("Instructions"), Q(""), Q(" Segment  SetPoint RampRate DwellTime  Finished"),
                                  Q("       1       150       20   0/00:01        No"),
                                  Q("*      2       160       30   0/00:00        No")}));
  NewLog();

  // Segment 1: its ramp rate first, its setpoint once a poll shows the ramp rate.
  Poll();
  EXPECT_EQ(Register(reg::RampRate), 20);
  EXPECT_EQ(Register(reg::TargetSetpoint), 137);
  const QStringList apply{Q(""),
                          Q("Apply segment    : 1"),
                          Q("Module ramprate  : 0"),
                          Q("Segment ramprate : 20"),
                          Q("Module setpoint  : 137"),
                          Q("Segment setpoint : 150")};
  EXPECT_TRUE(LogHasRun(apply)) << NewLog().join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(Lamps(), (std::array<bool, 3>{false, false, false}));
  Poll();
  EXPECT_EQ(Register(reg::TargetSetpoint), 150);
  Sim().SetTemperature(150.0);

  // The lamps come on in order: close to the target, calm over a full
  // window, stable for the minimum steady time.
  Poll();
  EXPECT_EQ(Lamps(), (std::array<bool, 3>{true, false, false}));
  Poll();
  EXPECT_EQ(Lamps(), (std::array<bool, 3>{true, false, false}));
  Poll();
  EXPECT_EQ(Lamps(), (std::array<bool, 3>{true, true, false}));
  EXPECT_EQ(form->Label10->text(), Q("00:00:00"));
  Poll();
  EXPECT_EQ(form->Label10->text(), Q("00:00:30"));
  EXPECT_EQ(ReadRegistryString(L"FS_Furnace1"), L"0");
  Poll();
  EXPECT_EQ(Lamps(), (std::array<bool, 3>{true, true, true}));
  EXPECT_EQ(ReadRegistryString(L"FS_Furnace1"), L"1");
  // 1 min steady + 1 min dwell: at exactly 2 min the segment goes on.
  Poll();
  Poll();
  EXPECT_EQ(form->Label10->text(), Q("00:02:00"));
  EXPECT_EQ(CurrentSegment(), 1);
  EXPECT_EQ(ReadRegistryString(L"FS_Furnace1"), L"1");
  Poll();
  EXPECT_EQ(CurrentSegment(), 2);
  EXPECT_EQ(Lamps(), (std::array<bool, 3>{false, false, false}));
  EXPECT_EQ(Table()[3], Q("       1       150       20   0/00:01        No"));  // not refreshed on that tick

  // Segment 2, the same way.
  Poll();
  EXPECT_EQ(Register(reg::RampRate), 30);
  EXPECT_EQ(Register(reg::TargetSetpoint), 150);
  EXPECT_EQ(ReadRegistryString(L"FS_Furnace1"), L"0");
  EXPECT_EQ(Table()[3], Q("       1       150       20   0/00:01       Yes"));
  Poll();
  EXPECT_EQ(Register(reg::TargetSetpoint), 160);
  Sim().SetTemperature(160.0);
  Poll();
  EXPECT_EQ(Lamps(), (std::array<bool, 3>{true, false, false}));  // the step is in the window
  Poll();
  Poll();
  Poll();
  EXPECT_EQ(Lamps(), (std::array<bool, 3>{true, true, true}));
  EXPECT_EQ(ReadRegistryString(L"FS_Furnace1"), L"2");
  EXPECT_EQ(CurrentSegment(), 2);  // stable for exactly the minimum steady time
  Poll();
  EXPECT_EQ(CurrentSegment(), 0);
  EXPECT_EQ(ReadRegistryString(L"FS_Furnace1"), L"2");

  // The program has ended: nothing more is applied.
  NewLog();
  Poll();
  const QStringList last = NewLog();
  EXPECT_TRUE(last.contains(Q("Current segment            : 0")));
  for (const QString& line : last) EXPECT_FALSE(line.startsWith(Q("Apply segment"))) << line.toStdString();
  EXPECT_EQ(ReadRegistryString(L"FS_Furnace1"), L"0");
  EXPECT_EQ(Table().mid(3), (QStringList{Q("       1       150       20   0/00:01       Yes"),
                                         Q("*      2       160       30   0/00:00       Yes")}));
  EXPECT_EQ(Register(reg::TargetSetpoint), 160);
  EXPECT_EQ(Register(reg::RampRate), 30);
}

TEST_F(ProgramWindow, AHoldRequestKeepsTheStableSegmentAndQuickControlIgnoresIt) {
  Connect();
  SetStability(10, 1);
  Page(TPageIndex::Instructions);
  EnterSegment(1, 137, 1, 0, 0, 0);
  EnterSegment(2, 140, 1, 0, 0, 0);
  // A cooperating program waits for FS_ to show segment 1, then holds it.
  for (int i = 0; i < 12 && ReadRegistryString(L"FS_Furnace1") != L"1"; ++i) Poll();
  ASSERT_EQ(ReadRegistryString(L"FS_Furnace1"), L"1");
  WriteRegistryString(L"FW_Furnace1", L"Sample 4 measuring");
  NewLog();
  for (int i = 0; i < 3; ++i) Poll();
  EXPECT_EQ(CurrentSegment(), 1);
  EXPECT_EQ(ReadRegistryString(L"FS_Furnace1"), L"1");
  EXPECT_TRUE(LogHasRun({Q(""), kHoldLine, Q("Message from that program: Sample 4 measuring")}));
  EXPECT_EQ(NewLog().count(kHoldLine), 3);

  // "Quick control": the table is emptied, the request is not read and the
  // segment stays.
  Page(TPageIndex::QuickControl);
  EXPECT_EQ(form->MemoInstructions->toPlainText(), QString());
  Poll();
  EXPECT_EQ(NewLog().count(kHoldLine), 0);
  EXPECT_EQ(CurrentSegment(), 1);
  EXPECT_EQ(form->MemoInstructions->toPlainText(), QString());

  // The request withdrawn: the segment ends at the next tick.
  Page(TPageIndex::Instructions);
  EXPECT_EQ(Table().size(), 5);
  WriteRegistryString(L"FW_Furnace1", L"0");
  Poll();
  EXPECT_EQ(CurrentSegment(), 2);
  EXPECT_EQ(NewLog().count(kHoldLine), 0);
}

TEST_F(ProgramWindow, SegmentEditorsSaveBrowseAndDelete) {
  TFormModbus& f = *form;
  Page(TPageIndex::Instructions);
  // Without a furnace Save and Delete only log.
  f.ButtonInstructionsSave->click();
  f.ButtonInstructionsDelete->click();
  EXPECT_TRUE(LogHasRun({Q(""), Q("Cannot program, no furnace installed"), Q("Cannot program, no furnace installed")}));
  Connect();
  Page(TPageIndex::Instructions);

  // Typed as the operator types: 1 day and 30 hours are 2.25 days.
  f.RtIntegerEditProgramSegment->SetValue(1);
  f.RtIntegerEditProgramSetpoint->SetValue(500);
  QTest::mouseClick(f.RtIntegerEditProgramDays, Qt::LeftButton);
  EXPECT_EQ(f.RtIntegerEditProgramDays->selectedText(), f.RtIntegerEditProgramDays->text());
  QTest::keyClicks(f.RtIntegerEditProgramDays, QStringLiteral("1"));
  QTest::keyRelease(f.RtIntegerEditProgramHours, Qt::Key_Tab);  // tabbed into the hours box
  EXPECT_EQ(f.RtIntegerEditProgramHours->selectedText(), f.RtIntegerEditProgramHours->text());
  QTest::keyClicks(f.RtIntegerEditProgramHours, QStringLiteral("30"));
  ASSERT_EQ(f.RtIntegerEditProgramDays->Value(), 1);
  ASSERT_EQ(f.RtIntegerEditProgramHours->Value(), 30);
  f.ButtonInstructionsSave->click();
  EXPECT_DOUBLE_EQ(f.FurnaceModule()->GetInstruction(1).Duration, 2.25);
  EXPECT_EQ(Table().value(3), Q("*      1       500        1   2/06:00        No"));
  for (int k = 2; k <= 5; ++k) EnterSegment(k, 500 + k, 10, 0, 0, k);

  // The arrow keys browse in any of the six boxes, within 1 .. 5, and load
  // the segment into the editors.
  f.RtIntegerEditProgramSegment->SetValue(2);
  QTest::keyClick(f.RtIntegerEditProgramSetpoint, Qt::Key_Up);
  EXPECT_EQ(f.RtIntegerEditProgramSegment->Value(), 1);
  EXPECT_EQ(f.RtIntegerEditProgramSetpoint->Value(), 500);
  EXPECT_EQ(f.RtIntegerEditProgramDays->Value(), 2);
  EXPECT_EQ(f.RtIntegerEditProgramHours->Value(), 6);
  EXPECT_EQ(f.RtIntegerEditProgramMinutes->Value(), 0);
  QTest::keyClick(f.RtIntegerEditProgramMinutes, Qt::Key_Up);
  EXPECT_EQ(f.RtIntegerEditProgramSegment->Value(), 1);
  EXPECT_EQ(Table().value(3).left(1), Q("*"));
  f.RtIntegerEditProgramSegment->SetValue(5);
  QTest::keyClick(f.RtIntegerEditProgramSegment, Qt::Key_Down);
  EXPECT_EQ(f.RtIntegerEditProgramSegment->Value(), 5);
  EXPECT_EQ(f.RtIntegerEditProgramSetpoint->Value(), 505);
  EXPECT_EQ(f.RtIntegerEditProgramMinutes->Value(), 5);
  EXPECT_EQ(Table().value(7).left(1), Q("*"));

  // A gap in the numbering is refused and named.
  EnterSegment(7, 900, 10, 0, 0, 0);
  EXPECT_TRUE(LogHasRun({Q(""), Q("Cannot save segment 7: the next free segment is 6")}));
  EXPECT_EQ(f.FurnaceModule()->InstructionCount(), 5);

  // Delete from 3 of 5, answered No and then Yes.
  std::vector<std::string> questions;
  bool yes = false;
  seams::Scoped<seams::QuestionFn> answer(seams::SetQuestion, [&](const std::string& q) {
    questions.push_back(q);
    return yes;
  });
  f.RtIntegerEditProgramSegment->SetValue(3);
  f.ButtonInstructionsDelete->click();
  EXPECT_EQ(f.FurnaceModule()->InstructionCount(), 5);
  yes = true;
  f.ButtonInstructionsDelete->click();
  EXPECT_EQ(questions, std::vector<std::string>(2, "Do you want to delete all segments from 3 onwards?"));
  EXPECT_EQ(f.FurnaceModule()->InstructionCount(), 2);
  EXPECT_EQ(f.RtIntegerEditProgramSegment->Value(), 1);
  EXPECT_EQ(Table().size(), 5);
  EXPECT_EQ(Table().value(3).left(1), Q("*"));

  // A finished segment refuses Save and can be deleted.
  f.FurnaceModule()->InstructionFinished(2);
  EnterSegment(2, 999, 10, 0, 0, 0);
  EXPECT_TRUE(LogHasRun({Q(""), Q("Finished segement cannot be edited")}));
  EXPECT_EQ(f.FurnaceModule()->GetInstruction(2).TargetSetpoint, 502);
  f.RtIntegerEditProgramSegment->SetValue(2);
  f.ButtonInstructionsDelete->click();
  EXPECT_EQ(f.FurnaceModule()->InstructionCount(), 1);

  // Beyond the end Delete neither asks nor adds; from 1 it empties the program.
  questions.clear();
  f.RtIntegerEditProgramSegment->SetValue(8);
  f.ButtonInstructionsDelete->click();
  EXPECT_TRUE(questions.empty());
  EXPECT_EQ(f.FurnaceModule()->InstructionCount(), 1);
  f.RtIntegerEditProgramSegment->SetValue(1);
  f.ButtonInstructionsDelete->click();
  EXPECT_EQ(f.FurnaceModule()->InstructionCount(), 0);
  EXPECT_EQ(Table().size(), 3);
  // Browsing an empty program shows number 1 and keeps what is typed.
  f.RtIntegerEditProgramSetpoint->SetValue(640);
  QTest::keyClick(f.RtIntegerEditProgramSegment, Qt::Key_Down);
  EXPECT_EQ(f.RtIntegerEditProgramSegment->Value(), 1);
  EXPECT_EQ(f.RtIntegerEditProgramSetpoint->Value(), 640);
  // The program is idle: the next tick applies nothing.
  NewLog();
  Poll();
  for (const QString& line : NewLog()) EXPECT_FALSE(line.startsWith(Q("Apply segment"))) << line.toStdString();
}

TEST_F(ProgramWindow, FurnaceNameSaveNormalisesTheNameAndTheTitleFollows) {
  TFormModbus& f = *form;
  const struct {
    const char* typed;
    const char* saved;
  } cases[] = {{"Ofen 2/B", "Ofen2B"}, {"2nd furnace", "A2ndfurnace"}, {"\u00D6fen!", "fen"}};
  for (const auto& c : cases) {
    WriteRegistryString(L"FW_" + Q(c.saved).toStdWString(), L"hold");
    f.EditFurnaceName->setText(Q(c.typed));
    f.ButtonFurnaceNameSave->click();
    EXPECT_EQ(f.EditFurnaceName->text(), Q(c.saved));
    EXPECT_EQ(f.windowTitle(), Q(c.saved) + Q(" : Karvo Temp"));
    EXPECT_EQ(f.SavedFurnaceName(), Q(c.saved).toStdWString());
    EXPECT_EQ(ReadRegistryString(L"FS_" + Q(c.saved).toStdWString()), L"0");
    EXPECT_EQ(ReadRegistryString(L"FW_" + Q(c.saved).toStdWString()), L"0");
  }
}

TEST_F(ProgramWindow, QuickUpdateSendsRampRateThenSetpointWithTheTimerPaused) {
  TFormModbus& f = *form;
  f.ButtonUpdateQuick->click();  // no furnace: nothing happens
  EXPECT_TRUE(messages.empty());
  Connect();
  std::vector<bool> timerDuringPauses;
  std::vector<bool> busyDuringPauses;
  seams::Scoped<seams::PauseFn> pause(seams::SetPause, [&](std::uint32_t) {
    timerDuringPauses.push_back(f.Timer1->isActive());
    busyDuringPauses.push_back(QApplication::overrideCursor() != nullptr &&
                               QApplication::overrideCursor()->shape() == Qt::WaitCursor);
  });
  f.RtIntegerEditRampRate->SetValue(25);
  f.RtIntegerEditTargetSetpoint->SetValue(300);
  f.ButtonUpdateQuick->click();
  EXPECT_EQ(Register(reg::RampRate), 25);
  EXPECT_EQ(Register(reg::TargetSetpoint), 300);
  EXPECT_EQ(timerDuringPauses, std::vector<bool>(2, false));
  EXPECT_EQ(busyDuringPauses, std::vector<bool>(2, true));
  EXPECT_TRUE(f.Timer1->isActive());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(messages.empty());

  // A ramp rate the controller refuses: no setpoint, the message box.
  f.Timer1->stop();
  f.RtIntegerEditRampRate->SetValue(20000);
  f.RtIntegerEditTargetSetpoint->SetValue(400);
  f.ButtonUpdateQuick->click();
  EXPECT_EQ(Register(reg::RampRate), 25);
  EXPECT_EQ(Register(reg::TargetSetpoint), 300);
  EXPECT_EQ(messages, std::vector<std::string>{"Updating Ramp rate and/or Target setpoint failed, please try again."});
  EXPECT_TRUE(f.Timer1->isActive());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  f.Timer1->stop();
}

TEST_F(ProgramWindow, TheStabilitySettingsSetTheObservationWindow) {
  TFormModbus& f = *form;
  f.RtIntegerEditStableSlopeTime->SetValue(120);
  EXPECT_DOUBLE_EQ(f.Supervisor->State.RateOfChangeWindow, 120 / kSecondsPerDay);
  // The two other boxes share the handler, which reads the observation length.
  f.Supervisor->State.RateOfChangeWindow = 0;
  f.RtIntegerEditMinimumSteadyTime->SetValue(7);
  EXPECT_DOUBLE_EQ(f.Supervisor->State.RateOfChangeWindow, 120 / kSecondsPerDay);
  f.Supervisor->State.RateOfChangeWindow = 0;
  f.RtIntegerEditStableTemperature->SetValue(3);
  EXPECT_DOUBLE_EQ(f.Supervisor->State.RateOfChangeWindow, 120 / kSecondsPerDay);
}

// The simulator's furnace, 60 times faster than real time, and the program's
// clock with it.
class ProgramOnFurnace : public ProgramWindow {
 protected:
  static sim::SimOptions HotFurnace() {
    sim::SimOptions o;
    o.Seed = 11;
    o.Speed = kSpeed;
    o.StartTemperature = 100.0;
    return o;
  }
  ProgramOnFurnace() : ProgramWindow(HotFurnace()) {}
  static constexpr double kSpeed = 60.0;
};

TEST_F(ProgramOnFurnace, ThreeSegmentsWithAHoldInTheMiddleReachAndDwellAtEachSetpoint) {
  struct Segment {
    int setpoint, rampRate, dwellMinutes;
  };
  const Segment program[] = {{130, 30, 2}, {160, 30, 2}, {190, 30, 1}};
  const int minimumSteady = 1, maxOscillation = 3;
  const double holdMinutes = 3.0;

  Follow(kSpeed);
  Connect();
  SetStability(120, minimumSteady, maxOscillation);
  Page(TPageIndex::Instructions);
  for (int k = 1; k <= 3; ++k)
    EnterSegment(k, program[k - 1].setpoint, program[k - 1].rampRate, 0, 0, program[k - 1].dwellMinutes);

  // Tick by tick: when each segment ended, and the hold of segment 2 from
  // the moment FS_ showed it. The cooperating program asks for the hold as
  // soon as segment 2 is current, so that the segment cannot end unheld
  // between two polls of a busy machine (the request counts only once the
  // segment is stable).
  std::map<int, TDateTime> ended;
  std::optional<TDateTime> holdFrom, holdUntil;
  bool holdAsked = false;
  int current = CurrentSegment();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(150);
  while (CurrentSegment() != 0 && std::chrono::steady_clock::now() < deadline) {
    PollAndConsume();
    const TDateTime t =
        form->Supervisor->Measurements().RtDoubleVectorTime.GetValue(form->Supervisor->Measurements().Count() - 1);
    if (CurrentSegment() != current) {
      ended[current] = t;
      current = CurrentSegment();
    }
    if (!holdAsked && current == 2) {
      WriteRegistryString(L"FW_Furnace1", L"Sample 4 measuring");
      holdAsked = true;
    }
    if (!holdFrom && current == 2 && ReadRegistryString(L"FS_Furnace1") == L"2") holdFrom = t;
    if (holdFrom && !holdUntil && t - *holdFrom > holdMinutes / kMinutesPerDay) {
      holdUntil = t;
      WriteRegistryString(L"FW_Furnace1", L"0");
    }
  }
  ASSERT_EQ(CurrentSegment(), 0) << "the program did not end in time";
  ASSERT_EQ(ended.size(), 3u);
  ASSERT_TRUE(holdFrom && holdUntil);
  EXPECT_LT(ended[1], ended[2]);
  EXPECT_LT(ended[2], ended[3]);
  // Segment 2 was held until the request was withdrawn.
  EXPECT_GE(ended[2], *holdUntil);

  // What the export would write: the chart's series. Before each segment
  // ended, the temperature stayed at its setpoint for the minimum steady
  // time plus the dwell (and for segment 2 through the hold).
  const TMeasurements& c = form->Supervisor->Measurements();
  for (int k = 1; k <= 3; ++k) {
    SCOPED_TRACE(k);
    const Segment& s = program[k - 1];
    TDateTime from = ended[k] - (minimumSteady + s.dwellMinutes) / kMinutesPerDay;
    if (k == 2) from = std::min(from, *holdFrom);
    int samples = 0;
    for (int i = 0; i < c.RtDoubleVectorTime.GetCount(); ++i) {
      const TDateTime t = c.RtDoubleVectorTime.GetValue(i);
      if (t < from || t > ended[k]) continue;
      ++samples;
      EXPECT_LT(std::fabs(c.RtDoubleVectorTemperature.GetValue(i) - s.setpoint), maxOscillation)
          << "at " << (t - from) * kSecondsPerDay << " s";
      EXPECT_EQ(c.RtDoubleVectorSetpoint.GetValue(i), s.setpoint);
    }
    EXPECT_GE(samples, 2);
  }
  EXPECT_TRUE(Log().contains(Q("Message from that program: Sample 4 measuring")));
}

}  // namespace
}  // namespace karvo::test
