#pragma once
// The tables experiments write, read back for pictures and analysis: told apart
// by their header (the stamp and closing lines of shard parts are skipped), and
// read into plain values. Drawing them is the faces' part. Plain C++.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/FloweringModel.h"

namespace varnolt {

// What a table holds, by its header: a table of points (sweep, batch, the runs
// of a sensitivity analysis), Morris or Sobol indices, a per-cycle table
// (sweep --cycles), or none of these (a report or a run's own CSV).
enum class TableKind { Other, Points, Morris, Sobol, Cycles };
TableKind KindOfTable(const std::string& text);

// A table's header and rows, without the stamp and closing lines of a part.
struct TableText {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};
TableText ReadTableText(const std::string& text);

// The column of `name` in the header; header.size() when it has none.
std::size_t ColumnOf(const std::vector<std::string>& header, const std::string& name);

// A number in a cell, or nothing for an empty or other cell.
std::optional<double> NumberInCell(const std::string& cell);

// "a, b, c".
std::string JoinedNames(const std::vector<std::string>& names);

// The values of a table of points against its one or two varied settings: per
// cell of the settings (x, and y or 0), the values of each chosen statistic of
// the rows that ran, and the cells whose rows were refused by a rule.
struct PointValues {
  std::vector<std::string> varied;      // one or two setting names
  std::vector<std::string> statistics;  // the chosen statistics
  using Key = std::pair<double, double>;
  std::map<Key, std::vector<std::vector<double>>> values;  // per cell, per chosen statistic
  std::map<Key, bool> refused;
  std::string seed;  // the first row's seed
  std::size_t rowsRead = 0;
};
// Reads the values of `statistic` (or, for one varied setting, the four mean
// percentages; else the first statistic); answers why the table cannot be
// drawn so.
std::optional<std::string> ReadPointValues(const std::string& text, const std::optional<std::string>& statistic,
                                           PointValues& values);

// The indices of a sensitivity table, output after output in the table's
// order; an empty cell is a missing index (NaN).
struct IndexRows {
  std::vector<std::string> header;
  std::vector<std::string> outputs;
  std::vector<std::vector<std::vector<std::string>>> rows;  // per output: its rows
  // The number in `column` of a row, NaN when there is none.
  double Cell(const std::vector<std::string>& row, const char* column) const;
};
IndexRows ReadIndexRows(const std::string& text);

// A per-cycle table: its runs in order, each a point, a replicate and its cycles.
struct CycleRun {
  std::int64_t point = 0, replicate = 0;
  std::vector<CycleResult> cycles;  // cycles[0] is cycle 1
};
// The runs, or why the table cannot be read: each row needs whole point,
// replicate and cycle numbers and four percentages, and each run's cycles go
// 1, 2, 3... in order, so that no cut or glued table passes for a run.
std::optional<std::string> ReadCycleRuns(const std::string& text, std::vector<CycleRun>& runs);
// "point 3" or "points 1 to 12": the points the runs hold.
std::string PointsHeldText(const std::vector<CycleRun>& runs);
// Keeps the runs of `point`; answers a problem naming the points the table
// holds when it has none (`source` names the table).
std::optional<std::string> ChoosePoint(std::vector<CycleRun>& runs, std::int64_t point, const std::string& source);

}  // namespace varnolt
