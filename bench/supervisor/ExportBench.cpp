// BM_ExportCsv/N: "Save data as text file" of a chart holding N samples (a
// sample every 5 s, temperatures with one decimal): building every line
// (local time of each instant, three numbers in the general format) and
// writing the file whole, flushed to stable storage and renamed over the
// previous one, in the system's temporary folder.
//
// Memory: this program counts its heap. extra_heap_MB is the most the
// export held at once beyond what was allocated before it began;
// rss_peak_delta_MB the growth of the resident set's peak over the export
// (Linux: the peak is reset before each export through
// /proc/self/clear_refs).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <string>

#include "supervisor/logic/DataExport.h"

namespace {

std::atomic<std::int64_t> gHeld{0};
std::atomic<std::int64_t> gPeak{0};

void* Allocate(std::size_t n) {
  // The size sits in front of the block (16 bytes keep the alignment).
  auto* p = static_cast<unsigned char*>(std::malloc(n + 16));
  if (!p) throw std::bad_alloc();
  *reinterpret_cast<std::size_t*>(p) = n;
  const std::int64_t held = gHeld.fetch_add(static_cast<std::int64_t>(n)) + static_cast<std::int64_t>(n);
  for (std::int64_t peak = gPeak.load(); held > peak && !gPeak.compare_exchange_weak(peak, held);) {
  }
  return p + 16;
}

void Release(void* q) noexcept {
  if (!q) return;
  unsigned char* p = static_cast<unsigned char*>(q) - 16;
  gHeld.fetch_sub(static_cast<std::int64_t>(*reinterpret_cast<std::size_t*>(p)));
  std::free(p);
}

// Kilobytes of a /proc/self/status field (0 where there is none).
std::int64_t StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string name;
  std::int64_t kb = 0;
  while (status >> name) {
    if (name == field) {
      status >> kb;
      return kb;
    }
    status.ignore(1 << 20, '\n');
  }
  return 0;
}

void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

using namespace karvo;
namespace fs = std::filesystem;

void BM_ExportCsv(benchmark::State& state) {
  TMeasurements data;
  const auto n = state.range(0);
  TDateTime t = 45000.0;
  for (std::int64_t i = 0; i < n; ++i, t += 5.0 / 86400)
    data.AddSample(t, 980 + static_cast<double>(i % 700) * 0.1, 1050, 1000 + static_cast<double>(i % 50), 45.5);
  const fs::path file = fs::temp_directory_path() / ("karvo-bench-" + std::to_string(std::random_device{}()) + ".csv");
  TRegionalSettings regional;
  regional.decimalSeparator = ",";
  std::int64_t extraHeap = 0, rssDelta = 0;
  for (auto _ : state) {
    ResetPeakRss();
    const std::int64_t rssBefore = StatusKb("VmRSS:");
    const std::int64_t heldBefore = gHeld.load();
    gPeak.store(heldBefore);
    WriteDataExport(file, data, regional);
    extraHeap = std::max(extraHeap, gPeak.load() - heldBefore);
    rssDelta = std::max(rssDelta, StatusKb("VmHWM:") - rssBefore);
  }
  state.counters["file_MB"] = static_cast<double>(fs::file_size(file)) / 1e6;
  state.counters["extra_heap_MB"] = static_cast<double>(extraHeap) / 1e6;
  state.counters["rss_peak_delta_MB"] = static_cast<double>(rssDelta) / 1024.0;
  fs::remove(file);
}
BENCHMARK(BM_ExportCsv)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

BENCHMARK_MAIN();
