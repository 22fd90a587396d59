#include "results/ResultsTable.h"

#include "results/CycleAnalysis.h"

#include <charconv>
#include <cmath>

#include "platform/CsvText.h"
#include "platform/WholeNumbers.h"

namespace varnolt {

namespace {

void StripLineEnd(std::string& line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
}

// A report's cells stand between blanks; a CSV's are read as CSV.
std::vector<std::string> SplitCells(std::string_view line, char separator) {
  std::vector<std::string> cells;
  if (separator == ' ') {
    std::size_t at = 0;
    while (at < line.size()) {
      const std::size_t start = line.find_first_not_of(" \t", at);
      if (start == std::string_view::npos) break;
      const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
      cells.emplace_back(line.substr(start, end - start));
      at = end;
    }
    return cells;
  }
  if (std::optional<std::vector<std::string>> record = SplitCsvRecord(line)) return std::move(*record);
  return {std::string(line)};
}

bool ReadNumber(std::string_view text, double& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// One table row: the cycle number it must carry, then five percentages.
std::string ReadRow(std::string_view line, char separator, std::size_t lineNumber, std::vector<CycleResult>& out) {
  const std::vector<std::string> cells = SplitCells(line, separator);
  const std::string where = "line " + std::to_string(lineNumber);
  if (cells.size() != 6) return where + " has " + std::to_string(cells.size()) + " cells, not 6";
  const std::optional<long long> cycle = ReadWholeNumber<long long>(cells[0]);
  if (!cycle) return where + ": \"" + cells[0] + "\" is no cycle number";
  if (*cycle != static_cast<long long>(out.size()) + 1) {
    return where + " is cycle " + std::to_string(*cycle) + " where cycle " + std::to_string(out.size() + 1) +
           " was expected";
  }
  double values[5];
  for (int i = 0; i < 5; ++i) {
    if (!ReadNumber(cells[i + 1], values[i]) || !std::isfinite(values[i])) {
      return where + ": \"" + cells[i + 1] + "\" is no percentage";
    }
  }
  out.push_back({values[0], values[1], values[2], values[3], values[4]});
  return {};
}

bool IsReportHeading(std::string_view line) {
  const std::vector<std::string> cells = SplitCells(line, ' ');
  return cells.size() == 6 && cells[0] == "Cycle" && cells[1] == "%Female" && cells[5] == "%Total";
}

}  // namespace

std::vector<CycleResult> RoundedPercentages(std::span<const CycleResult> cycles, std::int64_t palmCount) {
  std::vector<CycleResult> rounded(cycles.begin(), cycles.end());
  if (palmCount <= 0) return rounded;
  const double palms = static_cast<double>(palmCount);
  // Whole counts times 100 are exact in a double, so the one division rounds once.
  const auto count = [palms](double percent) { return std::round(percent * palms / 100.0); };
  for (CycleResult& row : rounded) {
    const double female = count(row.female), herm = count(row.herm), male = count(row.male),
                 aborted = count(row.aborted);
    row.female = female * 100.0 / palms;
    row.herm = herm * 100.0 / palms;
    row.male = male * 100.0 / palms;
    row.aborted = aborted * 100.0 / palms;
    row.total = (female + herm + male + aborted) * 100.0 / palms;
  }
  return rounded;
}

std::vector<CycleResult> PublishedCycles(const FloweringModel& model) {
  return RoundedPercentages(CyclesOf(model.cycleResults), model.settings.palmCount);
}

std::string ShortestNumber(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

void WriteResultsTable(std::span<const CycleResult> cycles, std::ostream& out, char separator) {
  std::string header(ResultsCsvHeader);
  for (char& c : header) {
    if (c == ',') c = separator;
  }
  out << header << '\n';
  std::string line;
  for (std::size_t i = 0; i < cycles.size(); ++i) {
    const CycleResult& row = cycles[i];
    line = std::to_string(i + 1);
    for (double value : {row.female, row.herm, row.male, row.aborted, row.total}) {
      line += separator;
      line += ShortestNumber(value);
    }
    line += '\n';
    out << line;
  }
}

ResultsTableRead ReadResultsTable(std::istream& in) {
  ResultsTableRead read;
  std::string line;
  std::size_t lineNumber = 0;
  bool csv = false;
  bool found = false;
  // A CSV starts with its header; a report has its heading after the settings.
  while (!found && std::getline(in, line)) {
    ++lineNumber;
    StripLineEnd(line);
    if (lineNumber == 1 && line.size() >= 3 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    csv = lineNumber == 1 && line == ResultsCsvHeader;
    found = csv || IsReportHeading(line);
  }
  if (!found) {
    read.error = "it holds no results table (neither a CSV with the header " + std::string(ResultsCsvHeader) +
                 " nor a VARNOLT report)";
    return read;
  }
  const char separator = csv ? ',' : ' ';
  while (std::getline(in, line)) {
    ++lineNumber;
    StripLineEnd(line);
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    std::string problem = ReadRow(line, separator, lineNumber, read.cycles);
    if (!problem.empty()) {
      read.cycles.clear();
      read.error = std::move(problem);
      return read;
    }
  }
  if (read.cycles.empty()) read.error = "its table has no rows";
  return read;
}

}  // namespace varnolt
