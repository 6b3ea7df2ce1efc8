// The address reset of the start-up: register 131 written with 1 on devices
// 1 to 256, each write sent without waiting, against the simulated
// controller on a pseudo-terminal at another address. The line's timing is
// that of 9600 baud: every frame takes its wire time and keeps the silence
// of 3.5 characters to the next. Goal: at most 5 s, and the controller
// answers at address 1 afterwards.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

#include "modbus/Modbus.h"
#include "modbus/Registers.h"
#include "sim/SimController.h"

namespace {

void BM_AddressReset(benchmark::State& state) {
  double worstMs = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    karvo::sim::SimController sim({.Address = 7, .Seed = 1});
    sim.Start();
    karvo::TModbusPort port;
    port.SetPort(sim.DevicePath());
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    for (std::uint32_t device = 1; device <= 256; ++device) {
      if (!port.WriteWord(device, karvo::reg::DeviceAddress, 1, false)) {
        state.SkipWithError("a write failed");
        return;
      }
    }
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (took.count() > worstMs) worstMs = took.count();
    state.PauseTiming();
    if (!port.Test(1)) {
      state.SkipWithError("the controller does not answer at address 1 after the reset");
      return;
    }
    state.ResumeTiming();
  }
  state.counters["worst_ms"] = worstMs;
}
BENCHMARK(BM_AddressReset)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
