// Accessible names and descriptions of the main window's controls.
#include "supervisor/window/WindowAccessibility.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>

#include "supervisor/window/frmFurnaceModule.h"

namespace karvo {

namespace {

// The label's text without the accelerator mark.
QString Plain(const QLabel* label) { return label->text().remove(QLatin1Char('&')); }

void Name(QWidget* control, const QString& name, const QString& description = {}) {
  control->setAccessibleName(name);
  if (!description.isEmpty()) control->setAccessibleDescription(description);
}

// The control is named by `label`, which becomes its buddy.
void NameBy(QWidget* control, QLabel* label, const QLabel* unit = nullptr) {
  Name(control, Plain(label), unit ? Plain(unit) : QString());
  label->setBuddy(control);
}

}  // namespace

void NameControlsForAccessibility(TFormModbus& f) {
  // "Setup" and "Status".
  NameBy(f.ComboBoxModbusPort, f.Label5);
  NameBy(f.RtDoubleEditTemperatureReadOnly, f.Label1, f.Label43);
  NameBy(f.RtIntegerEditTargetSetpointReadOnly, f.Label19, f.Label44);
  NameBy(f.RtIntegerEditWorkingSetPointReadOnly, f.Label3, f.Label45);
  NameBy(f.RtIntegerEditRampRateReadOnly, f.Label29);
  NameBy(f.RtDoubleEditRateOfChangeReadOnly, f.Label42, f.Label47);
  Name(f.Label10, Plain(f.Label9), QStringLiteral("hours:minutes:seconds the furnace has been stable"));
  const struct {
    TLedLamp* lamp;
    const char* description;
  } lamps[] = {
      {f.LedOscilation,
       "First stability lamp: lit while the temperature stays within the maximum temperature oscillation of the "
       "target setpoint"},
      {f.LedSlope, "Second stability lamp: lit while the rate of change stays below the maximum rate of change"},
      {f.LedTime, "Third stability lamp: lit once the first two have been lit for the minimum steady time"},
  };
  for (const auto& l : lamps) Name(l.lamp, l.lamp->Hint(), QString::fromLatin1(l.description));

  // "Quick control" and "Instructions".
  NameBy(f.RtIntegerEditTargetSetpoint, f.Label2);
  NameBy(f.RtIntegerEditRampRate, f.Label4);
  Name(f.Memo1, QStringLiteral("Ramp rate note"));
  NameBy(f.EditFurnaceName, f.Label16);
  NameBy(f.RtIntegerEditProgramSegment, f.Label30);
  NameBy(f.RtIntegerEditProgramSetpoint, f.Label31);
  NameBy(f.RtIntegerEditProgramRampRate, f.Label32);
  NameBy(f.RtIntegerEditProgramDays, f.Label33);
  NameBy(f.RtIntegerEditProgramHours, f.Label34);
  NameBy(f.RtIntegerEditProgramMinutes, f.Label35);
  Name(f.Memo2, QStringLiteral("Ramp rate note"));

  // "Stability settings": the label on the right names the lamp it drives.
  NameBy(f.RtIntegerEditStableTemperature, f.Label12, f.Label13);
  NameBy(f.RtIntegerEditStableSlopeTime, f.Label11, f.Label6);
  NameBy(f.RtDoubleEditMaxRateOfChange, f.Label17, f.Label18);
  NameBy(f.RtIntegerEditMinimumSteadyTime, f.Label14, f.Label15);

  // "Graph settings".
  Name(f.RtDoubleEditTimeAxisMax, f.RadioButton1->text().remove(QLatin1Char('&')));
  NameBy(f.RtIntegerEditMinTemp, f.Label46);

  // "Controller settings" and "Debug".
  NameBy(f.RtIntegerEditProportional, f.Label20);
  NameBy(f.RtIntegerEditIntegral, f.Label21);
  NameBy(f.RtIntegerEditDerivate, f.Label22);
  NameBy(f.RtIntegerEditTransitionTemperature, f.Label36);
  NameBy(f.RtIntegerEditHighPower, f.Label37);
  NameBy(f.RtIntegerEditLowPower, f.Label38);
  NameBy(f.ComboBoxThermocouple, f.Label7);
  NameBy(f.RtIntegerEditRead32, f.Label23);
  NameBy(f.RtIntegerEditWriteToAddress, f.Label26);
  NameBy(f.RtIntegerEditWriteValue, f.Label27);

  // The instructions table, the log and the chart.
  Name(f.MemoInstructions, QStringLiteral("Instructions"));
  Name(f.MemoLog, QStringLiteral("Program log"));
  Name(f.ProgressBarJournal, QStringLiteral("Reading of run journals"));
  Name(f.RtGraph2D1, QStringLiteral("Chart"),
       QStringLiteral("Measured temperature and setpoints against time; \"Save graph as PNG image\" keeps a copy"));
}

}  // namespace karvo
