// The objective a calibration makes smallest, and how well the best settings
// follow the census.

#include <cmath>
#include <limits>

#include "calibration/Calibration.h"

namespace varnolt {

double SeriesValue(const CycleResult& row, int series) {
  switch (series) {
    case 0: return row.female;
    case 1: return row.herm;
    case 2: return row.male;
    default: return row.aborted;
  }
}

std::size_t Census::ObservedCells() const {
  std::size_t cells = 0;
  for (const CensusRow& row : rows) {
    for (const std::optional<double>& percent : row.percent) cells += percent ? 1 : 0;
  }
  return cells;
}

const char* ObjectiveName(ObjectiveKind kind) { return kind == ObjectiveKind::Sse ? "sse" : "loglik"; }

namespace {

double MeanPalms(const Census& census) {
  double sum = 0.0;
  std::size_t rows = 0;
  for (const CensusRow& row : census.rows) {
    if (row.palms) {
      sum += *row.palms;
      ++rows;
    }
  }
  return rows == 0 ? 1.0 : sum / static_cast<double>(rows);
}

double Sse(const Census& census, std::span<const CycleResult> cycles) {
  const double meanPalms = census.hasPalms ? MeanPalms(census) : 1.0;
  double sum = 0.0;
  for (const CensusRow& row : census.rows) {
    const CycleResult& simulated = cycles[static_cast<std::size_t>(row.cycle - 1)];
    double squares = 0.0;
    for (int s = 0; s < CensusSeriesCount; ++s) {
      if (!row.percent[s]) continue;
      const double difference = SeriesValue(simulated, s) - *row.percent[s];
      squares += difference * difference;
    }
    sum += census.hasPalms && row.palms ? squares * (*row.palms / meanPalms) : squares;
  }
  return sum;
}

// Minus the log-likelihood of the counts observed in each row, under a
// multinomial with the simulated proportions. The counts need not be whole (a
// percentage of palms rounded in the census), so the coefficient is taken with
// lgamma; it does not depend on the settings, but keeps the value a true
// log-likelihood.
double MinusLogLikelihood(const Census& census, std::span<const CycleResult> cycles, double floor) {
  double logLikelihood = 0.0;
  for (const CensusRow& row : census.rows) {
    if (!row.palms) continue;
    const double palms = *row.palms;
    const CycleResult& simulated = cycles[static_cast<std::size_t>(row.cycle - 1)];
    double countSum = 0.0, shareSum = 0.0;
    int observed = 0;
    double rowLog = std::lgamma(palms + 1.0);
    for (int s = 0; s < CensusSeriesCount; ++s) {
      if (!row.percent[s]) continue;
      const double count = *row.percent[s] * palms / 100.0;
      const double share = SeriesValue(simulated, s) / 100.0;
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
    logLikelihood += rowLog;
  }
  return -logLikelihood;
}

}  // namespace

double ObjectiveValue(const Census& census, std::span<const CycleResult> cycles, ObjectiveKind kind, double floor) {
  return kind == ObjectiveKind::Sse ? Sse(census, cycles) : MinusLogLikelihood(census, cycles, floor);
}

FitStatistics FitOf(const Census& census, std::span<const CycleResult> cycles) {
  FitStatistics fit;
  std::array<double, CensusSeriesCount> observedSum{}, squares{}, differences{};
  for (const CensusRow& row : census.rows) {
    for (int s = 0; s < CensusSeriesCount; ++s) {
      if (!row.percent[s]) continue;
      const double difference = SeriesValue(cycles[static_cast<std::size_t>(row.cycle - 1)], s) - *row.percent[s];
      ++fit.series[s].cells;
      observedSum[s] += *row.percent[s];
      squares[s] += difference * difference;
      differences[s] += difference;
    }
  }
  std::array<double, CensusSeriesCount> variation{};
  for (const CensusRow& row : census.rows) {
    for (int s = 0; s < CensusSeriesCount; ++s) {
      if (!row.percent[s]) continue;
      const double deviation = *row.percent[s] - observedSum[s] / static_cast<double>(fit.series[s].cells);
      variation[s] += deviation * deviation;
    }
  }
  double allSquares = 0.0;
  for (int s = 0; s < CensusSeriesCount; ++s) {
    SeriesFit& series = fit.series[s];
    if (series.cells == 0) continue;
    const auto n = static_cast<double>(series.cells);
    series.rmse = std::sqrt(squares[s] / n);
    series.bias = differences[s] / n;
    // A census series that never varies leaves the efficiency undefined.
    series.nse = variation[s] > 0.0 ? 1.0 - squares[s] / variation[s] : std::numeric_limits<double>::quiet_NaN();
    fit.cells += series.cells;
    allSquares += squares[s];
  }
  fit.rmse = fit.cells > 0 ? std::sqrt(allSquares / static_cast<double>(fit.cells)) : 0.0;
  return fit;
}

}  // namespace varnolt
