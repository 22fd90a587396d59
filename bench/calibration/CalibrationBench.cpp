// Calibrations against a 200-cycle census of 500 palms, each candidate a run of
// 500 cycles x 2,000 palms: four settings of 9 values each on the whole grid
// (6,561 candidates), candidates side by side on every core against one thread;
// and six settings too many for a grid (1.8 million candidates), found by the
// optimiser with its polish and profiles. The CPU column is the whole process's.

#include <benchmark/benchmark.h>

#include "calibration/Calibration.h"
#include "run/RunDriver.h"

namespace varnolt {

namespace {

RunSettings Truth() {
  RunSettings settings = StartupDefaults();
  settings.cycleCount = 500;
  settings.maleThreshold = 19;
  settings.abortThreshold = 25;
  return settings;
}

const Census& TheCensus() {
  static const Census census = [] {
    RunSettings settings = Truth();
    settings.palmCount = 500;
    FloweringModel model;
    RunModel(model, settings, 2026);
    Census made;
    made.hasPalms = true;
    for (std::int64_t cycle = 1; cycle <= 200; ++cycle) {
      const CycleResult& row = model.cycleResults[static_cast<std::size_t>(cycle)];
      CensusRow observed;
      observed.cycle = cycle;
      observed.percent = {row.female, row.herm, row.male, row.aborted};
      observed.palms = 500;
      made.rows.push_back(observed);
    }
    return made;
  }();
  return census;
}

void Fit(benchmark::State& state, std::vector<FitRange> fits, int threads) {
  CalibrationRequest request;
  request.base = Truth();
  request.census = TheCensus();
  request.fits = std::move(fits);
  request.seed = 1;
  CalibrationResult result;
  for (auto _ : state) {
    CalibrationControl control;
    control.threads = threads;
    result = Calibrate(request, control);
  }
  state.counters["evaluations"] = static_cast<double>(result.evaluations.size());
  state.counters["search"] = static_cast<double>(result.Evaluated(SearchStage::Search));
  state.counters["profiles"] = static_cast<double>(result.Evaluated(SearchStage::Profile));
  std::string best;
  for (std::size_t f = 0; f < result.best.size(); ++f) best += (f ? "," : "") + std::to_string(result.best[f]);
  state.SetLabel(std::string(SearchMethodName(result.method)) + (threads == 1 ? ", one thread" : ", all cores") +
                 "; best " + best);
}

void BM_Grid4x9(benchmark::State& state) {
  Fit(state,
      {{"femaleThreshold", 8, 16}, {"maleThreshold", 15, 23}, {"abortThreshold", 20, 28},
       {"sexStressLastFrond", 25, 33}},
      static_cast<int>(state.range(0)));
}
BENCHMARK(BM_Grid4x9)->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime()->MeasureProcessCPUTime();

void BM_Optimiser6(benchmark::State& state) {
  Fit(state,
      {{"femaleThreshold", 8, 16}, {"maleThreshold", 15, 23}, {"abortThreshold", 20, 28},
       {"randomPercent", 10, 40}, {"sexStressLastFrond", 25, 33}, {"abortStressLastFrond", 21, 29}},
      0);
}
BENCHMARK(BM_Optimiser6)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime()->MeasureProcessCPUTime();

}  // namespace

}  // namespace varnolt
