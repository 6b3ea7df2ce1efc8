// The window as accessibility tools see it, through Qt's accessibility
// interfaces in process: every control named after the label beside it,
// the lamps with their state, the program log with its text.
#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "window/WindowFixture.h"

namespace karvo::test {
namespace {

QAccessibleInterface* Accessible(QObject* o) {
  QAccessibleInterface* i = QAccessible::queryAccessibleInterface(o);
  EXPECT_NE(i, nullptr) << o->objectName().toStdString();
  return i;
}
// The name a screen reader gives: on Linux Qt names a drop-down after its
// current item and links its label through the "labelled by" relation.
QString NameOf(QObject* o) {
  QAccessibleInterface* i = Accessible(o);
  if (qobject_cast<QComboBox*>(o)) {
    EXPECT_EQ(static_cast<QWidget*>(o)->accessibleName(), [&] {
      for (const auto& [label, relation] : i->relations(QAccessible::Label)) return label->text(QAccessible::Name);
      return QString();
    }()) << o->objectName().toStdString();
    return static_cast<QWidget*>(o)->accessibleName();
  }
  return i->text(QAccessible::Name);
}

TEST_F(WindowTest, EveryControlIsNamedAfterTheLabelTheOperatorReads) {
  const struct {
    const char* control;
    const char* name;
  } cases[] = {
      {"ComboBoxModbusPort", "COM port"},
      {"ButtonCreateFurnaceModule", "Start"},
      {"RtDoubleEditTemperatureReadOnly", "Temperature"},
      {"RtIntegerEditTargetSetpointReadOnly", "Target Setpoint"},
      {"RtIntegerEditWorkingSetPointReadOnly", "Working Setpoint"},
      {"RtIntegerEditRampRateReadOnly", "Ramp Rate"},
      {"RtDoubleEditRateOfChangeReadOnly", "Rate of Change"},
      {"Label10", "Stable time"},
      {"LedOscilation", "Temperature close to target setpoint"},
      {"LedSlope", "Very low rate of change"},
      {"LedTime", "Stable for a while"},
      {"RtIntegerEditTargetSetpoint", "Target Setpoint"},
      {"RtIntegerEditRampRate", "Ramp rate"},
      {"ButtonUpdateQuick", "Update"},
      {"EditFurnaceName", "Furnace name"},
      {"ButtonFurnaceNameSave", "Save"},
      {"RtIntegerEditProgramSegment", "Segment"},
      {"RtIntegerEditProgramSetpoint", "Setpoint"},
      {"RtIntegerEditProgramRampRate", "Ramp rate"},
      {"RtIntegerEditProgramDays", "Dwell days"},
      {"RtIntegerEditProgramHours", "Dwell hours"},
      {"RtIntegerEditProgramMinutes", "Dwell minutes"},
      {"ButtonInstructionsDelete", "Delete"},
      {"ButtonInstructionsSave", "Save"},
      {"RtIntegerEditStableTemperature",
       "Maximum temperature oscilation \xC2\xBA"
       "C"},
      {"RtIntegerEditStableSlopeTime", "Rate of change observation length sec"},
      {"RtDoubleEditMaxRateOfChange",
       "Maximum rate of change \xC2\xBA"
       "C/min"},
      {"RtIntegerEditMinimumSteadyTime", "Minimum steady time min"},
      {"RadioButton2", "Show all data"},
      {"RadioButton1", "Hours"},
      {"RtDoubleEditTimeAxisMax", "Hours"},
      {"RtIntegerEditMinTemp", "Min temp"},
      {"CheckBoxLegendVisible", "Show Legend"},
      {"CheckBoxWorkingOutputVisible", "Show Working Output"},
      {"ButtonSaveGraphPNG", "Save graph as PNG image"},
      {"ButtonClearAllData", "Clear all data"},
      {"RtIntegerEditProportional",
       "Proportional band \xC2\xBA"
       "C"},
      {"RtIntegerEditIntegral", "Integral time sec"},
      {"RtIntegerEditDerivate", "Derivate time sec"},
      {"CheckBoxEnableVaryingMaximumOutput", "Enable"},
      {"RtIntegerEditTransitionTemperature",
       "Transition temperature \xC2\xBA"
       "C"},
      {"RtIntegerEditHighPower", "High power %"},
      {"RtIntegerEditLowPower", "Low power %"},
      {"ComboBoxThermocouple", "Thermocouple"},
      {"ButtonProgrammerOff", "Programmer=off"},
      {"RtIntegerEditRead32", "Read 32 words starting from address"},
      {"ButtonRead", "Read"},
      {"RtIntegerEditWriteToAddress", "Address"},
      {"RtIntegerEditWriteValue", "Value"},
      {"ButtonWrite", "Write"},
      {"CheckBoxVerboseLog", "Verbose log"},
      {"ButtonSaveFurnaceInfo", "Save furnace info"},
      {"MemoInstructions", "Instructions"},
      {"MemoLog", "Program log"},
      {"RtGraph2D1", "Chart"},
  };
  for (const auto& c : cases) {
    QWidget* w = form->findChild<QWidget*>(QString::fromLatin1(c.control));
    ASSERT_NE(w, nullptr) << c.control;
    EXPECT_EQ(NameOf(w).toStdString(), c.name) << c.control;
  }
  // Units are the descriptions of the boxes that have one.
  EXPECT_EQ(Accessible(form->RtDoubleEditTemperatureReadOnly)->text(QAccessible::Description).toStdString(),
            "\xC2\xBA"
            "C");
  EXPECT_EQ(Accessible(form->RtDoubleEditRateOfChangeReadOnly)->text(QAccessible::Description).toStdString(),
            "\xC2\xBA"
            "C/min");

  // No control of any kind is left unnamed.
  for (QWidget* w : form->findChildren<QWidget*>()) {
    if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w) && !qobject_cast<QAbstractButton*>(w) &&
        !qobject_cast<QPlainTextEdit*>(w) && !qobject_cast<TLedLamp*>(w) && !qobject_cast<TLogView*>(w))
      continue;
    if (w->objectName().startsWith(QLatin1String("qt_")) || w->objectName().isEmpty()) continue;
    EXPECT_FALSE(NameOf(w).trimmed().isEmpty()) << w->objectName().toStdString();
  }
}

TEST_F(WindowTest, LampsReportTheirStateAndWhatTheyJudge) {
  TLedLamp* lamp = form->LedSlope;
  QAccessibleInterface* i = Accessible(lamp);
  EXPECT_EQ(i->role(), QAccessible::Indicator);
  EXPECT_FALSE(i->text(QAccessible::Description).isEmpty());
  EXPECT_TRUE(i->text(QAccessible::Description).contains(QLatin1String("rate of change")));
  EXPECT_TRUE(i->state().checkable);
  EXPECT_FALSE(i->state().checked);
  EXPECT_FALSE(i->state().animated);
  EXPECT_EQ(i->text(QAccessible::Value), QStringLiteral("off"));

  lamp->ChangeBlink(true);
  lamp->ChangeValue(true);
  EXPECT_TRUE(i->state().checked);
  EXPECT_TRUE(i->state().animated);
  EXPECT_EQ(i->text(QAccessible::Value), QStringLiteral("blinking"));
  lamp->ChangeBlink(false);
  EXPECT_TRUE(i->state().checked);
  EXPECT_FALSE(i->state().animated);
  EXPECT_EQ(i->text(QAccessible::Value), QStringLiteral("on"));
  lamp->ChangeValue(false);
  EXPECT_FALSE(i->state().checked);
}

TEST_F(WindowTest, TheProgramLogExposesItsText) {
  TLogView* log = form->MemoLog;
  log->SetLines(
      {QStringLiteral("Program log"), QStringLiteral("Temperature : 137.0 \u00baC"), QStringLiteral("Polling failed")});
  QAccessibleInterface* i = Accessible(log);
  EXPECT_TRUE(i->state().readOnly);
  EXPECT_TRUE(i->state().multiLine);
  QAccessibleTextInterface* text = i->textInterface();
  ASSERT_NE(text, nullptr);
  const QString all = log->toPlainText();
  EXPECT_EQ(text->characterCount(), all.size());
  EXPECT_EQ(text->text(0, text->characterCount()), all);
  EXPECT_EQ(text->text(12, 23), QStringLiteral("Temperature"));
  EXPECT_EQ(i->text(QAccessible::Value), all);
  log->AppendLine(QStringLiteral("Stable"));
  EXPECT_TRUE(text->text(0, text->characterCount()).endsWith(QLatin1String("\nStable")));
  // Selected lines are its selection.
  log->SelectAll();
  ASSERT_EQ(text->selectionCount(), 1);
  int start = -1, end = -1;
  text->selection(0, &start, &end);
  EXPECT_EQ(start, 0);
  EXPECT_GE(end, text->characterCount());
}

}  // namespace
}  // namespace karvo::test
