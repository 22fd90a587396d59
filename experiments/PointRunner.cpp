#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <stop_token>

#include <boost/math/distributions/students_t.hpp>
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include "experiments/Experiments.h"
#include "results/ResultsTable.h"
#include "run/RunDriver.h"
#include "settings/ValidationRules.h"

namespace {

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

PointOutcome RunOnePoint(const ExperimentPoint& point, const ExperimentControl& experiment, int engineThreads,
                         std::stop_token stop) {
  PointOutcome outcome;
  if (const ValidationRule* rule = FirstFailedRule(point.settings)) {
    outcome.status = PointStatus::Invalid;
    outcome.message = "rule " + std::to_string(rule->number) + " (" + rule->field + "): " + OneLine(rule->message);
    return outcome;
  }
  FloweringModel model;
  RunControl control;
  control.threads = engineThreads;
  // A stop reaches a point already running, however long it is (at once when
  // asked before).
  RunOutcome run;
  {
    std::stop_callback cancel(stop, [&control] { control.cancel.store(true); });
    run = RunModel(model, point.settings, point.seed, &control);
  }
  if (run.status == RunStatus::Cancelled) return outcome;  // NotRun
  if (!run.Completed()) {
    outcome.status = PointStatus::Failed;
    outcome.message = OneLine(run.message);
    return outcome;
  }
  std::vector<CycleResult> cycles = PublishedCycles(model);
  if (experiment.window) {
    if (std::optional<std::string> problem =
            CyclesWindowProblem(*experiment.window, static_cast<std::int64_t>(cycles.size()))) {
      outcome.status = PointStatus::Failed;
      outcome.message = *problem;
      return outcome;
    }
  }
  outcome.status = PointStatus::Ran;
  outcome.analysis = AnalyseCycles(cycles, experiment.window);
  if (experiment.keepCycles) outcome.cycles = std::move(cycles);
  return outcome;
}

}  // namespace

int ExperimentDefaultThreads() { return std::max(1, tbb::this_task_arena::max_concurrency()); }

std::vector<PointOutcome> RunPoints(std::span<const ExperimentPoint> points, ExperimentControl& control,
                                    const std::vector<bool>& todo) {
  std::vector<PointOutcome> outcomes(points.size());
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (todo.empty() || todo[i]) order.push_back(i);
  }
  const int threads = control.threads > 0 ? control.threads : ExperimentDefaultThreads();
  // Points share the threads out among themselves; a lone point gets them all.
  const int engineThreads = order.size() >= static_cast<std::size_t>(threads) ? 1 : threads;
  const std::stop_token stop = control.stop;
  tbb::task_arena arena(threads);
  arena.execute([&] {
    tbb::parallel_for(tbb::blocked_range<std::size_t>(0, order.size(), 1), [&](const auto& range) {
      for (std::size_t j = range.begin(); j != range.end(); ++j) {
        if (stop.stop_requested()) return;
        const std::size_t i = order[j];
        outcomes[i] = RunOnePoint(points[i], control, engineThreads, stop);
        if (outcomes[i].status != PointStatus::NotRun) control.pointsDone.fetch_add(1);
      }
    });
  });
  return outcomes;
}

std::uint32_t FreshSeed() {
  std::random_device source;
  return static_cast<std::uint32_t>(source());
}

std::optional<std::string> SeedRangeProblem(std::uint32_t first, std::uint64_t count) {
  constexpr std::uint64_t last = std::numeric_limits<std::uint32_t>::max();
  if (count == 0 || first + (count - 1) <= last) return std::nullopt;
  return "seeds " + std::to_string(first) + " to " + std::to_string(first + count - 1) + " would pass " +
         std::to_string(last) + ", the largest seed; give a seed of at most " + std::to_string(last - (count - 1)) +
         " for " + std::to_string(count) + " replicates";
}

Spread SpreadOf(std::span<const double> values) {
  Spread spread;
  const std::size_t n = values.size();
  if (n == 0) return spread;
  for (double v : values) spread.mean += v;
  spread.mean /= static_cast<double>(n);
  if (n < 2) return spread;
  double squares = 0.0;
  for (double v : values) squares += (v - spread.mean) * (v - spread.mean);
  spread.sd = std::sqrt(squares / static_cast<double>(n - 1));
  const boost::math::students_t t(static_cast<double>(n - 1));
  spread.ci95 = boost::math::quantile(t, 0.975) * spread.sd / std::sqrt(static_cast<double>(n));
  return spread;
}

PointOutputs OutputsOfPoints(std::span<const PointOutcome> outcomes, std::size_t replicates, Statistic statistic) {
  PointOutputs outputs;
  replicates = std::max<std::size_t>(replicates, 1);
  const std::size_t points = outcomes.size() / replicates;
  outputs.values.assign(points, std::numeric_limits<double>::quiet_NaN());
  double sdSum = 0.0;
  std::size_t sdCount = 0;
  std::vector<std::optional<double>> values;
  for (std::size_t p = 0; p < points; ++p) {
    values.clear();
    for (std::size_t r = 0; r < replicates; ++r) {
      const PointOutcome& outcome = outcomes[p * replicates + r];
      if (outcome.status != PointStatus::Ran) continue;
      const std::optional<double> value = StatisticValue(outcome.analysis, statistic);
      if (!value) ++outputs.missing;
      values.push_back(value);
    }
    const StatisticSummary summary = SummariseValues(values);
    if (summary.count == 0) {
      ++outputs.pointsLeftOut;
      continue;
    }
    outputs.values[p] = summary.mean;
    if (summary.count >= 2) {
      sdSum += summary.sd;
      ++sdCount;
    }
  }
  outputs.replicateSd = sdCount > 0 ? sdSum / static_cast<double>(sdCount) : std::numeric_limits<double>::quiet_NaN();
  return outputs;
}
