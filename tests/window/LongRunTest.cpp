// The window over a long unattended run: records that must not outlive a
// Stop, a Start that cannot read the controller, a stale stable-segment
// signal, errors in the tick and in the close, a Stop queued while a
// handler waits, and the fixed texts and bounds the operator relies on.

#include <QLabel>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "TempFolder.h"
#include "WindowFixture.h"
#include "common/Attention.h"
#include "common/ConfigDir.h"
#include "modbus/Registers.h"
#include "supervisor/logic/ControllerTools.h"
#include "supervisor/logic/SegmentRunner.h"
#include "supervisor/store/KarvoRegistry.h"

namespace karvo::test {
namespace {

namespace fs = std::filesystem;

QString Q(const char* text) { return QString::fromUtf8(text); }

TEST_F(WindowTest, NoRecordFromBeforeStartIsConsumedAfterIt) {
  Connect();
  {
    // The poll's hand-off waits until the test lets it run.
    std::mutex m;
    std::condition_variable cv;
    const std::function<void()>* waiting = nullptr;
    bool ran = false;
    seams::Scoped<seams::UiInvokeFn> held(seams::SetUiInvoke, [&](const std::function<void()>& fn) {
      std::unique_lock lock(m);
      waiting = &fn;
      cv.notify_all();
      cv.wait(lock, [&] { return ran; });
    });
    form->Timer1Timer();  // starts a poll
    {
      std::unique_lock lock(m);
      ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return waiting != nullptr; }));
    }
    form->ButtonCreateFurnaceModule->click();  // Stop, the poll waiting for its hand-off
    ASSERT_EQ(form->FurnaceModule(), nullptr);
    {
      std::lock_guard lock(m);
      (*waiting)();  // the hand-off runs on this, the user-interface thread
      ran = true;
      cv.notify_all();
    }
    ASSERT_TRUE(WaitFor([] { return PollsInFlight() == 0; }));
  }
  EXPECT_FALSE(ReadResult.Valid);
  const TDateTime started = UtcNow();
  Connect();
  EXPECT_FALSE(ReadResult.Valid);
  PollAndConsume();
  ASSERT_EQ(form->Supervisor->Measurements().Count(), 1);
  EXPECT_GE(form->Supervisor->Measurements().RtDoubleVectorTime.GetValue(0), started);
}

TEST_F(WindowTest, AStartWhoseInitialReadsFailClaimsNoFurnaceAndKeepsBoxesAndBounds) {
  TFormModbus& f = *form;
  f.RtIntegerEditTargetSetpoint->SetValue(321);
  for (const std::uint32_t silent :
       {std::uint32_t{1}, std::uint32_t{reg::RampRate}, std::uint32_t{reg::ThermocoupleType}}) {
    SCOPED_TRACE(silent);
    Sim().SetFaults({.SilentOnReadsOf = silent});
    const qsizetype before = Log().size();
    SelectPort("COM9");
    f.ButtonCreateFurnaceModule->click();
    EXPECT_EQ(f.ButtonCreateFurnaceModule->text(), QStringLiteral("Start"));
    EXPECT_EQ(f.FurnaceModule(), nullptr);
    EXPECT_TRUE(f.ComboBoxModbusPort->isEnabled());
    EXPECT_FALSE(f.Timer1->isActive());
    // Nothing read is shown: the boxes and the bounds stay as they were.
    EXPECT_EQ(f.RtIntegerEditTargetSetpoint->Value(), 321);
    EXPECT_EQ(f.RtIntegerEditTransitionTemperature->MinValue(), 0);
    EXPECT_EQ(f.RtIntegerEditTransitionTemperature->MaxValue(), 1200);
    EXPECT_EQ(f.RtIntegerEditTransitionTemperature->Value(), 600);
    EXPECT_EQ(f.RtIntegerEditProportional->Value(), 0);
    EXPECT_EQ(f.ComboBoxThermocouple->currentText(), QStringLiteral("J"));
    const QStringList log = Log().mid(before);
    qsizetype reason = -1;
    for (qsizetype i = 0; i < log.size(); ++i)
      if (log[i].startsWith(Q(TSupervisor::kReadFailed)) &&
          log[i].size() > qsizetype(std::strlen(TSupervisor::kReadFailed)))
        reason = i;
    ASSERT_GE(reason, 0) << log.join(QLatin1Char('\n')).toStdString();
    ASSERT_LT(reason + 1, log.size());
    EXPECT_EQ(log[reason + 1], Q(TSupervisor::kStartAgain));
  }
  // The controller answers again: Start works.
  Sim().SetFaults({});
  Connect();
}

TEST_F(WindowTest, AStableSegmentTheStoreRefusesIsRetriedAtEveryTickAndShownUntilWritten) {
  ClearAllAttention();
  const fs::path value = fs::path(KarvoConfigDir()) / "FS_Furnace1";
  fs::create_directories(value);  // a folder holds the value's place
  Connect();
  PollAndConsume();
  ASSERT_TRUE(WaitFor([&] { return !form->LabelAttention->isHidden(); }));
  EXPECT_TRUE(form->LabelAttention->text().contains(QStringLiteral("FS_Furnace1")))
      << form->LabelAttention->text().toStdString();
  // Still refused at the next ticks: still shown.
  form->Timer1Timer();
  Pump();
  EXPECT_FALSE(form->LabelAttention->isHidden());
  ASSERT_TRUE(WaitFor([] { return ReadResult.Valid && PollsInFlight() == 0; }));
  form->Timer1Timer();
  // The store takes it again: the next tick, even one that only polls,
  // writes it, and the line goes.
  fs::remove_all(value);
  form->Timer1Timer();
  EXPECT_EQ(ReadRegistryString(L"FS_Furnace1"), L"0");
  ASSERT_TRUE(WaitFor([&] { return form->LabelAttention->isHidden(); }));
  EXPECT_FALSE(AttentionRaised(TSegmentRunner::kSignalAttention));
}

TEST_F(WindowTest, AnErrorInTheTickIsReportedWhileTheTickGoesOn) {
  Connect();
  int ticks = 0;
  form->Supervisor->StartPoll = [&](const std::string&) -> bool {
    ++ticks;
    throw std::runtime_error("no thread for the poll");
  };
  // The operator reads the report for a while before answering.
  int ticksWhileShown = -1;
  int reports = 0;
  seams::Scoped<seams::QuestionFn> report(seams::SetErrorReport, [&](const std::string& text) {
    ++reports;
    EXPECT_NE(text.find("no thread for the poll"), std::string::npos) << text;
    const int at = ticks;
    WaitFor([&] { return ticks >= at + 3; }, 5000);
    ticksWhileShown = ticks - at;
    return false;
  });
  form->Timer1->setInterval(20);
  form->Timer1->start();
  ASSERT_TRUE(WaitFor([&] { return ticksWhileShown >= 0; }));
  form->Timer1->stop();
  EXPECT_GE(ticksWhileShown, 3);
  EXPECT_EQ(reports, 1);  // one at a time; the others are in the log
  EXPECT_TRUE(Log().contains(Q("The tick ended by an error: no thread for the poll")));
}

TEST_F(WindowTest, AFailedStepOfTheCloseIsLoggedAndTheCloseGoesOn) {
  form->setWindowTitle(QStringLiteral("Oven : Karvo Temp"));
  WriteRegistryString(L"FS_Oven", L"2");
  seams::Scoped<seams::PauseFn> failing(seams::SetPause, [](std::uint32_t) { throw std::runtime_error("no pause"); });
  EXPECT_TRUE(form->close());
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(ReadRegistryString(L"FS_Oven"), L"0");
  EXPECT_TRUE(errorReports.empty());
}

TEST_F(WindowTest, AStopQueuedWhileTheDumpWaitsLeavesNothingFreedInUseAndTheTickOff) {
  TempFolder folder;
  ScopedCurrentFolder here(folder.Path());
  Connect();
  form->Timer1->start();
  // A Stop that reaches the window while the dump lets events run.
  QMetaObject::invokeMethod(
      form.get(), [this] { form->ButtonCreateFurnaceModule->click(); }, Qt::QueuedConnection);
  form->ButtonSaveFurnaceInfo->click();
  Pump();
  EXPECT_EQ(form->ButtonCreateFurnaceModule->text(), QStringLiteral("Start"));
  EXPECT_EQ(form->FurnaceModule(), nullptr);
  EXPECT_FALSE(form->Timer1->isActive());
  EXPECT_TRUE(errorReports.empty());
}

// The fixed texts and bounds the operator reads and types against.
TEST_F(WindowTest, FixedTextsAndBoundsAreTheDesigns) {
  TFormModbus& f = *form;
  const struct {
    const char* what;
    QString shown, expected;
  } texts[] = {
      {"Label24", f.Label24->text(), Q("While this tab is selected the whole program remains idle")},
      {"Label25", f.Label25->text(), Q("While this tab is selected the instructions program remains idle")},
      {"Label28", f.Label28->text(),
       Q("Please do not write to memory unless you know what you are doing. Writing to memory may  break the "
         "furnace.")},
      {"Label48", f.Label48->text(),
       Q("Programmer mode must be off for ramps and ramprates to work from this software")},
      {"Label39", f.Label39->text(), Q("Karvo Temp, Talvik AS")},
      {"Label40", f.Label40->text(), Q("Version: window_tests")},
      {"Label41", QString::number(f.Label41->text().contains(Q(">Check for update<"))), Q("1")},
      {"ramp rate hint", f.RtIntegerEditRampRate->toolTip(),
       Q("Unit may be in \u00BAC/second, \u00BAC/minute or \u00BAC/hour. Enable working setpoint under graph "
         "settings to find out.")},
      {"program ramp rate hint", f.RtIntegerEditProgramRampRate->toolTip(),
       Q("Some old models of 2200 serie controllers have ramp rate in degrees per hour even if their manual states "
         "degrees per minute. Enable display of working setpoint on graph settings tab to find out.")},
      {"Memo1", f.Memo1->toPlainText(),
       Q("Ramp rate is usually given in decidegrees (so 50 would equal to 5 \n"
         "degrees) per minute, but the format is dependant of the model of \n"
         "the PID controller. Units may be in full degrees or decidegrees and \n"
         "per minute, per hour or per second.\n"
         "\n"
         "Refer to furnace manual and enable the working setpoint option \n"
         "from graph options tab to find out the unit of your furnace. Start \n"
         "with a low value such as 10 and observe the actual rate of change.")},
      // MemoLog keeps the newest 200,000 lines.
      {"MemoLog", QString::number(f.MemoLog->MaximumLineCount()), Q("200000")},
  };
  for (const auto& t : texts) EXPECT_EQ(t.shown, t.expected) << t.what;
  // The edit boxes' bounds (equal bounds: none).
  auto bounds = [](const auto* box) { return std::pair<double, double>(box->MinValue(), box->MaxValue()); };
  const struct {
    const char* what;
    std::pair<double, double> shown, expected;
  } boxes[] = {
      {"ProgramSegment", bounds(f.RtIntegerEditProgramSegment), {0, 0}},
      {"ProgramSetpoint", bounds(f.RtIntegerEditProgramSetpoint), {0, 0}},
      {"ProgramRampRate", bounds(f.RtIntegerEditProgramRampRate), {1, 99999}},
      {"ProgramDays", bounds(f.RtIntegerEditProgramDays), {0, 0}},
      {"ProgramHours", bounds(f.RtIntegerEditProgramHours), {0, 0}},
      {"ProgramMinutes", bounds(f.RtIntegerEditProgramMinutes), {0, 0}},
      {"TimeAxisMax", bounds(f.RtDoubleEditTimeAxisMax), {0.0000578, 24}},
      {"MaxRateOfChange", bounds(f.RtDoubleEditMaxRateOfChange), {0.001, 100}},
  };
  for (const auto& b : boxes) EXPECT_EQ(b.shown, b.expected) << b.what;
  EXPECT_EQ(f.Memo1->toPlainText().split(QLatin1Char('\n')).size(), 8);
}

}  // namespace
}  // namespace karvo::test
