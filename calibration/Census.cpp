// Reading a plantation's census. It may come from a spreadsheet or from the
// runner's own CSV; anything that is not plainly a census is refused with the
// place and what was expected, rather than guessed at.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

#include "calibration/Calibration.h"
#include "platform/CsvText.h"
#include "platform/WholeNumbers.h"

namespace varnolt {

namespace {

enum class Column { Cycle, Female, Herm, Male, Aborted, Palms, Total };

struct ColumnName {
  const char* name;
  Column column;
};
constexpr ColumnName ColumnNames[] = {
    {"cycle", Column::Cycle}, {"female", Column::Female}, {"herm", Column::Herm},   {"male", Column::Male},
    {"aborted", Column::Aborted}, {"palms", Column::Palms}, {"total", Column::Total},
};
constexpr const char* AcceptedColumns =
    "cycle, and any of female, herm, male, aborted (percentages of palms) and palms (palms observed); a total "
    "column, as the runner's CSV has, is ignored";

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return lowered;
}

std::optional<double> Percentage(std::string_view text) {
  double value = 0.0;
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  const auto result = std::from_chars(first, last, value);
  if (first == last || result.ec != std::errc() || result.ptr != last || !std::isfinite(value)) return std::nullopt;
  if (value < 0.0 || value > 100.0) return std::nullopt;
  return value;
}

class CensusReader {
 public:
  explicit CensusReader(const std::string& fileName) : fileName_(fileName) {}

  CensusRead Read(std::string_view text) {
    CensusRead read;
    const CsvRead csv = ReadCsv(text);
    if (csv.openQuoteLine) {
      return Refuse(*csv.openQuoteLine, 0, "a quoted cell is never closed; end it with a second \"");
    }
    // Lines that hold nothing are no rows (a spreadsheet may end with some).
    std::vector<const CsvRecord*> records;
    for (const CsvRecord& record : csv.records) {
      const bool blank = std::all_of(record.cells.begin(), record.cells.end(),
                                     [](const std::string& cell) { return Trimmed(cell).empty(); });
      if (!blank) records.push_back(&record);
    }
    if (records.empty()) {
      return Refuse(1, 0, std::string("the census is empty; its first line names the columns: ") + AcceptedColumns);
    }
    if (auto problem = ReadHeader(*records.front())) return *problem;
    std::map<std::int64_t, std::size_t> lineOfCycle;
    for (std::size_t r = 1; r < records.size(); ++r) {
      CensusRow row;
      if (auto problem = ReadRow(*records[r], row)) return *problem;
      const auto [at, fresh] = lineOfCycle.emplace(row.cycle, row.line);
      if (!fresh) {
        return Refuse(row.line, cycleColumn_ + 1,
                      "cycle " + std::to_string(row.cycle) + " is given twice (also on line " +
                          std::to_string(at->second) + "); give each cycle one row");
      }
      read.census.rows.push_back(std::move(row));
    }
    std::sort(read.census.rows.begin(), read.census.rows.end(),
              [](const CensusRow& a, const CensusRow& b) { return a.cycle < b.cycle; });
    read.census.hasPalms = palmsColumn_.has_value();
    read.census.decimals = decimals_;
    return read;
  }

 private:
  CensusRead Refuse(std::size_t line, std::size_t column, const std::string& problem) const {
    CensusRead read;
    read.error = fileName_ + " line " + std::to_string(line);
    if (column > 0) {
      read.error += ", column " + std::to_string(column);
      if (column <= header_.size() && !header_[column - 1].empty()) read.error += " (" + header_[column - 1] + ")";
    }
    read.error += ": " + problem;
    return read;
  }

  std::optional<CensusRead> ReadHeader(const CsvRecord& record) {
    header_.clear();
    for (const std::string& cell : record.cells) header_.push_back(std::string(Trimmed(cell)));
    columns_.clear();
    bool anySeries = false;
    for (std::size_t c = 0; c < header_.size(); ++c) {
      const std::string name = Lowered(header_[c]);
      const ColumnName* known = nullptr;
      for (const ColumnName& candidate : ColumnNames) {
        if (name == candidate.name) known = &candidate;
      }
      if (known == nullptr) {
        return Refuse(record.line, c + 1,
                      (header_[c].empty() ? std::string("a column has no name") : "unknown column \"" + header_[c] + "\"") +
                          "; a census has the columns " + AcceptedColumns);
      }
      for (std::size_t d = 0; d < c; ++d) {
        if (columns_[d] == known->column) {
          return Refuse(record.line, c + 1, "the column " + std::string(known->name) + " is given twice");
        }
      }
      columns_.push_back(known->column);
      if (known->column == Column::Cycle) cycleColumn_ = c;
      if (known->column == Column::Palms) palmsColumn_ = c;
      anySeries = anySeries || (known->column >= Column::Female && known->column <= Column::Aborted);
    }
    if (std::find(columns_.begin(), columns_.end(), Column::Cycle) == columns_.end()) {
      return Refuse(record.line, 0, "no cycle column; a census has the columns " + std::string(AcceptedColumns));
    }
    if (!anySeries) {
      return Refuse(record.line, 0,
                    "no column of percentages; a census has the columns " + std::string(AcceptedColumns));
    }
    return std::nullopt;
  }

  std::optional<CensusRead> ReadRow(const CsvRecord& record, CensusRow& row) {
    row.line = record.line;
    if (record.cells.size() != columns_.size()) {
      // The place: the first column without a cell, or the first cell beyond the header.
      return Refuse(record.line, std::min(record.cells.size(), columns_.size()) + 1,
                    "the row has " + std::to_string(record.cells.size()) + " cells and the header " +
                        std::to_string(columns_.size()) + "; give every row a cell for each column (blank when not observed)");
    }
    double sum = 0.0;
    double rounding = 0.0;  // how far rounding may have carried the row's sum
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      const std::string_view cell = Trimmed(record.cells[c]);
      switch (columns_[c]) {
        case Column::Cycle: {
          const std::optional<std::int64_t> cycle = ReadWholeNumber<std::int64_t>(cell);
          if (!cycle || *cycle < 1 || *cycle > std::numeric_limits<std::int32_t>::max()) {
            return Refuse(record.line, c + 1,
                          (cell.empty() ? std::string("the cycle is blank") : "\"" + std::string(cell) + "\" is no cycle") +
                              "; every row names the model cycle it observes, a whole number from 1");
          }
          row.cycle = *cycle;
          break;
        }
        case Column::Palms: {
          if (cell.empty()) break;
          const std::optional<std::int64_t> palms = ReadWholeNumber<std::int64_t>(cell);
          if (!palms || *palms < 1) {
            return Refuse(record.line, c + 1,
                          "\"" + std::string(cell) +
                              "\" is no number of palms; give the palms observed, a whole number from 1, or leave "
                              "the cell blank");
          }
          row.palms = static_cast<double>(*palms);
          break;
        }
        case Column::Total: break;
        default: {
          if (cell.empty()) break;
          const std::optional<double> percent = Percentage(cell);
          if (!percent) {
            return Refuse(record.line, c + 1,
                          "\"" + std::string(cell) +
                              "\" is no percentage; give a number from 0 to 100 with a decimal point (such as "
                              "31.5), or leave the cell blank when it was not observed");
          }
          row.percent[static_cast<int>(columns_[c]) - static_cast<int>(Column::Female)] = *percent;
          sum += *percent;
          const int decimals = DecimalsOf(cell);
          decimals_ = std::max(decimals_, decimals);
          rounding += 0.5 * std::pow(10.0, -decimals);
        }
      }
    }
    // A census's percentages are rounded, each by up to half its last decimal:
    // four whole percentages may add up to 102. More than that is no rounding.
    if (sum > 100.0 + std::max(0.5, rounding) + 1e-9) {
      char total[32];
      std::snprintf(total, sizeof total, "%.6g", sum);
      return Refuse(record.line, 0,
                    "the percentages of cycle " + std::to_string(row.cycle) + " add up to " + total +
                        ", more than 100; each palm's new inflorescence is counted in one state only");
    }
    return std::nullopt;
  }

  // The decimals a number is written with: "31" 0, "31.5" 1, "3e-1" 1.
  static int DecimalsOf(std::string_view cell) {
    const std::size_t exponent = cell.find_first_of("eE");
    const std::string_view mantissa = cell.substr(0, exponent);
    const std::size_t point = mantissa.find('.');
    int decimals = point == std::string_view::npos ? 0 : static_cast<int>(mantissa.size() - point - 1);
    if (exponent != std::string_view::npos) {
      decimals -= ReadWholeNumber<int>(cell.substr(exponent + 1), Sign::Allowed).value_or(0);
    }
    return std::clamp(decimals, 0, 15);
  }

  std::string fileName_;
  int decimals_ = 0;  // the most a percentage of the file is written with
  std::vector<std::string> header_;
  std::vector<Column> columns_;
  std::size_t cycleColumn_ = 0;
  std::optional<std::size_t> palmsColumn_;
};

}  // namespace

CensusRead ReadCensus(std::string_view text, const std::string& fileName) { return CensusReader(fileName).Read(text); }

}  // namespace varnolt
