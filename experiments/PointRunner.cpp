#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <stop_token>

#include <tbb/blocked_range.h>
#include <tbb/parallel_pipeline.h>
#include <tbb/task_arena.h>

#include "experiments/Experiments.h"
#include "results/ResultsTable.h"
#include "results/Statistics.h"
#include "run/RunDriver.h"
#include "settings/ValidationRules.h"

namespace varnolt {

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
    outcome.message = OneLine(ProblemSentence(*run.problem));
    outcome.problem = run.problem;
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
  // The analysis of a long point stops with the point.
  std::atomic<bool> stopAnalysis{false};
  {
    std::stop_callback stopping(stop, [&stopAnalysis] { stopAnalysis.store(true); });
    outcome.analysis = AnalyseCycles(cycles, experiment.window, &stopAnalysis);
  }
  if (stopAnalysis.load()) return PointOutcome{};  // NotRun
  outcome.status = PointStatus::Ran;
  if (experiment.keepCycles) outcome.cycles = std::move(cycles);
  return outcome;
}

}  // namespace

int ExperimentDefaultThreads() { return std::max(1, tbb::this_task_arena::max_concurrency()); }

void StreamPoints(std::size_t begin, std::size_t end, std::size_t runs, const PointMaker& pointAt,
                  ExperimentControl& control, const PointSink& done) {
  const int threads = control.threads > 0 ? control.threads : ExperimentDefaultThreads();
  // Points share the threads out among themselves; a lone point gets them all.
  const int engineThreads = runs >= static_cast<std::size_t>(threads) ? 1 : threads;
  const std::stop_token stop = control.stop;
  // A point in flight: made in order, run on any thread, handed on in order.
  struct Flight {
    std::size_t index = 0;
    std::optional<ExperimentPoint> point;
    PointOutcome outcome;
  };
  std::size_t next = begin;
  tbb::task_arena arena(threads);
  arena.execute([&] {
    tbb::parallel_pipeline(
        static_cast<std::size_t>(threads) * 4,
        tbb::make_filter<void, std::unique_ptr<Flight>>(tbb::filter_mode::serial_in_order,
                                        [&](tbb::flow_control& flow) -> std::unique_ptr<Flight> {
                                          if (next >= end || stop.stop_requested()) {
                                            flow.stop();
                                            return nullptr;
                                          }
                                          auto flight = std::make_unique<Flight>();
                                          flight->index = next++;
                                          flight->point = pointAt(flight->index);
                                          return flight;
                                        }) &
            tbb::make_filter<std::unique_ptr<Flight>, std::unique_ptr<Flight>>(tbb::filter_mode::parallel,
                                               [&](std::unique_ptr<Flight> flight) {
                                                 if (flight->point && !stop.stop_requested()) {
                                                   flight->outcome =
                                                       RunOnePoint(*flight->point, control, engineThreads, stop);
                                                   if (flight->outcome.status != PointStatus::NotRun) {
                                                     control.pointsDone.fetch_add(1);
                                                   }
                                                 }
                                                 return flight;
                                               }) &
            tbb::make_filter<std::unique_ptr<Flight>, void>(tbb::filter_mode::serial_in_order,
                                                            [&](std::unique_ptr<Flight> flight) {
              done(flight->index, flight->point ? &flight->outcome : nullptr);
            }));
  });
}

std::vector<PointOutcome> RunPoints(std::span<const ExperimentPoint> points, ExperimentControl& control,
                                    const std::vector<bool>& todo) {
  std::vector<PointOutcome> outcomes(points.size());
  std::size_t runs = 0;
  for (std::size_t i = 0; i < points.size(); ++i) runs += todo.empty() || todo[i] ? 1 : 0;
  StreamPoints(
      0, points.size(), runs,
      [&](std::size_t i) { return todo.empty() || todo[i] ? std::optional(points[i]) : std::nullopt; }, control,
      [&](std::size_t i, PointOutcome* outcome) {
        if (outcome != nullptr) outcomes[i] = std::move(*outcome);
      });
  return outcomes;
}

std::uint32_t FreshSeed() {
  std::random_device source;
  return static_cast<std::uint32_t>(source());
}

std::uint32_t FreshSeedFor(std::uint64_t replicates) {
  replicates = std::max<std::uint64_t>(replicates, 1);
  return static_cast<std::uint32_t>(FreshSeed() % ((std::uint64_t{1} << 32) - (replicates - 1)));
}

std::optional<std::string> SeedRangeProblem(std::uint32_t first, std::uint64_t count) {
  constexpr std::uint64_t last = std::numeric_limits<std::uint32_t>::max();
  if (count == 0 || first + (count - 1) <= last) return std::nullopt;
  return "seeds " + std::to_string(first) + " to " + std::to_string(first + count - 1) + " would pass " +
         std::to_string(last) + ", the largest seed; give a seed of at most " + std::to_string(last - (count - 1)) +
         " for " + std::to_string(count) + " replicates";
}

namespace {

// The outputs of points from each run's value: `value(run)` answers nothing for
// a run that did not run, and an empty value for one without the statistic.
template <typename ValueOf>
PointOutputs OutputsOf(std::size_t runs, std::size_t replicates, const ValueOf& value) {
  PointOutputs outputs;
  replicates = std::max<std::size_t>(replicates, 1);
  const std::size_t points = runs / replicates;
  outputs.values.assign(points, std::numeric_limits<double>::quiet_NaN());
  double sdSum = 0.0;
  std::size_t sdCount = 0;
  std::vector<std::optional<double>> values;
  for (std::size_t p = 0; p < points; ++p) {
    values.clear();
    for (std::size_t r = 0; r < replicates; ++r) {
      const std::optional<std::optional<double>> ran = value(p * replicates + r);
      if (!ran) continue;
      if (!*ran) ++outputs.missing;
      values.push_back(*ran);
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

}  // namespace

PointOutputs OutputsOfPoints(std::span<const PointOutcome> outcomes, std::size_t replicates, Statistic statistic) {
  return OutputsOf(outcomes.size(), replicates, [&](std::size_t run) -> std::optional<std::optional<double>> {
    if (outcomes[run].status != PointStatus::Ran) return std::nullopt;
    return StatisticValue(outcomes[run].analysis, statistic);
  });
}

RunOutputs::RunOutputs(std::vector<Statistic> statistics, std::size_t runs)
    : statistics_(std::move(statistics)), ran_(runs, 0), values_(runs * statistics_.size()) {}

void RunOutputs::Set(std::size_t run, const PointOutcome& outcome) {
  ran_[run] = outcome.status == PointStatus::Ran ? 1 : 0;
  if (outcome.status != PointStatus::Ran) return;
  for (std::size_t s = 0; s < statistics_.size(); ++s) {
    values_[run * statistics_.size() + s] =
        StatisticValue(outcome.analysis, statistics_[s]).value_or(std::numeric_limits<double>::quiet_NaN());
  }
}

std::size_t RunOutputs::NotRan() const { return static_cast<std::size_t>(std::count(ran_.begin(), ran_.end(), 0)); }

PointOutputs RunOutputs::Of(std::size_t replicates, Statistic statistic) const {
  const auto column = static_cast<std::size_t>(
      std::find(statistics_.begin(), statistics_.end(), statistic) - statistics_.begin());
  return OutputsOf(ran_.size(), replicates, [&](std::size_t run) -> std::optional<std::optional<double>> {
    if (ran_[run] == 0) return std::nullopt;
    if (column >= statistics_.size()) return std::optional<double>();
    const double value = values_[run * statistics_.size() + column];
    return std::isnan(value) ? std::optional<double>() : std::optional<double>(value);
  });
}

}  // namespace varnolt
