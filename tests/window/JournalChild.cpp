// A run to be killed: the real window against the simulated controller on
// COM9 (the port map and the state folder come from the environment the
// test gives it), with the clock seam one second further at every reading.
// It presses Start and consumes polls one after another; once a sample is
// on stable storage it prints the sample's line as the data export writes
// it. It runs until it is killed.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <string>

#include "app/QtSeams.h"
#include "common/Regional.h"
#include "common/Seams.h"
#include "furnace/ReadCycle.h"
#include "serial/SerialPort.h"
#include "supervisor/logic/DataExport.h"
#include "supervisor/window/frmFurnaceModule.h"

namespace {

using namespace karvo;

std::atomic<std::int64_t> gSeconds{0};

template <class Pred>
bool WaitFor(Pred done) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > 30000) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

int Fail(const char* what) {
  std::fprintf(stderr, "journal child: %s\n", what);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // 2026-12-10 16:00 UTC and on.
  seams::SetUtcNow([] { return 46366.0 + 16.0 / 24 + static_cast<double>(gSeconds.fetch_add(1)) / kSecondsPerDay; });
  seams::SetPause([](std::uint32_t) {});
  // Replies looked for every 50 ms, as in the window tests: the run's
  // samples, not the line's pace, are what the test checks.
  TSerialPort::SetDefaultWindowsReadLoopTimeoutMS(50);
  TQtSeams qtSeams(nullptr, /*dialogs=*/false);
  TFormModbus form;
  qtSeams.AttachWindow(form);
  form.show();
  // Start waits until the runs that ended unexpectedly were looked through.
  QCoreApplication::processEvents();
  if (!WaitFor([&] { return form.ButtonCreateFurnaceModule->isEnabled(); })) return Fail("Start stays disabled");
  form.ComboBoxModbusPort->setCurrentIndex(form.ComboBoxModbusPort->findText(QStringLiteral("COM9")));
  form.ButtonCreateFurnaceModule->click();
  if (form.ButtonCreateFurnaceModule->text() != QStringLiteral("Stop")) return Fail("Start failed");
  form.Timer1->stop();
  const TRegionalSettings regional = ExportRegional(Regional());
  const TMeasurements& c = form.Supervisor->Measurements();
  for (std::uint64_t consumed = 1;; ++consumed) {
    form.Timer1Timer();
    if (!WaitFor([] { return ReadResult.Valid && PollsInFlight() == 0; })) return Fail("no poll");
    form.Timer1Timer();
    if (!WaitFor([&] { return form.Supervisor->Journal.DurableSamples() == consumed; })) return Fail("not on disk");
    const int i = c.RtDoubleVectorTime.GetCount() - 1;
    std::string line;
    AppendDataExportLine(line, c.RtDoubleVectorTime[i], c.RtDoubleVectorTemperature[i], c.RtDoubleVectorSetpoint[i],
                         c.RtDoubleVectorWorkingSetpoint[i], regional);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }
}
