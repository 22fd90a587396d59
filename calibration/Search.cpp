// The search for the best whole values, and the profiles that say how sharply
// the census determines each of them.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <set>

#include <nlopt.hpp>

#include "calibration/FitProblem.h"
#include "experiments/Experiments.h"

namespace varnolt {

namespace {

using Values = std::vector<std::int32_t>;
constexpr double Infinity = std::numeric_limits<double>::infinity();
constexpr std::size_t None = static_cast<std::size_t>(-1);
// The candidates whose simulated censuses' refits calibrate the ranges: the
// best of them, which holds every candidate of a grid of moderate size. A
// candidate far down the list fits the census far worse than the best, and so
// fits the best's simulated twins worse too.
constexpr std::size_t KeptCandidates = 2048;

// A candidate's run settings on one census's base.
RunSettings PartCandidateSettings(const CalibrationRequest& request, const CensusPart& part,
                                  std::span<const std::int32_t> values) {
  RunSettings settings = part.base;
  settings.palmCount = request.palms;
  for (std::size_t f = 0; f < request.fits.size() && f < values.size(); ++f) {
    settings.*(FindField(request.fits[f].name)->integer) = values[f];
  }
  return settings;
}

// Every candidate evaluated, once: the cache the optimiser and the profiles
// share, and the list of evaluations in their order. A candidate is the fitted
// settings and, when fitted, the census's shift; the runs belong to the settings
// alone, so every shift of a settings candidate is arithmetic over one set of
// runs. The series of the candidates that may matter to the ranges are kept.
class Evaluator {
 public:
  Evaluator(const CalibrationRequest& request, const FitProblem& problem, CalibrationControl& control,
            CalibrationResult& result)
      : request_(request), problem_(problem), control_(control), result_(result) {
    const int threads = control.threads > 0 ? control.threads : ExperimentDefaultThreads();
    // Enough runs at a time to keep every thread busy, few enough to report
    // progress and to notice a stop often.
    batch_ = std::max<std::size_t>(1, (64 * static_cast<std::size_t>(threads)) /
                                          (static_cast<std::size_t>(request.replicates) * problem.parts.size()));
  }

  // Evaluates the candidates not evaluated yet, in the order given; false when
  // stopped before all of them were.
  bool Evaluate(std::span<const Values> candidates, SearchStage stage) {
    std::vector<const Values*> todo;
    std::set<Values> seen;
    for (const Values& values : candidates) {
      if (index_.count(values) == 0 && seen.insert(values).second) todo.push_back(&values);
    }
    std::size_t start = 0;
    while (start < todo.size()) {
      if (Stopped()) return false;
      // A batch: candidates until batch_ new settings need running.
      std::vector<Values> toRun;
      std::set<Values> batchSettings;
      std::size_t end = start;
      for (; end < todo.size(); ++end) {
        Values settings = SettingsOf(*todo[end]);
        if (runIndex_.count(settings) == 0 && batchSettings.count(settings) == 0) {
          if (toRun.size() == batch_) break;
          batchSettings.insert(settings);
          toRun.push_back(std::move(settings));
        }
      }
      if (!RunSettingsBatch(toRun)) return false;
      for (std::size_t i = start; i < end; ++i) Record(*todo[i], stage);
      start = end;
      ReleaseSeries();
      control_.evaluations = result_.evaluations.size();
      if (control_.progress) {
        control_.progress({stage, result_.evaluations.size(), control_.planned.load()});
      }
    }
    return !Stopped();
  }

  const Evaluation* Find(const Values& values) const {
    const auto found = index_.find(values);
    return found == index_.end() ? nullptr : &result_.evaluations[found->second];
  }

  std::size_t Best() const { return best_; }
  bool Stopped() const { return control_.stop.stop_requested(); }

  // The candidates whose series are kept, the best first, at most `most` of them.
  std::vector<KeptCandidate> Kept(std::size_t most) const {
    std::vector<std::size_t> order;
    for (std::size_t e = 0; e < result_.evaluations.size(); ++e) {
      const Evaluation& evaluation = result_.evaluations[e];
      if (evaluation.status != EvaluationStatus::Ran) continue;
      if (runs_[runIndex_.at(SettingsOf(evaluation.values))].series.empty()) continue;
      order.push_back(e);
    }
    std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
      return Better(result_.evaluations[a], result_.evaluations[b]);
    });
    if (order.size() > most) order.resize(most);
    std::vector<KeptCandidate> kept;
    for (std::size_t e : order) {
      const Values& values = result_.evaluations[e].values;
      const Runs& runs = runs_[runIndex_.at(SettingsOf(values))];
      KeptCandidate candidate;
      candidate.values = values;
      for (std::size_t p = 0; p < problem_.parts.size(); ++p) {
        candidate.series.push_back({runs.series[p].data(), problem_.parts[p].firstModelCycle});
      }
      kept.push_back(std::move(candidate));
    }
    return kept;
  }

  // The cycles of a settings candidate on every census's base, averaged over
  // the replicates; empty when stopped.
  std::vector<std::vector<CycleResult>> CyclesOf(const Values& values) {
    std::vector<std::vector<std::vector<CycleResult>>> cycles;
    std::vector<Runs> runs;
    const std::vector<Values> one = {SettingsOf(values)};
    if (!RunCandidates(one, runs, &cycles)) return {};
    return std::move(cycles.front());
  }

 private:
  struct Runs {
    EvaluationStatus status = EvaluationStatus::Ran;
    std::string message;
    std::vector<std::vector<double>> series;  // per part; released when it cannot matter
    double best = Infinity;                   // the best objective of its candidates
  };

  Values SettingsOf(const Values& values) const {
    return Values(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(problem_.settings));
  }

  // Runs settings candidates on every part and replicate. With `cycles`, hands
  // back their whole averaged cycles too.
  bool RunCandidates(std::span<const Values> settings, std::vector<Runs>& runs,
                     std::vector<std::vector<std::vector<CycleResult>>>* cycles) {
    const auto replicates = static_cast<std::size_t>(request_.replicates);
    const std::size_t parts = problem_.parts.size();
    std::vector<ExperimentPoint> points;
    points.reserve(settings.size() * parts * replicates);
    for (const Values& values : settings) {
      for (const CensusPart& part : problem_.parts) {
        const RunSettings run = PartCandidateSettings(request_, part, values);
        for (std::size_t r = 0; r < replicates; ++r) {
          points.push_back({run, request_.seed + static_cast<std::uint32_t>(r)});
        }
      }
    }
    ExperimentControl control;
    control.threads = control_.threads;
    control.keepCycles = true;
    control.stop = control_.stop;
    std::vector<PointOutcome> outcomes = RunPoints(points, control);
    // The runs of the search are counted; running the best again for its whole cycles is not.
    for (const PointOutcome& outcome : outcomes) {
      const bool ran = outcome.status == PointStatus::Ran || outcome.status == PointStatus::Failed;
      control_.runsDone += ran && cycles == nullptr ? 1 : 0;
    }
    runs.assign(settings.size(), Runs{});
    if (cycles != nullptr) cycles->assign(settings.size(), {});
    for (std::size_t c = 0; c < settings.size(); ++c) {
      Runs& candidate = runs[c];
      for (std::size_t p = 0; p < parts && candidate.status == EvaluationStatus::Ran; ++p) {
        std::vector<CycleResult> mean;
        for (std::size_t r = 0; r < replicates; ++r) {
          PointOutcome& outcome = outcomes[(c * parts + p) * replicates + r];
          if (outcome.status == PointStatus::NotRun) return false;  // stopped
          if (outcome.status != PointStatus::Ran) {
            candidate.status = outcome.status == PointStatus::Invalid ? EvaluationStatus::Invalid
                                                                      : EvaluationStatus::Failed;
            candidate.message = outcome.message;
            break;
          }
          if (r == 0) {
            mean = std::move(outcome.cycles);
            continue;
          }
          for (std::size_t cycle = 0; cycle < mean.size(); ++cycle) {
            mean[cycle].female += outcome.cycles[cycle].female;
            mean[cycle].herm += outcome.cycles[cycle].herm;
            mean[cycle].male += outcome.cycles[cycle].male;
            mean[cycle].aborted += outcome.cycles[cycle].aborted;
            mean[cycle].total += outcome.cycles[cycle].total;
          }
        }
        if (candidate.status != EvaluationStatus::Ran) break;
        if (replicates > 1) {
          const double share = 1.0 / static_cast<double>(replicates);
          for (CycleResult& row : mean) {
            row.female *= share;
            row.herm *= share;
            row.male *= share;
            row.aborted *= share;
            row.total *= share;
          }
        }
        const CensusPart& part = problem_.parts[p];
        candidate.series.push_back(SeriesOf(mean, part.firstModelCycle, part.lastModelCycle));
        if (cycles != nullptr) (*cycles)[c].push_back(std::move(mean));
      }
      if (candidate.status != EvaluationStatus::Ran) candidate.series.clear();
    }
    return true;
  }

  bool RunSettingsBatch(std::span<const Values> settings) {
    if (settings.empty()) return true;
    std::vector<Runs> runs;
    if (!RunCandidates(settings, runs, nullptr)) return false;
    for (std::size_t c = 0; c < settings.size(); ++c) {
      runIndex_[settings[c]] = runs_.size();
      runs_.push_back(std::move(runs[c]));
    }
    return true;
  }

  void Record(const Values& values, SearchStage stage) {
    Evaluation evaluation;
    evaluation.values = values;
    evaluation.objective = Infinity;
    evaluation.stage = stage;
    Runs& runs = runs_[runIndex_.at(SettingsOf(values))];
    evaluation.status = runs.status;
    evaluation.message = runs.message;
    if (runs.status == EvaluationStatus::Ran) {
      std::vector<SeriesView> views;
      for (std::size_t p = 0; p < problem_.parts.size(); ++p) {
        views.push_back({runs.series[p].data(), problem_.parts[p].firstModelCycle});
      }
      evaluation.objective = ProblemObjective(problem_, views, values);
      runs.best = std::min(runs.best, evaluation.objective);
      ++seriesKept_;
    }
    index_[evaluation.values] = result_.evaluations.size();
    // Among candidates that fit exactly alike (settings the runs cannot tell
    // apart), the lowest values win, whichever way the search came to them.
    if (evaluation.status == EvaluationStatus::Ran && (best_ == None || Better(evaluation, result_.evaluations[best_]))) {
      best_ = result_.evaluations.size();
    }
    result_.evaluations.push_back(std::move(evaluation));
  }

  // Keeps memory bounded on long searches: only the series of the best
  // settings, and of the best settings of every value of every profile, can
  // matter to the simulated censuses' refits.
  void ReleaseSeries() {
    if (seriesKept_ <= 2 * KeptSeries) return;
    std::vector<std::size_t> order;
    for (std::size_t r = 0; r < runs_.size(); ++r) {
      if (!runs_[r].series.empty()) order.push_back(r);
    }
    std::sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) { return runs_[a].best < runs_[b].best; });
    std::set<std::size_t> keep(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(std::min(order.size(), KeptSeries)));
    const std::size_t k = problem_.coordinates.size();
    std::vector<std::map<std::int32_t, std::size_t>> profileBest(k);
    for (std::size_t e = 0; e < result_.evaluations.size(); ++e) {
      const Evaluation& evaluation = result_.evaluations[e];
      if (evaluation.status != EvaluationStatus::Ran) continue;
      for (std::size_t f = 0; f < k; ++f) {
        auto [at, fresh] = profileBest[f].emplace(evaluation.values[f], e);
        if (!fresh && Better(evaluation, result_.evaluations[at->second])) at->second = e;
      }
    }
    for (const auto& profile : profileBest) {
      for (const auto& [value, e] : profile) keep.insert(runIndex_.at(SettingsOf(result_.evaluations[e].values)));
    }
    seriesKept_ = 0;
    for (std::size_t r : order) {
      if (keep.count(r) != 0) {
        ++seriesKept_;
        continue;
      }
      runs_[r].series.clear();
      runs_[r].series.shrink_to_fit();
    }
  }

  static bool Better(const Evaluation& a, const Evaluation& b) {
    return a.objective < b.objective || (a.objective == b.objective && a.values < b.values);
  }

  static constexpr std::size_t KeptSeries = 2048;

  const CalibrationRequest& request_;
  const FitProblem& problem_;
  CalibrationControl& control_;
  CalibrationResult& result_;
  std::size_t batch_ = 1;
  std::map<Values, std::size_t> index_;     // evaluations by candidate
  std::map<Values, std::size_t> runIndex_;  // runs by settings
  std::vector<Runs> runs_;
  std::size_t seriesKept_ = 0;
  std::size_t best_ = None;
};

// ---------------------------------------------------------------- the grid

bool EvaluateGrid(const FitProblem& problem, Evaluator& evaluator) {
  const std::size_t k = problem.coordinates.size();
  Values values(k);
  for (std::size_t f = 0; f < k; ++f) values[f] = problem.coordinates[f].low;
  std::vector<Values> chunk;
  bool more = true;
  while (more) {
    chunk.push_back(values);
    // The next candidate, the first setting varying slowest (as a sweep's table).
    more = false;
    for (std::size_t f = k; f-- > 0;) {
      if (values[f] < problem.coordinates[f].high) {
        ++values[f];
        more = true;
        break;
      }
      values[f] = problem.coordinates[f].low;
    }
    if (chunk.size() == 4096 || !more) {
      if (!evaluator.Evaluate(chunk, SearchStage::Grid)) return false;
      chunk.clear();
    }
  }
  return true;
}

// ---------------------------------------------------------------- the optimiser

// An objective for candidates that fail a rule or a run: worse than any real
// one, finite so that the optimiser's arithmetic stays sound.
constexpr double Refused = 1e100;

double Score(const Evaluation& evaluation) {
  return evaluation.status == EvaluationStatus::Ran ? evaluation.objective : Refused;
}

Values Clamped(const FitProblem& problem, Values values) {
  for (std::size_t f = 0; f < values.size(); ++f) {
    values[f] = std::clamp(values[f], problem.coordinates[f].low, problem.coordinates[f].high);
  }
  return values;
}

struct OptimiserState {
  const CalibrationRequest* request = nullptr;
  const FitProblem* problem = nullptr;
  Evaluator* evaluator = nullptr;
  std::uint64_t evaluated = 0;   // new candidates the search has run
  std::uint64_t cachedInARow = 0;
  std::uint64_t stallLimit = 0;  // cached answers in a row that mean the search has settled
  bool stopped = false;
};

// NLopt works on real numbers: each whole value owns the interval half a step
// either side of it, and the rounded candidate is what runs.
double OptimiserObjective(unsigned n, const double* x, double* /*gradient*/, void* data) {
  auto& state = *static_cast<OptimiserState*>(data);
  Values values(n);
  for (unsigned f = 0; f < n; ++f) values[f] = static_cast<std::int32_t>(std::lround(x[f]));
  values = Clamped(*state.problem, std::move(values));
  if (const Evaluation* known = state.evaluator->Find(values)) {
    if (++state.cachedInARow > state.stallLimit) throw nlopt::forced_stop();
    return Score(*known);
  }
  if (state.evaluated >= state.request->budget) throw nlopt::forced_stop();
  state.cachedInARow = 0;
  if (!state.evaluator->Evaluate(std::span(&values, 1), SearchStage::Search)) {
    state.stopped = true;
    throw nlopt::forced_stop();
  }
  ++state.evaluated;
  return Score(*state.evaluator->Find(values));
}

double BestObjective(const Evaluator& evaluator, const CalibrationResult& result) {
  return evaluator.Best() == None ? Infinity : result.evaluations[evaluator.Best()].objective;
}

// Controlled random search with local mutation (NLopt's CRS2-LM), restarted
// with the next seed while it keeps finding better candidates and the budget lasts.
bool RunOptimiser(const CalibrationRequest& request, const FitProblem& problem, Evaluator& evaluator,
                  const CalibrationResult& result) {
  const unsigned k = static_cast<unsigned>(problem.coordinates.size());
  std::vector<double> lower(k), upper(k), x(k);
  Values start(k);
  for (unsigned f = 0; f < k; ++f) {
    const FitRange& fit = problem.coordinates[f];
    lower[f] = fit.low - 0.499999;
    upper[f] = fit.high + 0.499999;
    start[f] = f < problem.settings ? request.base.*(FindField(fit.name)->integer) : 0;
  }
  start = Clamped(problem, start);
  OptimiserState state;
  state.request = &request;
  state.problem = &problem;
  state.evaluator = &evaluator;
  state.stallLimit = 100 * (k + 1);
  int fruitless = 0;
  for (std::uint32_t restart = 0; fruitless < 2; ++restart) {
    const double before = BestObjective(evaluator, result);
    const Values from = evaluator.Best() == None ? start : result.evaluations[evaluator.Best()].values;
    for (unsigned f = 0; f < k; ++f) x[f] = from[f];
    nlopt::srand(request.seed + restart);
    nlopt::opt optimiser(nlopt::GN_CRS2_LM, k);
    optimiser.set_lower_bounds(lower);
    optimiser.set_upper_bounds(upper);
    optimiser.set_min_objective(OptimiserObjective, &state);
    optimiser.set_maxeval(static_cast<int>(std::min<std::uint64_t>(request.budget * 100 + 10000, 2000000000)));
    state.cachedInARow = 0;
    double value = 0.0;
    try {
      optimiser.optimize(x, value);
    } catch (const nlopt::forced_stop&) {
    } catch (const std::exception&) {
      // NLopt gave up (round-off, say); the candidates it ran are in the cache.
    }
    if (state.stopped) return false;
    if (state.evaluated >= request.budget) break;
    fruitless = BestObjective(evaluator, result) < before ? 0 : fruitless + 1;
  }
  return true;
}

// The neighbours of a candidate one step away, `fixed` held (None for none):
// Single moves one setting a step; Pairs moves two settings a step each, which
// follows settings that go together (a higher male threshold with a higher
// abortion threshold); Whole is all 3^k - 1 of them.
enum class Moves { Single, Pairs, Whole };

std::vector<Values> Neighbours(const FitProblem& problem, const Values& centre, std::size_t fixed,
                               Moves moves) {
  const std::size_t k = centre.size();
  std::vector<std::size_t> moving;
  for (std::size_t f = 0; f < k; ++f) {
    if (f != fixed) moving.push_back(f);
  }
  std::vector<Values> neighbours;
  const auto add = [&](Values values) {
    for (std::size_t f = 0; f < k; ++f) {
      if (values[f] < problem.coordinates[f].low || values[f] > problem.coordinates[f].high) return;
    }
    if (values != centre) neighbours.push_back(std::move(values));
  };
  if (moves == Moves::Whole) {
    std::size_t count = 1;
    for (std::size_t m = 0; m < moving.size(); ++m) count *= 3;
    for (std::size_t code = 0; code < count; ++code) {
      Values values = centre;
      std::size_t rest = code;
      for (std::size_t m = 0; m < moving.size(); ++m, rest /= 3) {
        values[moving[m]] += static_cast<std::int32_t>(rest % 3) - 1;
      }
      add(std::move(values));
    }
    return neighbours;
  }
  for (std::size_t a = 0; a < moving.size(); ++a) {
    for (int da : {-1, 1}) {
      Values one = centre;
      one[moving[a]] += da;
      if (moves == Moves::Single) {
        add(std::move(one));
        continue;
      }
      for (std::size_t b = a + 1; b < moving.size(); ++b) {
        for (int db : {-1, 1}) {
          Values two = one;
          two[moving[b]] += db;
          add(std::move(two));
        }
      }
    }
  }
  return neighbours;
}

// The final polish: the whole neighbourhood of the best candidate, again around
// a better one until none is better.
bool Polish(const FitProblem& problem, Evaluator& evaluator, const CalibrationResult& result) {
  for (int round = 0; round < 100 && evaluator.Best() != None; ++round) {
    const std::size_t before = evaluator.Best();
    const Values centre = result.evaluations[before].values;
    const Moves moves = centre.size() <= 6 ? Moves::Whole : Moves::Pairs;
    if (!evaluator.Evaluate(Neighbours(problem, centre, None, moves), SearchStage::Polish)) return false;
    if (evaluator.Best() == before) break;
  }
  return true;
}

// From a candidate, steps to the best neighbour (setting `fixed` held) while
// that is better: single steps first, steps of two settings when no single one
// helps. Answers where it ended, or nothing when stopped.
std::optional<Values> LocalSearch(const FitProblem& problem, Evaluator& evaluator, Values at,
                                  std::size_t fixed) {
  if (!evaluator.Evaluate(std::span(&at, 1), SearchStage::Profile)) return std::nullopt;
  double here = Score(*evaluator.Find(at));
  for (int step = 0; step < 100;) {
    bool moved = false;
    for (Moves moves : {Moves::Single, Moves::Pairs}) {
      const std::vector<Values> neighbours = Neighbours(problem, at, fixed, moves);
      if (!evaluator.Evaluate(neighbours, SearchStage::Profile)) return std::nullopt;
      const Values* better = nullptr;
      for (const Values& values : neighbours) {
        const double score = Score(*evaluator.Find(values));
        if (score < here) {
          here = score;
          better = &values;
        }
      }
      if (better != nullptr) {
        at = *better;
        moved = true;
        ++step;
        break;
      }
    }
    if (!moved) break;
  }
  return at;
}

// The profile searches of the optimiser: for each fitted setting, value after
// value outward from the best, a local search over the other settings starting
// from where the previous value's search ended (or from the best candidate
// already known with that value, when it is better). Settings that go together
// are followed along their ridge this way, rather than held at their best.
bool SearchProfiles(const FitProblem& problem, Evaluator& evaluator, const CalibrationResult& result) {
  const Values best = result.evaluations[evaluator.Best()].values;
  for (std::size_t f = 0; f < problem.coordinates.size(); ++f) {
    const FitRange& fit = problem.coordinates[f];
    // A very wide range is followed in strides of about 200 values.
    const std::int64_t width = static_cast<std::int64_t>(fit.high) - fit.low + 1;
    const std::int32_t stride = static_cast<std::int32_t>(std::max<std::int64_t>(1, width / 200));
    for (int direction : {1, -1}) {
      Values from = best;
      for (std::int64_t v = static_cast<std::int64_t>(best[f]) + direction * stride; v >= fit.low && v <= fit.high;
           v += direction * stride) {
        from[f] = static_cast<std::int32_t>(v);
        // The carried point is run first: when the value changes nothing (a
        // setting the census cannot see), it fits as well as the best, and a
        // start elsewhere could end on a poorer ridge and leave the value out.
        if (!evaluator.Evaluate(std::span(&from, 1), SearchStage::Profile)) return false;
        double known = Score(*evaluator.Find(from));
        Values start = from;
        // The best already known with this value may be a better start.
        for (const Evaluation& evaluation : result.evaluations) {
          if (evaluation.values[f] == v && evaluation.status == EvaluationStatus::Ran && evaluation.objective < known) {
            known = evaluation.objective;
            start = evaluation.values;
          }
        }
        const std::optional<Values> reached = LocalSearch(problem, evaluator, std::move(start), f);
        if (!reached) return false;
        from = *reached;
      }
    }
  }
  return true;
}

// ---------------------------------------------------------------- what the census determines

std::string ThresholdRule(const CalibrationRequest& request, const CalibrationResult& result) {
  if (request.simulatedCensuses == 0) {
    return "not calibrated (no simulated censuses): only values that fit exactly as well as the best";
  }
  std::string text = "values are consistent with the census at 95 % when their profile lies within the 95th "
                     "percentile of its rise at the true value, calibrated on " +
                     std::to_string(request.simulatedCensuses) + " censuses simulated from the best fit (";
  for (std::size_t p = 0; p < result.simulatedPalms.size(); ++p) {
    char palms[32];
    std::snprintf(palms, sizeof palms, "%.0f", result.simulatedPalms[p]);
    text += (p == 0 ? "" : ", ") + std::string(palms);
  }
  text += result.simulatedPalms.size() == 1 ? " palms)" : " palms)";
  return text;
}

// The best candidate's cycles, its fit, the held-out cells' fit.
void DescribeBest(const CalibrationRequest& request, const FitProblem& problem,
                  std::vector<std::vector<CycleResult>> cycles, CalibrationResult& result) {
  std::vector<Census> held;
  std::vector<std::span<const CycleResult>> heldCycles;
  for (std::size_t p = 0; p < problem.parts.size(); ++p) {
    const std::int32_t shift = problem.ShiftOf(problem.parts[p], result.best);
    const FitStatistics fit = FitOf(ShiftedCensus(problem.parts[p].fit, shift), cycles[p]);
    if (p == 0) {
      result.fit = fit;
    } else {
      result.addedFits.push_back(fit);
    }
    held.push_back(ShiftedCensus(problem.parts[p].held, shift));
  }
  for (std::size_t p = 0; p < problem.parts.size(); ++p) heldCycles.push_back(cycles[p]);
  if (request.validate) result.validation = FitOfCensuses(held, heldCycles);
  result.bestCycles = std::move(cycles.front());
  for (std::size_t p = 1; p < cycles.size(); ++p) result.addedCycles.push_back(std::move(cycles[p]));
}

}  // namespace

// Each value's profile, and the values within its calibrated threshold of the best.
void MakeProfiles(const FitProblem& problem, CalibrationResult& result) {
  for (std::size_t f = 0; f < problem.coordinates.size(); ++f) {
    const FitRange& fit = problem.coordinates[f];
    SettingProfile& profile = result.profiles[f];
    profile.name = fit.name;
    profile.values.clear();
    for (std::int64_t v = fit.low; v <= fit.high; ++v) profile.values.push_back(static_cast<std::int32_t>(v));
    profile.best.assign(profile.values.size(), Infinity);
    for (const Evaluation& evaluation : result.evaluations) {
      if (evaluation.status != EvaluationStatus::Ran) continue;
      double& best = profile.best[static_cast<std::size_t>(evaluation.values[f] - fit.low)];
      best = std::min(best, evaluation.objective);
    }
    // A hair of slack so that values fitting exactly as well are never lost to rounding.
    const double limit = result.bestObjective + profile.threshold + 1e-9 * (1.0 + std::abs(result.bestObjective));
    profile.fitLow = profile.runLow = fit.high;
    profile.fitHigh = profile.runHigh = fit.low;
    for (std::size_t i = 0; i < profile.values.size(); ++i) {
      if (profile.best[i] <= limit) {
        profile.fitLow = std::min(profile.fitLow, profile.values[i]);
        profile.fitHigh = std::max(profile.fitHigh, profile.values[i]);
      }
      if (std::isfinite(profile.best[i])) {
        profile.runLow = std::min(profile.runLow, profile.values[i]);
        profile.runHigh = std::max(profile.runHigh, profile.values[i]);
      }
    }
  }
}

const char* SearchMethodName(SearchMethod method) {
  return method == SearchMethod::Exhaustive ? "exhaustive grid" : "optimiser";
}

const char* SearchStageName(SearchStage stage) {
  switch (stage) {
    case SearchStage::Grid: return "grid";
    case SearchStage::Search: return "search";
    case SearchStage::Polish: return "polish";
    case SearchStage::Profile: return "profile";
  }
  return "";
}

std::uint64_t CalibrationResult::Evaluated(SearchStage stage) const {
  std::uint64_t count = 0;
  for (const Evaluation& evaluation : evaluations) count += evaluation.stage == stage ? 1 : 0;
  return count;
}

CalibrationResult Calibrate(const CalibrationRequest& request, CalibrationControl& control) {
  const auto started = std::chrono::steady_clock::now();
  CalibrationResult result;
  const FitProblem problem = MakeFitProblem(request);
  result.gridSize = GridSize(problem.coordinates);
  Evaluator evaluator(request, problem, control, result);
  const bool exhaustive = GridSize(request.fits) <= static_cast<double>(request.budget);
  result.method = exhaustive ? SearchMethod::Exhaustive : SearchMethod::Optimiser;
  control.planned = exhaustive ? static_cast<std::uint64_t>(result.gridSize) : request.budget;
  bool finished = exhaustive ? EvaluateGrid(problem, evaluator)
                             : RunOptimiser(request, problem, evaluator, result) && Polish(problem, evaluator, result);
  if (finished && !exhaustive && evaluator.Best() != None) {
    finished = SearchProfiles(problem, evaluator, result) && Polish(problem, evaluator, result);
  }
  const auto stopped = [&] {
    result.stopped = true;
    if (evaluator.Best() != None) {
      result.bestSoFar = result.evaluations[evaluator.Best()].values;
      result.bestSoFarObjective = result.evaluations[evaluator.Best()].objective;
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return result;
  };
  if (!finished) return stopped();
  if (evaluator.Best() == None) {
    std::string reason;
    for (const Evaluation& evaluation : result.evaluations) {
      if (!evaluation.message.empty()) {
        reason = evaluation.message;
        break;
      }
    }
    result.failure = "no candidate could run" + (reason.empty() ? std::string() : "; the first: " + reason);
    return result;
  }
  const Evaluation& best = result.evaluations[evaluator.Best()];
  result.best = best.values;
  result.bestObjective = best.objective;
  if (request.shift) result.shift = best.values.back();
  if (request.objective == ObjectiveKind::LogLik) result.logLikelihood = -best.objective;
  std::vector<std::vector<CycleResult>> cycles = evaluator.CyclesOf(result.best);
  if (cycles.empty()) return stopped();
  DescribeBest(request, problem, std::move(cycles), result);

  result.profiles.assign(problem.coordinates.size(), SettingProfile{});
  const std::vector<KeptCandidate> kept = evaluator.Kept(KeptCandidates);
  const auto rangesStarted = std::chrono::steady_clock::now();
  if (request.simulatedCensuses > 0 && !CalibrateRanges(request, problem, kept, 0, control, result)) {
    result.best.clear();
    result.profiles.clear();
    return stopped();
  }
  if (request.simulatedCensuses == 0) MakeProfiles(problem, result);
  result.rangeSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - rangesStarted).count();
  result.thresholdRule = ThresholdRule(request, result);
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return result;
}

RunSettings BestSettings(const CalibrationRequest& request, const CalibrationResult& result) {
  RunSettings settings = CandidateSettings(request, result.best);
  settings.palmCount = request.base.palmCount;
  return settings;
}

}  // namespace varnolt
