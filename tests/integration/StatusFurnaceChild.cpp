// One program on its own simulated furnace for the Prometheus test: the
// real window against a simulated controller (its own port map and folders),
// its furnace name and start temperature from the command line, the status
// server on a free loopback port, which it prints as "port <n>"; then it
// presses Start and runs until it is killed.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>

#include "app/QtSeams.h"
#include "sim/ComLink.h"
#include "status/StatusFeed.h"
#include "supervisor/window/frmFurnaceModule.h"

int main(int argc, char** argv) {
  using namespace karvo;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: status_furnace_child NAME TEMPERATURE\n");
    return 2;
  }
  sim::SimOptions options;
  options.Speed = 0.0;
  options.StartTemperature = std::atof(argv[2]);
  sim::ScopedStateHome state;
  sim::SimOnComPort sim(options);
  TQtSeams qtSeams(nullptr, /*dialogs=*/false);
  seams::SetMessage([](const std::string& text) { std::fprintf(stderr, "message: %s\n", text.c_str()); });
  TFormModbus form;
  qtSeams.AttachWindow(form);
  form.show();
  form.EditFurnaceName->setText(QString::fromLocal8Bit(argv[1]));
  form.ButtonFurnaceNameSave->click();
  TStatusServer server;
  TStatusOptions o;
  o.Port = 0;
  if (const std::string error = server.Start(o); !error.empty()) {
    std::fprintf(stderr, "status server: %s\n", error.c_str());
    return 2;
  }
  TStatusFeed feed(form, server);
  form.TickShown = [&feed](const TTickOutcome& out) { feed.TickShown(out); };
  form.ComboBoxModbusPort->setCurrentIndex(form.ComboBoxModbusPort->findText(QStringLiteral("COM9")));
  form.ButtonCreateFurnaceModule->click();
  if (form.ButtonCreateFurnaceModule->text() != QStringLiteral("Stop")) {
    std::fprintf(stderr, "Start failed\n");
    return 2;
  }
  std::printf("port %u\n", static_cast<unsigned>(server.Port()));
  std::fflush(stdout);
  const int result = QApplication::exec();
  form.TickShown = nullptr;
  return result;
}
