// Operator commands: quick control, the segment editors, the furnace name,
// the page change and the stability settings.
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTabWidget>
#include <QTimer>

#include "common/Seams.h"
#include "supervisor/logic/Commands.h"
#include "supervisor/logic/Formats.h"
#include "supervisor/logic/WindowTitle.h"
#include "supervisor/window/frmFurnaceModule.h"
#include "supervisor/window/frmFurnaceModuleBusy.h"

namespace karvo {

void TFormModbus::RtIntegerEditStableSlopeTimeValueChanged() {
  Supervisor->SetRateOfChangeWindow(RtIntegerEditStableSlopeTime->Value());
}

void TFormModbus::ShowInstructionsTable(int Highlighted) {
  std::vector<std::string> table;
  if (const TFurnaceModule* module = FurnaceModule()) module->InstructionsTable(Highlighted, table);
  ShowInstructionsLines(table);
}

void TFormModbus::ShowInstructionsLines(const std::vector<std::string>& table) {
  QStringList lines;
  for (const std::string& line : table) lines << QString::fromStdString(line);
  MemoInstructions->setPlainText(lines.join(QLatin1Char('\n')));
}

TSegmentEditors TFormModbus::SegmentEditors() const {
  TSegmentEditors e;
  e.Segment = RtIntegerEditProgramSegment->Value();
  e.Setpoint = RtIntegerEditProgramSetpoint->Value();
  e.RampRate = RtIntegerEditProgramRampRate->Value();
  e.Dwell = {RtIntegerEditProgramDays->Value(), RtIntegerEditProgramHours->Value(),
             RtIntegerEditProgramMinutes->Value()};
  return e;
}

void TFormModbus::ShowSegmentEditors(const TSegmentEditors& e) {
  RtIntegerEditProgramSegment->SetValue(e.Segment);
  RtIntegerEditProgramSetpoint->SetValue(e.Setpoint);
  RtIntegerEditProgramRampRate->SetValue(e.RampRate);
  RtIntegerEditProgramDays->SetValue(e.Dwell.Days);
  RtIntegerEditProgramHours->SetValue(e.Dwell.Hours);
  RtIntegerEditProgramMinutes->SetValue(e.Dwell.Minutes);
}

void TFormModbus::PageControl1Change() {
  // The table is shown on every page but "Quick control", where the
  // program is idle.
  if (PageControl1->currentIndex() == static_cast<int>(TPageIndex::QuickControl)) {
    MemoInstructions->clear();
  } else if (FurnaceModule()) {
    ShowInstructionsTable(RtIntegerEditProgramSegment->Value());
  }
}

void TFormModbus::ButtonUpdateQuickClick() {
  if (!FurnaceModule()) return;
  const TTimerOff timerOff(*this);
  bool updated = false;
  {
    const TBusyCursor busy;
    // Looked up after the events the busy cursor let run.
    TFurnaceModule* module = FurnaceModule();
    if (!module) return;
    updated = QuickUpdate(*module, RtIntegerEditRampRate->Value(), RtIntegerEditTargetSetpoint->Value());
  }
  if (!updated) ShowMessage(kQuickUpdateFailed);
}

void TFormModbus::ButtonFurnaceNameSaveClick() {
  const std::wstring name = NormaliseFurnaceName(EditFurnaceName->text().toStdWString());
  EditFurnaceName->setText(QString::fromStdWString(name));
  setWindowTitle(QString::fromStdWString(TitleForFurnace(name)));
  ResetFurnaceSignals(name);
  // The furnace of an unexpectedly ended run, operated again.
  if (FurnaceModule()) OfferProgramRestore();
}

void TFormModbus::ButtonInstructionsSaveClick() {
  const TSegmentEditors editors = SegmentEditors();
  if (!SaveInstruction(FurnaceModule(), editors)) return;
  Supervisor->JournalProgram();
  ShowInstructionsTable(editors.Segment);
}

void TFormModbus::ButtonInstructionsDeleteClick() {
  if (DeleteInstructions(FurnaceModule(), RtIntegerEditProgramSegment->Value()) != TDeleteResult::Deleted) return;
  Supervisor->JournalProgram();
  RtIntegerEditProgramSegment->SetValue(1);
  ShowInstructionsTable(1);
}

void TFormModbus::RtIntegerEditProgramSegmentClick(TRtIntegerEdit* Sender) { Sender->selectAll(); }

void TFormModbus::RtIntegerEditProgramSegmentKeyDown(int Key) {
  const TFurnaceModule* module = FurnaceModule();
  if (!module || (Key != Qt::Key_Up && Key != Qt::Key_Down)) return;
  const TBrowseResult browsed =
      BrowseInstructions(*module, RtIntegerEditProgramSegment->Value(), Key == Qt::Key_Up ? -1 : 1);
  if (browsed.Loaded) {
    ShowSegmentEditors(EditorsFor(browsed.Segment, *browsed.Loaded));
  } else {
    // No segment yet: the number becomes 1, and what is typed stays.
    RtIntegerEditProgramSegment->SetValue(browsed.Segment);
  }
  ShowInstructionsTable(browsed.Segment);
}

void TFormModbus::RtIntegerEditProgramRampRateKeyUp(TRtIntegerEdit* Sender, int Key) {
  // Tabbing into a box selects its text, so the operator types over it.
  if (Key == Qt::Key_Tab || Key == Qt::Key_Backtab) Sender->selectAll();
}

}  // namespace karvo
