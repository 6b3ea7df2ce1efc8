// The window's layout: control factories, the "Setup" and "Status" boxes.
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>

#include "supervisor/window/frmFurnaceModuleLayout.h"

namespace karvo {

QGridLayout* PageGrid(TFormModbus& form, QWidget* page) {
  auto* grid = new QGridLayout(page);
  grid->setContentsMargins(form.Dx(3), form.Dx(5), form.Dx(3), form.Dx(3));
  grid->setHorizontalSpacing(form.Dx(6));
  grid->setVerticalSpacing(form.Dx(5));
  return grid;
}

QLabel* TFormModbus::MakeLabel(const char* name, QWidget* parent, const QString& text, bool rightAligned) {
  QLabel* label = Make<QLabel>(name, parent, text);
  label->setAlignment((rightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  return label;
}

TRtIntegerEdit* TFormModbus::MakeIntegerEdit(const char* name, QWidget* parent, int designWidth, int min, int max,
                                             int value) {
  TRtIntegerEdit* box = Make<TRtIntegerEdit>(name, parent);
  box->setFixedWidth(Dx(designWidth));
  box->SetMinValue(min);
  box->SetMaxValue(max);
  box->SetValue(value);
  return box;
}

TRtDoubleEdit* TFormModbus::MakeDoubleEdit(const char* name, QWidget* parent, int designWidth) {
  TRtDoubleEdit* box = Make<TRtDoubleEdit>(name, parent);
  box->setFixedWidth(Dx(designWidth));
  return box;
}

QPushButton* TFormModbus::MakeButton(const char* name, QWidget* parent, const QString& caption, int designWidth) {
  QPushButton* button = Make<QPushButton>(name, parent, caption);
  button->setMinimumWidth(Dx(designWidth));
  button->setMinimumHeight(Dx(25));
  button->setAutoDefault(false);
  return button;
}

QWidget* TFormModbus::BuildSetupBox(QWidget* parent) {
  KARVO_MAKE(GroupBox2, QGroupBox, parent, QStringLiteral("Setup"));
  auto* row = new QHBoxLayout(GroupBox2);
  row->setContentsMargins(Dx(4), Dx(2), Dx(4), Dx(4));
  row->setSpacing(Dx(4));
  KARVO_LABEL(Label5, GroupBox2, QStringLiteral("COM port"), true);
  KARVO_MAKE(ComboBoxModbusPort, QComboBox, GroupBox2);
  ComboBoxModbusPort->setMinimumWidth(Dx(62));
  ComboBoxModbusPort->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  KARVO_BUTTON(ButtonCreateFurnaceModule, GroupBox2, QStringLiteral("Start"), 58);
  row->addWidget(Label5, 1);
  row->addWidget(ComboBoxModbusPort);
  row->addWidget(ButtonCreateFurnaceModule);
  return GroupBox2;
}

QWidget* TFormModbus::BuildStatusBox(QWidget* parent) {
  KARVO_MAKE(GroupBox1, QGroupBox, parent, QStringLiteral("Status"));
  auto* grid = new QGridLayout(GroupBox1);
  grid->setContentsMargins(Dx(3), Dx(2), Dx(3), Dx(4));
  grid->setHorizontalSpacing(Dx(4));
  grid->setVerticalSpacing(Dx(2));

  KARVO_LABEL(Label8, GroupBox1, QStringLiteral("Stable"), true);
  auto* lamps = new QHBoxLayout;
  lamps->setSpacing(Dx(6));
  const struct {
    TLedLamp** lamp;
    const char* name;
    const char* hint;
  } lampDesign[] = {
      {&LedOscilation, "LedOscilation", "Temperature close to target setpoint"},
      {&LedSlope, "LedSlope", "Very low rate of change"},
      {&LedTime, "LedTime", "Stable for a while"},
  };
  for (const auto& d : lampDesign) {
    TLedLamp* lamp = Make<TLedLamp>(d.name, GroupBox1);
    lamp->ChangeStyle(TLEDStyle::LEDLarge);
    lamp->ChangeBorder(false);
    lamp->ChangeBlink(false);
    lamp->SetFalseColor(QColor(255, 0, 0));
    lamp->SetTrueColor(QColor(0, 255, 0));
    lamp->SetHint(QString::fromLatin1(d.hint));
    lamp->SetShowHint(true);
    *d.lamp = lamp;
    lamps->addWidget(lamp);
  }
  lamps->addStretch(1);
  grid->addWidget(Label8, 0, 0);
  grid->addLayout(lamps, 0, 1, 1, 2);

  KARVO_LABEL(Label9, GroupBox1, QStringLiteral("Stable time"), true);
  KARVO_LABEL(Label10, GroupBox1, QStringLiteral("0"));
  grid->addWidget(Label9, 1, 0);
  grid->addWidget(Label10, 1, 1, 1, 2);

  KARVO_LABEL(Label1, GroupBox1, QStringLiteral("Temperature"), true);
  KARVO_DOUBLE(RtDoubleEditTemperatureReadOnly, GroupBox1, 63);
  RtDoubleEditTemperatureReadOnly->SetFormat(QStringLiteral("0.##"));
  KARVO_LABEL(Label43, GroupBox1, Text("ºC"));
  KARVO_LABEL(Label19, GroupBox1, QStringLiteral("Target Setpoint"), true);
  KARVO_INTEGER(RtIntegerEditTargetSetpointReadOnly, GroupBox1, 63, 0, 0, 0);
  KARVO_LABEL(Label44, GroupBox1, Text("ºC"));
  KARVO_LABEL(Label3, GroupBox1, QStringLiteral("Working Setpoint"), true);
  KARVO_INTEGER(RtIntegerEditWorkingSetPointReadOnly, GroupBox1, 63, 0, 0, 0);
  KARVO_LABEL(Label45, GroupBox1, Text("ºC"));
  KARVO_LABEL(Label29, GroupBox1, QStringLiteral("Ramp Rate"), true);
  KARVO_INTEGER(RtIntegerEditRampRateReadOnly, GroupBox1, 63, 0, 0, 0);
  KARVO_LABEL(Label42, GroupBox1, QStringLiteral("Rate of Change"), true);
  KARVO_DOUBLE(RtDoubleEditRateOfChangeReadOnly, GroupBox1, 63);
  RtDoubleEditRateOfChangeReadOnly->SetFormat(QStringLiteral("0.###"));
  KARVO_LABEL(Label47, GroupBox1, Text("ºC/min"));
  const struct {
    QLabel* label;
    QWidget* box;
    QLabel* unit;
  } rows[] = {
      {Label1, RtDoubleEditTemperatureReadOnly, Label43},      {Label19, RtIntegerEditTargetSetpointReadOnly, Label44},
      {Label3, RtIntegerEditWorkingSetPointReadOnly, Label45}, {Label29, RtIntegerEditRampRateReadOnly, nullptr},
      {Label42, RtDoubleEditRateOfChangeReadOnly, Label47},
  };
  int r = 2;
  for (const auto& row : rows) {
    static_cast<QLineEdit*>(row.box)->setReadOnly(true);
    grid->addWidget(row.label, r, 0);
    grid->addWidget(row.box, r, 1);
    if (row.unit) grid->addWidget(row.unit, r, 2);
    ++r;
  }
  grid->setRowStretch(r, 1);
  grid->setColumnStretch(2, 1);
  return GroupBox1;
}

}  // namespace karvo
