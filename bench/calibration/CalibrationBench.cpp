// Calibrations with the runner's defaults (2 replicates, 200 simulated
// censuses): three settings of 9 values each (729 candidates), every candidate
// a run of 540 cycles x 2,000 palms, against a census of 300 palms over 540
// cycles -- once without the calibrated ranges and once with them, so the
// ranges' cost is read in one run; and six settings too many for a grid (1.8
// million candidates), found by the optimiser with its polish and profiles.
// The CPU column is the whole process's.

#include <benchmark/benchmark.h>

#include "calibration/Calibration.h"
#include "run/RunDriver.h"

namespace varnolt {

namespace {

RunSettings Truth() {
  RunSettings settings = StartupDefaults();
  settings.cycleCount = 540;
  settings.maleThreshold = 19;
  settings.abortThreshold = 25;
  return settings;
}

const Census& TheCensus() {
  static const Census census = [] {
    RunSettings settings = Truth();
    settings.palmCount = 300;
    FloweringModel model;
    RunModel(model, settings, 2026);
    Census made;
    made.hasPalms = true;
    for (std::int64_t cycle = 1; cycle <= settings.cycleCount; ++cycle) {
      const CycleResult& row = model.cycleResults[static_cast<std::size_t>(cycle)];
      CensusRow observed;
      observed.cycle = cycle;
      observed.percent = {row.female, row.herm, row.male, row.aborted};
      observed.palms = 300;
      made.rows.push_back(observed);
    }
    return made;
  }();
  return census;
}

void Fit(benchmark::State& state, std::vector<FitRange> fits, std::int32_t simulations) {
  CalibrationRequest request;
  request.base = Truth();
  request.census = TheCensus();
  request.fits = std::move(fits);
  request.seed = 1;
  request.simulatedCensuses = simulations;
  CalibrationResult result;
  for (auto _ : state) {
    CalibrationControl control;
    result = Calibrate(request, control);
  }
  state.counters["evaluations"] = static_cast<double>(result.evaluations.size());
  state.counters["ranges_s"] = result.rangeSeconds;
  std::string best;
  for (std::size_t f = 0; f < result.best.size(); ++f) {
    best += (f ? "," : "") + std::to_string(result.best[f]) + " [" + std::to_string(result.profiles[f].fitLow) +
            "-" + std::to_string(result.profiles[f].fitHigh) + "]";
  }
  state.SetLabel(std::string(SearchMethodName(result.method)) +
                 (simulations > 0 ? ", ranges on " + std::to_string(simulations) + " simulated censuses"
                                  : ", no calibrated ranges") +
                 "; best " + best);
}

const std::vector<FitRange> Three = {{"femaleThreshold", 8, 16}, {"maleThreshold", 15, 23}, {"abortThreshold", 21, 29}};

void BM_Grid729(benchmark::State& state) { Fit(state, Three, static_cast<std::int32_t>(state.range(0))); }
BENCHMARK(BM_Grid729)->Arg(0)->Arg(200)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime()->MeasureProcessCPUTime();

void BM_Optimiser6(benchmark::State& state) {
  Fit(state,
      {{"femaleThreshold", 8, 16}, {"maleThreshold", 15, 23}, {"abortThreshold", 20, 28},
       {"randomPercent", 10, 40}, {"sexStressLastFrond", 25, 33}, {"abortStressLastFrond", 21, 29}},
      200);
}
BENCHMARK(BM_Optimiser6)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime()->MeasureProcessCPUTime();

}  // namespace

}  // namespace varnolt
