// karvo-window-screenshot PORT FILE [SAMPLES] [SECONDS]
// Opens the main window maximised, picks PORT in the port list, presses
// Start, waits until the chart holds SAMPLES temperatures (default 12; at
// most SECONDS, default 120), then writes a picture of the window to FILE.
// Exit 1 when the port is not listed, Start fails or the samples do not come.

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/QtSeams.h"
#include "app/Startup.h"
#include "supervisor/frmFurnaceModule.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: karvo-window-screenshot PORT FILE [SAMPLES] [SECONDS]\n");
    return 2;
  }
  const QString port = QString::fromLocal8Bit(argv[1]);
  const QString file = QString::fromLocal8Bit(argv[2]);
  const int samples = argc > 3 ? std::atoi(argv[3]) : 12;
  const int seconds = argc > 4 ? std::atoi(argv[4]) : 120;

  karvo::InitialiseModules();
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("Karvo Temp"));
  karvo::TQtSeams seams;
  int result = 1;
  {
    karvo::TFormModbus form;
    seams.AttachWindow(form);
    form.showMaximized();
    // Without a window manager (Xvfb) nobody maximises: take the screen.
    form.setGeometry(form.screen()->availableGeometry());
    QTimer::singleShot(500, &form, [&] {
      const int index = form.ComboBoxModbusPort->findText(port);
      if (index < 0) {
        std::fprintf(stderr, "karvo-window-screenshot: %s is not in the port list\n", argv[1]);
        form.close();
        return;
      }
      form.ComboBoxModbusPort->setCurrentIndex(index);
      form.ButtonCreateFurnaceModule->click();
      if (form.ButtonCreateFurnaceModule->text() != QStringLiteral("Stop")) {
        std::fprintf(stderr, "karvo-window-screenshot: Start did not find the controller\n");
        form.close();
        return;
      }
      auto* watch = new QTimer(&form);
      auto* elapsed = new QElapsedTimer;
      elapsed->start();
      QObject::connect(watch, &QTimer::timeout, &form, [&, watch, elapsed] {
        if (form.Chart->RtDoubleVectorTemperature.GetCount() >= samples) {
          watch->stop();
          // Let the chart and the log catch up before the picture.
          QTimer::singleShot(800, &form, [&] {
            result = form.grab().save(file) ? 0 : 1;
            form.close();
          });
        } else if (elapsed->elapsed() > seconds * 1000LL) {
          std::fprintf(stderr, "karvo-window-screenshot: no %d samples within %d s\n", samples, seconds);
          watch->stop();
          form.close();
        }
      });
      watch->start(200);
    });
    QApplication::exec();
    seams.RestoreUi();
  }
  return result;
}
