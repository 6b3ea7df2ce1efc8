#include "app/QtSeams.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "supervisor/logic/CrashReport.h"
#include "supervisor/window/frmFurnaceModule.h"

namespace karvo {

namespace {

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }
std::string S(const QString& text) { return text.toStdString(); }

// Runs fn on the thread of `context` (the user-interface thread) and waits.
void RunOn(QObject* context, const std::function<void()>& fn) {
  if (QThread::currentThread() == context->thread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(
      context, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

}  // namespace

TLogQueue::TLogQueue(QObject* parent) : QObject(parent) {}

void TLogQueue::SetView(TLogView* view) {
  fView = view;
  Drain();
}

void TLogQueue::Push(const std::string& line) {
  std::lock_guard lock(fMutex);
  fPending.push_back(line);
  if (!fDrainPosted) {
    fDrainPosted = true;
    QMetaObject::invokeMethod(
        this, [this] { Drain(); }, Qt::QueuedConnection);
  }
}

std::size_t TLogQueue::Pending() {
  std::lock_guard lock(fMutex);
  return fPending.size();
}

void TLogQueue::Drain() {
  if (!fView) return;  // the lines wait for a view
  std::vector<std::string> lines;
  {
    std::lock_guard lock(fMutex);
    lines.swap(fPending);
    fDrainPosted = false;
  }
  if (lines.empty()) return;
  QStringList texts;
  texts.reserve(static_cast<qsizetype>(lines.size()));
  for (const std::string& line : lines) texts << Q(line);
  fView->AppendLines(texts);
}

TQtSeams::TQtSeams(std::unique_ptr<TProgramLogFile> logFile, bool dialogs)
    : fLogFile(std::move(logFile)), fDialogs(dialogs) {
  if (!fLogFile) fLogFile = std::make_unique<TProgramLogFile>();
  fInvokeContext = new QObject;
  QObject* context = fInvokeContext;
  seams::SetUiInvoke([context](const std::function<void()>& fn) { RunOn(context, fn); });
  // A handler that lets the window repaint in the middle of its work must
  // not run the operator's next click inside it (a Stop would free what the
  // handler uses): input waits until the handler is done.
  seams::SetProcessMessages([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
  seams::SetBeep([] { QApplication::beep(); });
  fUiInstalled = true;
  InstallLogSink(true);
  if (!fDialogs) return;
  auto parent = [this] { return fDialogParent.data(); };
  seams::SetMessage([context, parent](const std::string& text) {
    RunOn(context, [&] {
      QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), Q(text), QMessageBox::Ok,
                      parent());
      box.exec();
    });
  });
  auto question = [context, parent](const std::string& text, const QString& title) {
    bool yes = false;
    RunOn(context, [&] {
      QMessageBox box(QMessageBox::Question, title, Q(text), QMessageBox::Yes | QMessageBox::No, parent());
      yes = box.exec() == QMessageBox::Yes;
    });
    return yes;
  };
  seams::SetQuestion(
      [question](const std::string& text) { return question(text, QGuiApplication::applicationDisplayName()); });
  seams::SetTitledQuestion(
      [question](const std::string& text, const std::string& title) { return question(text, Q(title)); });
  seams::SetSaveDialog([context, parent](const TSaveDialogOptions& o) {
    std::string chosen;
    RunOn(context, [&] {
      QFileDialog dialog(parent(), Q(o.Title), Q(o.InitialDir));
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setNameFilter(Q(o.FilterName) + QStringLiteral(" (") + Q(o.FilterPattern) + QStringLiteral(")"));
      dialog.setDefaultSuffix(Q(o.DefaultExt));
      if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        chosen = S(dialog.selectedFiles().first());
    });
    return chosen;
  });
  seams::SetListChoice([context, parent](const TListChoiceOptions& o) {
    int chosen = -1;
    RunOn(context, [&] {
      QDialog dialog(parent());
      dialog.setWindowTitle(Q(o.Title));
      auto* layout = new QVBoxLayout(&dialog);
      auto* text = new QLabel(Q(o.Text), &dialog);
      text->setWordWrap(true);
      layout->addWidget(text);
      auto* list = new QListWidget(&dialog);
      for (const std::string& item : o.Items) list->addItem(Q(item));
      list->setCurrentRow(0);
      layout->addWidget(list);
      auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
      layout->addWidget(buttons);
      QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
      QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
      QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
      dialog.resize(dialog.sizeHint().expandedTo(QSize(560, 0)));
      if (dialog.exec() == QDialog::Accepted) chosen = list->currentRow();
    });
    return chosen;
  });
  seams::SetErrorReport([context, parent](const std::string& text) {
    bool save = false;
    RunOn(context, [&] {
      QMessageBox box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(), Q(text), QMessageBox::Close,
                      parent());
      box.setInformativeText(QStringLiteral("The program goes on. A report of the error helps to find its cause."));
      QPushButton* report = box.addButton(QStringLiteral("Save report"), QMessageBox::AcceptRole);
      box.exec();
      save = box.clickedButton() == report;
    });
    return save;
  });
}

TQtSeams::~TQtSeams() {
  RestoreUi();
  SetLogSink({});
}

void TQtSeams::InstallLogSink(bool toView) {
  SetLogSink([this, toView](const std::string& line) {
    // LogLine calls the sink one line at a time; nothing here waits for the
    // user-interface thread. The log file's own trouble goes on screen only.
    auto show = [&](const std::string& text) {
      RecentLogLines().Add(text);
      if (toView) fLogQueue.Push(text);
    };
    if (const std::string notice = fLogFile->Write(line); !notice.empty()) show(notice);
    show(line);
  });
}

void TQtSeams::AttachWindow(TFormModbus& window) {
  fDialogParent = &window;
  fLogQueue.SetView(window.MemoLog);
  connect(&window, &TFormModbus::ReadCycleShutDown, this, &TQtSeams::RestoreUi);
}

void TQtSeams::RestoreUi() {
  if (!fUiInstalled) return;
  fUiInstalled = false;
  // The lines still queued reach the view before it goes.
  fLogQueue.Drain();
  InstallLogSink(false);
  seams::SetUiInvoke({});
  seams::SetProcessMessages({});
  seams::SetBeep({});
  if (fDialogs) {
    seams::SetMessage({});
    seams::SetQuestion({});
    seams::SetTitledQuestion({});
    seams::SetSaveDialog({});
    seams::SetListChoice({});
    seams::SetErrorReport({});
  }
  // Releases a caller still waiting in the invoke (its queued call is
  // dropped with the context).
  delete fInvokeContext;
  fInvokeContext = nullptr;
}

}  // namespace karvo
