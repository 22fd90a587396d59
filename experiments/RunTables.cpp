// Sweep designs, the ranges offered for a setting, and the rows of a table of runs.
#include <algorithm>
#include <cmath>
#include <limits>

#include "experiments/Experiments.h"
#include "platform/CsvText.h"
#include "run/RunDriver.h"

namespace varnolt {

SweepDesign MakeSweepDesign(const RunSettings& base, std::span<const SweepFactor> factors) {
  SweepDesign design;
  std::vector<std::int32_t RunSettings::*> members;
  for (const SweepFactor& factor : factors) members.push_back(FindField(factor.name)->integer);
  for (const std::vector<std::int32_t>& level : FactorialLevels(factors)) {
    RunSettings settings = base;
    std::string cells;
    for (std::size_t f = 0; f < factors.size(); ++f) {
      settings.*(members[f]) = level[f];
      cells += (f == 0 ? "" : ",") + std::to_string(level[f]);
    }
    design.settings.push_back(std::move(settings));
    design.leadCells.push_back(std::move(cells));
  }
  return design;
}

SettingRange AdmittedRange(const std::string& name, const RunSettings& current) {
  const FieldInfo* field = FindField(name);
  if (field == nullptr || field->integer == nullptr) return {};
  if (field->kind == FieldKind::Switch) return {0, 1};
  const std::int32_t cycles = std::max(current.cycleCount, 2);
  // No bound above: from the bound below to twice the current value.
  const auto upTo = [&](std::int32_t low) {
    const std::int64_t twice = 2 * static_cast<std::int64_t>(current.*(field->integer));
    return SettingRange{low, static_cast<std::int32_t>(std::clamp<std::int64_t>(twice, low + 10, 1 << 30))};
  };
  if (name == "cycleCount" || name == "palmCount") return upTo(1);
  if (name == "randomPercent") return upTo(0);
  if (name == "femaleThreshold") return {0, 38};
  if (name == "maleThreshold") return {std::clamp(current.femaleThreshold + 1, 1, 39), 39};
  if (name == "abortThreshold") return {1, 40};
  if (name == "pruneStress" || name == "trendAmplitude") return {1, 10};
  if (name == "leafPruneCycle") return {1, cycles};
  if (name == "irrigationStart" || name == "flowerPruneStart") return {1, cycles - 1};
  if (name == "irrigationEnd") return {std::clamp(current.irrigationStart + 1, 2, cycles), cycles};
  if (name == "flowerPruneEnd") return {std::clamp(current.flowerPruneStart + 1, 2, cycles), cycles};
  if (name == "initialNodeSex") return {0, 3};
  // The fronds: those whose node positions the model holds.
  return {LowestFrond, HighestFrond};
}

namespace {

std::string OutcomeColumns(std::span<const Statistic> statistics) {
  return "replicate,seed,status," + StatisticsHeader(statistics) + ",message";
}

// A run's cells after its seed; a statistic the run lacks (no regular cycle has
// no period) is an empty cell, never 0.
std::string OutcomeCells(const PointOutcome& outcome, std::span<const Statistic> statistics) {
  const std::string empties(statistics.size() + 1, ',');
  switch (outcome.status) {
    case PointStatus::Ran: return "ok," + StatisticsCells(outcome.analysis, statistics) + ",";
    case PointStatus::Invalid: return "invalid" + empties + CsvCell(outcome.message);
    case PointStatus::Failed: return "failed" + empties + CsvCell(outcome.message);
    case PointStatus::NotRun: break;
  }
  return "";
}

}  // namespace

std::string RunTableHeader(std::span<const std::string> leadColumns, std::span<const Statistic> statistics) {
  std::string header = "point";
  for (const std::string& column : leadColumns) header += "," + CsvCell(column);
  return header + "," + OutcomeColumns(statistics) + "\n";
}

std::string RunTableRow(std::size_t point, bool hasLeadColumns, const std::string& leadCells, std::size_t replicate,
                        std::uint32_t seed, const PointOutcome& outcome, std::span<const Statistic> statistics) {
  std::string row = std::to_string(point);
  if (hasLeadColumns) row += "," + leadCells;
  return row + "," + std::to_string(replicate) + "," + std::to_string(seed) + "," +
         OutcomeCells(outcome, statistics) + "\n";
}

std::int32_t SensitivityStep(const SensitivityFactor& factor, double unit, bool morris) {
  const double range = static_cast<double>(factor.high) - factor.low;
  return static_cast<std::int32_t>(morris ? std::round(unit * range) : std::min(std::floor(unit * (range + 1.0)), range));
}

std::vector<RunSettings> SensitivitySettings(const RunSettings& base, std::span<const SensitivityFactor> factors,
                                             std::span<const std::vector<double>> unit, bool morris,
                                             std::vector<std::vector<double>>& used) {
  const std::size_t k = factors.size();
  std::vector<RunSettings> settings(unit.size(), base);
  used.assign(unit.size(), std::vector<double>(k));
  for (std::size_t p = 0; p < unit.size(); ++p) {
    for (std::size_t f = 0; f < k; ++f) {
      const SensitivityFactor& factor = factors[f];
      const std::int32_t step = SensitivityStep(factor, unit[p][f], morris);
      settings[p].*(FindField(factor.name)->integer) = factor.low + step;
      used[p][f] = step / (static_cast<double>(factor.high) - factor.low);
    }
  }
  return settings;
}

}  // namespace varnolt
