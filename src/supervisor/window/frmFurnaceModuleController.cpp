// Start and Stop, the port list, and the "Controller settings" and "Debug"
// pages.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTimer>
#include <filesystem>
#include <memory>

#include "common/Log.h"
#include "common/Seams.h"
#include "furnace/ReadCycle.h"
#include "modbus/Registers.h"
#include "serial/ComPortCatalogue.h"
#include "supervisor/logic/ControllerTools.h"
#include "supervisor/logic/Formats.h"
#include "supervisor/logic/WindowTitle.h"
#include "supervisor/window/frmFurnaceModule.h"
#include "supervisor/window/frmFurnaceModuleBusy.h"

namespace karvo {

void TFormModbus::ListComPort() {
  ComboBoxModbusPort->clear();
  const TComPortCatalogue catalogue;
  for (const std::string& name : TSupervisor::ComPortList(catalogue))
    ComboBoxModbusPort->addItem(QString::fromStdString(name));
  // The operator has to pick one.
  ComboBoxModbusPort->setCurrentIndex(-1);
}

void TFormModbus::ButtonCreateFurnaceModuleClick() {
  if (ButtonCreateFurnaceModule->text() == QStringLiteral("Start")) {
    Start();
  } else {
    Stop();
  }
}

void TFormModbus::Start() {
  ComboBoxModbusPort->setEnabled(false);
  // A record or a poll from before Start (another run, perhaps another
  // port) is never consumed after it.
  RenewReadResult(ReadResult);
  const TStartResult result = Supervisor->Start(SelectedPort());
  switch (result.Outcome) {
    case TStartOutcome::NoPort:
      return;
    case TStartOutcome::NoController:
    case TStartOutcome::ReadFailed:
      ComboBoxModbusPort->setEnabled(true);
      Timer1->stop();
      return;
    case TStartOutcome::Connected:
      ShowInitialValues(result.Values);
      // Asked before the tick runs.
      OfferRunContinuation();
      OfferProgramRestore();
      Timer1->start();
      ButtonCreateFurnaceModule->setText(QStringLiteral("Stop"));
      PageControl1->show();
      return;
  }
}

// The runs that did not end cleanly are looked for and read on a thread of
// their own (their journals may hold a million samples); the window stays
// responsive and shows how far the reading is. Timer1 and Start wait until
// the operator has answered, so nothing is journaled before.
void TFormModbus::OfferPreviousRun() {
  if (fStartupReading) return;
  fStartupReading = true;
  fTickBeforeReading = Timer1->isActive();
  Timer1->stop();
  ButtonCreateFurnaceModule->setEnabled(false);
  ProgressBarJournal->setFormat(QStringLiteral("Looking through the runs that ended unexpectedly: %p %"));
  // A reading that cannot start leaves the window as it was.
  auto notStarted = qScopeGuard([this] { EndStartupReading(); });
  auto found = std::make_shared<TSupervisor::TUnclosedRuns>();
  fLoading.Start(
      [found, regional = Supervisor->JournalRegional()](const TReadProgress& progress) {
        *found = TSupervisor::FindUnclosedRuns(regional, progress);
      },
      [this](std::uint64_t done, std::uint64_t total) { ShowReadingProgress(done, total); },
      [this, found](const std::string& error) {
        // Answered outside the hand-off: the reading thread is let end.
        QTimer::singleShot(0, this, [this, found, error] { Guarded([&] { OfferFoundRuns(*found, error); }); });
      });
  notStarted.dismiss();
}

void TFormModbus::ShowReadingProgress(std::uint64_t done, std::uint64_t total) {
  ProgressBarJournal->setRange(0, 1000);
  ProgressBarJournal->setValue(total == 0 ? 1000 : static_cast<int>(done * 1000 / total));
  ProgressBarJournal->show();
}

void TFormModbus::EndStartupReading() {
  if (!fStartupReading) return;
  fStartupReading = false;
  ProgressBarJournal->hide();
  ButtonCreateFurnaceModule->setEnabled(true);
  if (fTickBeforeReading && !fClosing && !fClosed) Timer1->start();
}

void TFormModbus::OfferFoundRuns(TSupervisor::TUnclosedRuns& found, const std::string& error) {
  bool readingOn = false;  // the picked run is being read
  const auto done = qScopeGuard([&] {
    if (!readingOn) EndStartupReading();
  });
  if (!error.empty()) {
    const std::string said = "The runs that ended unexpectedly cannot be looked through: " + error;
    LogLine();
    LogLine(said);
    ShowMessage(said);
    return;
  }
  if (found.Only) {
    TPreviousRun& run = *found.Only;
    // A journal that cannot be read is said, not offered.
    const bool load = !run.Contents.Error.empty() || AskYesNo(Supervisor->LoadRunQuestion(run));
    Supervisor->RunAnswered(run);
    if (load) ShowLoadedRun(run);
    return;
  }
  if (found.Runs.empty()) return;
  const int picked = AskListChoice(Supervisor->RunChoice(found.Runs));
  if (picked < 0 || picked >= static_cast<int>(found.Runs.size())) {
    LogLine();
    LogLine(std::to_string(found.Runs.size()) +
            " runs that ended unexpectedly are kept; they are offered again at the next start.");
    return;
  }
  ReadPickedRun(found.Runs[static_cast<std::size_t>(picked)].Files);
  readingOn = true;
}

void TFormModbus::ReadPickedRun(const TRunFiles& files) {
  ProgressBarJournal->setFormat(QStringLiteral("Reading the run journal of ") + QString::fromStdWString(files.Furnace) +
                                QStringLiteral(": %p %"));
  ShowReadingProgress(0, 1);
  auto run = std::make_shared<TPreviousRun>();
  fLoading.Start([run, files, regional = Supervisor->JournalRegional()](
                     const TReadProgress& progress) { *run = TSupervisor::ReadPreviousRun(files, regional, progress); },
                 [this](std::uint64_t done, std::uint64_t total) { ShowReadingProgress(done, total); },
                 [this, run](const std::string& error) {
                   QTimer::singleShot(0, this, [this, run, error] {
                     const auto done = qScopeGuard([this] { EndStartupReading(); });
                     Guarded([&] {
                       if (!error.empty()) run->Contents.Error = error;
                       Supervisor->RunAnswered(*run);
                       ShowLoadedRun(*run);
                     });
                   });
                 });
}

void TFormModbus::ShowLoadedRun(TPreviousRun& run) {
  if (const std::string refused = Supervisor->LoadRun(run); !refused.empty()) {
    ShowMessage(refused);
    return;
  }
  // The run goes on under its furnace's name.
  EditFurnaceName->setText(QString::fromStdWString(run.Files.Furnace));
  setWindowTitle(QString::fromStdWString(TitleForFurnace(run.Files.Furnace)));
}

// After a Stop, the data in the chart belong to the run Stop ended: the
// operator chooses whether they go on in its journal file.
void TFormModbus::OfferRunContinuation() {
  const std::optional<TRunFiles> ended = Supervisor->Journal.EndedRun();
  if (!ended || ended->Furnace != SavedFurnaceName() || Supervisor->Measurements().Count() == 0) return;
  const TTimerOff noTick(*this, TTimerOff::kAsBefore);
  if (!AskYesNo(TSupervisor::ContinueRunQuestion(ended->Furnace), "Start")) return;
  Supervisor->Journal.ContinueEndedRun();
  LogLine();
  LogLine("The run journal goes on in the file of the last run.");
}

void TFormModbus::OfferProgramRestore() {
  const TTimerOff noTick(*this, TTimerOff::kAsBefore);
  const std::wstring furnace = SavedFurnaceName();
  std::string refused;
  const auto segments = Supervisor->TakeProgramToRestore(furnace, &refused);
  // Expected at Start: a program that cannot be restored is said where the
  // operator looks.
  if (!refused.empty()) ShowMessage(refused);
  if (!segments || !AskYesNo(TSupervisor::RestoreProgramQuestion(furnace, *segments))) return;
  Supervisor->RestoreProgram(*segments);
  const int current = FurnaceModule()->InstructionsCurrentSegment();
  if (current > 0) ShowSegmentEditors(EditorsFor(current, FurnaceModule()->GetInstruction(current)));
  if (PageControl1->currentIndex() != static_cast<int>(TPageIndex::QuickControl)) ShowInstructionsTable(current);
}

void TFormModbus::ShowInitialValues(const TInitialValues& v) {
  RtDoubleEditTemperatureReadOnly->SetValue(v.Temperature);
  RtIntegerEditTargetSetpointReadOnly->SetValue(v.TargetSetpoint);
  RtIntegerEditTargetSetpoint->SetValue(v.TargetSetpoint);
  RtIntegerEditWorkingSetPointReadOnly->SetValue(v.WorkingSetpoint);
  RtIntegerEditProportional->SetValue(v.Proportional);
  RtIntegerEditIntegral->SetValue(v.Integral);
  RtIntegerEditDerivate->SetValue(v.Derivate);
  RtIntegerEditRampRate->SetValue(v.RampRate);
  // A value outside the list's items leaves the box without selection.
  fControllerThermocouple = v.Thermocouple >= 0 && v.Thermocouple < ComboBoxThermocouple->count() ? v.Thermocouple : -1;
  ShowThermocouple(fControllerThermocouple);
  // The controller's setpoint limits, in this order.
  RtIntegerEditTargetSetpoint->SetMinValue(v.SetpointLow);
  RtIntegerEditProgramSetpoint->SetMinValue(v.SetpointLow);
  RtIntegerEditTargetSetpoint->SetMaxValue(v.SetpointHigh);
  RtIntegerEditProgramSetpoint->SetMaxValue(v.SetpointHigh);
  RtIntegerEditTransitionTemperature->SetMinValue(v.SetpointLow);
  RtIntegerEditTransitionTemperature->SetMaxValue(v.SetpointHigh);
}

void TFormModbus::Stop() {
  PageControl1->hide();
  ComboBoxModbusPort->setEnabled(true);
  Timer1->stop();
  ButtonCreateFurnaceModule->setText(QStringLiteral("Start"));
  // The record waiting and the polls in flight are dropped.
  RenewReadResult(ReadResult);
  Supervisor->Stop(SavedFurnaceName());
}

void TFormModbus::CheckBoxEnableVaryingMaximumOutputClick() {
  if (CheckBoxEnableVaryingMaximumOutput->isChecked())
    ShowMessage(
        "Do not exceed the maximum power output setting specified in your furnace manual. If you do not know the "
        "value, leave this feature off.");
}

void TFormModbus::ComboBoxThermocoupleChange() {
  TFurnaceModule* module = FurnaceModule();
  if (!module) return;
  const std::optional<int> type = ThermocoupleIndexOf(ComboBoxThermocouple->currentText().toStdString());
  // A choice of the type the controller has is no change (the box reports
  // one again when Enter confirms a typed type).
  if (type && *type == fControllerThermocouple && ComboBoxThermocouple->currentIndex() == *type) return;
  const TTimerOff timerOff(*this);
  const TThermocoupleResult result =
      ChangeThermocoupleType(*module->Com(), type, [this](bool enabled) { setEnabled(enabled); });
  if (result.Outcome == TThermocoupleChange::Declined) {
    ShowThermocouple(fControllerThermocouple);  // back to the controller's type
  } else if (result.Outcome != TThermocoupleChange::NoType) {
    // The box shows what the controller holds as read back; unknown (empty)
    // when the read failed, so that any choice is tried again.
    const std::int32_t held = result.ControllerType.value_or(-1);
    fControllerThermocouple = held >= 0 && held < ComboBoxThermocouple->count() ? held : -1;
    ShowThermocouple(fControllerThermocouple);
  }
}

void TFormModbus::ShowThermocouple(int index) {
  ComboBoxThermocouple->setCurrentIndex(index);
  ComboBoxThermocouple->setEditText(index >= 0 ? ComboBoxThermocouple->itemText(index) : QString());
}

void TFormModbus::ButtonSetProgrammerModeClick() {
  TFurnaceModule* module = FurnaceModule();
  if (!module) return;
  const TTimerOff timerOff(*this);
  SetProgrammerMode(*module->Com(), static_cast<std::int32_t>(reg::ProgrammerManual));
}

void TFormModbus::ButtonProgrammerOffClick() {
  TFurnaceModule* module = FurnaceModule();
  if (!module) return;
  const TTimerOff timerOff(*this);
  SetProgrammerMode(*module->Com(), static_cast<std::int32_t>(reg::ProgrammerOff));
}

// The register read and write rely on the Debug page keeping the tick idle.
void TFormModbus::ButtonReadClick() {
  if (TFurnaceModule* module = FurnaceModule())
    ReadRegisters(*module->Com(), static_cast<std::uint32_t>(RtIntegerEditRead32->Value()));
}

void TFormModbus::ButtonWriteClick() {
  if (TFurnaceModule* module = FurnaceModule())
    WriteRegister(*module->Com(), static_cast<std::uint32_t>(RtIntegerEditWriteToAddress->Value()),
                  static_cast<std::uint32_t>(RtIntegerEditWriteValue->Value()));
}

void TFormModbus::ButtonSaveFurnaceInfoClick() {
  if (!FurnaceModule()) return;
  const TTimerOff timerOff(*this);
  // The busy cursor, shown before the wait begins; the normal one comes
  // back also when the file cannot be written.
  const TBusyCursor busy;
  // Looked up after the events the busy cursor let run.
  TFurnaceModule* module = FurnaceModule();
  if (!module) return;
  SaveFurnaceInfo(*module->Com(), std::filesystem::current_path() / kFurnaceInfoFile);
}

}  // namespace karvo
