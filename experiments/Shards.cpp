#include <algorithm>
#include <cstdio>
#include <istream>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "experiments/Experiments.h"
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
  int k = 0, n = 0;
  std::size_t total = 0, replicates = 1;
  std::string fingerprint, header;
  std::size_t line = 0;  // the line last read
};

// The next line of a part, without its line break; false at its end. A last
// line without a line break was cut short.
bool NextLine(PartRead& read, std::string& line, bool& cut) {
  cut = false;
  if (!std::getline(*read.part->in, line)) return false;
  ++read.line;
  cut = read.part->in->eof();
  return true;
}

std::string CutShort(const PartRead& read) {
  return read.part->name + " ends in the middle of line " + std::to_string(read.line) +
         " (the part was cut short); run its shard again with --resume";
}

// Reads a part's stamp and header; answers what is wrong.
std::optional<std::string> ReadPartStart(PartRead& read) {
  std::string stampLine;
  bool cut = false;
  if (!NextLine(read, stampLine, cut) || stampLine.rfind(StampStart, 0) != 0) {
    return read.part->name + " is not a part written with --shard (its first line is no shard stamp)";
  }
  if (cut) return CutShort(read);
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
  if (!NextLine(read, read.header, cut)) return read.part->name + " has no header line";
  if (cut) return CutShort(read);
  return std::nullopt;
}

// The cells of a row, split at commas outside quotes.
std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (char c : line) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) cells.emplace_back();
    else cells.back() += c;
  }
  return cells;
}

// Checks a part's rows as they are copied: they must be exactly its slice of
// the table, in order: the row index (point - 1) x replicates + (replicate - 1)
// runs through the slice one by one (a per-cycle table repeats it once per
// cycle, cycles counting from 1); the part ends in its closing line, whose
// count of rows is right.
class RowCheck {
 public:
  explicit RowCheck(const PartRead& read) : read_(read), header_(Cells(read.header)) {
    checked_ = !header_.empty() && header_[0] == "point";  // a table of another kind: no rows to check
    for (std::size_t c = 0; c < header_.size(); ++c) {
      if (header_[c] == "replicate") replicateColumn_ = c;
      if (header_[c] == "cycle") cycleColumn_ = c;
    }
    slice_ = SliceOf(read.total, read.k, read.n);
    expected_ = slice_.begin;
  }

  std::optional<std::string> Row(const std::string& line) {
    ++rows_;
    if (!checked_) return std::nullopt;
    const std::vector<std::string> cells = Cells(line);
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
      for (std::size_t c = 1; c < replicateColumn_; ++c) lead += cells[c] + ",";
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
  std::string Where() const { return read_.part->name + " line " + std::to_string(read_.line - 1); }

  const PartRead& read_;
  std::vector<std::string> header_;
  bool checked_ = false;
  std::size_t replicateColumn_ = 0, cycleColumn_ = 0;
  ShardSlice slice_;
  std::size_t expected_ = 0, rows_ = 0;
  std::optional<std::size_t> current_;
  long long lastCycle_ = 0;
  std::string leadPoint_, lead_;
};

// Copies a part's rows to `merged`, checking each; the line after a row is read
// before the row is taken, since the last line is the closing one.
std::optional<std::string> CopyRows(PartRead& read, std::ostream& merged, const std::atomic<bool>* stop) {
  RowCheck check(read);
  std::string line, next;
  bool cut = false;
  bool have = NextLine(read, line, cut);
  if (have && cut) return CutShort(read);
  while (have) {
    const bool more = NextLine(read, next, cut);
    if (more && cut) return CutShort(read);
    if (!more) break;
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return "stopped";
    // `line` is a row: the line after it was read first, so the row's line is read.line - 1.
    if (auto problem = check.Row(line)) return problem;
    merged << line << '\n';
    line.swap(next);
  }
  return check.End(have ? std::optional<std::string>(line) : std::nullopt);
}

}  // namespace

std::optional<std::string> MergeShardStreams(const std::vector<ShardInput>& parts, std::ostream& merged,
                                             const std::atomic<bool>* stop) {
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
  std::string missing;
  for (int k = 1; k <= reads[0].n; ++k) {
    if (!byShard.count(k)) missing += (missing.empty() ? "" : ", ") + std::to_string(k);
  }
  if (!missing.empty()) return "shards missing: " + missing + " of " + std::to_string(reads[0].n);
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
