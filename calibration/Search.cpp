// The search for the best whole values, and the profiles that say how sharply
// the census determines each of them.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>

#include <nlopt.hpp>

#include "calibration/Calibration.h"
#include "experiments/Experiments.h"

namespace varnolt {

namespace {

using Values = std::vector<std::int32_t>;
constexpr double Infinity = std::numeric_limits<double>::infinity();
constexpr std::size_t None = static_cast<std::size_t>(-1);

// Every candidate evaluated, once: the cache the optimiser and the profiles
// share, and the list of evaluations in their order.
class Evaluator {
 public:
  Evaluator(const CalibrationRequest& request, CalibrationControl& control, CalibrationResult& result)
      : request_(request), control_(control), result_(result) {
    floor_ = 0.5 / (static_cast<double>(request.palms) * request.replicates);
    const int threads = control.threads > 0 ? control.threads : ExperimentDefaultThreads();
    // Enough runs at a time to keep every thread busy, few enough to report
    // progress and to notice a stop often.
    batch_ = std::max<std::size_t>(1, (64 * static_cast<std::size_t>(threads)) /
                                          static_cast<std::size_t>(request.replicates));
  }

  // Evaluates the candidates not evaluated yet, in the order given; false when
  // stopped before all of them were.
  bool Evaluate(std::span<const Values> candidates, SearchStage stage) {
    std::vector<const Values*> todo;
    std::map<Values, bool> seen;
    for (const Values& values : candidates) {
      if (index_.count(values) == 0 && seen.emplace(values, true).second) todo.push_back(&values);
    }
    for (std::size_t start = 0; start < todo.size(); start += batch_) {
      if (Stopped()) return false;
      const std::size_t end = std::min(todo.size(), start + batch_);
      if (!EvaluateBatch(std::span(todo).subspan(start, end - start), stage)) return false;
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
  const std::vector<CycleResult>& BestCycles() const { return bestCycles_; }
  bool Stopped() const { return control_.stop.stop_requested(); }

 private:
  bool EvaluateBatch(std::span<const Values* const> candidates, SearchStage stage) {
    const auto replicates = static_cast<std::size_t>(request_.replicates);
    std::vector<ExperimentPoint> points;
    points.reserve(candidates.size() * replicates);
    for (const Values* values : candidates) {
      const RunSettings settings = CandidateSettings(request_, *values);
      for (std::size_t r = 0; r < replicates; ++r) {
        points.push_back({settings, request_.seed + static_cast<std::uint32_t>(r)});
      }
    }
    ExperimentControl run;
    run.threads = control_.threads;
    run.keepCycles = true;
    run.stop = control_.stop;
    std::vector<PointOutcome> outcomes = RunPoints(points, run);
    for (const PointOutcome& outcome : outcomes) {
      const bool ran = outcome.status == PointStatus::Ran || outcome.status == PointStatus::Failed;
      control_.runsDone += ran ? 1 : 0;
    }

    for (std::size_t c = 0; c < candidates.size(); ++c) {
      Evaluation evaluation;
      evaluation.values = *candidates[c];
      evaluation.objective = Infinity;
      evaluation.stage = stage;
      std::vector<CycleResult> mean;
      for (std::size_t r = 0; r < replicates; ++r) {
        PointOutcome& outcome = outcomes[c * replicates + r];
        if (outcome.status == PointStatus::NotRun) return false;  // stopped
        if (outcome.status != PointStatus::Ran) {
          evaluation.status = outcome.status == PointStatus::Invalid ? EvaluationStatus::Invalid
                                                                     : EvaluationStatus::Failed;
          evaluation.message = outcome.message;
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
      if (evaluation.status == EvaluationStatus::Ran && replicates > 1) {
        const double share = 1.0 / static_cast<double>(replicates);
        for (CycleResult& row : mean) {
          row.female *= share;
          row.herm *= share;
          row.male *= share;
          row.aborted *= share;
          row.total *= share;
        }
      }
      if (evaluation.status == EvaluationStatus::Ran) {
        evaluation.objective = ObjectiveValue(request_.census, mean, request_.objective, floor_);
      }
      index_[evaluation.values] = result_.evaluations.size();
      // Among candidates that fit exactly alike (settings the runs cannot tell
      // apart), the lowest values win, whichever way the search came to them.
      if (evaluation.status == EvaluationStatus::Ran && (best_ == None || Better(evaluation, result_.evaluations[best_]))) {
        best_ = result_.evaluations.size();
        bestCycles_ = std::move(mean);
      }
      result_.evaluations.push_back(std::move(evaluation));
    }
    return true;
  }

  static bool Better(const Evaluation& a, const Evaluation& b) {
    return a.objective < b.objective || (a.objective == b.objective && a.values < b.values);
  }

  const CalibrationRequest& request_;
  CalibrationControl& control_;
  CalibrationResult& result_;
  double floor_ = 0.0;
  std::size_t batch_ = 1;
  std::map<Values, std::size_t> index_;
  std::size_t best_ = None;
  std::vector<CycleResult> bestCycles_;
};

// ---------------------------------------------------------------- the grid

bool EvaluateGrid(const CalibrationRequest& request, Evaluator& evaluator) {
  const std::size_t k = request.fits.size();
  Values values(k);
  for (std::size_t f = 0; f < k; ++f) values[f] = request.fits[f].low;
  std::vector<Values> chunk;
  bool more = true;
  while (more) {
    chunk.push_back(values);
    // The next candidate, the first setting varying slowest (as a sweep's table).
    more = false;
    for (std::size_t f = k; f-- > 0;) {
      if (values[f] < request.fits[f].high) {
        ++values[f];
        more = true;
        break;
      }
      values[f] = request.fits[f].low;
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

Values Clamped(const CalibrationRequest& request, Values values) {
  for (std::size_t f = 0; f < values.size(); ++f) {
    values[f] = std::clamp(values[f], request.fits[f].low, request.fits[f].high);
  }
  return values;
}

struct OptimiserState {
  const CalibrationRequest* request = nullptr;
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
  values = Clamped(*state.request, std::move(values));
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
bool RunOptimiser(const CalibrationRequest& request, Evaluator& evaluator, const CalibrationResult& result) {
  const unsigned k = static_cast<unsigned>(request.fits.size());
  std::vector<double> lower(k), upper(k), x(k);
  Values start(k);
  for (unsigned f = 0; f < k; ++f) {
    const FitRange& fit = request.fits[f];
    lower[f] = fit.low - 0.499999;
    upper[f] = fit.high + 0.499999;
    start[f] = request.base.*(FindField(fit.name)->integer);
  }
  start = Clamped(request, start);
  OptimiserState state;
  state.request = &request;
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

std::vector<Values> Neighbours(const CalibrationRequest& request, const Values& centre, std::size_t fixed,
                               Moves moves) {
  const std::size_t k = centre.size();
  std::vector<std::size_t> moving;
  for (std::size_t f = 0; f < k; ++f) {
    if (f != fixed) moving.push_back(f);
  }
  std::vector<Values> neighbours;
  const auto add = [&](Values values) {
    for (std::size_t f = 0; f < k; ++f) {
      if (values[f] < request.fits[f].low || values[f] > request.fits[f].high) return;
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
bool Polish(const CalibrationRequest& request, Evaluator& evaluator, const CalibrationResult& result) {
  for (int round = 0; round < 100 && evaluator.Best() != None; ++round) {
    const std::size_t before = evaluator.Best();
    const Values centre = result.evaluations[before].values;
    const Moves moves = centre.size() <= 6 ? Moves::Whole : Moves::Pairs;
    if (!evaluator.Evaluate(Neighbours(request, centre, None, moves), SearchStage::Polish)) return false;
    if (evaluator.Best() == before) break;
  }
  return true;
}

// From a candidate, steps to the best neighbour (setting `fixed` held) while
// that is better: single steps first, steps of two settings when no single one
// helps. Answers where it ended, or nothing when stopped.
std::optional<Values> LocalSearch(const CalibrationRequest& request, Evaluator& evaluator, Values at,
                                  std::size_t fixed) {
  if (!evaluator.Evaluate(std::span(&at, 1), SearchStage::Profile)) return std::nullopt;
  double here = Score(*evaluator.Find(at));
  for (int step = 0; step < 100;) {
    bool moved = false;
    for (Moves moves : {Moves::Single, Moves::Pairs}) {
      const std::vector<Values> neighbours = Neighbours(request, at, fixed, moves);
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
bool SearchProfiles(const CalibrationRequest& request, Evaluator& evaluator, const CalibrationResult& result) {
  const Values best = result.evaluations[evaluator.Best()].values;
  for (std::size_t f = 0; f < request.fits.size(); ++f) {
    const FitRange& fit = request.fits[f];
    // A very wide range is followed in strides of about 200 values.
    const std::int64_t width = static_cast<std::int64_t>(fit.high) - fit.low + 1;
    const std::int32_t stride = static_cast<std::int32_t>(std::max<std::int64_t>(1, width / 200));
    for (int direction : {1, -1}) {
      Values from = best;
      for (std::int64_t v = static_cast<std::int64_t>(best[f]) + direction * stride; v >= fit.low && v <= fit.high;
           v += direction * stride) {
        from[f] = static_cast<std::int32_t>(v);
        // The best already known with this value may be a better start.
        double known = Infinity;
        const Values* knownValues = nullptr;
        for (const Evaluation& evaluation : result.evaluations) {
          if (evaluation.values[f] == v && evaluation.status == EvaluationStatus::Ran && evaluation.objective < known) {
            known = evaluation.objective;
            knownValues = &evaluation.values;
          }
        }
        const Evaluation* carried = evaluator.Find(from);
        Values start = knownValues != nullptr && (carried == nullptr || known < Score(*carried)) ? *knownValues : from;
        const std::optional<Values> reached = LocalSearch(request, evaluator, std::move(start), f);
        if (!reached) return false;
        from = *reached;
      }
    }
  }
  return true;
}

// ---------------------------------------------------------------- what the census determines

void MakeProfiles(const CalibrationRequest& request, CalibrationResult& result) {
  for (std::size_t f = 0; f < request.fits.size(); ++f) {
    const FitRange& fit = request.fits[f];
    SettingProfile profile;
    profile.name = fit.name;
    for (std::int64_t v = fit.low; v <= fit.high; ++v) profile.values.push_back(static_cast<std::int32_t>(v));
    profile.best.assign(profile.values.size(), Infinity);
    for (const Evaluation& evaluation : result.evaluations) {
      if (evaluation.status != EvaluationStatus::Ran) continue;
      double& best = profile.best[static_cast<std::size_t>(evaluation.values[f] - fit.low)];
      best = std::min(best, evaluation.objective);
    }
    const double limit = result.bestObjective + result.threshold;
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
    result.profiles.push_back(std::move(profile));
  }
}

// The noise within which candidates fit equally well. For the likelihood, the
// 95 % profile-likelihood interval of one parameter: 1.92 (half of chi-square's
// 3.84). For the sum of squares the same rule with the census's errors taken as
// normal, their variance estimated from the best fit's residuals:
// 3.84 x sse / (cells - fitted settings).
void SetThreshold(const CalibrationRequest& request, CalibrationResult& result) {
  if (request.objective == ObjectiveKind::LogLik) {
    result.threshold = 1.92;
    result.thresholdRule =
        "within 1.92 of the best log-likelihood (the 95 % profile-likelihood interval of one setting)";
    return;
  }
  const double cells = static_cast<double>(request.census.ObservedCells());
  const double freedom = std::max(1.0, cells - static_cast<double>(request.fits.size()));
  const double variance = result.bestObjective / freedom;
  result.threshold = 3.84 * variance;
  char text[200];
  std::snprintf(text, sizeof text,
                "within 3.84 x %.4g of the best sse (the 95 %% profile interval of one setting, the census's "
                "error variance %.4g estimated from the best fit's %.0f cells)",
                variance, variance, cells);
  result.thresholdRule = text;
}

}  // namespace

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
  result.gridSize = GridSize(request.fits);
  Evaluator evaluator(request, control, result);
  const bool exhaustive = result.gridSize <= static_cast<double>(request.budget);
  result.method = exhaustive ? SearchMethod::Exhaustive : SearchMethod::Optimiser;
  control.planned = exhaustive ? static_cast<std::uint64_t>(result.gridSize) : request.budget;
  bool finished = exhaustive ? EvaluateGrid(request, evaluator)
                             : RunOptimiser(request, evaluator, result) && Polish(request, evaluator, result);
  if (finished && !exhaustive && evaluator.Best() != None) {
    finished = SearchProfiles(request, evaluator, result) && Polish(request, evaluator, result);
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!finished) {
    result.stopped = true;
    return result;
  }
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
  result.bestCycles = evaluator.BestCycles();
  result.fit = FitOf(request.census, result.bestCycles);
  if (request.objective == ObjectiveKind::LogLik) result.logLikelihood = -best.objective;
  SetThreshold(request, result);
  MakeProfiles(request, result);
  return result;
}

RunSettings BestSettings(const CalibrationRequest& request, const CalibrationResult& result) {
  RunSettings settings = CandidateSettings(request, result.best);
  settings.palmCount = request.base.palmCount;
  return settings;
}

}  // namespace varnolt
