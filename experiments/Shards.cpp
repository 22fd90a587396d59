#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "experiments/Experiments.h"
#include "platform/WholeNumbers.h"

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

struct PartRead {
  const ShardPart* part = nullptr;
  int k = 0, n = 0;
  std::size_t total = 0, replicates = 1;
  std::string fingerprint, header;
  std::vector<std::string> lines;     // the rows, without line breaks
  std::vector<std::size_t> lineNumbers;  // each row's line in the file
};

std::string LineOf(const PartRead& read, std::size_t row) {
  return read.part->name + " line " + std::to_string(read.lineNumbers[row]);
}

// Splits a part into stamp, header, rows and closing line; answers what is wrong.
std::optional<std::string> ReadPart(const ShardPart& part, PartRead& read) {
  read.part = &part;
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < part.text.size()) {
    std::size_t end = part.text.find('\n', at);
    if (end == std::string::npos) {
      return part.name + " ends in the middle of line " + std::to_string(lines.size() + 1) +
             " (the part was cut short); run its shard again with --resume";
    }
    lines.push_back(part.text.substr(at, end - at));
    at = end + 1;
  }
  if (lines.empty() || lines[0].rfind(StampStart, 0) != 0) {
    return part.name + " is not a part written with --shard (its first line is no shard stamp)";
  }
  char fingerprint[17] = {};
  unsigned long long total = 0, replicates = 0;
  int used = 0;
  const char* stamp = lines[0].c_str() + std::char_traits<char>::length(StampStart);
  if (std::sscanf(stamp, "%d/%d design %16s runs %llu replicates %llu%n", &read.k, &read.n, fingerprint, &total,
                  &replicates, &used) != 5 ||
      stamp[used] != '\0' || read.k < 1 || read.k > read.n || replicates < 1) {
    return part.name + " has a shard stamp this version does not write (" + lines[0] +
           "); run its shard again with this version";
  }
  read.fingerprint = fingerprint;
  read.total = static_cast<std::size_t>(total);
  read.replicates = static_cast<std::size_t>(replicates);
  if (lines.size() < 2) return part.name + " has no header line";
  read.header = lines[1];
  const std::string& last = lines.back();
  std::size_t closingRows = 0;
  const bool closed = lines.size() >= 3 && last.rfind(StampStart, 0) == 0 &&
                      std::sscanf(last.c_str() + std::char_traits<char>::length(StampStart), "%*d/%*d complete, %zu",
                                  &closingRows) == 1;
  if (!closed || last != ShardClosing(read.k, read.n, closingRows)) {
    return part.name + " is not complete: its run stopped before its last row (Ctrl+C or a time limit); " +
           "finish it by running its shard again with --resume";
  }
  for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
    read.lines.push_back(lines[i]);
    read.lineNumbers.push_back(i + 1);
  }
  if (read.lines.size() != closingRows) {
    return part.name + " holds " + std::to_string(read.lines.size()) + " rows where its closing line says " +
           std::to_string(closingRows) + "; the part was changed after it was written";
  }
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

// Checks that a part's rows are exactly its slice of the table, in order: the
// row index (point - 1) x replicates + (replicate - 1) runs through the slice
// one by one (a per-cycle table repeats it once per cycle, cycles counting from 1).
std::optional<std::string> CheckRows(const PartRead& read, std::size_t replicates) {
  const std::vector<std::string> header = Cells(read.header);
  if (header.empty() || header[0] != "point") return std::nullopt;  // a table of another kind: no rows to check
  std::size_t replicateColumn = 0, cycleColumn = 0;
  for (std::size_t c = 0; c < header.size(); ++c) {
    if (header[c] == "replicate") replicateColumn = c;
    if (header[c] == "cycle") cycleColumn = c;
  }
  const ShardSlice slice = SliceOf(read.total, read.k, read.n);
  std::size_t expected = slice.begin;
  std::optional<std::size_t> current;
  long long lastCycle = 0;
  std::map<std::string, std::string> leadOfPoint;
  for (std::size_t r = 0; r < read.lines.size(); ++r) {
    const std::vector<std::string> cells = Cells(read.lines[r]);
    if (cells.size() != header.size()) {
      return LineOf(read, r) + " has " + std::to_string(cells.size()) + " cells where the header has " +
             std::to_string(header.size()) + " (two rows glued together, or a row cut short)";
    }
    const std::optional<std::size_t> point = ReadWholeNumber<std::size_t>(cells[0]);
    const std::optional<std::size_t> replicate =
        replicateColumn == 0 ? std::optional<std::size_t>(1) : ReadWholeNumber<std::size_t>(cells[replicateColumn]);
    if (!point || !replicate || *point < 1 || *replicate < 1 || *replicate > replicates) {
      return LineOf(read, r) + " has no valid point and replicate";
    }
    const std::size_t index = (*point - 1) * replicates + (*replicate - 1);
    long long cycle = 0;
    if (cycleColumn != 0) {
      const std::optional<long long> read_cycle = ReadWholeNumber<long long>(cells[cycleColumn]);
      if (!read_cycle) return LineOf(read, r) + " has no valid cycle";
      cycle = *read_cycle;
    }
    const bool sameRunNextCycle = cycleColumn != 0 && current && index == *current && cycle == lastCycle + 1;
    const bool nextRun = index == expected && (cycleColumn == 0 || cycle == 1);
    if (!sameRunNextCycle && !nextRun) {
      if (index < slice.begin || index >= slice.end) {
        return LineOf(read, r) + " holds point " + std::to_string(*point) + " replicate " +
               std::to_string(*replicate) + ", which is not in the slice of shard " + std::to_string(read.k) + "/" +
               std::to_string(read.n);
      }
      return LineOf(read, r) + " is out of place: point " + std::to_string(*point) + " replicate " +
             std::to_string(*replicate) + (cycleColumn != 0 ? " cycle " + std::to_string(cycle) : std::string()) +
             " where the table's next row was expected (a row missing, repeated, renumbered or moved)";
    }
    if (nextRun) {
      current = index;
      ++expected;
    }
    lastCycle = cycle;
    // Every replicate of a point ran the same settings: the cells between the
    // point and its replicate must agree.
    if (replicateColumn > 1) {
      std::string lead;
      for (std::size_t c = 1; c < replicateColumn; ++c) lead += cells[c] + ",";
      const auto [it, added] = leadOfPoint.emplace(cells[0], lead);
      if (!added && it->second != lead) {
        return LineOf(read, r) + " gives point " + cells[0] + " other settings than the row before it";
      }
    }
  }
  if (expected != slice.end) {
    return read.part->name + " holds " + std::to_string(expected - slice.begin) + " of the " +
           std::to_string(slice.end - slice.begin) + " runs of its slice";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> MergeShards(const std::vector<ShardPart>& parts, std::string& merged) {
  if (parts.empty()) return "no parts to merge";
  std::vector<PartRead> reads(parts.size());
  std::map<int, const PartRead*> byShard;
  for (std::size_t p = 0; p < parts.size(); ++p) {
    PartRead& read = reads[p];
    if (auto problem = ReadPart(parts[p], read)) return problem;
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
  for (const PartRead& read : reads) {
    if (auto problem = CheckRows(read, read.replicates)) return problem;
  }
  merged = reads[0].header + "\n";
  for (const auto& [k, read] : byShard) {
    for (const std::string& line : read->lines) merged += line + "\n";
  }
  return std::nullopt;
}
