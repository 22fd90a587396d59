#include <algorithm>
#include <cmath>
#include <stop_token>

#include <boost/math/distributions/students_t.hpp>
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include "experiments/Experiments.h"
#include "run/RunDriver.h"
#include "settings/ValidationRules.h"

namespace {

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

PointOutcome RunOnePoint(const ExperimentPoint& point, bool keepCycles, int engineThreads, std::stop_token stop) {
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
  outcome.status = PointStatus::Ran;
  const std::span<const CycleResult> cycles = CyclesOf(model.cycleResults);
  outcome.analysis = AnalyseCycles(cycles);
  if (keepCycles) outcome.cycles.assign(cycles.begin(), cycles.end());
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
        outcomes[i] = RunOnePoint(points[i], control.keepCycles, engineThreads, stop);
        if (outcomes[i].status != PointStatus::NotRun) control.pointsDone.fetch_add(1);
      }
    });
  });
  return outcomes;
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
