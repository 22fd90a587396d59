// The designs of point tables: sweeps, batch designs and sensitivity analyses
// expanded into points, with the description their fingerprint is taken of.
#include <algorithm>
#include <memory>

#include "experiments/PointTables.h"
#include "platform/Version.h"
#include "platform/WholeNumbers.h"
#include "settings/SettingAssignments.h"

namespace varnolt {

std::string PointTable::Fingerprint() const {
  return DesignFingerprint(description + "replicates=" + std::to_string(replicates) + ";version=" + VersionText() +
                           ";");
}

std::string SettingsText(const RunSettings& settings) {
  std::string text;
  for (const FieldInfo& field : RunSettingsFields()) {
    text += std::string(field.name) + "=";
    text += field.integer != nullptr ? std::to_string(settings.*(field.integer)) : CsvCell(settings.*(field.text));
    text += ";";
  }
  return text;
}

void ChooseStatistics(PointTable& table, const TableColumns& columns, std::vector<Statistic> defaults) {
  table.statistics = columns.chosen.empty() ? std::move(defaults) : columns.chosen;
  if (!columns.chosen.empty()) table.description += "stat=" + StatisticsHeader(table.statistics) + ";";
  if (columns.window) table.description += "window=" + CyclesWindowText(*columns.window) + ";";
}

PointTable MakeSweepTable(const RunSettings& base, const std::vector<SweepFactor>& factors, std::uint32_t seed,
                          std::size_t replicates, const TableColumns& columns) {
  PointTable table;
  table.command = "sweep";
  table.base = base;
  table.replicates = replicates;
  table.description = "sweep;" + SettingsText(base) + "seed=" + std::to_string(seed) + ";";
  ChooseStatistics(table, columns, DefaultRunStatistics());
  double total = 1.0;
  for (const SweepFactor& factor : factors) {
    table.leadColumns.push_back(factor.name);
    table.description += factor.name + "=";
    for (std::int32_t v : factor.values) table.description += std::to_string(v) + ",";
    table.description += ";";
    total *= static_cast<double>(factor.values.size());
  }
  std::vector<const FieldInfo*> fields;
  for (const SweepFactor& factor : factors) fields.push_back(FindField(factor.name));
  table.points = static_cast<std::size_t>(total);
  table.seed = seed;
  table.point = [base, factors, fields](std::size_t design) {
    DesignPoint point{base, {}};
    const std::vector<std::int32_t> level = FactorialLevel(factors, design);
    for (std::size_t f = 0; f < factors.size(); ++f) {
      point.settings.*(fields[f]->integer) = level[f];
      point.leadCells += (f == 0 ? "" : ",") + std::to_string(level[f]);
    }
    return point;
  };
  return table;
}

// ---------------------------------------------------------------- batch designs

std::optional<DesignProblem> ReadBatchDesign(const std::string& text, BatchDesign& design) {
  // A quoted cell (notes, say) may hold line breaks; the reader skips the byte
  // order mark spreadsheets put before UTF-8.
  CsvRead read = ReadCsv(text);
  if (read.openQuoteLine) return DesignProblem{*read.openQuoteLine, 0, "a quote is left open"};
  design.records = std::move(read.records);
  std::vector<CsvRecord>& records = design.records;
  while (!records.empty() && records.back().text.empty()) records.pop_back();
  if (records.empty()) return DesignProblem{1, 0, "the design is empty; its first line names the settings it sets"};
  const std::vector<std::string>& header = records[0].cells;
  for (std::size_t c = 0; c < header.size(); ++c) {
    const std::string& name = header[c];
    if (name == "seed") {
      design.seedColumn = c;
    } else if (FindField(name) == nullptr) {
      return DesignProblem{1, c + 1,
                           "unknown column \"" + name + "\"; columns are setting names (" + SettingNames() +
                               ") or seed"};
    }
    for (std::size_t d = 0; d < c; ++d) {
      if (header[d] == name) return DesignProblem{1, c + 1, "the column \"" + name + "\" is given twice"};
    }
  }
  return std::nullopt;
}

namespace {

// A row's point: the settings its cells set over `start`, and its cells for the table.
std::optional<std::string> PointOfRow(const RunSettings& start, const std::vector<std::string>& names,
                                      const std::vector<std::string>& cells, std::optional<std::size_t> seedColumn,
                                      DesignPoint& point, std::size_t& problemColumn) {
  point.settings = start;
  point.leadCells.clear();
  bool firstCell = true;
  for (std::size_t c = 0; c < cells.size(); ++c) {
    if (c == seedColumn) continue;
    if (std::optional<std::string> problem = ApplyAssignment(point.settings, names[c] + "=" + cells[c])) {
      problemColumn = c + 1;
      return problem;
    }
    point.leadCells += (firstCell ? "" : ",") + CsvCell(cells[c]);
    firstCell = false;
  }
  return std::nullopt;
}

// Each row runs its own seeds S to S + N - 1. Two rows may share them on
// purpose (common random numbers), but a row must not run part of another's.
std::optional<DesignProblem> SeedOverlap(const PointTable& table, const std::vector<std::size_t>& rowLines,
                                         std::size_t seedColumn, std::uint64_t replicates) {
  std::vector<std::pair<std::uint64_t, std::size_t>> starts;  // seed, row
  for (std::size_t row = 0; row < table.pointSeeds.size(); ++row) {
    if (auto problem = SeedRangeProblem(table.pointSeeds[row], replicates)) {
      return DesignProblem{rowLines[row], seedColumn + 1, *problem};
    }
    starts.emplace_back(table.pointSeeds[row], row);
  }
  std::sort(starts.begin(), starts.end());
  for (std::size_t i = 1; i < starts.size(); ++i) {
    const auto [start, other] = starts[i - 1];
    const auto [first, row] = starts[i];
    if (first == start || first - start >= replicates) continue;
    const std::size_t later = std::max(row, other), earlier = std::min(row, other);
    const std::uint64_t laterSeed = table.pointSeeds[later], earlierSeed = table.pointSeeds[earlier];
    return DesignProblem{
        rowLines[later], seedColumn + 1,
        "seeds " + std::to_string(laterSeed) + " to " + std::to_string(laterSeed + replicates - 1) + " of line " +
            std::to_string(rowLines[later]) + " overlap seeds " + std::to_string(earlierSeed) + " to " +
            std::to_string(earlierSeed + replicates - 1) + " of line " + std::to_string(rowLines[earlier]) +
            "; with --replicates " + std::to_string(replicates) + " give rows seeds at least " +
            std::to_string(replicates) + " apart, or the same seed to run the same seeds"};
  }
  return std::nullopt;
}

}  // namespace

std::optional<DesignProblem> MakeBatchTable(const RunSettings& base, BatchDesign design, std::uint32_t seed,
                                            std::size_t replicates, const TableColumns& columns, PointTable& table) {
  std::vector<CsvRecord>& records = design.records;
  const std::optional<std::size_t> seedColumn = design.seedColumn;
  const std::vector<std::string>& header = records[0].cells;
  table = PointTable{};
  table.command = "batch";
  table.base = base;
  table.replicates = replicates;
  table.description = "batch;" + SettingsText(base) + "seed=" + std::to_string(seed) + ";" + records[0].text + ";";
  ChooseStatistics(table, columns, DefaultRunStatistics());
  for (std::size_t c = 0; c < header.size(); ++c) {
    if (c != seedColumn) table.leadColumns.push_back(header[c]);
  }
  std::vector<std::size_t> rowLines;  // each row's line in the design
  DesignPoint checked;
  for (std::size_t l = 1; l < records.size(); ++l) {
    const std::vector<std::string>& cells = records[l].cells;
    const std::size_t line = records[l].line;
    if (cells.size() != header.size()) {
      return DesignProblem{line, 0,
                           "the row has " + std::to_string(cells.size()) + " cells, the header " +
                               std::to_string(header.size())};
    }
    if (seedColumn) {
      const std::string& value = cells[*seedColumn];
      const std::optional<std::uint32_t> read = ReadWholeNumber<std::uint32_t>(value);
      if (!read) {
        return DesignProblem{line, *seedColumn + 1,
                             "seed \"" + value + "\" is not a whole number from 0 to 4294967295"};
      }
      table.pointSeeds.push_back(*read);  // the column wins over --seed
    }
    std::size_t column = 0;
    if (std::optional<std::string> problem = PointOfRow(base, header, cells, seedColumn, checked, column)) {
      return DesignProblem{line, column, *problem};
    }
    table.description += records[l].text + ";";
    rowLines.push_back(line);
  }
  if (rowLines.empty()) return DesignProblem{2, 0, "the design has no rows to run"};
  table.points = rowLines.size();
  table.seed = seed;
  if (seedColumn) {
    if (auto problem = SeedOverlap(table, rowLines, *seedColumn, replicates)) return problem;
  }
  auto rows = std::make_shared<std::vector<CsvRecord>>(std::move(records));
  table.point = [rows, seedColumn, base](std::size_t d) {
    DesignPoint point;
    std::size_t column = 0;
    PointOfRow(base, (*rows)[0].cells, (*rows)[d + 1].cells, seedColumn, point, column);
    return point;
  };
  return std::nullopt;
}

// ---------------------------------------------------------------- sensitivity designs

std::size_t SensitivityDesignRows(const SensitivityPlan& plan) {
  const std::size_t k = plan.factors.size();
  return plan.morris ? static_cast<std::size_t>(plan.trajectories) * (k + 1)
                     : static_cast<std::size_t>(plan.samples) * (k + 2);
}

PointTable MakeSensitivityTable(const RunSettings& base, const SensitivityPlan& plan, std::uint32_t seed,
                                std::size_t replicates, const TableColumns& columns, SensitivityDesign& design) {
  const bool morris = plan.morris;
  const std::vector<SensitivityFactor>& factors = plan.factors;
  const int k = static_cast<int>(factors.size());
  // The unit cube to whole values. Each point keeps its steps from LOW, factor
  // after factor; the cube's points go once they are turned.
  MorrisDesign morrisDesign;
  std::vector<std::vector<double>>& unit = morris ? morrisDesign.points : design.saltelli.points;
  if (morris) {
    morrisDesign = MakeMorrisDesign(k, plan.trajectories, plan.levels, plan.designSeed);
  } else {
    design.saltelli = MakeSaltelliDesign(k, plan.samples);
  }
  auto steps = std::make_shared<std::vector<std::int32_t>>(unit.size() * static_cast<std::size_t>(k));
  for (std::size_t p = 0; p < unit.size(); ++p) {
    for (int f = 0; f < k; ++f) (*steps)[p * k + f] = SensitivityStep(factors[f], unit[p][f], morris);
  }
  const std::size_t designPoints = unit.size();
  std::vector<std::vector<double>>().swap(unit);
  // Morris's effects are over the points as run, after rounding.
  design.used.clear();
  if (morris) {
    design.used.assign(designPoints, std::vector<double>(static_cast<std::size_t>(k)));
    for (std::size_t p = 0; p < designPoints; ++p) {
      for (int f = 0; f < k; ++f) {
        design.used[p][f] = (*steps)[p * k + f] / (static_cast<double>(factors[f].high) - factors[f].low);
      }
    }
  }

  PointTable table;
  table.command = "sensitivity";
  table.base = base;
  table.replicates = replicates;
  table.description = "sensitivity;" + SettingsText(base) + "seed=" + std::to_string(seed) + ";" +
                      (morris ? "morris" : "sobol") + ";" +
                      (morris ? std::to_string(plan.trajectories) + "x" + std::to_string(plan.levels)
                              : std::to_string(plan.samples)) +
                      ";";
  if (plan.designSeed != seed) table.description += "designSeed=" + std::to_string(plan.designSeed) + ";";
  ChooseStatistics(table, columns, DefaultSensitivityStatistics());
  for (const SensitivityFactor& factor : factors) {
    table.leadColumns.push_back(factor.name);
    table.description += factor.name + "=" + std::to_string(factor.low) + ":" + std::to_string(factor.high) + ";";
  }
  std::vector<const FieldInfo*> fields;
  for (const SensitivityFactor& factor : factors) fields.push_back(FindField(factor.name));
  table.points = designPoints;
  table.seed = seed;
  table.point = [steps, factors, fields, k, base](std::size_t d) {
    DesignPoint point{base, {}};
    for (int f = 0; f < k; ++f) {
      const std::int32_t value = factors[f].low + (*steps)[d * k + f];
      point.settings.*(fields[f]->integer) = value;
      point.leadCells += (f == 0 ? "" : ",") + std::to_string(value);
    }
    return point;
  };
  return table;
}

}  // namespace varnolt
