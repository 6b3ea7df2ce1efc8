// How long one transaction with a reply takes when the controller answers
// at once. Its floor is 420 ms: the pause after the write, the pause after
// the look that found the reply, and the 20 ms the read waits for a further
// byte. The counters tell how far above that floor it lies (goal: < 5 ms).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "PtyPeer_posix.h"
#include "serial/SerialPort.h"

namespace {

const std::string kRequest("\x01\x03\x00\x01\x00\x06\x94\x08", 8);
const std::string kReply("\x01\x03\x0C\x03\x20\x00\x02\x00\x03\x00\x04\x00\x05\x00\x06\x12\x34", 17);
constexpr double kFloorMs = 420.0;

void BM_TransactionWithImmediateReply(benchmark::State& state) {
  karvo::testing::PtyPeer peer;
  karvo::TSerialPort port;
  port.SetPort(peer.Path());
  double sumMs = 0.0, worstMs = 0.0, bestMs = 1e9;
  for (auto _ : state) {
    peer.Script({{kRequest.size(), kReply}});
    const auto start = std::chrono::steady_clock::now();
    const karvo::TSerialResponse r = port.SendData(reinterpret_cast<const std::uint8_t*>(kRequest.data()),
                                                   static_cast<std::uint32_t>(kRequest.size()), true);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count() / 1000.0);
    if (!r.Status.empty() || r.Response != kReply) {
      state.SkipWithError(("transaction failed: " + r.Status).c_str());
      break;
    }
    sumMs += took.count();
    worstMs = std::max(worstMs, took.count());
    bestMs = std::min(bestMs, took.count());
  }
  const double n = static_cast<double>(state.iterations());
  if (n > 0) {
    state.counters["mean_ms_above_420"] = sumMs / n - kFloorMs;
    state.counters["best_ms_above_420"] = bestMs - kFloorMs;
    state.counters["worst_ms_above_420"] = worstMs - kFloorMs;
  }
}
BENCHMARK(BM_TransactionWithImmediateReply)->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
