// The chart work of one consumed sample, as the supervisor tick does it:
// five appends, the rate-of-change fit over its window, then the
// recalculation that precedes a redraw (series ranges, axis ranging),
// without painting.

#include <benchmark/benchmark.h>

#include "ChartData.h"
#include "supervisor/mainchart/RtMainChart.h"

namespace karvo {
namespace {

void Append(TMeasurements& c, const double v[5]) { c.AddSample(v[0], v[1], v[2], v[3], v[4]); }

// state.range(0): samples already held; state.range(1): 1 = "Hours" mode
// (moving window), 0 = "Show all data".
void BM_ChartSampleWork(benchmark::State& state) {
  TRtCustomGraph graph;
  TStandaloneChart chart(graph, {});
  chart.XAxis1.SetStart(bench::kStart - 30.0 / 86400);
  chart.XAxis1.SetStop(bench::kStart);
  if (state.range(1) == 0) {
    for (TRtAxis* a : {&chart.XAxis1, &chart.YAxis1}) {
      a->SetStartEnd(TRtAxisEnd::AutoRange);
      a->SetStopEnd(TRtAxisEnd::AutoRange);
    }
  } else {
    chart.XAxis1.SetMovingSlitWidth(6.0 / 24);
  }
  chart.RtLineSeriesTargetSetpoint.SetVisible(true);
  chart.RtLineSeriesWorkingSetpoint.SetVisible(true);
  chart.RtLineSeriesWorkingOutput.SetVisible(true);
  chart.RightAxis1.SetVisible(true);
  chart.RtLinearRegressionRateOfChange.SetVisible(true);
  bench::SampleSource source;
  double v[5];
  for (long i = 0; i < state.range(0); ++i) {
    source.Next(v);
    Append(chart, v);
  }
  TRtLinearRegression& rate = chart.RtLinearRegressionRateOfChange;
  const double window = 600.0 / 86400;  // ten minutes
  auto tick = [&] {
    source.Next(v);
    Append(chart, v);
    rate.SetCalculationStart(rate.GetCalculationStop() - window);
    try {
      rate.Calculate();
    } catch (const ERtMathError&) {
    }
    graph.Recalculate();
    (void)chart.RtDoubleVectorTime.GetMinimum();
  };
  tick();  // the first fit spans every sample; the ticks after it do not
  for (auto _ : state) {
    tick();
    benchmark::DoNotOptimize(rate.GetSlope());
  }
  std::size_t bytes = 0;
  for (const TRtDoubleVector* vec :
       {&chart.RtDoubleVectorTime, &chart.RtDoubleVectorTemperature, &chart.RtDoubleVectorSetpoint,
        &chart.RtDoubleVectorWorkingSetpoint, &chart.RtDoubleVectorWorkingOutput})
    bytes += vec->MemoryBytes();
  state.counters["bytes_per_sample"] =
      static_cast<double>(bytes) / static_cast<double>(chart.RtDoubleVectorTime.GetCount());
}
BENCHMARK(BM_ChartSampleWork)->Args({10000, 1})->Args({1000000, 1})->Args({1000000, 0})->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace karvo

BENCHMARK_MAIN();
