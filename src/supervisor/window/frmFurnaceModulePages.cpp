// The window's layout: the page control and the pages that steer the
// furnace ("Quick control", "Instructions", "Stability settings", "Graph
// settings").
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "supervisor/window/frmFurnaceModuleLayout.h"

namespace karvo {

QString RampRateNote() {
  return QStringLiteral(
      "Ramp rate is usually given in decidegrees (so 50 would equal to 5 \n"
      "degrees) per minute, but the format is dependant of the model of \n"
      "the PID controller. Units may be in full degrees or decidegrees and \n"
      "per minute, per hour or per second.\n"
      "\n"
      "Refer to furnace manual and enable the working setpoint option \n"
      "from graph options tab to find out the unit of your furnace. Start \n"
      "with a low value such as 10 and observe the actual rate of change.");
}

QString RampRateNoteWithProgramLine() {
  return RampRateNote() + QStringLiteral("\n\nGoing to \"Quick control\" tab will stop the segment program.");
}

namespace {

// A text box without border on the window colour, holding a note; it
// gives up width before the controls beside it do.
class TNote : public QPlainTextEdit {
 public:
  TNote(QWidget* parent) : QPlainTextEdit(parent) {}
  void SetDesign(const QString& text, QSize size) {
    setFrameShape(QFrame::NoFrame);
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setPlainText(text);
    fSize = size;
    setMinimumSize(size.width() / 4, size.height() / 2);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  }
  QSize sizeHint() const override { return fSize; }

 private:
  QSize fSize;
};

// Tabs with the narrow padding of the design, so that the eight captions
// fit the page control's width.
class TCompactTabStyle : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    if (metric == PM_TabBarTabHSpace) return QProxyStyle::pixelMetric(metric, option, widget) / 2;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

}  // namespace

void TFormModbus::BuildPages() {
  KARVO_MAKE(PageControl1, QTabWidget, Panel2);
  auto* tabStyle = new TCompactTabStyle;
  tabStyle->setParent(PageControl1);
  PageControl1->tabBar()->setStyle(tabStyle);
  // Every caption stays in sight: the page control is as wide as its tabs.
  PageControl1->tabBar()->setUsesScrollButtons(false);
  PageControl1->tabBar()->setElideMode(Qt::ElideNone);
  // The order is the pages' index, which the tick and the commands rely on.
  const struct {
    QWidget** page;
    const char* name;
    const char* caption;
    QWidget* (TFormModbus::*build)();
  } pages[kPageCount] = {
      {&TabSheet1, "TabSheet1", "Quick control", &TFormModbus::BuildQuickControlPage},
      {&TabSheet2, "TabSheet2", "Instructions", &TFormModbus::BuildInstructionsPage},
      {&TabSheet3, "TabSheet3", "Stability settings", &TFormModbus::BuildStabilityPage},
      {&TabSheet4, "TabSheet4", "Graph settings", &TFormModbus::BuildGraphSettingsPage},
      {&TabSheet6, "TabSheet6", "Save", &TFormModbus::BuildSavePage},
      {&TabSheet5, "TabSheet5", "Controller settings", &TFormModbus::BuildControllerSettingsPage},
      {&TabSheet7, "TabSheet7", "Debug", &TFormModbus::BuildDebugPage},
      {&About, "About", "About", &TFormModbus::BuildAboutPage},
  };
  for (const auto& p : pages) {
    QWidget* page = (this->*p.build)();
    page->setObjectName(QString::fromLatin1(p.name));
    *p.page = page;
    PageControl1->addTab(page, QString::fromLatin1(p.caption));
  }
}

QWidget* TFormModbus::BuildQuickControlPage() {
  auto* page = new QWidget;
  QGridLayout* grid = PageGrid(*this, page);
  KARVO_LABEL(Label25, page, QStringLiteral("While this tab is selected the instructions program remains idle"));
  Label25->setWordWrap(true);
  grid->addWidget(Label25, 0, 0, 1, 4);
  grid->setRowMinimumHeight(1, Dx(8));
  KARVO_LABEL(Label2, page, QStringLiteral("Target Setpoint"), true);
  KARVO_INTEGER(RtIntegerEditTargetSetpoint, page, 68, 0, 0, 0);
  KARVO_LABEL(Label4, page, QStringLiteral("Ramp rate"), true);
  KARVO_INTEGER(RtIntegerEditRampRate, page, 69, 1, 99999, 1);
  RtIntegerEditRampRate->setToolTip(
      QStringLiteral("Unit may be in \u00BAC/second, \u00BAC/minute or \u00BAC/hour. Enable working setpoint under "
                     "graph settings to find out."));
  KARVO_BUTTON(ButtonUpdateQuick, page, QStringLiteral("Update"), 68);
  Memo1 = Make<TNote>("Memo1", page);
  static_cast<TNote*>(Memo1)->SetDesign(RampRateNote(), QSize(Dx(329), Dx(144)));
  grid->addWidget(Label2, 2, 0);
  grid->addWidget(RtIntegerEditTargetSetpoint, 2, 1);
  grid->addWidget(Label4, 3, 0);
  grid->addWidget(RtIntegerEditRampRate, 3, 1);
  grid->addWidget(ButtonUpdateQuick, 4, 1);
  grid->addWidget(Memo1, 2, 2, 4, 1);
  grid->setRowStretch(5, 1);
  grid->setColumnStretch(2, 1);
  return page;
}

QWidget* TFormModbus::BuildInstructionsPage() {
  auto* page = new QWidget;
  QGridLayout* grid = PageGrid(*this, page);
  auto* nameRow = new QHBoxLayout;
  KARVO_LABEL(Label16, page, QStringLiteral("Furnace name"), true);
  KARVO_MAKE(EditFurnaceName, QLineEdit, page, QStringLiteral("Furnace1"));
  EditFurnaceName->setFixedWidth(Dx(258));
  KARVO_BUTTON(ButtonFurnaceNameSave, page, QStringLiteral("Save"), 42);
  nameRow->addWidget(Label16);
  nameRow->addWidget(EditFurnaceName);
  nameRow->addWidget(ButtonFurnaceNameSave);
  nameRow->addStretch(1);
  grid->addLayout(nameRow, 0, 0);

  KARVO_MAKE(GroupBox6, QGroupBox, page, QStringLiteral("Edit instruction"));
  auto* edit = new QGridLayout(GroupBox6);
  edit->setContentsMargins(Dx(8), Dx(2), Dx(6), Dx(4));
  edit->setHorizontalSpacing(Dx(6));
  edit->setVerticalSpacing(Dx(2));
  QLabel** labels[] = {&Label30, &Label31, &Label32, &Label33, &Label34, &Label35};
  const char* labelNames[] = {"Label30", "Label31", "Label32", "Label33", "Label34", "Label35"};
  const char* captions[] = {"Segment", "Setpoint", "Ramp rate", "Dwell days", "Dwell hours", "Dwell minutes"};
  for (int i = 0; i < 6; ++i) {
    *labels[i] = MakeLabel(labelNames[i], GroupBox6, QString::fromLatin1(captions[i]));
    edit->addWidget(*labels[i], 0, i);
  }
  KARVO_INTEGER(RtIntegerEditProgramSegment, GroupBox6, 42, 0, 0, 0);
  KARVO_INTEGER(RtIntegerEditProgramSetpoint, GroupBox6, 42, 0, 0, 0);
  KARVO_INTEGER(RtIntegerEditProgramRampRate, GroupBox6, 42, 1, 99999, 1);
  RtIntegerEditProgramRampRate->setToolTip(QStringLiteral(
      "Some old models of 2200 serie controllers have ramp rate in degrees per hour even if their manual states "
      "degrees per minute. Enable display of working setpoint on graph settings tab to find out."));
  KARVO_INTEGER(RtIntegerEditProgramDays, GroupBox6, 42, 0, 0, 0);
  KARVO_INTEGER(RtIntegerEditProgramHours, GroupBox6, 42, 0, 0, 0);
  KARVO_INTEGER(RtIntegerEditProgramMinutes, GroupBox6, 42, 0, 0, 0);
  const TRtIntegerEdit* boxes[] = {RtIntegerEditProgramSegment,  RtIntegerEditProgramSetpoint,
                                   RtIntegerEditProgramRampRate, RtIntegerEditProgramDays,
                                   RtIntegerEditProgramHours,    RtIntegerEditProgramMinutes};
  for (int i = 0; i < 6; ++i) edit->addWidget(const_cast<TRtIntegerEdit*>(boxes[i]), 1, i, Qt::AlignLeft);
  KARVO_BUTTON(ButtonInstructionsDelete, GroupBox6, QStringLiteral("Delete"), 75);
  KARVO_BUTTON(ButtonInstructionsSave, GroupBox6, QStringLiteral("Save"), 75);
  edit->setRowMinimumHeight(2, Dx(8));
  edit->addWidget(ButtonInstructionsDelete, 3, 0, 1, 2, Qt::AlignLeft);
  edit->addWidget(ButtonInstructionsSave, 3, 4, 1, 2, Qt::AlignRight);
  grid->addWidget(GroupBox6, 1, 0);

  Memo2 = Make<TNote>("Memo2", page);
  static_cast<TNote*>(Memo2)->SetDesign(RampRateNoteWithProgramLine(), QSize(Dx(329), Dx(144)));
  grid->addWidget(Memo2, 0, 1, 3, 1);
  grid->setRowStretch(2, 1);
  grid->setColumnStretch(1, 1);
  return page;
}

QWidget* TFormModbus::BuildStabilityPage() {
  auto* page = new QWidget;
  QGridLayout* grid = PageGrid(*this, page);
  KARVO_LABEL(Label12, page, Text("Maximum temperature oscilation ºC"), true);
  KARVO_LABEL(Label13, page, QStringLiteral("First led"));
  KARVO_INTEGER(RtIntegerEditStableTemperature, page, 68, 2, 20, 2);
  KARVO_LABEL(Label11, page, QStringLiteral("Rate of change observation length sec"), true);
  KARVO_LABEL(Label6, page, QStringLiteral("Second led"));
  KARVO_INTEGER(RtIntegerEditStableSlopeTime, page, 68, 10, 3600, 300);
  KARVO_LABEL(Label17, page, Text("Maximum rate of change ºC/min"), true);
  KARVO_LABEL(Label18, page, QStringLiteral("Second led"));
  KARVO_DOUBLE(RtDoubleEditMaxRateOfChange, page, 68);
  RtDoubleEditMaxRateOfChange->SetMinValue(0.001);
  RtDoubleEditMaxRateOfChange->SetMaxValue(100);
  RtDoubleEditMaxRateOfChange->SetValue(0.75);
  KARVO_LABEL(Label14, page, QStringLiteral("Minimum steady time min"), true);
  KARVO_LABEL(Label15, page, QStringLiteral("Third led"));
  KARVO_INTEGER(RtIntegerEditMinimumSteadyTime, page, 68, 1, 60, 5);
  const struct {
    QLabel* label;
    QWidget* box;
    QLabel* lamp;
  } rows[] = {
      {Label12, RtIntegerEditStableTemperature, Label13},
      {Label11, RtIntegerEditStableSlopeTime, Label6},
      {Label17, RtDoubleEditMaxRateOfChange, Label18},
      {Label14, RtIntegerEditMinimumSteadyTime, Label15},
  };
  int r = 0;
  for (const auto& row : rows) {
    grid->addWidget(row.label, r, 0);
    grid->addWidget(row.box, r, 1);
    grid->addWidget(row.lamp, r, 2);
    ++r;
  }
  grid->setRowStretch(r, 1);
  grid->setColumnStretch(3, 1);
  return page;
}

QWidget* TFormModbus::BuildGraphSettingsPage() {
  auto* page = new QWidget;
  QGridLayout* grid = PageGrid(*this, page);
  KARVO_MAKE(GroupBox3, QGroupBox, page, QStringLiteral("Time axis length"));
  auto* axis = new QGridLayout(GroupBox3);
  axis->setContentsMargins(Dx(8), Dx(4), Dx(8), Dx(6));
  axis->setHorizontalSpacing(Dx(6));
  KARVO_MAKE(RadioButton2, QRadioButton, GroupBox3, QStringLiteral("Show all data"));
  RadioButton2->setChecked(true);
  KARVO_MAKE(RadioButton1, QRadioButton, GroupBox3, QStringLiteral("Hours"));
  KARVO_DOUBLE(RtDoubleEditTimeAxisMax, GroupBox3, 68);
  RtDoubleEditTimeAxisMax->SetMinValue(0.0000578);
  RtDoubleEditTimeAxisMax->SetMaxValue(24);
  RtDoubleEditTimeAxisMax->SetValue(0.05);
  KARVO_LABEL(Label46, GroupBox3, QStringLiteral("Min temp"), true);
  KARVO_INTEGER(RtIntegerEditMinTemp, GroupBox3, 68, 0, 0, 0);
  axis->addWidget(RadioButton2, 0, 0, 1, 2);
  axis->addWidget(RadioButton1, 1, 0);
  axis->addWidget(RtDoubleEditTimeAxisMax, 1, 1);
  axis->addWidget(Label46, 2, 0);
  axis->addWidget(RtIntegerEditMinTemp, 2, 1);
  axis->setRowStretch(3, 1);
  grid->addWidget(GroupBox3, 0, 0, 5, 1);

  KARVO_MAKE(CheckBoxLegendVisible, QCheckBox, page, QStringLiteral("Show Legend"));
  CheckBoxLegendVisible->setChecked(true);
  KARVO_MAKE(CheckBoxTargetSetpointVisible, QCheckBox, page, QStringLiteral("Show Target Setpoint"));
  KARVO_MAKE(CheckBoxWorkingSetpointVisible, QCheckBox, page, QStringLiteral("Show Working Setpoint"));
  KARVO_MAKE(CheckBoxWorkingOutputVisible, QCheckBox, page, QStringLiteral("Show Working Output"));
  int r = 0;
  for (QCheckBox* box : {CheckBoxLegendVisible, CheckBoxTargetSetpointVisible, CheckBoxWorkingSetpointVisible,
                         CheckBoxWorkingOutputVisible})
    grid->addWidget(box, r++, 1);
  grid->setRowStretch(4, 1);
  grid->setColumnStretch(2, 1);
  return page;
}

}  // namespace karvo
