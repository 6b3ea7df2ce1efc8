#pragma once
// The main window as BM_ConsumedTick measures it, shared by the benchmarks
// of the tick: private per-user and state folders (the stable-segment
// signal, the run journal, the log files), the window offscreen with a
// running program on the "Instructions" page, N samples of history (one
// every 5 s), and one consumed poll record at a time.

#include <QApplication>
#include <QTabWidget>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "app/QtSeams.h"
#include "furnace/ReadCycle.h"
#include "supervisor/window/frmFurnaceModule.h"

namespace karvo::bench {

namespace fs = std::filesystem;

inline fs::path TempFolder() {
  return fs::temp_directory_path() / ("karvo-bench-" + std::to_string(std::random_device{}()));
}

// A private per-user store for the benchmark's stable-segment signal
// (XDG_CONFIG_HOME), and a private state folder for the run journal the
// tick writes (XDG_STATE_HOME).
class TScopedHome {
 public:
  TScopedHome(const char* variable, const fs::path& folder) : variable_(variable) {
    if (const char* old = std::getenv(variable)) previous_ = old;
    fs::create_directories(folder);
    setenv(variable, folder.c_str(), 1);
  }
  ~TScopedHome() {
    if (previous_) {
      setenv(variable_, previous_->c_str(), 1);
    } else {
      unsetenv(variable_);
    }
  }
  TScopedHome(const TScopedHome&) = delete;
  TScopedHome& operator=(const TScopedHome&) = delete;

 private:
  const char* variable_;
  std::optional<std::string> previous_;
};

class TTickBench {
 public:
  explicit TTickBench(std::int64_t samples) {
    form.Timer1->stop();
    seams.AttachWindow(form);
    form.resize(1484, 724);
    form.show();
    QCoreApplication::processEvents();
    auto module = std::make_unique<TFurnaceModule>();
    module->SetOnPort("COM250");
    // A running program whose segment the controller already holds; the
    // instructions page, so that the program step runs.
    module->SetInstruction(1, {false, 1050, 10, 1.0, false});
    form.Supervisor->SetFurnaceModule(std::move(module));
    form.PageControl1->setCurrentIndex(static_cast<int>(TPageIndex::Instructions));
    TMeasurements& c = form.Supervisor->Measurements();
    for (std::int64_t i = 0; i < samples; ++i, fTime += 5.0 / 86400) {
      c.AddSample(fTime, 1000 + (i % 100) * 0.1, 1050, 1040, 45.5);
    }
    form.RtGraph2D1->Recalculate();
  }
  ~TTickBench() {
    form.Supervisor->Journal.WaitIdle(60000);
    form.close();
    std::error_code ec;
    fs::remove_all(folder, ec);
  }

  // One tick that consumes a record, the chart model's recalculation and
  // the queued log lines.
  void ConsumedTick() {
    ReadResult.Valid = true;
    ReadResult.aMessage.clear();
    ReadResult.Temperature = 1049.5;
    ReadResult.TargetSetpoint = 1050;
    ReadResult.WorkingSetpoint = 1043;
    ReadResult.WorkingOutput = 455;
    ReadResult.MaxOutputPowerActual = 725;
    ReadResult.RampRate = 10;
    ReadResult.ReadtimeUtc = (fTime += 5.0 / 86400);
    form.Timer1Timer();
    form.RtGraph2D1->Recalculate();
    seams.LogQueue().Drain();
  }

  const fs::path folder = TempFolder();
  const TScopedHome store{"XDG_CONFIG_HOME", folder / "config"};
  const TScopedHome stateHome{"XDG_STATE_HOME", folder / "state"};
  TQtSeams seams{std::make_unique<TProgramLogFile>(folder), false};
  TFormModbus form;

 private:
  TDateTime fTime = 45000.0;
};

}  // namespace karvo::bench
