// What a table's run would cost, told before anything runs: its runs, the
// points the rules refuse, its palm-cycles, and its time on this machine from a
// sample of its own points.
#include <algorithm>
#include <chrono>
#include <cmath>

#include "experiments/PointTables.h"
#include "settings/ValidationRules.h"

namespace varnolt {

namespace {

// The sample costs at most about this many palm-cycles and runs: a tenth of a
// second or so, whatever the design.
constexpr double SamplePalmCycles = 4'000'000;
constexpr std::size_t SampleRuns = 4000;
// What a run costs besides its palm-cycles (making the model, analysing its
// cycles, writing its row), in palm-cycles: measured on the fast engine, a run
// of one palm and one cycle takes about as long as 1,600 palm-cycles.
constexpr double RunCost = 2000;

double PalmCycles(const RunSettings& settings) {
  return static_cast<double>(settings.cycleCount) * static_cast<double>(settings.palmCount);
}

}  // namespace

std::optional<TablePlan> PlanTable(const PointTable& table, const Shard& shard, bool cycles, const std::stop_token& stop) {
  TablePlan plan;
  plan.designPoints = table.points;
  const std::size_t replicates = table.replicates;
  plan.slice = SliceOf(plan.designPoints * replicates, shard.k, shard.n);
  plan.runs = plan.slice.end - plan.slice.begin;
  // A row: point, the design's cells, replicate, seed, status and the statistics
  // (each at most 24 characters as the shortest text of a double).
  const double statisticsBytes = 6 * 24.0 + 8;
  std::size_t lastRefused = plan.designPoints, made = plan.designPoints;
  DesignPoint point;
  const ValidationRule* rule = nullptr;
  for (std::size_t i = plan.slice.begin; i < plan.slice.end; ++i) {
    if ((i - plan.slice.begin) % 4096 == 0 && stop.stop_requested()) return std::nullopt;
    const std::size_t design = i / replicates;
    if (design != made) {
      point = table.point(design);
      rule = FirstFailedRule(point.settings);
      made = design;
    }
    plan.tableBytes += static_cast<double>(std::to_string(design + 1).size() + point.leadCells.size() + 2 +
                                           std::to_string(i % replicates + 1).size() + 11) +
                       statisticsBytes;
    if (rule != nullptr) {
      ++plan.refusedRuns;
      if (design != lastRefused) {
        // Only the first ten are told, so only they are kept: a design of a hundred
        // million refused points is planned in little memory.
        if (++plan.refusedPoints <= 10) plan.refused.push_back({design, point.leadCells, rule});
        lastRefused = design;
      }
      continue;
    }
    plan.palmCycles += PalmCycles(point.settings);
    if (cycles) plan.cycleTableBytes += static_cast<double>(point.settings.cycleCount) * 60.0;
  }
  return plan;
}

std::optional<TimeEstimate> EstimateTableTime(const PointTable& table, const TablePlan& plan, int threads,
                                              const std::stop_token& stop) {
  const std::size_t willRun = plan.runs - plan.refusedRuns;
  if (willRun == 0) return std::nullopt;
  threads = threads > 0 ? threads : ExperimentDefaultThreads();
  // Runs spread evenly over the slice, as many as the budget allows and at
  // least one per thread; a point larger than its share runs with fewer palms
  // (and cycles), which the estimate scales back up.
  const std::size_t span = plan.runs;
  const std::size_t candidates = std::min(span, SampleRuns * 4);
  const std::size_t least = std::min<std::size_t>(willRun, static_cast<std::size_t>(threads));
  const double share = SamplePalmCycles / static_cast<double>(least);
  std::vector<ExperimentPoint> sample;
  TimeEstimate estimate;
  double sampleWork = 0;
  for (std::size_t j = 0; j < candidates && sample.size() < SampleRuns; ++j) {
    if (stop.stop_requested()) return std::nullopt;
    ExperimentPoint point = table.RunOf(plan.slice.begin + j * span / candidates);
    if (FirstFailedRule(point.settings) != nullptr) continue;
    if (PalmCycles(point.settings) > share) {
      RunSettings smaller = point.settings;
      smaller.cycleCount = static_cast<std::int32_t>(std::min<double>(smaller.cycleCount, share));
      smaller.palmCount = static_cast<std::int32_t>(
          std::clamp<double>(std::floor(share / smaller.cycleCount), 1, smaller.palmCount));
      if (FirstFailedRule(smaller) == nullptr) point.settings = smaller;
    }
    estimate.samplePalmCycles += PalmCycles(point.settings);
    sampleWork += PalmCycles(point.settings) + RunCost;
    sample.push_back(std::move(point));
    if (sample.size() >= least && estimate.samplePalmCycles >= SamplePalmCycles) break;
  }
  if (sample.empty()) return std::nullopt;
  // The sample runs as the table would: its points share the threads as the
  // table's many points do.
  ExperimentControl control;
  control.threads = threads;
  control.stop = stop;
  const auto start = std::chrono::steady_clock::now();
  StreamPoints(
      0, sample.size(), std::max(willRun, sample.size()),
      [&sample](std::size_t i) { return std::optional<ExperimentPoint>(sample[i]); }, control,
      [](std::size_t, PointOutcome*) {});
  if (stop.stop_requested()) return std::nullopt;
  estimate.sampleSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  estimate.sampleRuns = sample.size();
  estimate.threads = threads;
  estimate.seconds =
      estimate.sampleSeconds * (plan.palmCycles + RunCost * static_cast<double>(willRun)) / sampleWork;
  return estimate;
}

}  // namespace varnolt
