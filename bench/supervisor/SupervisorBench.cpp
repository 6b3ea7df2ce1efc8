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

#include "TickBench.h"
#include "app/QtSeams.h"
#include "furnace/ReadCycle.h"
#include "supervisor/window/frmFurnaceModule.h"

namespace {

using namespace karvo;
namespace fs = std::filesystem;

void ConsumedTick(benchmark::State& state, bool failingDisk) {
  bench::TTickBench b(state.range(0));
  if (failingDisk) {
    TJournalIo io = SystemJournalIo();
    io.Write = [](std::intptr_t, std::string_view, std::string& reason) {
      reason = "No space left on device";
      return false;
    };
    b.form.Supervisor->Journal.SetIo(io);
  }
  for (auto _ : state) b.ConsumedTick();
  state.counters["samples"] = static_cast<double>(b.form.Supervisor->Measurements().Count());
  b.form.Supervisor->Journal.WaitIdle(60000);
  state.counters["journaled"] = static_cast<double>(b.form.Supervisor->Journal.DurableSamples());
  state.counters["waiting"] = static_cast<double>(b.form.Supervisor->Journal.WaitingSamples());
}
void BM_ConsumedTick(benchmark::State& state) { ConsumedTick(state, false); }
BENCHMARK(BM_ConsumedTick)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
// The same while the disk refuses every write: the samples wait in the
// writer's queue and the attention line shows their count.
void BM_ConsumedTickFailingDisk(benchmark::State& state) { ConsumedTick(state, true); }
BENCHMARK(BM_ConsumedTickFailingDisk)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void BM_LogAppend(benchmark::State& state) {
  const fs::path folder = bench::TempFolder();
  const bench::TScopedHome home("XDG_STATE_HOME", folder);
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
