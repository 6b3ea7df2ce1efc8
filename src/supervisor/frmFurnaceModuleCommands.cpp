// Operator commands: quick control, the segment editors, the furnace name,
// the page change and the stability settings.
#include "supervisor/frmFurnaceModule.h"

namespace karvo {

void TFormModbus::RtIntegerEditStableSlopeTimeValueChanged() {
  Supervisor->SetRateOfChangeWindow(RtIntegerEditStableSlopeTime->Value());
}

// The commands of the "Quick control" and "Instructions" pages and the
// furnace name come with the stability and program change.
void TFormModbus::PageControl1Change() {}
void TFormModbus::ButtonUpdateQuickClick() {}
void TFormModbus::ButtonFurnaceNameSaveClick() {}
void TFormModbus::ButtonInstructionsSaveClick() {}
void TFormModbus::ButtonInstructionsDeleteClick() {}
void TFormModbus::RtIntegerEditProgramSegmentClick() {}
void TFormModbus::RtIntegerEditProgramSegmentKeyDown(int) {}
void TFormModbus::RtIntegerEditProgramRampRateKeyUp(int) {}

}  // namespace karvo
