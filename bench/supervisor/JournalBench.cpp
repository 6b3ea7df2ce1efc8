// BM_LoadJournal/N: the start-up load of a run that ended unexpectedly with
// N samples in its journal (a sample every 5 s, temperatures with one
// decimal, the working output with one): finding the run, reading and
// checking every line (local times back to instants), and the samples put
// into the measurements' five vectors with their statistics, as Yes to the
// start-up question does. Qt-free; the journal lies in the system's
// temporary folder.
//
// BM_LoadJournalWithProgress/N: the same through the start-up path of the
// window (FindUnclosedRuns telling its progress).
//
// BM_SummarizeRun/N: one line of the list of runs offered at start (count,
// first and last sample) for a journal of N samples.
//
// BM_JournalLine: one sample's journal line as the writer thread builds it.
//
// BM_ResumeAfterOutage/N: the disk refused writes while N samples came (720:
// an hour at 5 s) and takes them again: from then until all N are written
// and flushed to stable storage in the journal (a file in the system's
// temporary folder), the writer's retry wait set to 1 ms.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>

#include "chart/RtCustomGraph.h"
#include "supervisor/logic/DataExport.h"
#include "supervisor/logic/RunJournal.h"
#include "supervisor/logic/Supervisor.h"

namespace {

using namespace karvo;
namespace fs = std::filesystem;

// A journal of `samples` samples, one every 5 s.
void WriteJournal(const fs::path& journal, std::int64_t samples) {
  const TRegionalSettings r = ExportRegional({});
  std::ofstream out(journal, std::ios::binary);
  std::string line = JournalHeader() + "\r\n";
  TDateTime t = 46366.5;
  for (std::int64_t i = 0; i < samples; ++i, t += 5.0 / 86400) {
    AppendJournalLine(line, {t, 1000 + (i % 1000) * 0.1, 1050, 1043, 40 + (i % 100) * 0.1}, r);
    line += "\r\n";
    if (line.size() > (1 << 20)) {
      out << line;
      line.clear();
    }
  }
  out << line;
}

void LoadJournal(benchmark::State& state, bool asTheWindowDoes) {
  const fs::path home = fs::temp_directory_path() / ("karvo-bench-" + std::to_string(std::random_device{}()));
  std::optional<std::string> previous;
  if (const char* old = std::getenv("XDG_STATE_HOME")) previous = old;
  setenv("XDG_STATE_HOME", home.c_str(), 1);
  fs::create_directories(RunsFolder());
  const fs::path journal = RunsFolder() / "2026-12-10 16.00.00 UTC Furnace1.csv";
  WriteJournal(journal, state.range(0));
  state.counters["journal_MB"] = static_cast<double>(fs::file_size(journal)) / 1e6;
  int loaded = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(fs::path(journal).replace_extension(".closed"));
    {
      TRtCustomGraph graph;
      TSupervisor supervisor(graph, {});
      state.ResumeTiming();
      if (asTheWindowDoes) {
        std::uint64_t reports = 0;
        TSupervisor::TUnclosedRuns found =
            TSupervisor::FindUnclosedRuns(supervisor.JournalRegional(), [&](std::uint64_t, std::uint64_t) {
              benchmark::DoNotOptimize(++reports);
              return true;
            });
        if (found.Only) {
          supervisor.RunAnswered(*found.Only);
          supervisor.LoadRun(*found.Only);
        }
      } else {
        std::optional<TPreviousRun> run = supervisor.TakeUnclosedRun();
        if (run) supervisor.LoadRun(*run);
      }
      loaded = supervisor.Measurements().Count();
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
  state.counters["samples"] = loaded;
  if (previous) {
    setenv("XDG_STATE_HOME", previous->c_str(), 1);
  } else {
    unsetenv("XDG_STATE_HOME");
  }
  std::error_code ec;
  fs::remove_all(home, ec);
}
void BM_LoadJournal(benchmark::State& state) { LoadJournal(state, false); }
BENCHMARK(BM_LoadJournal)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
// The same as the window does it at program start: the run found and read
// with a progress function (on the loading thread there).
void BM_LoadJournalWithProgress(benchmark::State& state) { LoadJournal(state, true); }
BENCHMARK(BM_LoadJournalWithProgress)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SummarizeRun(benchmark::State& state) {
  const fs::path folder = fs::temp_directory_path() / ("karvo-bench-" + std::to_string(std::random_device{}()));
  fs::create_directories(folder);
  TRunFiles run;
  run.Journal = folder / "2026-12-10 16.00.00 UTC Furnace1.csv";
  WriteJournal(run.Journal, state.range(0));
  std::uint64_t samples = 0;
  for (auto _ : state) samples = SummarizeRun(run, ExportRegional({})).Samples;
  state.counters["samples"] = static_cast<double>(samples);
  std::error_code ec;
  fs::remove_all(folder, ec);
}
BENCHMARK(BM_SummarizeRun)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_JournalLine(benchmark::State& state) {
  const TRegionalSettings r = ExportRegional({});
  std::string line;
  TDateTime t = 46366.5;
  for (auto _ : state) {
    line.clear();
    AppendJournalLine(line, {t += 5.0 / 86400, 1021.5, 1050, 1043, 45.5}, r);
    benchmark::DoNotOptimize(line.data());
  }
}
BENCHMARK(BM_JournalLine);

void BM_ResumeAfterOutage(benchmark::State& state) {
  const fs::path folder = fs::temp_directory_path() / ("karvo-bench-" + std::to_string(std::random_device{}()));
  const auto n = state.range(0);
  std::atomic<bool> full{false};
  TJournalIo io = SystemJournalIo();
  io.Write = [&full, write = io.Write](std::intptr_t h, std::string_view bytes, std::string& reason) {
    if (full) {
      reason = "No space left on device";
      return false;
    }
    return write(h, bytes, reason);
  };
  std::uint64_t written = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TRunJournal journal{TRegionalSettings{}};
    journal.SetFolder(folder);
    journal.SetIo(io);
    journal.SetRetry(1, 1);
    journal.Begin(L"Furnace1");
    journal.Append({46366.5, 1000, 1050, 1043, 45});
    journal.WaitWritten(60000);
    full = true;
    TDateTime t = 46366.5;
    for (std::int64_t i = 0; i < n; ++i) journal.Append({t += 5.0 / 86400, 1000 + (i % 100) * 0.1, 1050, 1043, 45.5});
    journal.WaitIdle(60000);
    state.ResumeTiming();
    full = false;
    journal.WaitWritten(60000);
    state.PauseTiming();
    written = journal.DurableSamples() - 1;
    journal.End();
    journal.WaitWritten(60000);
    state.ResumeTiming();
  }
  state.counters["written"] = static_cast<double>(written);
  std::error_code ec;
  fs::remove_all(folder, ec);
}
BENCHMARK(BM_ResumeAfterOutage)->Arg(720)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
