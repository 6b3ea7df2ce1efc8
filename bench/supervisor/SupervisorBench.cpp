// BM_ConsumedTick/N: the user-interface thread's work for one tick that
// consumes a poll record with N samples already in the chart: the tick
// (value report, five appends, the rate of change, the stability lamps,
// the stable-segment signal in the store, axis modes, visibility, and the
// program step of a running segment with its table), the read-only boxes
// and lamps, the chart model's recalculation before a redraw, and the
// queued log lines reaching MemoLog and the day's log file. Controller
// writes (the varying limit is off, the segment's values are the
// controller's) and the repaint itself are not part of it. The sample goes
// to the run journal's writer thread (its writing and flushing are the
// writer's, off this thread).
//
// BM_ConsumedTickFailingDisk/N: the same while the run journal's disk
// refuses every write (the samples wait in the writer's queue).
//
// BM_LogAppend/N: one line appended to a MemoLog that already holds N
// lines (at 200,000 it drops its oldest line for each new one).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QStringList>
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
#include "supervisor/frmFurnaceModule.h"

namespace {

using namespace karvo;
namespace fs = std::filesystem;

fs::path TempFolder() { return fs::temp_directory_path() / ("karvo-bench-" + std::to_string(std::random_device{}())); }

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

void ConsumedTick(benchmark::State& state, bool failingDisk) {
  const fs::path folder = TempFolder();
  const TScopedHome store("XDG_CONFIG_HOME", folder / "config");
  const TScopedHome stateHome("XDG_STATE_HOME", folder / "state");
  TQtSeams seams(std::make_unique<TProgramLogFile>(folder), false);
  TFormModbus form;
  seams.AttachWindow(form);
  form.Timer1->stop();
  if (failingDisk) {
    TJournalIo io = SystemJournalIo();
    io.Write = [](std::intptr_t, std::string_view, std::string& reason) {
      reason = "No space left on device";
      return false;
    };
    form.Supervisor->Journal.SetIo(io);
  }
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
  // The history: a sample every 5 s.
  TRtMainChart& c = *form.Chart;
  const auto n = state.range(0);
  TDateTime t = 45000.0;
  for (std::int64_t i = 0; i < n; ++i, t += 5.0 / 86400) {
    c.RtDoubleVectorSetpoint.Add(1050);
    c.RtDoubleVectorWorkingSetpoint.Add(1040);
    c.RtDoubleVectorTemperature.Add(1000 + (i % 100) * 0.1);
    c.RtDoubleVectorWorkingOutput.Add(45.5);
    c.RtDoubleVectorTime.Add(t);
  }
  form.RtGraph2D1->Recalculate();
  for (auto _ : state) {
    ReadResult.Valid = true;
    ReadResult.aMessage.clear();
    ReadResult.Temperature = 1049.5;
    ReadResult.TargetSetpoint = 1050;
    ReadResult.WorkingSetpoint = 1043;
    ReadResult.WorkingOutput = 455;
    ReadResult.MaxOutputPowerActual = 725;
    ReadResult.RampRate = 10;
    ReadResult.ReadtimeUtc = (t += 5.0 / 86400);
    form.Timer1Timer();
    form.RtGraph2D1->Recalculate();
    seams.LogQueue().Drain();
  }
  state.counters["samples"] = static_cast<double>(c.RtDoubleVectorTime.GetCount());
  form.Supervisor->Journal.WaitIdle(60000);
  state.counters["journaled"] = static_cast<double>(form.Supervisor->Journal.DurableSamples());
  state.counters["waiting"] = static_cast<double>(form.Supervisor->Journal.WaitingSamples());
  form.close();
  std::error_code ec;
  fs::remove_all(folder, ec);
}
void BM_ConsumedTick(benchmark::State& state) { ConsumedTick(state, false); }
BENCHMARK(BM_ConsumedTick)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
// The same while the disk refuses every write: the samples wait in the
// writer's queue and the attention line shows their count.
void BM_ConsumedTickFailingDisk(benchmark::State& state) { ConsumedTick(state, true); }
BENCHMARK(BM_ConsumedTickFailingDisk)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void BM_LogAppend(benchmark::State& state) {
  const fs::path folder = TempFolder();
  const TScopedHome home("XDG_STATE_HOME", folder);
  TFormModbus form;
  form.Timer1->stop();
  form.resize(1484, 724);
  form.show();
  QStringList lines;
  for (std::int64_t i = 0; i < state.range(0); ++i)
    lines << QStringLiteral("Temperature                : %1.5\u00BAC").arg(i % 1300);
  form.MemoLog->AppendLines(lines);
  QCoreApplication::processEvents();
  const QStringList line{QStringLiteral("Working setpoint           : 1043\u00BAC")};
  for (auto _ : state) form.MemoLog->AppendLines(line);
  state.counters["lines"] = form.MemoLog->LineCount();
  QCoreApplication::processEvents();
  form.close();
  std::error_code ec;
  fs::remove_all(folder, ec);
}
BENCHMARK(BM_LogAppend)->Arg(1000)->Arg(200000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
