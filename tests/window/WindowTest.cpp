// The main window driven as the operator drives it, against the simulated
// controller.

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "WindowFixture.h"
#include "common/Attention.h"
#include "common/ConfigDir.h"
#include "common/Log.h"
#include "common/StateDir.h"
#include "modbus/Registers.h"
#include "supervisor/store/KarvoRegistry.h"

namespace karvo::test {
namespace {
namespace fs = std::filesystem;

QString Q(const char* text) { return QString::fromUtf8(text); }

TEST_F(WindowTest, EveryControlCarriesItsNameCaptionAndDefault) {
  TFormModbus& f = *form;
  // Each member is found under its own name.
  const std::pair<const char*, QObject*> named[] = {
      {"Panel1", f.Panel1},
      {"Panel2", f.Panel2},
      {"Panel3", f.Panel3},
      {"Splitter1", f.Splitter1},
      {"Splitter2", f.Splitter2},
      {"Splitter3", f.Splitter3},
      {"MemoInstructions", f.MemoInstructions},
      {"MemoLog", f.MemoLog},
      {"RtGraph2D1", f.RtGraph2D1},
      {"GroupBox2", f.GroupBox2},
      {"Label5", f.Label5},
      {"ComboBoxModbusPort", f.ComboBoxModbusPort},
      {"ButtonCreateFurnaceModule", f.ButtonCreateFurnaceModule},
      {"GroupBox1", f.GroupBox1},
      {"LedOscilation", f.LedOscilation},
      {"LedSlope", f.LedSlope},
      {"LedTime", f.LedTime},
      {"Label10", f.Label10},
      {"RtDoubleEditTemperatureReadOnly", f.RtDoubleEditTemperatureReadOnly},
      {"RtIntegerEditTargetSetpointReadOnly", f.RtIntegerEditTargetSetpointReadOnly},
      {"RtIntegerEditWorkingSetPointReadOnly", f.RtIntegerEditWorkingSetPointReadOnly},
      {"RtIntegerEditRampRateReadOnly", f.RtIntegerEditRampRateReadOnly},
      {"RtDoubleEditRateOfChangeReadOnly", f.RtDoubleEditRateOfChangeReadOnly},
      {"PageControl1", f.PageControl1},
      {"RtIntegerEditTargetSetpoint", f.RtIntegerEditTargetSetpoint},
      {"RtIntegerEditRampRate", f.RtIntegerEditRampRate},
      {"ButtonUpdateQuick", f.ButtonUpdateQuick},
      {"Memo1", f.Memo1},
      {"EditFurnaceName", f.EditFurnaceName},
      {"ButtonFurnaceNameSave", f.ButtonFurnaceNameSave},
      {"GroupBox6", f.GroupBox6},
      {"RtIntegerEditProgramSegment", f.RtIntegerEditProgramSegment},
      {"RtIntegerEditProgramMinutes", f.RtIntegerEditProgramMinutes},
      {"ButtonInstructionsDelete", f.ButtonInstructionsDelete},
      {"ButtonInstructionsSave", f.ButtonInstructionsSave},
      {"Memo2", f.Memo2},
      {"RtIntegerEditStableSlopeTime", f.RtIntegerEditStableSlopeTime},
      {"RtDoubleEditMaxRateOfChange", f.RtDoubleEditMaxRateOfChange},
      {"GroupBox3", f.GroupBox3},
      {"RadioButton1", f.RadioButton1},
      {"RadioButton2", f.RadioButton2},
      {"RtDoubleEditTimeAxisMax", f.RtDoubleEditTimeAxisMax},
      {"CheckBoxWorkingOutputVisible", f.CheckBoxWorkingOutputVisible},
      {"ButtonSaveGraphBMP", f.ButtonSaveGraphBMP},
      {"ButtonClearAllData", f.ButtonClearAllData},
      {"GroupBox8", f.GroupBox8},
      {"RtIntegerEditDerivate", f.RtIntegerEditDerivate},
      {"GroupBox7", f.GroupBox7},
      {"CheckBoxEnableVaryingMaximumOutput", f.CheckBoxEnableVaryingMaximumOutput},
      {"RtIntegerEditLowPower", f.RtIntegerEditLowPower},
      {"ComboBoxThermocouple", f.ComboBoxThermocouple},
      {"ButtonProgrammerOff", f.ButtonProgrammerOff},
      {"ButtonSetProgrammerMode", f.ButtonSetProgrammerMode},
      {"Label48", f.Label48},
      {"GroupBox4", f.GroupBox4},
      {"RtIntegerEditRead32", f.RtIntegerEditRead32},
      {"ButtonRead", f.ButtonRead},
      {"GroupBox5", f.GroupBox5},
      {"RtIntegerEditWriteValue", f.RtIntegerEditWriteValue},
      {"ButtonWrite", f.ButtonWrite},
      {"CheckBoxVerboseLog", f.CheckBoxVerboseLog},
      {"ButtonSaveFurnaceInfo", f.ButtonSaveFurnaceInfo},
      {"Label39", f.Label39},
      {"Label40", f.Label40},
      {"Label41", f.Label41},
      {"Timer1", f.Timer1},
  };
  for (const auto& [name, member] : named) {
    ASSERT_NE(member, nullptr) << name;
    EXPECT_EQ(f.findChild<QObject*>(QString::fromLatin1(name)), member) << name;
  }
  // Every label, box and button of the window has a name.
  for (QWidget* w : f.findChildren<QWidget*>()) {
    if (qobject_cast<QLabel*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) ||
        qobject_cast<QGroupBox*>(w)) {
      if (w->parent() && qobject_cast<QComboBox*>(w->parent())) continue;  // a combo box's own editor
      if (qobject_cast<QTabWidget*>(w->parentWidget()) || w->inherits("QTabBar")) continue;
      if (w->objectName().startsWith(QLatin1String("qt_"))) continue;
      EXPECT_FALSE(w->objectName().isEmpty()) << w->metaObject()->className();
    }
  }

  // The pages, in the order the tick's page indices rely on.
  const char* pages[][2] = {{"TabSheet1", "Quick control"},
                            {"TabSheet2", "Instructions"},
                            {"TabSheet3", "Stability settings"},
                            {"TabSheet4", "Graph settings"},
                            {"TabSheet6", "Save"},
                            {"TabSheet5", "Controller settings"},
                            {"TabSheet7", "Debug"},
                            {"About", "About"}};
  ASSERT_EQ(f.PageControl1->count(), kPageCount);
  for (int i = 0; i < kPageCount; ++i) {
    EXPECT_EQ(f.PageControl1->widget(i)->objectName(), QString::fromLatin1(pages[i][0]));
    EXPECT_EQ(f.PageControl1->tabText(i), QString::fromLatin1(pages[i][1]));
  }
  EXPECT_EQ(f.PageControl1->currentIndex(), static_cast<int>(TPageIndex::QuickControl));

  // Ranges and initial values of the number boxes.
  const struct {
    TRtIntegerEdit* box;
    int min, max, value;
  } boxes[] = {
      {f.RtIntegerEditRampRate, 1, 99999, 1},       {f.RtIntegerEditProgramRampRate, 1, 99999, 1},
      {f.RtIntegerEditStableTemperature, 2, 20, 2}, {f.RtIntegerEditStableSlopeTime, 10, 3600, 300},
      {f.RtIntegerEditMinimumSteadyTime, 1, 60, 5}, {f.RtIntegerEditTransitionTemperature, 0, 1200, 600},
      {f.RtIntegerEditHighPower, 0, 100, 75},       {f.RtIntegerEditLowPower, 0, 100, 45},
      {f.RtIntegerEditRead32, 1, 65504, 1},         {f.RtIntegerEditWriteToAddress, 1, 65504, 1},
      {f.RtIntegerEditWriteValue, 0, 65535, 0},     {f.RtIntegerEditProgramSegment, 0, 0, 0},
      {f.RtIntegerEditTargetSetpoint, 0, 0, 0},     {f.RtIntegerEditMinTemp, 0, 0, 0},
  };
  for (const auto& b : boxes) {
    EXPECT_EQ(b.box->MinValue(), b.min) << b.box->objectName().toStdString();
    EXPECT_EQ(b.box->MaxValue(), b.max) << b.box->objectName().toStdString();
    EXPECT_EQ(b.box->Value(), b.value) << b.box->objectName().toStdString();
  }
  EXPECT_DOUBLE_EQ(f.RtDoubleEditMaxRateOfChange->Value(), 0.75);
  EXPECT_DOUBLE_EQ(f.RtDoubleEditTimeAxisMax->MinValue(), 0.0000578);
  EXPECT_DOUBLE_EQ(f.RtDoubleEditTimeAxisMax->Value(), 0.05);
  EXPECT_EQ(f.RtDoubleEditTemperatureReadOnly->Format(), QStringLiteral("0.##"));
  EXPECT_EQ(f.RtDoubleEditRateOfChangeReadOnly->Format(), QStringLiteral("0.###"));
  for (TRtIntegerEdit* pid : {f.RtIntegerEditProportional, f.RtIntegerEditIntegral, f.RtIntegerEditDerivate})
    EXPECT_FALSE(pid->isEnabled());
  // The write value refuses values above 65535.
  f.RtIntegerEditWriteValue->SetValue(65536);
  EXPECT_EQ(f.RtIntegerEditWriteValue->Value(), 65535);

  EXPECT_TRUE(f.RadioButton2->isChecked());
  EXPECT_TRUE(f.CheckBoxLegendVisible->isChecked());
  EXPECT_FALSE(f.CheckBoxVerboseLog->isChecked());
  EXPECT_FALSE(f.CheckBoxEnableVaryingMaximumOutput->isChecked());
  EXPECT_EQ(f.ComboBoxThermocouple->count(), 8);
  EXPECT_EQ(f.ComboBoxThermocouple->currentText(), QStringLiteral("J"));
  EXPECT_EQ(f.LedOscilation->Hint(), QStringLiteral("Temperature close to target setpoint"));
  EXPECT_EQ(f.LedSlope->Hint(), QStringLiteral("Very low rate of change"));
  EXPECT_EQ(f.LedTime->Hint(), QStringLiteral("Stable for a while"));
  for (TLedLamp* lamp : {f.LedOscilation, f.LedSlope, f.LedTime}) {
    EXPECT_FALSE(lamp->Blink());
    EXPECT_EQ(lamp->FalseColor(), QColor(255, 0, 0));
  }
  EXPECT_EQ(f.Memo1->toPlainText(), RampRateNote());
  EXPECT_EQ(f.Memo1->toPlainText().split(QLatin1Char('\n')).size(), 8);
  EXPECT_EQ(f.Memo2->toPlainText().split(QLatin1Char('\n')).last(),
            QStringLiteral("Going to \"Quick control\" tab will stop the segment program."));
  EXPECT_EQ(f.MemoInstructions->toPlainText(), QStringLiteral("Instructions"));
  EXPECT_EQ(Log().first(), QStringLiteral("Program log"));
  EXPECT_EQ(f.MemoLog->MaximumLineCount(), TFormModbus::kMemoLogLines);
  EXPECT_EQ(f.windowTitle(), QStringLiteral("Furnace1 : Karvo Temp"));
  EXPECT_EQ(f.Label40->text(), QStringLiteral("Version: window_tests"));
  EXPECT_EQ(f.Timer1->interval(), 2500);
}

TEST_F(WindowTest, TheStatusBoxGrowsWithTheUpperPanel) {
  form->resize(1484, 724);
  Pump();
  const int status = form->GroupBox1->height(), pages = form->PageControl1->height(),
            chart = form->RtGraph2D1->height();
  const QList<int> sizes = form->Splitter2->sizes();
  form->Splitter2->setSizes({sizes[0] + 100, sizes[1] - 100});
  Pump();
  EXPECT_EQ(form->GroupBox1->height(), status + 100);
  EXPECT_EQ(form->PageControl1->height(), pages + 100);
  EXPECT_EQ(form->RtGraph2D1->height(), chart - 100);
}

TEST_F(WindowTest, RaisedConditionsStayAboveTheLogUntilTheyClear) {
  ClearAllAttention();
  Pump();
  EXPECT_TRUE(form->LabelAttention->isHidden());
  RaiseAttention("a", "Run journal behind: 12 samples waiting");
  RaiseAttention("b", "FS_ not written");
  ASSERT_TRUE(WaitFor([&] { return !form->LabelAttention->isHidden(); }));
  EXPECT_EQ(form->LabelAttention->text(), Q("Run journal behind: 12 samples waiting\nFS_ not written"));
  ClearAttention("a");
  ASSERT_TRUE(WaitFor([&] { return form->LabelAttention->text() == Q("FS_ not written"); }));
  ClearAllAttention();
  ASSERT_TRUE(WaitFor([&] { return form->LabelAttention->isHidden(); }));
}

TEST_F(WindowTest, PortListShowsTheMappedPortsInOrderWithNothingSelected) {
  for (const char* name : {"COM12", "COM150", "COM3"}) sim::LinkComPort(name, "/dev/null");
  form->ListComPort();
  QStringList mapped;
  for (int i = 0; i < form->ComboBoxModbusPort->count(); ++i) {
    const QString name = form->ComboBoxModbusPort->itemText(i);
    if (name == QLatin1String("COM3") || name == QLatin1String("COM9") || name == QLatin1String("COM12") ||
        name == QLatin1String("COM150"))
      mapped << name;
  }
  EXPECT_EQ(mapped, (QStringList{QStringLiteral("COM3"), QStringLiteral("COM9"), QStringLiteral("COM12")}));
  EXPECT_EQ(form->ComboBoxModbusPort->currentIndex(), -1);
}

TEST_F(WindowTest, StartFindsTheControllerAndFillsBoxesAndLimits) {
  Sim().SetRegister(reg::ProcessValue, 1000);
  Sim().SetRegister(reg::TargetSetpoint, 345);
  Sim().SetRegister(reg::WorkingSetpoint, 333);
  Sim().SetRegister(reg::ProportionalBand, 12);
  Sim().SetRegister(reg::IntegralTime, 240);
  Sim().SetRegister(reg::DerivativeTime, 40);
  Sim().SetRegister(reg::SetpointLowLimit, 100);
  Sim().SetRegister(reg::SetpointHighLimit, 1100);
  Sim().SetRegister(reg::RampRate, 10);
  Sim().SetRegister(reg::ThermocoupleType, 1);
  Connect();
  EXPECT_TRUE(LogHasRun({Q("Looking for a furnace from selected port."), Q(""),
                         Q("Found a furnace, starting operation."), Q(""),
                         Q("The program reads temperature and other information from the furnace roughly every five "
                           "seconds."),
                         Q(""), Q("Note that while the Debug tab is selected the whole program remains idle."), Q(""),
                         Q("Note that while the Quick control tab is selected the Instructions-program remains idle."),
                         Q("Reading intial values 1"), Q("Reading intial values 2"), Q("Reading intial values 3")}))
      << Log().join(QLatin1Char('\n')).toStdString();
  EXPECT_FALSE(Log().contains(Q("Configuring modbus addresses, please wait.")));
  TFormModbus& f = *form;
  EXPECT_DOUBLE_EQ(f.RtDoubleEditTemperatureReadOnly->Value(), 1000);
  EXPECT_EQ(f.RtIntegerEditTargetSetpointReadOnly->Value(), 345);
  EXPECT_EQ(f.RtIntegerEditTargetSetpoint->Value(), 345);
  EXPECT_EQ(f.RtIntegerEditWorkingSetPointReadOnly->Value(), 333);
  EXPECT_EQ(f.RtIntegerEditProportional->Value(), 12);
  EXPECT_EQ(f.RtIntegerEditIntegral->Value(), 240);
  EXPECT_EQ(f.RtIntegerEditDerivate->Value(), 40);
  EXPECT_EQ(f.RtIntegerEditRampRate->Value(), 10);
  EXPECT_EQ(f.ComboBoxThermocouple->currentText(), QStringLiteral("K"));
  for (TRtIntegerEdit* box :
       {f.RtIntegerEditTargetSetpoint, f.RtIntegerEditProgramSetpoint, f.RtIntegerEditTransitionTemperature}) {
    EXPECT_EQ(box->MinValue(), 100);
    EXPECT_EQ(box->MaxValue(), 1100);
  }
  EXPECT_EQ(f.RtIntegerEditProgramSetpoint->Value(), 100);  // clamped into the controller's limits
  EXPECT_NE(f.FurnaceModule(), nullptr);
  EXPECT_EQ(f.FurnaceModule()->OnPort(), "COM9");
}

// Start and Stop through the states the window can be in, one window.
TEST_F(WindowTest, StartAndStopStates) {
  struct State {
    const char* name;
    std::function<void()> action;
    const char* caption;
    bool portListEnabled;
    std::optional<bool> timer;  // none: unchanged
    bool module;
    std::optional<bool> pagesVisible;
  };
  TFormModbus& f = *form;
  bool timer = timerActiveAtCreation;
  const State states[] = {
      {"window just created", [] {}, "Start", true, true, false, true},
      {"Start without a selected port", [&] { f.ButtonCreateFurnaceModule->click(); }, "Start", false, std::nullopt,
       false, std::nullopt},
      {"connected",
       [&] {
         SelectPort("COM9");
         f.ButtonCreateFurnaceModule->click();
       },
       "Stop", false, true, true, true},
      {"after Stop", [&] { f.ButtonCreateFurnaceModule->click(); }, "Start", true, false, false, false},
      {"after a failed Start (no controller)",
       [&] {
         Sim().SetFaults({.NoReply = true});
         f.ButtonCreateFurnaceModule->click();
       },
       "Start", true, false, false, std::nullopt},
  };
  bool pages = true;
  for (const State& s : states) {
    SCOPED_TRACE(s.name);
    if (s.name == std::string("window just created")) {
      EXPECT_TRUE(timer);
    } else {
      s.action();
      timer = s.timer.value_or(timer);
      EXPECT_EQ(f.Timer1->isActive(), timer);
    }
    pages = s.pagesVisible.value_or(pages);
    EXPECT_EQ(f.ButtonCreateFurnaceModule->text(), QString::fromLatin1(s.caption));
    EXPECT_EQ(f.ComboBoxModbusPort->isEnabled(), s.portListEnabled);
    EXPECT_EQ(f.FurnaceModule() != nullptr, s.module);
    EXPECT_EQ(f.PageControl1->isVisible(), pages);
  }
  const QStringList log = Log();
  EXPECT_TRUE(log.contains(Q("Not usable serial port name.")));
  EXPECT_TRUE(log.contains(Q(TSupervisor::kNoController)));
}

class WindowAtAddress7 : public WindowTest {
 protected:
  static sim::SimOptions AtAddress7() {
    sim::SimOptions o = StandingFurnace();
    o.Address = 7;
    return o;
  }
  WindowAtAddress7() : WindowTest(AtAddress7()) {}
};

TEST_F(WindowAtAddress7, AControllerAtAnotherAddressIsFoundAfterTheReset) {
  Connect();
  QStringList reset{Q("Configuring modbus addresses, please wait.")};
  for (int a = 25; a <= 250; a += 25) reset << QStringLiteral("%1/256").arg(a);
  reset << Q("Address reset done.") << Q("Looking for a furnace from selected port.");
  EXPECT_TRUE(LogHasRun(reset)) << Log().join(QLatin1Char('\n')).toStdString();
  EXPECT_TRUE(LogHasRun({Q(""), Q("Found a furnace, starting operation.")}));
  EXPECT_EQ(Sim().Address(), 1);
}

TEST_F(WindowTest, ConsumedPollIsLoggedShownAndPlottedAndTheDebugPageIdles) {
  Sim().SetRegister(reg::TargetSetpoint, 345);
  Sim().SetRegister(reg::WorkingSetpoint, 333);
  Sim().SetRegister(reg::RampRate, 12);
  Sim().SetRegister(reg::OutputHighLimit, 735);
  Sim().SetRegister(reg::ProcessValue, 321);
  Connect();
  const qsizetype before = Log().size();
  PollAndConsume();
  EXPECT_EQ(form->Supervisor->State.TickCounter, 2);
  const QStringList report = Log().mid(before);
  const QString degrees = Q("\u00BAC");
  ASSERT_GE(report.size(), 8) << report.join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(report.mid(0, 3), (QStringList{Q(""), Q("Target setpoint            : 345") + degrees,
                                           Q("Working setpoint           : 333") + degrees}));
  EXPECT_TRUE(report[3].startsWith(Q("Temperature                : 32"))) << report[3].toStdString();
  // The segment report (no program: segment 0) comes between the ramp rate
  // and the output power limit.
  EXPECT_EQ(report.mid(4, 4),
            (QStringList{Q("Ramp rate                  : 12"), Q("Current segment            : 0"),
                         Q("Current segment will dwell : False"), Q("Output power limit %       : 74")}));
  for (const TRtDoubleVector* v : {&form->Supervisor->Measurements().RtDoubleVectorTime,
                                   &form->Supervisor->Measurements().RtDoubleVectorTemperature,
                                   &form->Supervisor->Measurements().RtDoubleVectorSetpoint,
                                   &form->Supervisor->Measurements().RtDoubleVectorWorkingSetpoint,
                                   &form->Supervisor->Measurements().RtDoubleVectorWorkingOutput})
    EXPECT_EQ(v->GetCount(), 1);
  EXPECT_NEAR(form->RtDoubleEditTemperatureReadOnly->Value(), 321.0, 0.2);
  EXPECT_EQ(form->RtIntegerEditTargetSetpointReadOnly->Value(), 345);
  EXPECT_EQ(form->RtIntegerEditRampRateReadOnly->Value(), 12);
  // The chart keeps the instant of the poll.
  EXPECT_NEAR(form->Supervisor->Measurements().RtDoubleVectorTime.GetValue(0), UtcNow(), 60.0 / 86400);

  // While "Debug" is selected nothing is counted, polled or logged.
  form->PageControl1->setCurrentIndex(static_cast<int>(TPageIndex::Debug));
  const qsizetype idle = Log().size();
  for (int i = 0; i < 3; ++i) form->Timer1Timer();
  EXPECT_EQ(form->Supervisor->State.TickCounter, 2);
  EXPECT_EQ(PollsInFlight(), 0);
  EXPECT_EQ(Log().size(), idle);
}

TEST_F(WindowTest, FailedPollsBackOffAndASensorBreakIsReported) {
  Connect();
  Sim().SetFaults({.BadCrcFraction = 1.0});
  PollAndConsume();
  EXPECT_TRUE(
      LogHasRun({Q(""), Q("Retrieving values from furnace was unsuccessfull:"), Q("Invalid response: bad CRC")}))
      << Log().join(QLatin1Char('\n')).toStdString();
  EXPECT_GE(form->Timer1->interval(), 2500);
  EXPECT_LE(form->Timer1->interval(), 3499);
  EXPECT_EQ(form->Supervisor->Measurements().Count(), 0);

  Sim().SetFaults({.SensorBreak = true});
  const int interval = form->Timer1->interval();
  PollAndConsume();
  EXPECT_TRUE(LogHasRun({Q(""), Q("Sensor break detected. Refer to furnace manual.")}));
  EXPECT_EQ(form->Timer1->interval(), interval);
  EXPECT_EQ(form->Supervisor->Measurements().Count(), 0);

  Sim().SetFaults({});
  PollAndConsume();
  EXPECT_EQ(form->Supervisor->Measurements().Count(), 1);
  EXPECT_EQ(form->Timer1->interval(), 2500);
}

TEST_F(WindowTest, TheVaryingLimitWritesTheControllersOutputHighLimit) {
  Sim().SetRegister(reg::OutputHighLimit, 1000);
  Sim().SetRegister(reg::ProcessValue, 200);
  Connect();
  form->CheckBoxEnableVaryingMaximumOutput->click();
  EXPECT_EQ(messages.size(), 1u);  // the warning
  form->CheckBoxEnableVaryingMaximumOutput->click();
  EXPECT_EQ(messages.size(), 1u);  // unchecking says nothing
  form->CheckBoxEnableVaryingMaximumOutput->setChecked(true);
  // The next consuming tick is the third: below the band the low power 45 %
  // is the target, approached by 2.5 points.
  form->Supervisor->State.TickCounter = 1;
  PollAndConsume();
  EXPECT_TRUE(WaitFor([&] { return Sim().GetRegister(reg::OutputHighLimit) == 975; }));
  EXPECT_EQ(form->FurnaceModule()->MaxOutputPowerTarget, 450);
}

TEST_F(WindowTest, LogLinesOfEveryThreadReachMemoLogWholeAndInOrderWithoutWaiting) {
  const qsizetype before = Log().size();
  constexpr int kThreads = 4, kLines = 500;
  // The user-interface thread runs no events while the threads log: a sink
  // that waited for it would hold them here.
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) LogLine("thread " + std::to_string(t) + " line " + std::to_string(i));
    });
  LogLine("from the user-interface thread");
  for (std::thread& t : threads) t.join();
  const QStringList lines = Log().mid(before);
  ASSERT_EQ(lines.size(), kThreads * kLines + 1);
  std::vector<int> next(kThreads, 0);
  for (const QString& line : lines) {
    int t = -1, i = -1;
    if (std::sscanf(line.toStdString().c_str(), "thread %d line %d", &t, &i) == 2) {
      ASSERT_EQ(i, next[t]) << "thread " << t;
      ++next[t];
    } else {
      EXPECT_EQ(line, Q("from the user-interface thread"));
    }
  }
  // The day's log file has them too.
  const fs::path folder = KarvoStateDir() / "log";
  ASSERT_TRUE(fs::exists(folder));
  std::stringstream text;
  for (const auto& file : fs::directory_iterator(folder)) text << std::ifstream(file.path()).rdbuf();
  EXPECT_NE(text.str().find(" thread 3 line 499\n"), std::string::npos);
}

TEST_F(WindowTest, AnErrorInAHandlerIsShownWithAReportAndTheProgramGoesOn) {
  Connect();
  // The store refuses the hold request's value: a folder holds its place.
  const fs::path store = KarvoConfigDir();
  fs::create_directories(store / "FW_Furnace1");
  saveReports = true;
  form->ButtonCreateFurnaceModule->click();  // Stop
  ASSERT_EQ(errorReports.size(), 1u);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("The error report was saved as ", 0), 0u) << messages[0];
  EXPECT_EQ(form->ButtonCreateFurnaceModule->text(), QStringLiteral("Start"));
  EXPECT_EQ(form->FurnaceModule(), nullptr);
  // Still running: Start works again.
  fs::remove_all(store / "FW_Furnace1");
  Connect();
}

TEST(LogView, KeepsTheNewestLinesAndFollowsTheEndUnlessScrolledUp) {
  TLogView view;
  view.resize(300, 10 * QFontMetrics(view.font()).lineSpacing() + 20);
  view.show();
  view.SetMaximumLineCount(50);
  for (int i = 1; i <= 40; ++i) view.AppendLine(QStringLiteral("line %1").arg(i));
  QScrollBar* bar = view.verticalScrollBar();
  EXPECT_EQ(bar->value(), bar->maximum());
  // Scrolled up, the operator's lines stay on screen while old ones go.
  bar->setValue(5);
  view.AppendLines({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"),
                    QStringLiteral("e"), QStringLiteral("f"), QStringLiteral("g"), QStringLiteral("h"),
                    QStringLiteral("i"), QStringLiteral("j"), QStringLiteral("k"), QStringLiteral("l")});
  EXPECT_EQ(view.LineCount(), 50);
  EXPECT_EQ(view.Line(0), QStringLiteral("line 3"));
  EXPECT_EQ(view.Line(49), QStringLiteral("l"));
  EXPECT_EQ(bar->value(), 3);
  bar->setValue(bar->maximum());
  view.AppendLine(QStringLiteral("m"));
  EXPECT_EQ(bar->value(), bar->maximum());
  view.SelectAll();
  EXPECT_EQ(view.SelectedText(), view.toPlainText());
  EXPECT_TRUE(view.toPlainText().endsWith(QStringLiteral("\nl\nm")));
}

TEST_F(WindowTest, CheckForUpdateOpensTheUpdatePage) {
  QStringList opened;
  form->OpenUrl = [&](const QString& url) { opened << url; };
  emit form->Label41->linkActivated(QString());
  EXPECT_EQ(opened, QStringList{QString::fromLatin1(TFormModbus::kUpdatePage)});
}

TEST_F(WindowTest, CloseWithdrawsTheSignalOfTheTitlesNameAndPauses) {
  form->setWindowTitle(QStringLiteral("Oven : Karvo Temp"));
  WriteRegistryString(L"FS_Oven", L"2");
  Close();
  EXPECT_EQ(ReadRegistryString(L"FS_Oven"), L"0");
  EXPECT_EQ(pauses, std::vector<std::uint32_t>{2000});
}

}  // namespace
}  // namespace karvo::test
