// The "Save" page: the graph as an image, the data as a text file, and
// clearing all data. The actions come with the data-export change; they set
// up SaveDialog1 and write through supervisor/TextFiles.h.
#include "supervisor/frmFurnaceModule.h"

namespace karvo {

void TFormModbus::ButtonSaveGraphBMPClick() {}
void TFormModbus::ButtonSaveGraphPNGClick() {}
void TFormModbus::ButtonSaveTextFileClick() {}
void TFormModbus::ButtonClearAllDataClick() {}

}  // namespace karvo
