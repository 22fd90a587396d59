#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "experiments/Experiments.h"
#include "platform/CsvText.h"
#include "platform/WholeNumbers.h"

namespace varnolt {

namespace {

constexpr const char* StampStart = "# varnolt-cli shard ";

}  // namespace

ShardSlice SliceOf(std::size_t points, int k, int n) {
  const auto share = [&](int i) { return points * static_cast<std::size_t>(i) / static_cast<std::size_t>(n); };
  return {share(k - 1), share(k)};
}

std::optional<std::string> ParseShard(const std::string& text, int& k, int& n) {
  const std::size_t slash = text.find('/');
  const std::string problem = "--shard " + text + ": give K/N, the K-th of N slices, with 1 <= K <= N (for example 3/10)";
  if (slash == std::string::npos) return problem;
  const std::optional<int> kRead = ReadWholeNumber<int>(std::string_view(text).substr(0, slash));
  const std::optional<int> nRead = ReadWholeNumber<int>(std::string_view(text).substr(slash + 1));
  if (!kRead || !nRead || *nRead < 1 || *kRead < 1 || *kRead > *nRead) return problem;
  k = *kRead;
  n = *nRead;
  return std::nullopt;
}

std::string DesignFingerprint(const std::string& description) {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : description) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string ShardStamp(int k, int n, const std::string& fingerprint, std::size_t totalRuns, std::size_t replicates) {
  return StampStart + std::to_string(k) + "/" + std::to_string(n) + " design " + fingerprint + " runs " +
         std::to_string(totalRuns) + " replicates " + std::to_string(replicates);
}

std::string ShardClosing(int k, int n, std::size_t rows) {
  return StampStart + std::to_string(k) + "/" + std::to_string(n) + " complete, " + std::to_string(rows) +
         (rows == 1 ? " row" : " rows");
}

namespace {

// A part being merged: its stamp and header, read first; its rows are read
// through once, in shard order, checked as they are copied.
struct PartRead {
  const ShardInput* part = nullptr;
  std::unique_ptr<CsvRecordReader> reader;
  int k = 0, n = 0;
  std::size_t total = 0, replicates = 1;
  std::string fingerprint, header;
  std::vector<std::string> headerCells;
  std::size_t line = 0;  // the line of the record last read
};

// No row this program writes comes near this; a part with a longer record (a
// device that never ends a line) is no part.
constexpr std::size_t LongestRecord = std::size_t{16} << 20;

std::string CutShort(const PartRead& read) {
  return read.part->name + " ends in the middle of line " + std::to_string(read.line) +
         " (the part was cut short); run its shard again with --resume";
}

// The next record of a part (a row whose quoted cells may hold line breaks);
// false at its end. A last record without its line break, or with a quote left
// open, was cut short: `problem` says so.
bool NextRecord(PartRead& read, CsvRecord& record, std::optional<std::string>& problem) {
  if (!read.reader->Next(record)) {
    if (read.reader->TooLong()) {
      problem = read.part->name + " line " + std::to_string(read.line + 1) + " is longer than any row of a table (" +
                std::to_string(LongestRecord >> 20) + " MiB); it is no part written with --shard";
    } else if (read.reader->OpenQuoteLine()) {
      read.line = *read.reader->OpenQuoteLine() + 1;
      problem = CutShort(read);
    }
    return false;
  }
  read.line = record.line + 1;  // after the stamp's line
  if (!read.reader->EndedInLineBreak()) {
    problem = CutShort(read);
    return false;
  }
  return true;
}

// Reads a part's stamp and header; answers what is wrong.
std::optional<std::string> ReadPartStart(PartRead& read) {
  read.reader = std::make_unique<CsvRecordReader>(*read.part->in);
  read.reader->LimitRecordBytes(LongestRecord);
  // The stamp is a line of its own: read no further than a stamp could be.
  std::string stampLine;
  std::istream& in = *read.part->in;
  for (int c = in.get(); c != EOF && c != '\n' && stampLine.size() < 200; c = in.get()) stampLine += static_cast<char>(c);
  read.line = 1;
  if (stampLine.rfind(StampStart, 0) != 0) {
    return read.part->name + " is not a part written with --shard (its first line is no shard stamp)";
  }
  if (in.eof()) return CutShort(read);
  char fingerprint[17] = {};
  unsigned long long total = 0, replicates = 0;
  int used = 0;
  const char* stamp = stampLine.c_str() + std::char_traits<char>::length(StampStart);
  if (std::sscanf(stamp, "%d/%d design %16s runs %llu replicates %llu%n", &read.k, &read.n, fingerprint, &total,
                  &replicates, &used) != 5 ||
      stamp[used] != '\0' || read.k < 1 || read.k > read.n || replicates < 1) {
    return read.part->name + " has a shard stamp this version does not write (" + stampLine +
           "); run its shard again with this version";
  }
  read.fingerprint = fingerprint;
  read.total = static_cast<std::size_t>(total);
  read.replicates = static_cast<std::size_t>(replicates);
  CsvRecord header;
  std::optional<std::string> problem;
  if (!NextRecord(read, header, problem)) return problem ? *problem : read.part->name + " has no header line";
  read.header = header.text;
  read.headerCells = header.cells;
  return std::nullopt;
}

// Checks a part's rows as they are copied: they must be exactly its slice of
// the table, in order: the row index (point - 1) x replicates + (replicate - 1)
// runs through the slice one by one (a per-cycle table repeats it once per
// cycle, cycles counting from 1); the part ends in its closing line, whose
// count of rows is right.
class RowCheck {
 public:
  explicit RowCheck(const PartRead& read) : read_(read), header_(read.headerCells) {
    checked_ = !header_.empty() && header_[0] == "point";  // a table of another kind: no rows to check
    for (std::size_t c = 0; c < header_.size(); ++c) {
      if (header_[c] == "replicate") replicateColumn_ = c;
      if (header_[c] == "cycle") cycleColumn_ = c;
    }
    slice_ = SliceOf(read.total, read.k, read.n);
    expected_ = slice_.begin;
  }

  std::optional<std::string> Row(const CsvRecord& record) {
    ++rows_;
    rowLine_ = record.line + 1;  // after the stamp's line
    if (!checked_) return std::nullopt;
    const std::vector<std::string>& cells = record.cells;
    if (cells.size() != header_.size()) {
      return Where() + " has " + std::to_string(cells.size()) + " cells where the header has " +
             std::to_string(header_.size()) + " (two rows glued together, or a row cut short)";
    }
    const std::optional<std::size_t> point = ReadWholeNumber<std::size_t>(cells[0]);
    const std::optional<std::size_t> replicate =
        replicateColumn_ == 0 ? std::optional<std::size_t>(1) : ReadWholeNumber<std::size_t>(cells[replicateColumn_]);
    if (!point || !replicate || *point < 1 || *replicate < 1 || *replicate > read_.replicates) {
      return Where() + " has no valid point and replicate";
    }
    const std::size_t index = (*point - 1) * read_.replicates + (*replicate - 1);
    long long cycle = 0;
    if (cycleColumn_ != 0) {
      const std::optional<long long> readCycle = ReadWholeNumber<long long>(cells[cycleColumn_]);
      if (!readCycle) return Where() + " has no valid cycle";
      cycle = *readCycle;
    }
    const bool sameRunNextCycle = cycleColumn_ != 0 && current_ && index == *current_ && cycle == lastCycle_ + 1;
    const bool nextRun = index == expected_ && (cycleColumn_ == 0 || cycle == 1);
    if (!sameRunNextCycle && !nextRun) {
      if (index < slice_.begin || index >= slice_.end) {
        return Where() + " holds point " + std::to_string(*point) + " replicate " + std::to_string(*replicate) +
               ", which is not in the slice of shard " + std::to_string(read_.k) + "/" + std::to_string(read_.n);
      }
      return Where() + " is out of place: point " + std::to_string(*point) + " replicate " +
             std::to_string(*replicate) + (cycleColumn_ != 0 ? " cycle " + std::to_string(cycle) : std::string()) +
             " where the table's next row was expected (a row missing, repeated, renumbered or moved)";
    }
    if (nextRun) {
      current_ = index;
      ++expected_;
    }
    lastCycle_ = cycle;
    // Every replicate of a point ran the same settings: the cells between the
    // point and its replicate must agree. The rows of a point stand together.
    if (replicateColumn_ > 1) {
      std::string lead;
      for (std::size_t c = 1; c < replicateColumn_; ++c) lead += CsvCell(cells[c]) + ",";
      if (cells[0] == leadPoint_ && lead != lead_) {
        return Where() + " gives point " + cells[0] + " other settings than the row before it";
      }
      leadPoint_ = cells[0];
      lead_ = std::move(lead);
    }
    return std::nullopt;
  }

  // The part's closing line: answers what is wrong with it, or with the rows
  // it closes.
  std::optional<std::string> End(const std::optional<std::string>& closing) const {
    std::size_t closingRows = 0;
    const bool closed = closing && closing->rfind(StampStart, 0) == 0 &&
                        std::sscanf(closing->c_str() + std::char_traits<char>::length(StampStart),
                                    "%*d/%*d complete, %zu", &closingRows) == 1 &&
                        *closing == ShardClosing(read_.k, read_.n, closingRows);
    if (!closed) {
      return read_.part->name + " is not complete: its run stopped before its last row (Ctrl+C or a time limit); " +
             "finish it by running its shard again with --resume";
    }
    if (rows_ != closingRows) {
      return read_.part->name + " holds " + std::to_string(rows_) + " rows where its closing line says " +
             std::to_string(closingRows) + "; the part was changed after it was written";
    }
    if (checked_ && expected_ != slice_.end) {
      return read_.part->name + " holds " + std::to_string(expected_ - slice_.begin) + " of the " +
             std::to_string(slice_.end - slice_.begin) + " runs of its slice";
    }
    return std::nullopt;
  }

 private:
  std::string Where() const { return read_.part->name + " line " + std::to_string(rowLine_); }

  const PartRead& read_;
  std::vector<std::string> header_;
  bool checked_ = false;
  std::size_t replicateColumn_ = 0, cycleColumn_ = 0;
  ShardSlice slice_;
  std::size_t expected_ = 0, rows_ = 0, rowLine_ = 0;
  std::optional<std::size_t> current_;
  long long lastCycle_ = 0;
  std::string leadPoint_, lead_;
};

// Copies a part's rows to `merged`, checking each; the record after a row is
// read before the row is taken, since the last one is the closing line.
std::optional<std::string> CopyRows(PartRead& read, std::ostream& merged, const std::atomic<bool>* stop) {
  RowCheck check(read);
  CsvRecord row, next;
  std::optional<std::string> problem;
  const bool have = NextRecord(read, row, problem);
  if (problem) return problem;
  while (have) {
    const bool more = NextRecord(read, next, problem);
    if (problem) return problem;
    if (!more) break;
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return "stopped";
    if (auto rowProblem = check.Row(row)) return rowProblem;
    merged << row.text << '\n';
    std::swap(row, next);
  }
  return check.End(have ? std::optional<std::string>(row.text) : std::nullopt);
}

}  // namespace

std::optional<std::string> MergeShardStreams(const std::vector<ShardInput>& parts, std::ostream& merged,
                                             const std::atomic<bool>* stop, MergedDesign* design) {
  if (parts.empty()) return "no parts to merge";
  std::vector<PartRead> reads(parts.size());
  std::map<int, PartRead*> byShard;
  for (std::size_t p = 0; p < parts.size(); ++p) {
    PartRead& read = reads[p];
    read.part = &parts[p];
    if (auto problem = ReadPartStart(read)) return problem;
    const PartRead& reference = reads[0];
    if (p > 0) {
      if (read.fingerprint != reference.fingerprint || read.total != reference.total ||
          read.replicates != reference.replicates) {
        return read.part->name + " belongs to another design (" + read.fingerprint + ", not " +
               reference.fingerprint + " as " + reference.part->name + ")";
      }
      if (read.n != reference.n) {
        return read.part->name + " is a slice of " + std::to_string(read.n) + " shards, " + reference.part->name +
               " of " + std::to_string(reference.n);
      }
      if (read.header != reference.header) return read.part->name + " has other columns than " + reference.part->name;
    }
    const auto [it, added] = byShard.emplace(read.k, &read);
    if (!added) {
      return "shard " + std::to_string(read.k) + "/" + std::to_string(read.n) + " is given twice (" +
             it->second->part->name + " and " + read.part->name + ")";
    }
  }
  // The gaps between the shards given; only the first ten are named, so that
  // one part of a million shards is told in a line.
  const int n = reads[0].n;
  if (byShard.size() != static_cast<std::size_t>(n)) {
    std::string missing;
    std::size_t named = 0;
    std::int64_t next = 1;
    for (auto it = byShard.begin();; ++it) {
      const std::int64_t upTo = it == byShard.end() ? std::int64_t{n} + 1 : it->first;
      for (std::int64_t k = next; k < upTo && named < 10; ++k, ++named) {
        missing += (named == 0 ? "" : ", ") + std::to_string(k);
      }
      if (it == byShard.end()) break;
      next = it->first + 1;
    }
    const std::size_t count = static_cast<std::size_t>(n) - byShard.size();
    if (count > named) missing += " and " + std::to_string(count - named) + " more";
    return "shards missing: " + missing + " of " + std::to_string(n);
  }
  if (design != nullptr) *design = {reads[0].fingerprint, reads[0].total, reads[0].replicates, n};
  merged << reads[0].header << '\n';
  for (auto& [k, read] : byShard) {
    if (auto problem = CopyRows(*read, merged, stop)) return problem;
  }
  return std::nullopt;
}

std::optional<std::string> MergeShards(const std::vector<ShardPart>& parts, std::string& merged) {
  std::vector<std::istringstream> streams;
  streams.reserve(parts.size());
  std::vector<ShardInput> inputs;
  for (const ShardPart& part : parts) {
    streams.emplace_back(part.text);
    inputs.push_back({part.name, &streams.back()});
  }
  std::ostringstream out;
  if (auto problem = MergeShardStreams(inputs, out)) return problem;
  merged = out.str();
  return std::nullopt;
}

}  // namespace varnolt
