// A 1,000-point factorial sweep of 770 cycles x 1,000 palms, and Morris over 6
// factors with 20 trajectories of the same runs: points side by side on every
// core against one point at a time (the engine's threads inside it), in one run.

#include <benchmark/benchmark.h>

#include "experiments/Experiments.h"
#include "run/RunDriver.h"

namespace varnolt {

namespace {

RunSettings Base() {
  RunSettings settings = StartupDefaults();
  settings.cycleCount = 770;
  settings.palmCount = 1000;
  settings.maleThreshold = 30;
  return settings;
}

// femaleThreshold 10..19 x sexStressFirstFrond 15..24 x randomPercent 0..45 by 5.
std::vector<ExperimentPoint> SweepPoints() {
  const std::vector<SweepFactor> factors = {
      {"femaleThreshold", {10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
      {"sexStressFirstFrond", {15, 16, 17, 18, 19, 20, 21, 22, 23, 24}},
      {"randomPercent", {0, 5, 10, 15, 20, 25, 30, 35, 40, 45}}};
  std::vector<ExperimentPoint> points;
  for (const auto& level : FactorialLevels(factors)) {
    RunSettings settings = Base();
    for (std::size_t f = 0; f < factors.size(); ++f) settings.*(FindField(factors[f].name)->integer) = level[f];
    points.push_back({settings, 1});
  }
  return points;
}

void RunAll(benchmark::State& state, const std::vector<ExperimentPoint>& points) {
  const bool oneAtATime = state.range(0) == 1;
  for (auto _ : state) {
    if (oneAtATime) {
      // The reference: each point by itself, the engine spreading its palms.
      for (const ExperimentPoint& point : points) {
        FloweringModel model;
        benchmark::DoNotOptimize(RunModel(model, point.settings, point.seed));
      }
    } else {
      ExperimentControl control;
      benchmark::DoNotOptimize(RunPoints(points, control));
    }
  }
  state.counters["points"] = static_cast<double>(points.size());
  state.SetLabel(oneAtATime ? "one point at a time" : "points in parallel");
}

void BM_Sweep1000(benchmark::State& state) {
  static const std::vector<ExperimentPoint> points = SweepPoints();
  RunAll(state, points);
}
BENCHMARK(BM_Sweep1000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_Morris6x20(benchmark::State& state) {
  static const std::vector<ExperimentPoint> points = [] {
    const char* names[] = {"femaleThreshold", "maleThreshold", "abortThreshold", "randomPercent",
                           "sexStressFirstFrond", "abortStressLastFrond"};
    const std::int32_t low[] = {8, 20, 18, 0, 15, 22};
    const std::int32_t high[] = {16, 30, 30, 50, 24, 28};
    const MorrisDesign design = MakeMorrisDesign(6, 20, 4, 1);
    std::vector<ExperimentPoint> result;
    for (const auto& x : design.points) {
      RunSettings settings = Base();
      for (int f = 0; f < 6; ++f) {
        settings.*(FindField(names[f])->integer) = low[f] + static_cast<std::int32_t>(x[f] * (high[f] - low[f]) + 0.5);
      }
      result.push_back({settings, 1});
    }
    return result;
  }();
  RunAll(state, points);
}
BENCHMARK(BM_Morris6x20)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

}  // namespace varnolt
