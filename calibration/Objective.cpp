// The objective a calibration makes smallest, and how well the best settings
// follow the census.

#include <cmath>
#include <limits>

#include "calibration/FitProblem.h"


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

double ObjectiveValue(const Census& census, std::span<const CycleResult> cycles, ObjectiveKind kind, double floor) {
  const auto value = [cycles](std::int64_t cycle, int s) {
    return SeriesValue(cycles[static_cast<std::size_t>(cycle - 1)], s);
  };
  return CensusObjective(census, MeanPalmsOf(census), value, 0, kind, floor);
}

FitStatistics FitOf(const Census& census, std::span<const CycleResult> cycles) {
  return FitOfCensuses(std::span(&census, 1), std::span(&cycles, 1));
}

FitStatistics FitOfCensuses(std::span<const Census> censuses, std::span<const std::span<const CycleResult>> cycles) {
  FitStatistics fit;
  std::array<double, CensusSeriesCount> observedSum{}, squares{}, differences{};
  for (std::size_t p = 0; p < censuses.size(); ++p) {
    for (const CensusRow& row : censuses[p].rows) {
      for (int s = 0; s < CensusSeriesCount; ++s) {
        if (!row.percent[s]) continue;
        const double difference =
            SeriesValue(cycles[p][static_cast<std::size_t>(row.cycle - 1)], s) - *row.percent[s];
        ++fit.series[s].cells;
        observedSum[s] += *row.percent[s];
        squares[s] += difference * difference;
        differences[s] += difference;
      }
    }
  }
  std::array<double, CensusSeriesCount> variation{};
  for (const Census& census : censuses) {
    for (const CensusRow& row : census.rows) {
      for (int s = 0; s < CensusSeriesCount; ++s) {
        if (!row.percent[s]) continue;
        const double deviation = *row.percent[s] - observedSum[s] / static_cast<double>(fit.series[s].cells);
        variation[s] += deviation * deviation;
      }
    }
  }
  double allSquares = 0.0, allVariation = 0.0, allDifferences = 0.0;
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
    allVariation += variation[s];
    allDifferences += differences[s];
  }
  const auto cells = static_cast<double>(fit.cells);
  fit.rmse = fit.cells > 0 ? std::sqrt(allSquares / cells) : 0.0;
  fit.bias = fit.cells > 0 ? allDifferences / cells : 0.0;
  fit.nse = allVariation > 0.0 ? 1.0 - allSquares / allVariation : std::numeric_limits<double>::quiet_NaN();
  return fit;
}

std::array<std::vector<ResidualPoint>, CensusSeriesCount> BestResiduals(const CalibrationRequest& request,
                                                                        const CalibrationResult& result) {
  std::array<std::vector<ResidualPoint>, CensusSeriesCount> residuals;
  for (const CensusRow& row : request.census.rows) {
    const std::int64_t cycle = row.cycle + result.shift;
    if (cycle < 1 || static_cast<std::size_t>(cycle) > result.bestCycles.size()) continue;
    const bool held = request.validate && row.cycle >= request.validate->low && row.cycle <= request.validate->high;
    for (int s = 0; s < CensusSeriesCount; ++s) {
      if (!row.percent[s]) continue;
      const double simulated = SeriesValue(result.bestCycles[static_cast<std::size_t>(cycle - 1)], s);
      residuals[s].push_back({static_cast<double>(cycle), simulated - *row.percent[s], held});
    }
  }
  return residuals;
}

}  // namespace varnolt
