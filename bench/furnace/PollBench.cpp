// What the line discipline costs where the program waits for the controller,
// against the simulated controller on a pseudo-terminal (it answers as a
// real one does: after the request's end, with the wire time of its reply at
// 9600 baud).
//
//  - One poll of the read cycle (four transactions, the hand-off included).
//    Goal: within 30 ms of its floor, four transactions of two 200 ms looks
//    and the 20 ms the read waits for a further byte: 4 x 420 ms.
//  - One attempt of the furnace module's confirmed write (the write sent
//    without waiting, its echo, the read-back), without the random pause of
//    500 to 999 ms that follows it. Goal: at most 150 ms above the read-back's
//    own 420 ms.

#include <benchmark/benchmark.h>

#include <chrono>
#include <stdexcept>

#include "common/Seams.h"
#include "furnace/ClassFurnaceModule.h"
#include "furnace/ReadCycle.h"
#include "modbus/Registers.h"
#include "sim/SimController.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kTransactionFloorMs = 420.0;

// Mean milliseconds per iteration above `floorMs`, as a counter.
void ReportAbove(benchmark::State& state, double sumMs, double floorMs, const char* name) {
  const double n = static_cast<double>(state.iterations());
  if (n > 0) state.counters[name] = sumMs / n - floorMs;
}

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void BM_OnePoll(benchmark::State& state) {
  karvo::sim::SimController sim({.Seed = 1});
  sim.Start();
  double sumMs = 0.0;
  for (auto _ : state) {
    const auto start = Clock::now();
    karvo::ReadResult.Valid = false;
    if (!karvo::ReadFurnace(sim.DevicePath())) throw std::runtime_error("poll not started");
    if (!karvo::WaitForPolls(30000)) throw std::runtime_error("poll did not end");
    if (!karvo::ReadResult.Valid || !karvo::ReadResult.aMessage.empty()) {
      state.SkipWithError(("poll failed: " + karvo::ReadResult.aMessage).c_str());
      break;
    }
    sumMs += MsSince(start);
  }
  ReportAbove(state, sumMs, 4 * kTransactionFloorMs, "mean_ms_above_1680");
}
BENCHMARK(BM_OnePoll)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

// One transaction with a reply, for comparison.
void BM_OneTransaction(benchmark::State& state) {
  karvo::sim::SimController sim({.Seed = 1});
  sim.Start();
  karvo::TModbusPort port;
  port.SetPort(sim.DevicePath());
  for (auto _ : state) {
    const karvo::TSerialResponse r = port.QueryWords(1, 1, 6);
    if (!r.Status.empty()) {
      state.SkipWithError(r.Status.c_str());
      break;
    }
  }
}
BENCHMARK(BM_OneTransaction)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

void BM_ConfirmedWriteAttempt(benchmark::State& state) {
  karvo::sim::SimController sim({.Speed = 0.0, .Seed = 1});
  sim.Start();
  karvo::seams::Scoped<karvo::seams::PauseFn> noPause(karvo::seams::SetPause, [](std::uint32_t) {});
  karvo::TFurnaceModule module;
  module.SetOnPort(sim.DevicePath());
  module.SetAddress(1);
  double sumMs = 0.0;
  std::int32_t value = 10;
  for (auto _ : state) {
    value = value == 10 ? 11 : 10;
    int attempts = 0;
    const auto start = Clock::now();
    const bool confirmed = module.ConfirmedWrite(karvo::reg::RampRate, value, &attempts);
    sumMs += MsSince(start);
    if (!confirmed || attempts != 1) {
      state.SkipWithError("the write was not confirmed at its first attempt");
      break;
    }
  }
  ReportAbove(state, sumMs, kTransactionFloorMs, "mean_ms_above_420");
}
BENCHMARK(BM_ConfirmedWriteAttempt)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

}  // namespace

BENCHMARK_MAIN();
