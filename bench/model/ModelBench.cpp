// Whole runs of the default settings at research sizes: 770 cycles (about
// eleven years of fronds) over 1,000 and 100,000 palms, with and without the
// annual trend (one sine per palm and cycle). Peak memory is measured on the
// runner with /usr/bin/time -v; see the README.

#include <benchmark/benchmark.h>

#include <sstream>

#include "results/ReportWriter.h"
#include "run/RunDriver.h"

namespace varnolt {

namespace {

void RunDefaults(benchmark::State& state, bool trend) {
  RunSettings settings = StartupDefaults();
  settings.cycleCount = static_cast<std::int32_t>(state.range(0));
  settings.palmCount = static_cast<std::int32_t>(state.range(1));
  if (trend) {
    settings.trendCycles = 1;
    settings.trendAmplitude = 3;
  }
  FloweringModel model;
  for (auto _ : state) {
    const RunOutcome outcome = RunModel(model, settings, 1);
    benchmark::DoNotOptimize(model.cycleResults[1]);
    if (!outcome.Completed()) state.SkipWithError(ProblemLine(*outcome.problem).c_str());
  }
  state.counters["palm-cycles/s"] =
      benchmark::Counter(static_cast<double>(state.range(0)) * static_cast<double>(state.range(1)),
                         benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Run(benchmark::State& state) { RunDefaults(state, false); }
void BM_RunWithTrend(benchmark::State& state) { RunDefaults(state, true); }

BENCHMARK(BM_Run)->Args({770, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Run)->Args({770, 100000})->Iterations(3)->Unit(benchmark::kSecond);
BENCHMARK(BM_RunWithTrend)->Args({770, 100000})->Iterations(3)->Unit(benchmark::kSecond);

void BM_WriteReport(benchmark::State& state) {
  RunSettings settings = StartupDefaults();
  settings.cycleCount = 770;
  FloweringModel model;
  RunModel(model, settings, 1);
  for (auto _ : state) {
    std::ostringstream out;
    WriteReport(model, out);
    benchmark::DoNotOptimize(out.str().size());
  }
}
BENCHMARK(BM_WriteReport)->Unit(benchmark::kMicrosecond);

}  // namespace

}  // namespace varnolt
