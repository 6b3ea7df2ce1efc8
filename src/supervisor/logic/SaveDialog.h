#pragma once
// The window's save dialog (SaveDialog1): set up by each save action, then
// run modally through the dialog seam (common/Seams.h).

#include <string>

#include "common/Seams.h"

namespace karvo {

class TSaveDialog {
 public:
  TSaveDialogOptions Options;
  // The chosen file after Execute returned true (UTF-8).
  std::string FileName;

  // Runs the dialog; false when the operator cancelled. A name chosen
  // without an extension gets Options.DefaultExt. The folder of the chosen
  // file becomes the process's current folder, as the platform's dialog
  // leaves it: later dialogs start there, and the register dump, which is
  // written to the current folder, lands there too.
  bool Execute();
};

}  // namespace karvo
