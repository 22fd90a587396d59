#pragma once
// CSV as RFC 4180 has it: cells separated by commas, records by line breaks
// (CR LF or LF), a cell in double quotes may hold commas, line breaks and
// doubled quotes. The runner's tables, batch designs and censuses are read and
// written through here. Plain C++.

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnolt {

// A cell as written: in quotes (with its quotes doubled) when it holds a comma,
// a quote or a line break, else as it stands.
std::string CsvCell(std::string_view text);

// A record's cells joined by commas, each as CsvCell writes it, without a line
// break.
std::string CsvRecordText(const std::vector<std::string>& cells);

// One record, as read from a text.
struct CsvRecord {
  std::vector<std::string> cells;
  std::size_t line = 0;  // the line it starts on, from 1
  std::string text;      // the record as it stood, without its final line break
};

struct CsvRead {
  std::vector<CsvRecord> records;
  // Set when a quote is left open: the line of the cell it opens, from 1.
  std::optional<std::size_t> openQuoteLine;
};

// Reads every record of a text. A line break inside quotes belongs to the cell
// (kept as it stood); one outside ends the record, and the CR of a CR LF is no
// part of the last cell. An empty line is a record of one empty cell, as RFC
// 4180 reads it; a final line break does not start another record. A byte
// order mark at the start is skipped (spreadsheets write one before UTF-8).
CsvRead ReadCsv(std::string_view text);

// The cells of one record standing on one line (no line break in it); nothing
// when a quote is left open.
std::optional<std::vector<std::string>> SplitCsvRecord(std::string_view line);

// Reads the records of a stream one at a time, so that a table larger than
// memory can be read through. Records are split as ReadCsv splits them.
class CsvRecordReader {
 public:
  explicit CsvRecordReader(std::istream& in) : in_(in) {}

  // The next record; false at the end of the stream or at a quote left open
  // (then OpenQuoteLine() tells where).
  bool Next(CsvRecord& record);

  // Whether the record last read ended in a line break: one cut short by a
  // stop, or still being written, has none.
  bool EndedInLineBreak() const { return endedInLineBreak_; }

  // The line of a cell whose quote is never closed, once Next() has stopped there.
  std::optional<std::size_t> OpenQuoteLine() const { return openQuoteLine_; }

  // Stops at a record longer than `bytes` (a device that never ends a line):
  // Next() answers false and TooLong() true.
  void LimitRecordBytes(std::size_t bytes) { limit_ = bytes; }
  bool TooLong() const { return tooLong_; }

 private:
  std::istream& in_;
  std::size_t line_ = 1;
  bool first_ = true;
  bool endedInLineBreak_ = false;
  std::optional<std::size_t> openQuoteLine_;
  std::size_t limit_ = 0;  // none
  bool tooLong_ = false;
};

}  // namespace varnolt
