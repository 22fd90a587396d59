#pragma once
// The per-cycle results as a table for other programs: CSV with a header row
// (`cycle,female,herm,male,aborted,total`), tab-separated text for the
// clipboard, and reading the table back from such a CSV or from a run's report.
// Numbers are written with the shortest text that reads back to the same double,
// so nothing is lost on the way. Plain C++.

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/FloweringModel.h"

namespace varnolt {

inline constexpr std::string_view ResultsCsvHeader = "cycle,female,herm,male,aborted,total";

// The percentages of a run as they leave the program (CSV, JSON, clipboard, the
// analysis): each count x 100 / palms, correctly rounded, so that 46 of 1,000
// palms reads 4.6 rather than the 4.6000000000000005 of the model's own
// arithmetic, which the report and the grid keep. The counts are recovered from
// the model's percentages, which lie within a few units in the last place.
std::vector<CycleResult> RoundedPercentages(std::span<const CycleResult> cycles, std::int64_t palmCount);
// The same of a model's last run, cycles[0] being cycle 1.
std::vector<CycleResult> PublishedCycles(const FloweringModel& model);

// The shortest text that reads back to the same double ("31.25", "0.1", "100").
std::string ShortestNumber(double value);

// Writes the header row and one row per cycle, cycles[0] being cycle 1, with the
// separator between cells and LF line breaks.
void WriteResultsTable(std::span<const CycleResult> cycles, std::ostream& out, char separator);
inline void WriteResultsCsv(std::span<const CycleResult> cycles, std::ostream& out) {
  WriteResultsTable(cycles, out, ',');
}

// Per-cycle results read from a file, cycles[0] being cycle 1.
struct ResultsTableRead {
  std::vector<CycleResult> cycles;
  std::string error;  // empty when the table was read; otherwise what is wrong
};

// Reads a CSV written by WriteResultsCsv, or the table of a run's report, by
// what the text holds (CR LF or LF). Rows must count cycles 1, 2, 3... in order.
ResultsTableRead ReadResultsTable(std::istream& in);

}  // namespace varnolt
