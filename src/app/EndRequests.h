#pragma once
// Requests from outside to end the program: on POSIX systems the signals
// SIGTERM (a logout, a service manager, kill), SIGHUP and SIGINT (SIGINT
// only when the program did not start with it ignored, as a background job
// of a script does); on Windows the end of the session (WM_ENDSESSION) and
// the console's close, Ctrl+C and Ctrl+Break. Each closes the window as its
// close button does: the close sequence runs (the run journal closed,
// FS_ "0"), within the close's own time. A dialog that is open is answered
// as cancelled first; a handler under way is let finish.

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

namespace karvo {

class TFormModbus;

// The platform's part (EndRequests_posix.cpp, EndRequests_win32.cpp).
class TEndRequestHooks {
 public:
  virtual ~TEndRequestHooks() = default;
};
// From now on each request calls `onEnd` on the user-interface thread.
// `closed` says whether the program has closed (Windows lets the system end
// the process only then, or after a limit). Destroying the result removes
// the hooks.
std::unique_ptr<TEndRequestHooks> HookEndRequests(std::function<void()> onEnd, std::function<bool()> closed);

class TEndRequests : public QObject {
 public:
  explicit TEndRequests(TFormModbus& form);
  ~TEndRequests() override;
  TEndRequests(const TEndRequests&) = delete;
  TEndRequests& operator=(const TEndRequests&) = delete;

  // Requests received so far.
  int Received() const { return fReceived; }

 private:
  void Requested();
  void TryClose();

  QPointer<TFormModbus> fForm;
  QTimer fRetry;
  int fReceived = 0;
  std::unique_ptr<TEndRequestHooks> fHooks;
};

}  // namespace karvo
