#include "app/Program.h"

#include <QApplication>
#include <QIcon>
#include <exception>

#include "app/EndRequests.h"
#include "app/QtSeams.h"
#include "app/Startup.h"
#include "chart/RtQtRegional.h"
#include "furnace/ReadCycle.h"
#include "status/StatusFeed.h"
#include "supervisor/logic/CrashReport.h"
#include "supervisor/window/frmFurnaceModule.h"

namespace karvo {

namespace {

// The last net for errors outside the window's handlers (painting, layout):
// the operator is told and offered a report, and the program goes on.
class TKarvoApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      ReportActionError(e.what());
    } catch (...) {
      ReportActionError("unknown error");
    }
    return false;
  }
};

}  // namespace

void SetProgramIdentity() {
  QApplication::setApplicationName(QStringLiteral("KarvoTemp"));
  QApplication::setApplicationDisplayName(QStringLiteral("Karvo Temp"));
  QGuiApplication::setDesktopFileName(QStringLiteral(KARVO_APP_ID));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/karvotemp/icon.png")));
}

int RunProgram(int argc, char** argv, bool placeDriverInstaller) {
  InitialiseModules();
  TKarvoApplication app(argc, argv);
  SetProgramIdentity();
  InstallCrashHandler();
  // An error that ends a poll is offered as a report like one of the window.
  SetPollErrorReport(ReportActionError);
  InstallSystemRegional();
  TQtSeams seams;
  if (placeDriverInstaller) PlaceDriverInstaller();
  int result = 0;
  {
    TFormModbus form;
    seams.AttachWindow(form);
    const TEndRequests endRequests(form);
    std::vector<std::string> args;
    for (const QString& a : QCoreApplication::arguments().mid(1)) args.push_back(a.toStdString());
    TStatusService status(form, args);
    form.showMaximized();
    result = QApplication::exec();
    // The close has shut the read cycle down; the window's parts go now.
    seams.RestoreUi();
  }
  // Program end: the module went with the window; the record's text goes.
  ReadResult.aMessage.clear();
  ReadResult.aMessage.shrink_to_fit();
  return result;
}

}  // namespace karvo
