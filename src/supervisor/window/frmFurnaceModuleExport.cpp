// The "Save" page: the graph as an image, the data as a text file, and
// clearing all data. The logic is supervisor/logic/DataExport.h; files are
// written whole or not at all, and an error reaches the operator through
// Guarded with the system's reason.
#include <QTimer>

#include "common/Log.h"
#include "common/Regional.h"
#include "common/Seams.h"
#include "common/Text.h"
#include "supervisor/logic/DataExport.h"
#include "supervisor/window/frmFurnaceModule.h"
#include "supervisor/window/frmFurnaceModuleBusy.h"

namespace karvo {

namespace {

void SaveGraph(TFormModbus& form, TImageKind kind) {
  form.SaveDialog1.Options = ImageFileDialogOptions(kind);
  if (!form.SaveDialog1.Execute()) return;
  form.RtGraph2D1->SaveImage(QString::fromStdString(form.SaveDialog1.FileName),
                             kind == TImageKind::BMP ? TRtImageFileFormat::BMP : TRtImageFileFormat::PNG, 0xFFFFFF,
                             true);
}

}  // namespace

void TFormModbus::ButtonSaveGraphBMPClick() { SaveGraph(*this, TImageKind::BMP); }
void TFormModbus::ButtonSaveGraphPNGClick() { SaveGraph(*this, TImageKind::PNG); }

void TFormModbus::ButtonSaveTextFileClick() {
  SaveDialog1.Options = TextFileDialogOptions();
  if (!SaveDialog1.Execute()) return;
  WriteDataExport(PathFromUtf8(SaveDialog1.FileName), Supervisor->Measurements(), Regional());
}

void TFormModbus::ButtonClearAllDataClick() {
  if (!AskYesNo("Are you sure you want to clear all data from the screen?", "Clear all data")) return;
  const TTimerOff timerOff(*this, TTimerOff::kAsBefore);
  Supervisor->ClearAllData();
  // The journal keeps what the chart no longer shows; the operator chooses
  // whether what follows goes into a run file of its own.
  if (Supervisor->Journal.IsOpen() && AskYesNo(kNewRunFileQuestion, "Clear all data")) {
    Supervisor->JournalProgram();
    Supervisor->Journal.End();
    LogLine();
    LogLine("The run journal starts a new run file with the next sample.");
  }
}

}  // namespace karvo
