#include "platform/CsvText.h"

#include <iterator>

namespace varnolt {

std::string CsvCell(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string cell = "\"";
  for (char c : text) {
    if (c == '"') cell += '"';
    cell += c;
  }
  return cell + "\"";
}

std::string CsvRecordText(const std::vector<std::string>& cells) {
  std::string text;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) text += ',';
    text += CsvCell(cells[i]);
  }
  return text;
}

CsvRead ReadCsv(std::string_view text) {
  CsvRead read;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::size_t at = 0;
  std::size_t line = 1;
  while (at < text.size()) {
    CsvRecord record;
    record.line = line;
    record.cells.emplace_back();
    const std::size_t start = at;
    bool quoted = false;
    std::size_t quoteLine = line;
    for (; at < text.size(); ++at) {
      const char c = text[at];
      if (quoted) {
        if (c == '"' && at + 1 < text.size() && text[at + 1] == '"') {
          record.cells.back() += '"';
          ++at;
        } else if (c == '"') {
          quoted = false;
        } else {
          if (c == '\n') ++line;
          record.cells.back() += c;
        }
      } else if (c == '"') {
        quoted = true;
        quoteLine = line;
      } else if (c == ',') {
        record.cells.emplace_back();
      } else if (c == '\n') {
        break;
      } else if (c == '\r' && (at + 1 == text.size() || text[at + 1] == '\n')) {
        // the CR of a CR LF (or of a last line) is no part of the cell
      } else {
        record.cells.back() += c;
      }
    }
    if (quoted) {
      read.openQuoteLine = quoteLine;
      return read;
    }
    std::size_t end = at;
    if (end > start && text[end - 1] == '\r') --end;
    record.text = std::string(text.substr(start, end - start));
    read.records.push_back(std::move(record));
    if (at < text.size()) {
      ++at;  // past the LF
      ++line;
    }
  }
  return read;
}

std::optional<std::vector<std::string>> SplitCsvRecord(std::string_view line) {
  const CsvRead read = ReadCsv(line);
  if (read.openQuoteLine || read.records.size() > 1) return std::nullopt;
  if (read.records.empty()) return std::vector<std::string>(1);
  return read.records.front().cells;
}

bool CsvRecordReader::Next(CsvRecord& record) {
  std::string raw;
  bool quoted = false;
  std::size_t breaks = 0, quoteLine = line_;
  endedInLineBreak_ = false;
  for (std::istreambuf_iterator<char> at(in_), end; at != end; ++at) {
    const char c = *at;
    if (c == '"') {
      if (!quoted) quoteLine = line_ + breaks;
      quoted = !quoted;  // a doubled quote inside quotes turns it off and on again
    }
    if (c == '\n' && !quoted) {
      endedInLineBreak_ = true;
      ++at;
      break;
    }
    if (c == '\n') ++breaks;
    raw += c;
    if (limit_ != 0 && raw.size() > limit_) {
      tooLong_ = true;
      return false;
    }
  }
  if (raw.empty() && !endedInLineBreak_) return false;
  if (quoted) {
    openQuoteLine_ = quoteLine;
    return false;
  }
  if (first_ && raw.substr(0, 3) == "\xEF\xBB\xBF") raw.erase(0, 3);
  first_ = false;
  CsvRead read = ReadCsv(raw);
  if (read.records.empty()) read.records.emplace_back().cells.emplace_back();
  record = std::move(read.records.front());
  record.line = line_;
  line_ += breaks + 1;
  return true;
}

}  // namespace varnolt
