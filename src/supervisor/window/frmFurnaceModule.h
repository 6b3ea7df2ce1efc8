#pragma once
// The main window FormModbus (class TFormModbus): every control of the
// program, the supervisor timer Timer1 and the chart. A thin adapter over
// the supervisor library (supervisor/Supervisor.h): each handler reads its
// controls, calls the logic and shows the result.
//
// Every control is a public member under its name, and its Qt object name
// is that name, so tests and accessibility tools find it. The handlers keep
// their names too; each event reaches its handler through Guarded, so an
// error that escapes a handler is shown to the operator with the offer of a
// report instead of ending the program.
//
// The source is split by concern: frmFurnaceModule.cpp (creation, regions,
// the close), frmFurnaceModuleStatus.cpp and frmFurnaceModulePages*.cpp
// (layout), frmFurnaceModuleTick.cpp (Timer1), frmFurnaceModuleController.cpp
// (Start/Stop, controller settings, debug tools), frmFurnaceModuleCommands.cpp
// (operator commands) and frmFurnaceModuleExport.cpp (the "Save" page).

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chart/RtFloatEdit.h"
#include "chart/RtGraph2D.h"
#include "chart/RtIntegerEdit.h"
#include "supervisor/logic/Commands.h"
#include "supervisor/logic/SaveDialog.h"
#include "supervisor/logic/Supervisor.h"
#include "supervisor/mainchart/RtMainChart.h"
#include "supervisor/window/LogView.h"
#include "supervisor/window/Pages.h"
#include "widgets/LedLamp.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTabWidget;
class QTimer;

namespace karvo {

class TFormModbus : public QWidget {
  Q_OBJECT

 public:
  explicit TFormModbus(QWidget* parent = nullptr);
  ~TFormModbus() override;

  // ---- Regions
  QFrame* Panel1 = nullptr;        // upper panel
  QFrame* Panel2 = nullptr;        // setup, status, pages
  QFrame* Panel3 = nullptr;        // instructions and log
  QSplitter* Splitter1 = nullptr;  // between Panel2 and Panel3
  QSplitter* Splitter2 = nullptr;  // between the upper panel and the chart
  QSplitter* Splitter3 = nullptr;  // between MemoInstructions and MemoLog
  QPlainTextEdit* MemoInstructions = nullptr;
  TLogView* MemoLog = nullptr;
  // What the operator must see until it clears (a journal behind, a store
  // that refuses a value, a log folder that takes no lines), above the log;
  // hidden while nothing is raised.
  QLabel* LabelAttention = nullptr;
  // How far the reading of run journals at program start is (hidden
  // otherwise).
  QProgressBar* ProgressBarJournal = nullptr;
  TRtGraph2D* RtGraph2D1 = nullptr;

  // ---- "Setup"
  QGroupBox* GroupBox2 = nullptr;
  QLabel* Label5 = nullptr;
  QComboBox* ComboBoxModbusPort = nullptr;
  QPushButton* ButtonCreateFurnaceModule = nullptr;

  // ---- "Status"
  QGroupBox* GroupBox1 = nullptr;
  QLabel *Label8 = nullptr, *Label9 = nullptr, *Label10 = nullptr, *Label1 = nullptr, *Label43 = nullptr,
         *Label19 = nullptr, *Label44 = nullptr, *Label3 = nullptr, *Label45 = nullptr, *Label29 = nullptr,
         *Label42 = nullptr, *Label47 = nullptr;
  TLedLamp *LedOscilation = nullptr, *LedSlope = nullptr, *LedTime = nullptr;
  TRtDoubleEdit* RtDoubleEditTemperatureReadOnly = nullptr;
  TRtIntegerEdit* RtIntegerEditTargetSetpointReadOnly = nullptr;
  TRtIntegerEdit* RtIntegerEditWorkingSetPointReadOnly = nullptr;
  TRtIntegerEdit* RtIntegerEditRampRateReadOnly = nullptr;
  TRtDoubleEdit* RtDoubleEditRateOfChangeReadOnly = nullptr;

  // ---- Pages
  QTabWidget* PageControl1 = nullptr;
  QWidget *TabSheet1 = nullptr, *TabSheet2 = nullptr, *TabSheet3 = nullptr, *TabSheet4 = nullptr, *TabSheet6 = nullptr,
          *TabSheet5 = nullptr, *TabSheet7 = nullptr, *About = nullptr;

  // Page 0, "Quick control".
  QLabel *Label25 = nullptr, *Label2 = nullptr, *Label4 = nullptr;
  TRtIntegerEdit* RtIntegerEditTargetSetpoint = nullptr;
  TRtIntegerEdit* RtIntegerEditRampRate = nullptr;
  QPushButton* ButtonUpdateQuick = nullptr;
  QPlainTextEdit* Memo1 = nullptr;

  // Page 1, "Instructions".
  QLabel* Label16 = nullptr;
  QLineEdit* EditFurnaceName = nullptr;
  QPushButton* ButtonFurnaceNameSave = nullptr;
  QGroupBox* GroupBox6 = nullptr;
  QLabel *Label30 = nullptr, *Label31 = nullptr, *Label32 = nullptr, *Label33 = nullptr, *Label34 = nullptr,
         *Label35 = nullptr;
  TRtIntegerEdit *RtIntegerEditProgramSegment = nullptr, *RtIntegerEditProgramSetpoint = nullptr,
                 *RtIntegerEditProgramRampRate = nullptr, *RtIntegerEditProgramDays = nullptr,
                 *RtIntegerEditProgramHours = nullptr, *RtIntegerEditProgramMinutes = nullptr;
  QPushButton* ButtonInstructionsDelete = nullptr;
  QPushButton* ButtonInstructionsSave = nullptr;
  QPlainTextEdit* Memo2 = nullptr;

  // Page 2, "Stability settings".
  QLabel *Label12 = nullptr, *Label13 = nullptr, *Label11 = nullptr, *Label6 = nullptr, *Label17 = nullptr,
         *Label18 = nullptr, *Label14 = nullptr, *Label15 = nullptr;
  TRtIntegerEdit* RtIntegerEditStableTemperature = nullptr;
  TRtIntegerEdit* RtIntegerEditStableSlopeTime = nullptr;
  TRtDoubleEdit* RtDoubleEditMaxRateOfChange = nullptr;
  TRtIntegerEdit* RtIntegerEditMinimumSteadyTime = nullptr;

  // Page 3, "Graph settings".
  QGroupBox* GroupBox3 = nullptr;
  QRadioButton* RadioButton2 = nullptr;  // "Show all data"
  QRadioButton* RadioButton1 = nullptr;  // "Hours"
  TRtDoubleEdit* RtDoubleEditTimeAxisMax = nullptr;
  QLabel* Label46 = nullptr;
  TRtIntegerEdit* RtIntegerEditMinTemp = nullptr;
  QCheckBox *CheckBoxLegendVisible = nullptr, *CheckBoxTargetSetpointVisible = nullptr,
            *CheckBoxWorkingSetpointVisible = nullptr, *CheckBoxWorkingOutputVisible = nullptr;

  // Page 4, "Save".
  QPushButton *ButtonSaveGraphBMP = nullptr, *ButtonSaveGraphPNG = nullptr, *ButtonSaveTextFile = nullptr,
              *ButtonClearAllData = nullptr;

  // Page 5, "Controller settings".
  QGroupBox* GroupBox8 = nullptr;
  QLabel *Label20 = nullptr, *Label21 = nullptr, *Label22 = nullptr;
  TRtIntegerEdit *RtIntegerEditProportional = nullptr, *RtIntegerEditIntegral = nullptr,
                 *RtIntegerEditDerivate = nullptr;
  QGroupBox* GroupBox7 = nullptr;
  QCheckBox* CheckBoxEnableVaryingMaximumOutput = nullptr;
  QLabel *Label36 = nullptr, *Label37 = nullptr, *Label38 = nullptr;
  TRtIntegerEdit *RtIntegerEditTransitionTemperature = nullptr, *RtIntegerEditHighPower = nullptr,
                 *RtIntegerEditLowPower = nullptr;
  QLabel* Label7 = nullptr;
  QComboBox* ComboBoxThermocouple = nullptr;
  QPushButton *ButtonProgrammerOff = nullptr, *ButtonSetProgrammerMode = nullptr;
  QLabel* Label48 = nullptr;

  // Page 6, "Debug".
  QLabel* Label24 = nullptr;
  QGroupBox* GroupBox4 = nullptr;
  QLabel* Label23 = nullptr;
  TRtIntegerEdit* RtIntegerEditRead32 = nullptr;
  QPushButton* ButtonRead = nullptr;
  QLabel* Label28 = nullptr;
  QGroupBox* GroupBox5 = nullptr;
  QLabel *Label26 = nullptr, *Label27 = nullptr;
  TRtIntegerEdit *RtIntegerEditWriteToAddress = nullptr, *RtIntegerEditWriteValue = nullptr;
  QPushButton* ButtonWrite = nullptr;
  QCheckBox* CheckBoxVerboseLog = nullptr;
  QPushButton* ButtonSaveFurnaceInfo = nullptr;

  // Page 7, "About".
  QLabel *Label39 = nullptr, *Label40 = nullptr, *Label41 = nullptr;

  // MemoLog keeps this many of the newest lines; every line also goes to
  // the day's log file.
  static constexpr int kMemoLogLines = 200000;
  // Asked after "Clear all data" while a run is journaled.
  static constexpr const char* kNewRunFileQuestion =
      "The run journal keeps the cleared data. Start a new run file for the data from now on? (No: the run goes on "
      "in its file.)";
  // How long the close waits for running polls to end.
  static constexpr std::uint32_t kReadCycleShutdownLimitMs = 15000;

  // ---- Non-visual members
  QTimer* Timer1 = nullptr;  // the supervisor tick
  // Shows the raised attention conditions whenever they change.
  QTimer* AttentionTimer = nullptr;
  void RefreshAttention();
  TSaveDialog SaveDialog1;
  std::unique_ptr<TSupervisor> Supervisor;
  TRtMainChart* Chart = nullptr;  // the supervisor's: the chart's axes, series and legend

  // The one furnace module; null while no furnace is operated.
  TFurnaceModule* FurnaceModule() const { return Supervisor->FurnaceModule(); }
  // The furnace name the window title carries (the title less " : Karvo Temp").
  std::wstring SavedFurnaceName() const;
  // Called after each tick has been shown (the status server's feed).
  std::function<void(const TTickOutcome&)> TickShown;
  // How "Check for update" opens its page (tests replace it).
  std::function<void(const QString& url)> OpenUrl;
  static const char* const kUpdatePage;

  // ---- Handlers (events of the window and its controls)
  void FormCreate();
  void FormCloseQuery(bool& CanClose);
  void Timer1Timer();
  void ListComPort();
  void ButtonCreateFurnaceModuleClick();
  void ReadFurnace();
  void PageControl1Change();
  void ButtonUpdateQuickClick();
  void ButtonFurnaceNameSaveClick();
  void ButtonInstructionsSaveClick();
  void ButtonInstructionsDeleteClick();
  void RtIntegerEditProgramSegmentClick(TRtIntegerEdit* Sender);
  void RtIntegerEditProgramSegmentKeyDown(int Key);
  void RtIntegerEditProgramRampRateKeyUp(TRtIntegerEdit* Sender, int Key);
  void RtIntegerEditStableSlopeTimeValueChanged();
  void ButtonSaveGraphBMPClick();
  void ButtonSaveGraphPNGClick();
  void ButtonSaveTextFileClick();
  void ButtonClearAllDataClick();
  void ComboBoxThermocoupleChange();
  void CheckBoxEnableVaryingMaximumOutputClick();
  void ButtonSetProgrammerModeClick();
  void ButtonProgrammerOffClick();
  void ButtonReadClick();
  void ButtonWriteClick();
  void ButtonSaveFurnaceInfoClick();
  void Label41Click();
  // Once the window is first shown: when the last run did not end cleanly,
  // asks whether to load its data into the chart.
  void OfferPreviousRun();

  // Runs an event's handler; an error that escapes it is shown with the
  // offer of a report, and the program goes on.
  void Guarded(const std::function<void()>& handler);
  // Timer1's slot: an error of the tick is logged and its report shown
  // after the slot has returned, one at a time, so that the tick goes on
  // while the report waits for the operator.
  void GuardedTick();
  // Whether a handler runs now (possibly waiting in a dialog or letting
  // events through); a close from outside waits for it to end.
  bool HandlerUnderWay() const { return fHandlers > 0; }
  // Whether the close sequence has run to its end.
  bool Closed() const { return fClosed; }

  // What the tick reads from the controls.
  TTickSettings TickSettings() const;
  // The port list's selected entry, if any (UTF-8).
  std::optional<std::string> SelectedPort() const;

  // Design pixels (96 dpi, Tahoma 8 pt) in this window's font.
  int Dx(int designPixels) const;

 signals:
  // The close has shut the read cycle down: nothing calls the window from
  // another thread any more.
  void ReadCycleShutDown();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Layout (frmFurnaceModule.cpp, frmFurnaceModuleStatus.cpp and
  // frmFurnaceModulePages*.cpp).
  void BuildRegions();
  QWidget* BuildSetupBox(QWidget* parent);
  QWidget* BuildStatusBox(QWidget* parent);
  void BuildPages();
  QWidget* BuildQuickControlPage();
  QWidget* BuildInstructionsPage();
  QWidget* BuildStabilityPage();
  QWidget* BuildGraphSettingsPage();
  QWidget* BuildSavePage();
  QWidget* BuildControllerSettingsPage();
  QWidget* BuildDebugPage();
  QWidget* BuildAboutPage();
  void BindEvents();
  void ApplyDesignSizes();

  // Controls made by the layout: a new widget of type W under `parent`,
  // with its object name.
  template <class W, class... Args>
  W* Make(const char* name, QWidget* parent, Args&&... args);
  QLabel* MakeLabel(const char* name, QWidget* parent, const QString& text, bool rightAligned = false);
  TRtIntegerEdit* MakeIntegerEdit(const char* name, QWidget* parent, int designWidth, int min, int max, int value);
  TRtDoubleEdit* MakeDoubleEdit(const char* name, QWidget* parent, int designWidth);
  QPushButton* MakeButton(const char* name, QWidget* parent, const QString& caption, int designWidth);

  // Start and Stop (frmFurnaceModuleController.cpp).
  void Start();
  void Stop();
  void ShowInitialValues(const TInitialValues& values);
  // The thermocouple box shows item `index` (-1: none).
  void ShowThermocouple(int index);
  // Shows a tick's outcome (frmFurnaceModuleTick.cpp).
  void ShowTickOutcome(const TTickOutcome& outcome);
  // The segment editors and the instructions table
  // (frmFurnaceModuleCommands.cpp).
  TSegmentEditors SegmentEditors() const;
  void ShowSegmentEditors(const TSegmentEditors& editors);
  void ShowInstructionsTable(int Highlighted);
  void ShowInstructionsLines(const std::vector<std::string>& table);
  // At Start (and when the name is saved): offers the program of the
  // furnace's unexpectedly ended run.
  void OfferProgramRestore();
  void OfferRunContinuation();
  void OfferFoundRuns(TSupervisor::TUnclosedRuns& found, const std::string& error);
  void ReadPickedRun(const TRunFiles& files);
  void ShowLoadedRun(TPreviousRun& run);
  void ShowReadingProgress(std::uint64_t done, std::uint64_t total);
  void EndStartupReading();

  // The controller's thermocouple type as read at Start and changed since
  // (-1: none of the items); the box goes back to it when the operator
  // does not confirm a change.
  int fControllerThermocouple = 0;
  bool fClosing = false;
  bool fClosed = false;
  bool fTickReportShown = false;
  int fHandlers = 0;  // handlers under way (Guarded)
  bool fShown = false;
  bool fSplitterMoved[3] = {false, false, false};
  std::uint64_t fAttentionShown = 0;
  // The run journals read at program start; Timer1 and Start wait for the
  // answers (fTickBeforeReading: Timer1 ran before).
  TLoadingThread fLoading;
  bool fStartupReading = false;
  bool fTickBeforeReading = false;
};

// The texts of the two ramp-rate notes.
QString RampRateNote();
QString RampRateNoteWithProgramLine();

}  // namespace karvo
