// Timer1: the supervisor tick, and the start of a poll.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include "furnace/ReadCycle.h"
#include "supervisor/window/frmFurnaceModule.h"

namespace karvo {

std::optional<std::string> TFormModbus::SelectedPort() const {
  if (ComboBoxModbusPort->currentIndex() < 0) return std::nullopt;
  return ComboBoxModbusPort->currentText().toStdString();
}

TTickSettings TFormModbus::TickSettings() const {
  TTickSettings s;
  const int page = PageControl1->currentIndex();
  s.TickPaused = page == static_cast<int>(TPageIndex::Debug);
  s.ProgramMayRun = page != static_cast<int>(TPageIndex::QuickControl);
  s.PollPort = SelectedPort().value_or(std::string());
  s.VerboseLog = CheckBoxVerboseLog->isChecked();
  s.VaryingLimitEnabled = CheckBoxEnableVaryingMaximumOutput->isChecked();
  s.TransitionTemperature = RtIntegerEditTransitionTemperature->Value();
  s.HighPower = RtIntegerEditHighPower->Value();
  s.LowPower = RtIntegerEditLowPower->Value();
  s.ShowAllData = RadioButton2->isChecked();
  s.TimeAxisMaxHours = RtDoubleEditTimeAxisMax->Value();
  s.MinTemp = RtIntegerEditMinTemp->Value();
  s.LegendVisible = CheckBoxLegendVisible->isChecked();
  s.TargetSetpointVisible = CheckBoxTargetSetpointVisible->isChecked();
  s.WorkingSetpointVisible = CheckBoxWorkingSetpointVisible->isChecked();
  s.WorkingOutputVisible = CheckBoxWorkingOutputVisible->isChecked();
  s.StableTemperature = RtIntegerEditStableTemperature->Value();
  s.StableSlopeTime = RtIntegerEditStableSlopeTime->Value();
  s.MaxRateOfChange = RtDoubleEditMaxRateOfChange->Value();
  s.MinimumSteadyTime = RtIntegerEditMinimumSteadyTime->Value();
  s.FurnaceName = EditFurnaceName->text().toStdWString();
  s.SavedFurnaceName = SavedFurnaceName();
  s.ProgramSegment = RtIntegerEditProgramSegment->Value();
  return s;
}

void TFormModbus::Timer1Timer() {
  const TTickOutcome out = Supervisor->Tick(TickSettings(), ReadResult);
  ShowTickOutcome(out);
  if (TickShown) TickShown(out);
}

void TFormModbus::ReadFurnace() { karvo::ReadFurnace(SelectedPort().value_or(std::string())); }

void TFormModbus::ShowTickOutcome(const TTickOutcome& out) {
  if (out.IntervalChanged) Timer1->setInterval(static_cast<int>(Supervisor->State.IntervalMs));
  if (out.Consumed) {
    const TFurnaceReadRecord& r = *out.Consumed;
    RtIntegerEditTargetSetpointReadOnly->SetValue(r.TargetSetpoint);
    RtIntegerEditWorkingSetPointReadOnly->SetValue(r.WorkingSetpoint);
    RtDoubleEditTemperatureReadOnly->SetValue(r.Temperature);
    RtIntegerEditRampRateReadOnly->SetValue(r.RampRate);
  }
  const TTickDisplay& d = out.Display;
  if (d.LedOscilation) LedOscilation->ChangeValue(*d.LedOscilation);
  if (d.LedSlope) LedSlope->ChangeValue(*d.LedSlope);
  if (d.LedTime) LedTime->ChangeValue(*d.LedTime);
  if (d.StableTime) Label10->setText(QString::fromStdString(*d.StableTime));
  if (d.RateOfChange) RtDoubleEditRateOfChangeReadOnly->SetValue(*d.RateOfChange);
  if (d.InstructionsTable) ShowInstructionsLines(*d.InstructionsTable);
}

}  // namespace karvo
