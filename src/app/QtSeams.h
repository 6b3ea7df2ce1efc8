#pragma once
// The Qt versions of the process-wide seams, installed for the life of the
// object: the user-interface invoke, message boxes, Yes/No questions, the
// save dialog, the error-report dialog, the processing of waiting events,
// the beep, and the program log's sink.
//
// The log sink never waits for the user-interface thread: it writes the
// line to the day's log file, keeps it for error reports and queues it for
// MemoLog, which takes the queued lines whole and in order when the
// user-interface thread gets to them. (A sink that waited for that thread
// while LogLine holds the log's lock would deadlock against a
// user-interface thread that logs.)
//
// Order at the end: the window's close shuts the read cycle down and then
// emits ReadCycleShutDown; RestoreUi (connected to it by AttachWindow) puts
// the defaults back for everything that touches the user interface and
// releases any poll still waiting in the invoke. The log keeps going to the
// file until the object is destroyed.

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "chart/RtIntegerEdit.h"
#include "common/Log.h"
#include "common/Seams.h"
#include "supervisor/logic/ProgramLogFile.h"
#include "supervisor/window/LogView.h"

class QWidget;

namespace karvo {

class TFormModbus;

// Lines of any thread, queued for a text view on the user-interface thread.
class TLogQueue : public QObject {
  Q_OBJECT

 public:
  explicit TLogQueue(QObject* parent = nullptr);
  // The view that receives the lines; lines queued before it is set wait.
  void SetView(TLogView* view);
  // Any thread; never waits for the user-interface thread.
  void Push(const std::string& line);
  // User-interface thread: appends every queued line to the view.
  void Drain();
  std::size_t Pending();

 private:
  std::mutex fMutex;
  std::vector<std::string> fPending;
  bool fDrainPosted = false;
  QPointer<TLogView> fView;
};

class TQtSeams : public QObject {
  Q_OBJECT

 public:
  // logFile: where the day's log file goes (the state folder's by default).
  // Without dialogs, the message boxes, questions, save and error dialogs
  // stay as they are (tests answer them).
  explicit TQtSeams(std::unique_ptr<TProgramLogFile> logFile = nullptr, bool dialogs = true);
  ~TQtSeams() override;
  TQtSeams(const TQtSeams&) = delete;
  TQtSeams& operator=(const TQtSeams&) = delete;

  // The window's MemoLog gets the log, dialogs belong to the window, and
  // RestoreUi follows the window's read-cycle shutdown.
  void AttachWindow(TFormModbus& window);
  // Puts back the default seams for everything that touches the user
  // interface; the log goes on to the file.
  void RestoreUi();
  TLogQueue& LogQueue() { return fLogQueue; }

 private:
  void InstallLogSink(bool toView);

  TLogQueue fLogQueue;
  std::unique_ptr<TProgramLogFile> fLogFile;
  std::mutex fFileMutex;
  QObject* fInvokeContext = nullptr;  // receives the blocking calls of other threads
  QPointer<QWidget> fDialogParent;
  bool fUiInstalled = false;
  bool fDialogs = true;
};

}  // namespace karvo
