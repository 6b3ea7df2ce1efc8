#pragma once
// The window's save dialog (SaveDialog1): set up by each save action, then
// run modally through the dialog seam (common/Seams.h).

#include <string>

#include "common/Seams.h"

namespace karvo {

class TSaveDialog {
 public:
  TSaveDialogOptions Options;
  // The chosen file after Execute returned true.
  std::string FileName;

  // Runs the dialog; false when the operator cancelled.
  bool Execute() {
    FileName = AskSaveFileName(Options);
    return !FileName.empty();
  }
};

}  // namespace karvo
