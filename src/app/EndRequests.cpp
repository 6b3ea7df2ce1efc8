#include "app/EndRequests.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

#include "common/Log.h"
#include "supervisor/window/frmFurnaceModule.h"

namespace karvo {

namespace {

constexpr int kRetryMs = 100;
constexpr int kMostDialogs = 16;

}  // namespace

TEndRequests::TEndRequests(TFormModbus& form) : fForm(&form) {
  fRetry.setInterval(kRetryMs);
  connect(&fRetry, &QTimer::timeout, this, &TEndRequests::TryClose);
  fHooks = HookEndRequests([this] { Requested(); }, [this] { return !fForm || fForm->Closed(); });
}

TEndRequests::~TEndRequests() = default;

void TEndRequests::Requested() {
  ++fReceived;
  if (fReceived == 1) LogLine("The program was asked to end: closing as the close button does.");
  fRetry.start();
  TryClose();
}

// Tried again until the window has closed: a dialog may open after the
// last was answered, and a handler may still run.
void TEndRequests::TryClose() {
  if (!fForm || fForm->Closed()) {
    fRetry.stop();
    return;
  }
  for (int i = 0; i < kMostDialogs; ++i) {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) break;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
  }
  if (fForm->HandlerUnderWay() || QApplication::activeModalWidget()) return;
  fForm->close();
  if (fForm && fForm->Closed()) fRetry.stop();
}

}  // namespace karvo
