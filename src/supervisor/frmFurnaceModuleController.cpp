// Start and Stop, the port list, and the "Controller settings" and "Debug"
// pages.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <filesystem>

#include "common/Seams.h"
#include "common/Text.h"
#include "furnace/ReadCycle.h"
#include "modbus/Registers.h"
#include "serial/ComPortCatalogue.h"
#include "supervisor/ControllerTools.h"
#include "supervisor/Formats.h"
#include "supervisor/frmFurnaceModule.h"
#include "supervisor/frmFurnaceModuleBusy.h"

namespace karvo {

void TFormModbus::ListComPort() {
  ComboBoxModbusPort->clear();
  const TComPortCatalogue catalogue;
  for (const std::string& name : TSupervisor::ComPortList(catalogue))
    ComboBoxModbusPort->addItem(QString::fromStdWString(SystemToWide(name)));
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
      OfferProgramRestore();
      Timer1->start();
      ButtonCreateFurnaceModule->setText(QStringLiteral("Stop"));
      PageControl1->show();
      return;
  }
}

namespace {

// No tick while a start-up question is open: a modal box runs a nested
// event loop, and a tick in it would poll, consume and write the run's
// files before the operator has answered. Timer1 runs again afterwards
// when it ran before.
class TNoTickDuring {
 public:
  explicit TNoTickDuring(QTimer& timer) : fTimer(timer), fWasActive(timer.isActive()) { fTimer.stop(); }
  ~TNoTickDuring() {
    if (fWasActive) fTimer.start();
  }
  TNoTickDuring(const TNoTickDuring&) = delete;
  TNoTickDuring& operator=(const TNoTickDuring&) = delete;

 private:
  QTimer& fTimer;
  bool fWasActive;
};

}  // namespace

void TFormModbus::OfferPreviousRun() {
  const TNoTickDuring noTick(*Timer1);
  std::optional<TPreviousRun> run = Supervisor->TakeUnclosedRun();
  if (!run || !AskYesNo(Supervisor->LoadRunQuestion(*run))) return;
  Supervisor->LoadRun(*run);
  // The run goes on under its furnace's name.
  EditFurnaceName->setText(QString::fromStdWString(run->Files.Furnace));
  setWindowTitle(QString::fromStdWString(TitleForFurnace(run->Files.Furnace)));
}

void TFormModbus::OfferProgramRestore() {
  const TNoTickDuring noTick(*Timer1);
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
  const std::optional<int> type = ThermocoupleIndexOf(WideToSystem(ComboBoxThermocouple->currentText().toStdWString()));
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
