// Tables read back for pictures and analysis.
#include "experiments/TableReading.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/CsvText.h"
#include "settings/RunSettings.h"

namespace varnolt {

TableText ReadTableText(const std::string& text) {
  TableText table;
  const CsvRead read = ReadCsv(text);
  for (const CsvRecord& record : read.records) {
    if (record.text.empty() || record.text[0] == '#') continue;
    if (table.header.empty()) table.header = record.cells;
    else table.rows.push_back(record.cells);
  }
  return table;
}

std::optional<double> NumberInCell(const std::string& cell) {
  double value = 0;
  const auto read = std::from_chars(cell.data(), cell.data() + cell.size(), value);
  if (cell.empty() || read.ec != std::errc() || read.ptr != cell.data() + cell.size()) return std::nullopt;
  return value;
}

std::size_t ColumnOf(const std::vector<std::string>& header, const std::string& name) {
  return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
}

std::string JoinedNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

TableKind KindOfTable(const std::string& text) {
  const TableText table = ReadTableText(text.substr(0, std::min<std::size_t>(text.size(), 4096)));
  const std::vector<std::string>& header = table.header;
  if (header.empty()) return TableKind::Other;
  if (header[0] == "point" && ColumnOf(header, "replicate") < header.size() &&
      ColumnOf(header, "status") < header.size()) {
    return TableKind::Points;
  }
  if (header == std::vector<std::string>{"point", "replicate", "cycle", "female", "herm", "male", "aborted"}) {
    return TableKind::Cycles;
  }
  if (header == std::vector<std::string>{"output", "factor", "mu", "muStar", "muStarLow", "muStarHigh", "sigma",
                                         "effects"}) {
    return TableKind::Morris;
  }
  if (header == std::vector<std::string>{"output", "factor", "first", "firstLow", "firstHigh", "total", "totalLow",
                                         "totalHigh", "samples"}) {
    return TableKind::Sobol;
  }
  return TableKind::Other;
}

namespace {

// The columns of a table of points: the varied settings before "replicate",
// the statistics between "status" and "message", and those chosen to draw.
struct PointColumns {
  std::size_t status = 0, seed = 0, message = 0;
  std::vector<std::size_t> varied, chosen;
  std::vector<std::string> statistics;
};

std::optional<std::string> ChooseColumns(const std::vector<std::string>& header,
                                         const std::optional<std::string>& statistic, PointColumns& columns) {
  const std::size_t replicateColumn = ColumnOf(header, "replicate");
  columns.status = ColumnOf(header, "status");
  columns.seed = ColumnOf(header, "seed");
  columns.message = std::min(ColumnOf(header, "message"), header.size());
  for (std::size_t c = 1; c < replicateColumn; ++c) {
    if (FindField(header[c]) != nullptr) columns.varied.push_back(c);
  }
  for (std::size_t c = columns.status + 1; c < columns.message; ++c) columns.statistics.push_back(header[c]);
  if (columns.varied.empty() || columns.varied.size() > 2) {
    std::vector<std::string> names;
    for (std::size_t c : columns.varied) names.push_back(header[c]);
    return "plot draws a table of one or two varied settings, and this one has " +
           (columns.varied.empty() ? std::string("none")
                                   : std::to_string(columns.varied.size()) + " (" + JoinedNames(names) + ")");
  }
  if (statistic) {
    const std::size_t c = ColumnOf(header, *statistic);
    if (c <= columns.status || c >= columns.message) {
      return "the table has no statistic " + *statistic + "; give --stat with one of " +
             JoinedNames(columns.statistics);
    }
    columns.chosen.push_back(c);
  } else if (columns.varied.size() == 1) {
    for (const char* name : {"meanFemale", "meanHerm", "meanMale", "meanAborted"}) {
      if (ColumnOf(header, name) < columns.message) columns.chosen.push_back(ColumnOf(header, name));
    }
  }
  if (columns.chosen.empty() && !columns.statistics.empty()) columns.chosen.push_back(columns.status + 1);
  if (columns.chosen.empty()) return "the table holds no statistics";
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ReadPointValues(const std::string& text, const std::optional<std::string>& statistic,
                                           PointValues& values) {
  const TableText table = ReadTableText(text);
  const std::vector<std::string>& header = table.header;
  PointColumns columns;
  if (std::optional<std::string> problem = ChooseColumns(header, statistic, columns)) return problem;
  for (std::size_t c : columns.varied) values.varied.push_back(header[c]);
  for (std::size_t c : columns.chosen) values.statistics.push_back(header[c]);
  // The values of every row that ran, and the settings of the refused ones.
  for (const std::vector<std::string>& row : table.rows) {
    if (row.size() != header.size()) continue;
    const std::optional<double> x = NumberInCell(row[columns.varied[0]]);
    const std::optional<double> y =
        columns.varied.size() == 2 ? NumberInCell(row[columns.varied[1]]) : std::optional<double>(0.0);
    if (!x || !y) continue;
    ++values.rowsRead;
    if (values.seed.empty() && columns.seed < row.size()) values.seed = row[columns.seed];
    const PointValues::Key key{*x, *y};
    if (row[columns.status] == "invalid") {
      values.refused[key] = true;
      continue;
    }
    if (row[columns.status] != "ok") continue;
    std::vector<std::vector<double>>& cell = values.values[key];
    cell.resize(columns.chosen.size());
    for (std::size_t s = 0; s < columns.chosen.size(); ++s) {
      if (std::optional<double> value = NumberInCell(row[columns.chosen[s]])) cell[s].push_back(*value);
    }
  }
  if (values.rowsRead == 0) return "the table has no rows";
  return std::nullopt;
}

IndexRows ReadIndexRows(const std::string& text) {
  const TableText table = ReadTableText(text);
  IndexRows result;
  result.header = table.header;
  for (const std::vector<std::string>& row : table.rows) {
    if (row.size() != table.header.size() || row.empty()) continue;
    auto known = std::find(result.outputs.begin(), result.outputs.end(), row[0]);
    if (known == result.outputs.end()) {
      result.outputs.push_back(row[0]);
      result.rows.emplace_back();
      known = result.outputs.end() - 1;
    }
    result.rows[static_cast<std::size_t>(known - result.outputs.begin())].push_back(row);
  }
  return result;
}

double IndexRows::Cell(const std::vector<std::string>& row, const char* column) const {
  const std::size_t c = ColumnOf(header, column);
  if (c >= row.size()) return NAN;
  return NumberInCell(row[c]).value_or(NAN);
}

namespace {

std::optional<std::int64_t> WholeIn(const std::string& cell) {
  std::int64_t value = 0;
  const auto read = std::from_chars(cell.data(), cell.data() + cell.size(), value);
  if (cell.empty() || read.ec != std::errc() || read.ptr != cell.data() + cell.size()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::string> ReadCycleRuns(const std::string& text, std::vector<CycleRun>& runs) {
  const CsvRead read = ReadCsv(text);
  if (read.openQuoteLine) return "line " + std::to_string(*read.openQuoteLine) + " leaves a quote open";
  bool header = false;
  for (const CsvRecord& record : read.records) {
    if (record.text.empty() || record.text[0] == '#') continue;
    if (!header) {
      header = true;
      continue;
    }
    const std::vector<std::string>& cells = record.cells;
    const std::string where = "line " + std::to_string(record.line);
    if (cells.size() != 7) return where + " has " + std::to_string(cells.size()) + " cells, not 7";
    const std::optional<std::int64_t> point = WholeIn(cells[0]), replicate = WholeIn(cells[1]),
                                      cycle = WholeIn(cells[2]);
    if (!point || !replicate || !cycle || *point < 1 || *replicate < 1) {
      return where + " does not start with a point, a replicate and a cycle number";
    }
    CycleResult row;
    double* values[] = {&row.female, &row.herm, &row.male, &row.aborted};
    for (std::size_t v = 0; v < 4; ++v) {
      const std::optional<double> value = NumberInCell(cells[3 + v]);
      if (!value) {
        return where + " has no number for " + (v == 0 ? "female" : v == 1 ? "herm" : v == 2 ? "male" : "aborted");
      }
      *values[v] = *value;
    }
    if (runs.empty() || runs.back().point != *point || runs.back().replicate != *replicate) {
      runs.push_back({*point, *replicate, {}});
    }
    if (*cycle != static_cast<std::int64_t>(runs.back().cycles.size()) + 1) {
      return where + " is cycle " + cells[2] + " of point " + cells[0] + " replicate " + cells[1] + ", expected cycle " +
             std::to_string(runs.back().cycles.size() + 1);
    }
    runs.back().cycles.push_back(row);
  }
  if (runs.empty()) return "the table has no rows";
  return std::nullopt;
}

std::string PointsHeldText(const std::vector<CycleRun>& runs) {
  std::int64_t first = runs.front().point, last = first;
  for (const CycleRun& run : runs) first = std::min(first, run.point), last = std::max(last, run.point);
  return first == last ? "point " + std::to_string(first)
                       : "points " + std::to_string(first) + " to " + std::to_string(last);
}

std::optional<std::string> ChoosePoint(std::vector<CycleRun>& runs, std::int64_t point, const std::string& source) {
  std::vector<CycleRun> chosen;
  for (CycleRun& run : runs) {
    if (run.point == point) chosen.push_back(std::move(run));
  }
  if (chosen.empty()) {
    return "--point " + std::to_string(point) + ": " + source + " holds " + PointsHeldText(runs) +
           "; give --point with one of them";
  }
  runs = std::move(chosen);
  return std::nullopt;
}

}  // namespace varnolt
