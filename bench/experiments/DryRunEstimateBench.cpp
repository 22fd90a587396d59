// The dry run's time estimate against the real run of the same table, for
// tiny points (the fixed cost of a run dominates), large points (their
// palm-cycles dominate) and a design that mixes both. Prints each estimate,
// the real time and their ratio, which should lie within a factor of 3.
// build/bin/dry_run_estimate_bench [THREADS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "experiments/PointTables.h"

using namespace varnolt;

namespace {

PointTable Sweep(std::int32_t cycles, std::int32_t palms, const char* vary, std::size_t replicates) {
  RunSettings base = StartupDefaults();
  base.cycleCount = cycles;
  base.palmCount = palms;
  SweepFactor factor;
  if (ParseSweepFactor(vary, factor)) std::abort();
  return MakeSweepTable(base, {factor}, 1, replicates, {});
}

double RealSeconds(const PointTable& design, int threads) {
  TableRunRequest request;  // no table: the runs alone, as the estimate counts them
  request.threads = threads;
  TableRunHooks hooks;
  hooks.outcome = [](std::size_t, const PointOutcome&) {};
  const auto start = std::chrono::steady_clock::now();
  RunTable(design, request, hooks);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int threads = argc > 1 ? std::atoi(argv[1]) : 0;
  struct Case {
    const char* name;
    PointTable design;
  };
  const Case cases[] = {
      {"tiny points: 200,000 runs of 1 cycle x 1 palm", Sweep(1, 1, "randomPercent=0:99", 2000)},
      {"small points: 20,000 runs of 50 cycles x 10 palms", Sweep(50, 10, "randomPercent=0:99", 200)},
      {"large points: 16 runs of 770 cycles x 20,000 palms", Sweep(770, 20000, "randomPercent=0:15", 1)},
      {"mixed: cycleCount 1 to 2,000 x 100 palms", Sweep(1, 100, "cycleCount=1:2000", 4)},
  };
  std::printf("%-55s %12s %12s %8s\n", "design", "estimate s", "real s", "ratio");
  for (const Case& c : cases) {
    const std::optional<TablePlan> plan = PlanTable(c.design, Shard{}, false);
    const std::optional<TimeEstimate> estimate = EstimateTableTime(c.design, *plan, threads);
    const double real = RealSeconds(c.design, threads);
    std::printf("%-55s %12.3f %12.3f %8.2f  (sample: %zu runs, %.0f palm-cycles, %.0f ms)\n", c.name,
                estimate->seconds, real, estimate->seconds / real, estimate->sampleRuns, estimate->samplePalmCycles,
                estimate->sampleSeconds * 1000);
  }
  return 0;
}
