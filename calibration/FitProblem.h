#pragma once
// Inside calibration: the censuses as the search and the ranges read them. Each
// census is a part with its own base settings, its fitted rows and its held-out
// rows; the candidates' simulated series are kept per part over the model
// cycles that part's census can reach (every shift included).

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "calibration/Calibration.h"

namespace varnolt {


// The simulated percentages of one candidate on one part: the four series of
// each model cycle from `first` on, averaged over the replicates.
struct SeriesView {
  const double* data = nullptr;
  std::int64_t first = 1;
  double At(std::int64_t cycle, int series) const {
    return data[static_cast<std::size_t>(cycle - first) * CensusSeriesCount + static_cast<std::size_t>(series)];
  }
};

struct CensusPart {
  std::string name;
  Census fit;           // the rows fitted
  Census held;          // the rows held out (--validate)
  RunSettings base;     // cycleCount long enough for every shift
  bool shifted = false; // the fitted shift applies to this census
  std::int64_t firstModelCycle = 1;  // the model cycles the kept series cover
  std::int64_t lastModelCycle = 1;
  double meanPalms = 1.0;  // of the fitted rows with palms, for the weights of sse
  std::size_t Width() const {
    return static_cast<std::size_t>(lastModelCycle - firstModelCycle + 1) * CensusSeriesCount;
  }
};

struct FitProblem {
  std::vector<CensusPart> parts;
  std::vector<FitRange> coordinates;  // FittedValues: the settings, then the shift
  std::size_t settings = 0;           // how many coordinates are settings
  ObjectiveKind kind = ObjectiveKind::Sse;
  double floor = 0.0;                 // the likelihood's least proportion

  // The shift of a part for a full candidate.
  std::int32_t ShiftOf(const CensusPart& part, std::span<const std::int32_t> values) const {
    return part.shifted && values.size() > settings ? values[settings] : 0;
  }
};

// The parts of a request that passed CheckCalibrationRequest.
FitProblem MakeFitProblem(const CalibrationRequest& request);

// The objective of one census against simulated values (`value(modelCycle, series)`),
// census cycle c being model cycle c + shift.
template <class Value>
double CensusObjective(const Census& census, double meanPalms, const Value& value, std::int32_t shift,
                       ObjectiveKind kind, double floor);

// The same over every part, of a candidate whose series per part are `series`.
double ProblemObjective(const FitProblem& problem, std::span<const SeriesView> series,
                        std::span<const std::int32_t> values);

// The mean palms of the rows that give palms (1 when none does).
double MeanPalmsOf(const Census& census);

// The census with every cycle moved by shift (for statistics and pictures in model cycles).
Census ShiftedCensus(const Census& census, std::int32_t shift);

// Cycles of a run as four values per cycle from `first` to `last`.
std::vector<double> SeriesOf(std::span<const CycleResult> cycles, std::int64_t first, std::int64_t last);

// The calibrated ranges and the lack of fit, from censuses simulated from the
// best candidate: fills each profile's threshold and range, result.lackOfFit
// and result.simulatedPalms. `candidates` are the full candidates kept with their
// series (one view per part); `best` indexes the best among them. Answers false
// when stopped.
struct KeptCandidate {
  std::vector<std::int32_t> values;
  std::vector<SeriesView> series;  // one per part
};
bool CalibrateRanges(const CalibrationRequest& request, const FitProblem& problem,
                     std::span<const KeptCandidate> candidates, std::size_t best, CalibrationControl& control,
                     CalibrationResult& result);

// Each fitted value's profile from every evaluation, and the values within its
// threshold of the best (result.profiles holds the thresholds already).
void MakeProfiles(const FitProblem& problem, CalibrationResult& result);

// ---------------------------------------------------------------- the template

inline double CensusRowWeight(const Census& census, const CensusRow& row, double meanPalms) {
  return census.hasPalms && row.palms ? *row.palms / meanPalms : 1.0;
}

template <class Value>
double CensusObjective(const Census& census, double meanPalms, const Value& value, std::int32_t shift,
                       ObjectiveKind kind, double floor) {
  double sum = 0.0;
  if (kind == ObjectiveKind::Sse) {
    for (const CensusRow& row : census.rows) {
      const std::int64_t cycle = row.cycle + shift;
      double squares = 0.0;
      for (int s = 0; s < CensusSeriesCount; ++s) {
        if (!row.percent[s]) continue;
        const double difference = value(cycle, s) - *row.percent[s];
        squares += difference * difference;
      }
      sum += squares * CensusRowWeight(census, row, meanPalms);
    }
    return sum;
  }
  // Minus the log-likelihood of the counts observed in each row, under a
  // multinomial with the simulated proportions. The counts need not be whole (a
  // percentage of palms rounded in the census), so the coefficient is taken with
  // lgamma; it does not depend on the settings, but keeps the value a true
  // log-likelihood.
  for (const CensusRow& row : census.rows) {
    if (!row.palms) continue;
    const double palms = *row.palms;
    const std::int64_t cycle = row.cycle + shift;
    double countSum = 0.0, shareSum = 0.0;
    int observed = 0;
    double rowLog = std::lgamma(palms + 1.0);
    for (int s = 0; s < CensusSeriesCount; ++s) {
      if (!row.percent[s]) continue;
      const double count = *row.percent[s] * palms / 100.0;
      const double share = value(cycle, s) / 100.0;
      rowLog += count * std::log(std::max(share, floor)) - std::lgamma(count + 1.0);
      countSum += count;
      shareSum += share;
      ++observed;
    }
    if (observed == 0) continue;
    if (observed < CensusSeriesCount) {
      // The states the census left out, pooled.
      const double rest = std::max(palms - countSum, 0.0);
      rowLog += rest * std::log(std::max(1.0 - shareSum, floor)) - std::lgamma(rest + 1.0);
    }
    sum -= rowLog;
  }
  return sum;
}

}  // namespace varnolt
