// Start and Stop, the port list, and the "Controller settings" and "Debug"
// pages.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include "common/Seams.h"
#include "common/Text.h"
#include "serial/ComPortCatalogue.h"
#include "supervisor/frmFurnaceModule.h"

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
  const TStartResult result = Supervisor->Start(SelectedPort());
  switch (result.Outcome) {
    case TStartOutcome::NoPort:
      return;
    case TStartOutcome::NoController:
      ComboBoxModbusPort->setEnabled(true);
      Timer1->stop();
      return;
    case TStartOutcome::Connected:
      ShowInitialValues(result.Values);
      Timer1->start();
      ButtonCreateFurnaceModule->setText(QStringLiteral("Stop"));
      PageControl1->show();
      return;
  }
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
  ComboBoxThermocouple->setCurrentIndex(v.Thermocouple < ComboBoxThermocouple->count() ? v.Thermocouple : -1);
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
  Supervisor->Stop(SavedFurnaceName());
}

void TFormModbus::CheckBoxEnableVaryingMaximumOutputClick() {
  if (CheckBoxEnableVaryingMaximumOutput->isChecked())
    ShowMessage(
        "Do not exceed the maximum power output setting specified in your furnace manual. If you do not know the "
        "value, leave this feature off.");
}

// The thermocouple change, the programmer mode and the register tools come
// with the controller-settings change.
void TFormModbus::ComboBoxThermocoupleChange() {}
void TFormModbus::ButtonSetProgrammerModeClick() {}
void TFormModbus::ButtonProgrammerOffClick() {}
void TFormModbus::ButtonReadClick() {}
void TFormModbus::ButtonWriteClick() {}
void TFormModbus::ButtonSaveFurnaceInfoClick() {}

}  // namespace karvo
