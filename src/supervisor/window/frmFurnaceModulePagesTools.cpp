// The window's layout: the pages of tools ("Save", "Controller settings",
// "Debug", "About").
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "modbus/Registers.h"
#include "supervisor/window/frmFurnaceModuleLayout.h"

namespace karvo {

QWidget* TFormModbus::BuildSavePage() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(Dx(3), Dx(3), Dx(3), Dx(3));
  column->setSpacing(Dx(6));
  KARVO_BUTTON(ButtonSaveGraphBMP, page, QStringLiteral("Save graph as BMP image"), 166);
  KARVO_BUTTON(ButtonSaveGraphPNG, page, QStringLiteral("Save graph as PNG image"), 166);
  KARVO_BUTTON(ButtonSaveTextFile, page, QStringLiteral("Save data as text file"), 166);
  KARVO_BUTTON(ButtonClearAllData, page, QStringLiteral("Clear all data"), 166);
  for (QPushButton* b : {ButtonSaveGraphBMP, ButtonSaveGraphPNG, ButtonSaveTextFile, ButtonClearAllData})
    column->addWidget(b, 0, Qt::AlignLeft);
  column->addStretch(1);
  return page;
}

QWidget* TFormModbus::BuildControllerSettingsPage() {
  auto* page = new QWidget;
  QGridLayout* grid = PageGrid(*this, page);
  grid->setHorizontalSpacing(Dx(15));

  KARVO_MAKE(GroupBox8, QGroupBox, page, QStringLiteral("PID settings (read-only)"));
  auto* pid = new QGridLayout(GroupBox8);
  pid->setContentsMargins(Dx(8), Dx(14), Dx(8), Dx(6));
  KARVO_LABEL(Label20, GroupBox8, Text("Proportional band ºC"), true);
  KARVO_INTEGER(RtIntegerEditProportional, GroupBox8, 68, 0, 0, 0);
  KARVO_LABEL(Label21, GroupBox8, QStringLiteral("Integral time sec"), true);
  KARVO_INTEGER(RtIntegerEditIntegral, GroupBox8, 69, 0, 0, 0);
  KARVO_LABEL(Label22, GroupBox8, QStringLiteral("Derivate time sec"), true);
  KARVO_INTEGER(RtIntegerEditDerivate, GroupBox8, 69, 0, 0, 0);
  int r = 0;
  for (auto [label, box] : {std::pair{Label20, RtIntegerEditProportional}, std::pair{Label21, RtIntegerEditIntegral},
                            std::pair{Label22, RtIntegerEditDerivate}}) {
    box->setEnabled(false);
    pid->addWidget(label, r, 0);
    pid->addWidget(box, r++, 1);
  }
  pid->setRowStretch(r, 1);
  grid->addWidget(GroupBox8, 0, 0);

  KARVO_MAKE(GroupBox7, QGroupBox, page, QStringLiteral("Maximum output power"));
  auto* power = new QGridLayout(GroupBox7);
  power->setContentsMargins(Dx(8), Dx(4), Dx(8), Dx(6));
  KARVO_MAKE(CheckBoxEnableVaryingMaximumOutput, QCheckBox, GroupBox7, QStringLiteral("Enable"));
  // The caption stands left of the box.
  CheckBoxEnableVaryingMaximumOutput->setLayoutDirection(Qt::RightToLeft);
  KARVO_LABEL(Label36, GroupBox7, Text("Transition temperature ºC"), true);
  KARVO_INTEGER(RtIntegerEditTransitionTemperature, GroupBox7, 68, 0, 1200, 600);
  KARVO_LABEL(Label37, GroupBox7, QStringLiteral("High power %"), true);
  KARVO_INTEGER(RtIntegerEditHighPower, GroupBox7, 68, 0, 100, 75);
  KARVO_LABEL(Label38, GroupBox7, QStringLiteral("Low power %"), true);
  KARVO_INTEGER(RtIntegerEditLowPower, GroupBox7, 68, 0, 100, 45);
  power->addWidget(CheckBoxEnableVaryingMaximumOutput, 0, 0, 1, 2, Qt::AlignHCenter);
  power->addWidget(Label36, 1, 0);
  power->addWidget(RtIntegerEditTransitionTemperature, 1, 1);
  power->addWidget(Label37, 2, 0);
  power->addWidget(RtIntegerEditHighPower, 2, 1);
  power->addWidget(Label38, 3, 0);
  power->addWidget(RtIntegerEditLowPower, 3, 1);
  power->setRowStretch(4, 1);
  grid->addWidget(GroupBox7, 0, 1);

  auto* thermocouple = new QHBoxLayout;
  KARVO_LABEL(Label7, page, QStringLiteral("Thermocouple"), true);
  KARVO_MAKE(ComboBoxThermocouple, QComboBox, page);
  ComboBoxThermocouple->setEditable(true);
  ComboBoxThermocouple->setInsertPolicy(QComboBox::NoInsert);
  ComboBoxThermocouple->setFixedWidth(Dx(69));
  for (const char* type : reg::ThermocoupleNames) ComboBoxThermocouple->addItem(QString::fromLatin1(type));
  thermocouple->addStretch(1);
  thermocouple->addWidget(Label7);
  thermocouple->addWidget(ComboBoxThermocouple);
  grid->addLayout(thermocouple, 1, 0);

  auto* programmer = new QHBoxLayout;
  KARVO_BUTTON(ButtonProgrammerOff, page, QStringLiteral("Programmer=off"), 114);
  KARVO_BUTTON(ButtonSetProgrammerMode, page, QStringLiteral("Programmer=manual"), 121);
  programmer->addWidget(ButtonProgrammerOff);
  programmer->addWidget(ButtonSetProgrammerMode);
  programmer->addStretch(1);
  grid->addLayout(programmer, 1, 1);
  KARVO_LABEL(Label48, page,
              QStringLiteral("Programmer mode must be off for ramps and ramprates to work from this software"));
  Label48->setWordWrap(true);
  grid->addWidget(Label48, 2, 1, 1, 2);
  grid->setRowStretch(3, 1);
  grid->setColumnStretch(2, 1);
  return page;
}

QWidget* TFormModbus::BuildDebugPage() {
  auto* page = new QWidget;
  QGridLayout* grid = PageGrid(*this, page);
  grid->setHorizontalSpacing(Dx(15));
  KARVO_LABEL(Label24, page, QStringLiteral("While this tab is selected the whole program remains idle"));
  Label24->setWordWrap(true);
  grid->addWidget(Label24, 0, 0, 1, 3);

  KARVO_MAKE(GroupBox4, QGroupBox, page, QStringLiteral("Read"));
  auto* read = new QGridLayout(GroupBox4);
  read->setContentsMargins(Dx(8), Dx(4), Dx(8), Dx(6));
  KARVO_LABEL(Label23, GroupBox4, QStringLiteral("Read 32 words starting from address"), true);
  KARVO_INTEGER(RtIntegerEditRead32, GroupBox4, 57, 1, 65504, 1);
  KARVO_BUTTON(ButtonRead, GroupBox4, QStringLiteral("Read"), 59);
  read->addWidget(Label23, 0, 0);
  read->addWidget(RtIntegerEditRead32, 0, 1);
  read->addWidget(ButtonRead, 1, 1);
  grid->addWidget(GroupBox4, 1, 0);

  KARVO_LABEL(Label28, page,
              QStringLiteral("Please do not write to memory unless you know what you are doing. Writing to memory may  "
                             "break the furnace."));
  Label28->setWordWrap(true);
  grid->addWidget(Label28, 2, 0, 1, 3);

  KARVO_MAKE(GroupBox5, QGroupBox, page, QStringLiteral("Write word"));
  auto* write = new QGridLayout(GroupBox5);
  write->setContentsMargins(Dx(8), Dx(4), Dx(8), Dx(6));
  KARVO_LABEL(Label26, GroupBox5, QStringLiteral("Address"), true);
  KARVO_INTEGER(RtIntegerEditWriteToAddress, GroupBox5, 57, 1, 65504, 1);
  KARVO_LABEL(Label27, GroupBox5, QStringLiteral("Value"), true);
  KARVO_INTEGER(RtIntegerEditWriteValue, GroupBox5, 57, 0, 65535, 0);
  KARVO_BUTTON(ButtonWrite, GroupBox5, QStringLiteral("Write"), 59);
  write->addWidget(Label26, 0, 0);
  write->addWidget(RtIntegerEditWriteToAddress, 0, 1);
  write->addWidget(Label27, 0, 2);
  write->addWidget(RtIntegerEditWriteValue, 0, 3);
  write->addWidget(ButtonWrite, 1, 3);
  grid->addWidget(GroupBox5, 3, 0);

  auto* tools = new QVBoxLayout;
  KARVO_MAKE(CheckBoxVerboseLog, QCheckBox, page, QStringLiteral("Verbose log"));
  KARVO_BUTTON(ButtonSaveFurnaceInfo, page, QStringLiteral("Save furnace info"), 113);
  tools->addSpacing(Dx(12));
  tools->addWidget(CheckBoxVerboseLog);
  tools->addWidget(ButtonSaveFurnaceInfo, 0, Qt::AlignLeft);
  tools->addStretch(1);
  grid->addLayout(tools, 1, 1);
  grid->setRowStretch(4, 1);
  grid->setColumnStretch(2, 1);
  return page;
}

QWidget* TFormModbus::BuildAboutPage() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(Dx(16), Dx(10), Dx(16), Dx(10));
  column->setSpacing(Dx(6));
  KARVO_LABEL(Label39, page, QStringLiteral("Karvo Temp, Talvik AS"));
  KARVO_LABEL(Label40, page, QStringLiteral("Version: "));
  // A link: blue, underlined, with the hand cursor.
  KARVO_LABEL(Label41, page,
              QStringLiteral("<a href=\"%1\" style=\"color:#0000ff; text-decoration:underline\">Check for update</a>")
                  .arg(QString::fromLatin1(kUpdatePage)));
  Label41->setTextFormat(Qt::RichText);
  Label41->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  Label41->setOpenExternalLinks(false);
  Label41->setCursor(Qt::PointingHandCursor);
  for (QLabel* label : {Label39, Label40, Label41}) column->addWidget(label);
  column->addStretch(1);
  return page;
}

}  // namespace karvo
