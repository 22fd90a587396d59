// Ranges that hold the truth as often as they say, and the lack of fit.
//
// A census's errors are not independent cells: the same palms are counted cycle
// after cycle, so its residuals run in long waves, and a rule that counts cells
// as independent makes ranges far too narrow. Instead the noise is measured by
// simulation (a parametric bootstrap): censuses of the census's own shape (its
// cycles, observed cells, palms and decimals) are simulated from the best
// settings on fresh seeds, and each is fitted again over the candidates already
// run -- their series do not change, so a refit is arithmetic, not new runs.
// How far each profile rises at the values that made the simulated census, over
// all of them, says how far a profile may rise at the truth: its 95th percentile
// is the setting's threshold. The candidates' own seed noise is in it, since the
// simulated censuses are compared with the same candidate runs as the census.

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <optional>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include "calibration/FitProblem.h"
#include "experiments/Experiments.h"

namespace varnolt {


namespace {

constexpr double Infinity = std::numeric_limits<double>::infinity();
constexpr double Level = 0.95;         // of the ranges
// The lack-of-fit flag: fewer than 1 in 40 simulated censuses fit as poorly. Half
// the usual 5 %, since a census of a treated plantation can fit a little less well
// than its simulated twins even when the model is right (an irrigated census gave
// p below 5 % for 1 of 8 seeds).
constexpr double FalseAlarm = 0.025;

// The seeds of the simulated censuses: drawn from the calibration's seed, far
// from its candidates' consecutive seeds (SplitMix64).
std::uint32_t SimulationSeed(std::uint32_t seed, std::uint64_t index) {
  std::uint64_t z = (std::uint64_t{seed} << 32 | 0x5bd1e995u) + 0x9e3779b97f4a7c15ULL * (index + 1);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  z ^= z >> 31;
  return static_cast<std::uint32_t>(z >> 32);
}

double Rounded(double value, int decimals) {
  if (decimals < 0) return value;
  const double scale = std::pow(10.0, decimals);
  return std::round(value * scale) / scale;
}

// The palms a simulated census of this part counts: the census's mean palms, or,
// for a census that gives none, the palms whose binomial variance explains the
// best fit's residuals once the candidates' own noise is taken out.
double SimulatedPalms(const CalibrationRequest& request, const FitProblem& problem, const CensusPart& part,
                      const SeriesView& best, std::int32_t shift) {
  if (part.fit.hasPalms) return std::max(1.0, std::round(part.meanPalms));
  double residual = 0.0, binomial = 0.0;
  for (const CensusRow& row : part.fit.rows) {
    for (int s = 0; s < CensusSeriesCount; ++s) {
      if (!row.percent[s]) continue;
      const double simulated = best.At(row.cycle + shift, s);
      const double p = simulated / 100.0;
      residual += (simulated - *row.percent[s]) * (simulated - *row.percent[s]);
      binomial += p * (1.0 - p) * 1e4;
    }
  }
  (void)problem;
  // A census that the runs follow more closely than their own noise allows is
  // at least as exact as the runs: it counts as many palms as they do, no more.
  const double runPalms = static_cast<double>(request.palms) * request.replicates;
  const double runs = binomial / runPalms;
  const double palms = binomial / std::max(residual - runs, binomial / runPalms);
  return std::clamp(std::round(palms), 1.0, runPalms);
}

// What one refit of a simulated census leaves: its best objective, the rise of
// each profile at the values that made it, and the best refit's residuals per series.
struct Refit {
  double best = Infinity;
  std::vector<double> rise;
  std::array<double, CensusSeriesCount> squares{};
  std::array<double, CensusSeriesCount> lagged{};
};

struct Residuals {
  std::array<double, CensusSeriesCount> squares{};
  std::array<double, CensusSeriesCount> lagged{};  // sum of products of consecutive residuals
  std::array<std::size_t, CensusSeriesCount> cells{};
};

// The residuals of the censuses (real or simulated) against a candidate's series.
Residuals ResidualsOf(const FitProblem& problem, std::span<const Census> censuses, const KeptCandidate& candidate) {
  Residuals residuals;
  for (std::size_t p = 0; p < problem.parts.size(); ++p) {
    const std::int32_t shift = problem.ShiftOf(problem.parts[p], candidate.values);
    std::array<double, CensusSeriesCount> previous{};
    std::array<bool, CensusSeriesCount> hasPrevious{};  // the row before observed the series
    for (const CensusRow& row : censuses[p].rows) {
      for (int s = 0; s < CensusSeriesCount; ++s) {
        if (!row.percent[s]) {
          hasPrevious[s] = false;
          continue;
        }
        const double r = candidate.series[p].At(row.cycle + shift, s) - *row.percent[s];
        residuals.squares[s] += r * r;
        ++residuals.cells[s];
        if (hasPrevious[s]) residuals.lagged[s] += r * previous[s];
        previous[s] = r;
        hasPrevious[s] = true;
      }
    }
  }
  return residuals;
}

double CandidateObjective(const FitProblem& problem, std::span<const Census> censuses, const KeptCandidate& candidate) {
  double sum = 0.0;
  for (std::size_t p = 0; p < problem.parts.size(); ++p) {
    const CensusPart& part = problem.parts[p];
    const SeriesView view = candidate.series[p];
    sum += CensusObjective(
        censuses[p], part.meanPalms, [&view](std::int64_t cycle, int s) { return view.At(cycle, s); },
        problem.ShiftOf(part, candidate.values), problem.kind, problem.floor);
  }
  return sum;
}

// The sum of squares over flat arrays: each census's observed cells as offsets
// into a candidate's series (at shift 0) with their weights, so that a refit of
// thousands of candidates is a tight loop.
struct FlatCells {
  std::vector<std::vector<std::ptrdiff_t>> offsets;  // per part
  std::vector<std::vector<double>> weights;
};

FlatCells FlatCellsOf(const FitProblem& problem) {
  FlatCells flat;
  for (const CensusPart& part : problem.parts) {
    std::vector<std::ptrdiff_t> offsets;
    std::vector<double> weights;
    for (const CensusRow& row : part.fit.rows) {
      for (int s = 0; s < CensusSeriesCount; ++s) {
        if (!row.percent[s]) continue;
        offsets.push_back(static_cast<std::ptrdiff_t>(row.cycle - part.firstModelCycle) * CensusSeriesCount + s);
        weights.push_back(CensusRowWeight(part.fit, row, part.meanPalms));
      }
    }
    flat.offsets.push_back(std::move(offsets));
    flat.weights.push_back(std::move(weights));
  }
  return flat;
}

double FlatSse(const FitProblem& problem, const FlatCells& flat, std::span<const std::vector<double>> observed,
               const KeptCandidate& candidate) {
  double sum = 0.0;
  for (std::size_t p = 0; p < flat.offsets.size(); ++p) {
    const double* series = candidate.series[p].data +
                           static_cast<std::ptrdiff_t>(problem.ShiftOf(problem.parts[p], candidate.values)) *
                               CensusSeriesCount;
    const std::vector<std::ptrdiff_t>& offsets = flat.offsets[p];
    const std::vector<double>& weights = flat.weights[p];
    const std::vector<double>& values = observed[p];
    double part = 0.0;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
      const double difference = series[offsets[i]] - values[i];
      part += weights[i] * difference * difference;
    }
    sum += part;
  }
  return sum;
}

Refit RefitOf(const FitProblem& problem, const FlatCells& flat, std::span<const Census> censuses,
              std::span<const KeptCandidate> candidates, const std::vector<std::int32_t>& truth) {
  Refit refit;
  const std::size_t k = problem.coordinates.size();
  std::vector<double> atTruth(k, Infinity);
  std::size_t best = 0;
  std::vector<std::vector<double>> observed;
  if (problem.kind == ObjectiveKind::Sse) {
    for (const Census& census : censuses) {
      std::vector<double> values;
      for (const CensusRow& row : census.rows) {
        for (const auto& percent : row.percent) {
          if (percent) values.push_back(*percent);
        }
      }
      observed.push_back(std::move(values));
    }
  }
  for (std::size_t c = 0; c < candidates.size(); ++c) {
    const double objective = problem.kind == ObjectiveKind::Sse ? FlatSse(problem, flat, observed, candidates[c])
                                                                : CandidateObjective(problem, censuses, candidates[c]);
    if (objective < refit.best) {
      refit.best = objective;
      best = c;
    }
    for (std::size_t f = 0; f < k; ++f) {
      if (candidates[c].values[f] == truth[f]) atTruth[f] = std::min(atTruth[f], objective);
    }
  }
  refit.rise.resize(k);
  for (std::size_t f = 0; f < k; ++f) refit.rise[f] = atTruth[f] - refit.best;
  const Residuals residuals = ResidualsOf(problem, censuses, candidates[best]);
  refit.squares = residuals.squares;
  refit.lagged = residuals.lagged;
  return refit;
}

double Quantile(std::vector<double> values, double level) {
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<std::size_t>(std::ceil(level * static_cast<double>(values.size())));
  return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

// The binomial variance of the best fit's cells: the census's palms and the
// candidates' runs, at the fitted proportions.
std::array<double, CensusSeriesCount> BinomialSquares(const CalibrationRequest& request, const FitProblem& problem,
                                                      const KeptCandidate& best,
                                                      std::span<const double> simulatedPalms) {
  std::array<double, CensusSeriesCount> squares{};
  const double runs = static_cast<double>(request.palms) * request.replicates;
  for (std::size_t p = 0; p < problem.parts.size(); ++p) {
    const std::int32_t shift = problem.ShiftOf(problem.parts[p], best.values);
    for (const CensusRow& row : problem.parts[p].fit.rows) {
      const double palms = row.palms.value_or(simulatedPalms[p]);
      for (int s = 0; s < CensusSeriesCount; ++s) {
        if (!row.percent[s]) continue;
        const double share = best.series[p].At(row.cycle + shift, s) / 100.0;
        squares[s] += share * (1.0 - share) * 1e4 * (1.0 / palms + 1.0 / runs);
      }
    }
  }
  return squares;
}

}  // namespace

namespace {

// Censuses simulated from one generating candidate and fitted again: the rises
// of the profiles at its values, and its refits' residuals.
class Simulator {
 public:
  Simulator(const CalibrationRequest& request, const FitProblem& problem, std::span<const KeptCandidate> candidates,
            CalibrationControl& control, std::span<const double> palms)
      : request_(request),
        problem_(problem),
        candidates_(candidates),
        control_(control),
        palms_(palms),
        flat_(FlatCellsOf(problem)) {}

  // The refits of censuses simulated from candidate `generating`; nothing when stopped.
  std::optional<std::vector<Refit>> Refits(std::size_t generating) {
    const std::size_t parts = problem_.parts.size();
    const auto simulations = static_cast<std::size_t>(request_.simulatedCensuses);
    const KeptCandidate& source = candidates_[generating];
    std::vector<ExperimentPoint> points;
    points.reserve(simulations * parts);
    for (std::size_t b = 0; b < simulations; ++b) {
      for (std::size_t p = 0; p < parts; ++p) {
        RunSettings settings = problem_.parts[p].base;
        for (std::size_t f = 0; f < problem_.settings; ++f) {
          settings.*(FindField(problem_.coordinates[f].name)->integer) = source.values[f];
        }
        settings.palmCount = static_cast<std::int32_t>(palms_[p]);
        points.push_back({settings, SimulationSeed(request_.seed, (rounds_ * simulations + b) * parts + p)});
      }
    }
    ++rounds_;
    ExperimentControl run;
    run.threads = control_.threads;
    run.keepCycles = true;
    run.stop = control_.stop;
    std::vector<PointOutcome> outcomes = RunPoints(points, run);
    if (control_.stop.stop_requested()) return std::nullopt;

    // Each simulated census: the census's own rows and cells, the simulated
    // percentages in them, written with the census's decimals.
    std::vector<std::vector<Census>> censuses(simulations, std::vector<Census>(parts));
    for (std::size_t b = 0; b < simulations; ++b) {
      for (std::size_t p = 0; p < parts; ++p) {
        const PointOutcome& outcome = outcomes[b * parts + p];
        if (outcome.status != PointStatus::Ran) return std::nullopt;  // it ran as a candidate, so it runs here
        const std::int32_t shift = problem_.ShiftOf(problem_.parts[p], source.values);
        Census& census = censuses[b][p];
        census = problem_.parts[p].fit;
        for (CensusRow& row : census.rows) {
          const CycleResult& simulated = outcome.cycles[static_cast<std::size_t>(row.cycle + shift - 1)];
          for (int s = 0; s < CensusSeriesCount; ++s) {
            if (row.percent[s]) row.percent[s] = Rounded(SeriesValue(simulated, s), census.decimals);
          }
        }
      }
    }
    outcomes.clear();
    std::vector<Refit> refits(simulations);
    tbb::task_arena arena(control_.threads > 0 ? control_.threads : tbb::task_arena::automatic);
    arena.execute([&] {
      tbb::parallel_for(tbb::blocked_range<std::size_t>(0, simulations),
                        [&](const tbb::blocked_range<std::size_t>& range) {
                          for (std::size_t b = range.begin(); b != range.end(); ++b) {
                            if (control_.stop.stop_requested()) return;
                            refits[b] = RefitOf(problem_, flat_, censuses[b], candidates_, source.values);
                          }
                        });
    });
    if (control_.stop.stop_requested()) return std::nullopt;
    return refits;
  }

 private:
  const CalibrationRequest& request_;
  const FitProblem& problem_;
  std::span<const KeptCandidate> candidates_;
  CalibrationControl& control_;
  std::span<const double> palms_;
  FlatCells flat_;
  std::uint64_t rounds_ = 0;
};

double RiseQuantile(const std::vector<Refit>& refits, std::size_t f) {
  std::vector<double> rises;
  rises.reserve(refits.size());
  for (const Refit& refit : refits) rises.push_back(refit.rise[f]);
  return Quantile(std::move(rises), Level);
}

// The lack of fit: the census's best fit against the simulated censuses' best fits.
LackOfFit JudgeFit(const CalibrationRequest& request, const FitProblem& problem, const KeptCandidate& chosen,
                   const std::vector<Refit>& refits, const CalibrationResult& result) {
  LackOfFit lack;
  std::vector<Census> real;
  for (const CensusPart& part : problem.parts) real.push_back(part.fit);
  const Residuals residuals = ResidualsOf(problem, real, chosen);
  const std::array<double, CensusSeriesCount> binomial = BinomialSquares(request, problem, chosen, result.simulatedPalms);
  double residualSum = 0.0, expectedSum = 0.0;
  std::size_t poorer = 0;
  for (const Refit& refit : refits) poorer += refit.best >= result.bestObjective ? 1 : 0;
  for (int s = 0; s < CensusSeriesCount; ++s) {
    SeriesLackOfFit& series = lack.series[s];
    series.cells = residuals.cells[s];
    if (series.cells == 0) continue;
    const auto n = static_cast<double>(series.cells);
    double expected = 0.0, expectedLag = 0.0;
    std::size_t lagged = 0;
    for (const Refit& refit : refits) {
      expected += refit.squares[s];
      if (refit.squares[s] > 0.0) {
        expectedLag += refit.lagged[s] / refit.squares[s];
        ++lagged;
      }
    }
    expected /= static_cast<double>(refits.size());
    series.residualVariance = residuals.squares[s] / n;
    series.binomialVariance = binomial[s] / n;
    series.expectedVariance = expected / n;
    series.ratio = expected > 0.0 ? residuals.squares[s] / expected : (residuals.squares[s] > 0.0 ? Infinity : 1.0);
    series.lag1 = residuals.squares[s] > 0.0 ? residuals.lagged[s] / residuals.squares[s] : 0.0;
    series.expectedLag1 = lagged > 0 ? expectedLag / static_cast<double>(lagged) : 0.0;
    residualSum += residuals.squares[s];
    expectedSum += expected;
  }
  lack.ratio = expectedSum > 0.0 ? residualSum / expectedSum : (residualSum > 0.0 ? Infinity : 1.0);
  lack.pValue = static_cast<double>(1 + poorer) / static_cast<double>(refits.size() + 1);
  lack.judged = std::all_of(problem.parts.begin(), problem.parts.end(),
                            [](const CensusPart& part) { return part.fit.hasPalms; });
  lack.flagged = lack.judged && lack.pValue < FalseAlarm;
  return lack;
}

// The most values tested beyond each end of a range under their own simulated censuses.
constexpr int MostEdgeTests = 3;

}  // namespace

bool CalibrateRanges(const CalibrationRequest& request, const FitProblem& problem,
                     std::span<const KeptCandidate> candidates, std::size_t best, CalibrationControl& control,
                     CalibrationResult& result) {
  const KeptCandidate& chosen = candidates[best];
  result.simulatedPalms.clear();
  for (std::size_t p = 0; p < problem.parts.size(); ++p) {
    result.simulatedPalms.push_back(SimulatedPalms(request, problem, problem.parts[p], chosen.series[p],
                                                   problem.ShiftOf(problem.parts[p], chosen.values)));
  }
  Simulator simulator(request, problem, candidates, control, result.simulatedPalms);
  const std::optional<std::vector<Refit>> refits = simulator.Refits(best);
  if (!refits) return false;
  for (std::size_t f = 0; f < problem.coordinates.size(); ++f) {
    result.profiles[f].threshold = RiseQuantile(*refits, f);
    result.profiles[f].simulatedCensuses = request.simulatedCensuses;
  }
  result.lackOfFit = JudgeFit(request, problem, chosen, *refits, result);
  MakeProfiles(problem, result);

  // The rise at the best values is not the rise everywhere: a census made with
  // other values may fit them less sharply. So each value just beyond a range
  // is tested under censuses simulated from its own best candidate, and joins
  // the range when its profile rises no more than those censuses' 95th
  // percentile.
  std::map<std::size_t, std::vector<double>> quantiles;  // by generating candidate, per coordinate
  for (std::size_t f = 0; f < problem.coordinates.size(); ++f) {
    SettingProfile& profile = result.profiles[f];
    if (profile.Undetermined()) continue;
    for (int direction : {-1, 1}) {
      for (int test = 0; test < MostEdgeTests; ++test) {
        const std::int64_t v = static_cast<std::int64_t>(direction < 0 ? profile.fitLow : profile.fitHigh) + direction;
        if (v < problem.coordinates[f].low || v > problem.coordinates[f].high) break;
        const double rise = profile.best[static_cast<std::size_t>(v - problem.coordinates[f].low)] - result.bestObjective;
        if (!std::isfinite(rise)) break;
        std::size_t generating = candidates.size();
        for (std::size_t c = 0; c < candidates.size() && generating == candidates.size(); ++c) {
          if (candidates[c].values[f] == v) generating = c;
        }
        if (generating == candidates.size()) break;
        auto found = quantiles.find(generating);
        if (found == quantiles.end()) {
          const std::optional<std::vector<Refit>> there = simulator.Refits(generating);
          if (!there) return false;
          std::vector<double> levels;
          for (std::size_t g = 0; g < problem.coordinates.size(); ++g) levels.push_back(RiseQuantile(*there, g));
          found = quantiles.emplace(generating, std::move(levels)).first;
        }
        if (rise > found->second[f] + 1e-9 * (1.0 + std::abs(result.bestObjective))) break;
        (direction < 0 ? profile.fitLow : profile.fitHigh) = static_cast<std::int32_t>(v);
      }
    }
  }
  return true;
}

}  // namespace varnolt
