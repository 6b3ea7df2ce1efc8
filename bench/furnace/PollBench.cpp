// Duration of one poll of the read cycle (four transactions, the hand-off
// included) against the simulated controller on a pseudo-terminal. The
// floor is four transactions of two 200 ms looks and the reply: 4 x 420 ms.

#include <benchmark/benchmark.h>

#include <stdexcept>

#include "furnace/ReadCycle.h"
#include "sim/SimController.h"

namespace {

void BM_OnePoll(benchmark::State& state) {
  karvo::sim::SimController sim({.Seed = 1});
  sim.Start();
  for (auto _ : state) {
    karvo::ReadResult.Valid = false;
    if (!karvo::ReadFurnace(sim.DevicePath())) throw std::runtime_error("poll not started");
    if (!karvo::WaitForPolls(30000)) throw std::runtime_error("poll did not end");
    if (!karvo::ReadResult.Valid || !karvo::ReadResult.aMessage.empty()) {
      state.SkipWithError(("poll failed: " + karvo::ReadResult.aMessage).c_str());
      break;
    }
  }
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

}  // namespace

BENCHMARK_MAIN();
