// karvo-window-screenshot [--program SPEED] PORT FILE [SAMPLES] [SECONDS]
// Opens the main window maximised, picks PORT in the port list, presses
// Start, waits until the chart holds SAMPLES temperatures (default 12; at
// most SECONDS, default 120), then writes a picture of the window to FILE.
//
// With --program the window runs a segment program on a furnace simulated
// SPEED times faster than real time (karvo-sim --speed SPEED): the
// program's clock runs as fast, a poll is taken as soon as the last one is
// consumed, and the picture is taken once the second segment is stable (all
// three lamps on) and has been for at least SAMPLES polls more, with the
// rate-of-change line in the chart and the current segment marked in the
// table.
//
// Exit 1 when the port is not listed, Start fails or the picture's moment
// does not come in time; 2 for a usage error.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "app/QtSeams.h"
#include "app/Startup.h"
#include "common/Seams.h"
#include "supervisor/window/frmFurnaceModule.h"

namespace {

using namespace karvo;

// The program of the picture: up to 130 ºC and a dwell, then on to 160 ºC.
void EnterProgram(TFormModbus& form) {
  const struct { int setpoint, rampRate, minutes; } segments[] = {{130, 30, 4}, {160, 30, 10}, {175, 20, 10}};
  int k = 1;
  for (const auto& s : segments) {
    form.RtIntegerEditProgramSegment->SetValue(k++);
    form.RtIntegerEditProgramSetpoint->SetValue(s.setpoint);
    form.RtIntegerEditProgramRampRate->SetValue(s.rampRate);
    form.RtIntegerEditProgramMinutes->SetValue(s.minutes);
    form.ButtonInstructionsSave->click();
  }
  form.RtIntegerEditStableSlopeTime->SetValue(120);
  form.RtIntegerEditMinimumSteadyTime->SetValue(1);
  form.RtIntegerEditStableTemperature->SetValue(3);
  form.CheckBoxTargetSetpointVisible->setChecked(true);
  form.PageControl1->setCurrentIndex(static_cast<int>(TPageIndex::Instructions));
}

bool ProgramPictureReady(TFormModbus& form, int& stablePolls, int samples) {
  TFurnaceModule* module = form.FurnaceModule();
  if (!module || module->InstructionsCurrentSegment() != 2) return false;
  // The operator follows the running segment: from segment 3 the Up arrow
  // loads segment 2 into the editors and marks it in the table.
  if (form.RtIntegerEditProgramSegment->Value() != 2) {
    form.RtIntegerEditProgramSegment->SetValue(3);
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(form.RtIntegerEditProgramSegment, &up);
  }
  const bool lit = form.LedOscilation->Value() && form.LedSlope->Value() && form.LedTime->Value();
  stablePolls = lit ? stablePolls + 1 : 0;
  return lit && stablePolls > samples && form.Chart->RtLinearRegressionRateOfChange.Visible();
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<double> programSpeed;
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "--program") == 0) {
    programSpeed = std::atof(argv[2]);
    first = 3;
    if (!(*programSpeed > 0.0)) {
      std::fprintf(stderr, "karvo-window-screenshot: --program takes the simulator's speed factor\n");
      return 2;
    }
  }
  if (argc - first < 2) {
    std::fprintf(stderr, "usage: karvo-window-screenshot [--program SPEED] PORT FILE [SAMPLES] [SECONDS]\n");
    return 2;
  }
  const char* portArg = argv[first];
  const QString port = QString::fromLocal8Bit(portArg);
  const QString file = QString::fromLocal8Bit(argv[first + 1]);
  const int samples = argc > first + 2 ? std::atoi(argv[first + 2]) : 12;
  const int seconds = argc > first + 3 ? std::atoi(argv[first + 3]) : 120;

  karvo::InitialiseModules();
  // The program's clock runs with the simulated furnace.
  std::optional<seams::Scoped<seams::NowFn>> clock;
  if (programSpeed) {
    const TDateTime start = UtcNow();
    const auto since = std::chrono::steady_clock::now();
    const double speed = *programSpeed;
    clock.emplace(seams::SetUtcNow, [start, since, speed] {
      const double real = std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
      return start + real * speed / kSecondsPerDay;
    });
  }
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
        std::fprintf(stderr, "karvo-window-screenshot: %s is not in the port list\n", portArg);
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
      if (programSpeed) {
        EnterProgram(form);
        // A poll as soon as the last one is consumed.
        form.Timer1->setInterval(200);
      }
      auto* watch = new QTimer(&form);
      auto* elapsed = new QElapsedTimer;
      elapsed->start();
      auto stablePolls = std::make_shared<int>(0);
      auto lastCount = std::make_shared<int>(0);
      QObject::connect(watch, &QTimer::timeout, &form, [&, watch, elapsed, stablePolls, lastCount] {
        const int count = form.Supervisor->Measurements().RtDoubleVectorTemperature.GetCount();
        bool ready = false;
        if (programSpeed) {
          if (count != *lastCount) ready = ProgramPictureReady(form, *stablePolls, samples);
          *lastCount = count;
        } else {
          ready = count >= samples;
        }
        if (ready) {
          watch->stop();
          // Let the chart and the log catch up before the picture.
          QTimer::singleShot(800, &form, [&] {
            result = form.grab().save(file) ? 0 : 1;
            form.close();
          });
        } else if (elapsed->elapsed() > seconds * 1000LL) {
          std::fprintf(stderr, "karvo-window-screenshot: the picture's moment did not come within %d s\n", seconds);
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
