#pragma once
// What a handler of the main window holds while it talks to the controller:
// the busy cursor and Timer1 switched off. Every handler that waits or pumps
// events uses these two, so they all behave alike.

#include <QApplication>
#include <QTimer>

#include "common/Seams.h"
#include "supervisor/window/frmFurnaceModule.h"

namespace karvo {

// The hourglass for the lifetime of the object. The events waiting are run
// once so that it shows; the operator's input is not among them (the
// shell's ProcessMessages leaves input queued): a click on Stop waits until
// the handler is done. Whatever the handler took from the window before,
// e.g. the furnace module, is looked up again afterwards.
class TBusyCursor {
 public:
  TBusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ProcessMessages();
  }
  ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// Timer1 off for the lifetime of the object and on again afterwards, also
// when the handler fails: by default only while a furnace is still
// operated (after a Stop the tick stays off); kAsBefore: when it ran before
// (a start-up question: a modal box runs a nested event loop, and a tick in
// it would poll, consume and write the run's files before the operator has
// answered).
class TTimerOff {
 public:
  enum TResume { kWhileOperated, kAsBefore };
  explicit TTimerOff(TFormModbus& form, TResume resume = kWhileOperated)
      : fForm(form), fResume(resume), fWasActive(form.Timer1->isActive()) {
    fForm.Timer1->stop();
  }
  ~TTimerOff() {
    if (fResume == kAsBefore ? fWasActive : fForm.FurnaceModule() != nullptr) fForm.Timer1->start();
  }
  TTimerOff(const TTimerOff&) = delete;
  TTimerOff& operator=(const TTimerOff&) = delete;

 private:
  TFormModbus& fForm;
  TResume fResume;
  bool fWasActive;
};

}  // namespace karvo
