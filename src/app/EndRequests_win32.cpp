// End requests on Windows. The end of the session comes to the
// user-interface thread as WM_ENDSESSION: the close runs there before the
// message is answered, as the system ends the process after it. The
// console's events come on a thread of their own: the close is handed to
// the user-interface thread and the handler waits for it, as the process
// ends once the handler returns.
#include <windows.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <atomic>

#include "app/EndRequests.h"

namespace karvo {

namespace {

// Longer than the close's own time (its pauses and the read cycle's shutdown).
constexpr int kCloseLimitMs = 20000;

std::function<void()>* gOnEnd = nullptr;
std::function<bool()>* gClosed = nullptr;
std::atomic<bool> gConsoleClosed{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT &&
      event != CTRL_SHUTDOWN_EVENT)
    return FALSE;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || !gOnEnd) return FALSE;
  QMetaObject::invokeMethod(
      app,
      [] {
        if (gOnEnd) (*gOnEnd)();
      },
      Qt::QueuedConnection);
  // Ctrl+C and Ctrl+Break leave the process to end by itself.
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // The window is the user-interface thread's to ask.
  for (int waited = 0; waited < kCloseLimitMs && !gConsoleClosed; waited += 50) {
    QMetaObject::invokeMethod(
        app,
        [] {
          if (gClosed && (*gClosed)()) gConsoleClosed = true;
        },
        Qt::QueuedConnection);
    ::Sleep(50);
  }
  return TRUE;
}

class TSessionEndFilter : public QAbstractNativeEventFilter {
 public:
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "windows_generic_MSG" || !message) return false;
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message != WM_ENDSESSION || msg->wParam == FALSE || !gOnEnd) return false;
    (*gOnEnd)();
    QElapsedTimer waited;
    waited.start();
    while (gClosed && !(*gClosed)() && waited.elapsed() < kCloseLimitMs)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return false;
  }
};

class TWin32Hooks : public TEndRequestHooks {
 public:
  TWin32Hooks(std::function<void()> onEnd, std::function<bool()> closed)
      : onEnd_(std::move(onEnd)), closed_(std::move(closed)) {
    gOnEnd = &onEnd_;
    gClosed = &closed_;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    if (QCoreApplication* app = QCoreApplication::instance()) app->installNativeEventFilter(&filter_);
  }
  ~TWin32Hooks() override {
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeNativeEventFilter(&filter_);
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    gOnEnd = nullptr;
    gClosed = nullptr;
  }
  TWin32Hooks(const TWin32Hooks&) = delete;
  TWin32Hooks& operator=(const TWin32Hooks&) = delete;

 private:
  std::function<void()> onEnd_;
  std::function<bool()> closed_;
  TSessionEndFilter filter_;
};

}  // namespace

std::unique_ptr<TEndRequestHooks> HookEndRequests(std::function<void()> onEnd, std::function<bool()> closed) {
  return std::make_unique<TWin32Hooks>(std::move(onEnd), std::move(closed));
}

}  // namespace karvo
