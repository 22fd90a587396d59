#include <algorithm>
#include <cstdio>
#include <map>

#include "experiments/Experiments.h"
#include "platform/WholeNumbers.h"

namespace {

constexpr const char* StampStart = "# varnolt-cli shard ";

std::string FirstLine(const std::string& text, std::size_t& next) {
  const std::size_t end = text.find('\n');
  next = end == std::string::npos ? text.size() : end + 1;
  return text.substr(0, end == std::string::npos ? text.size() : end);
}

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

std::string ShardStamp(int k, int n, const std::string& fingerprint) {
  return StampStart + std::to_string(k) + "/" + std::to_string(n) + " design " + fingerprint;
}

std::optional<std::string> MergeShards(const std::vector<ShardPart>& parts, std::string& merged) {
  if (parts.empty()) return "no parts to merge";
  struct Read {
    int k = 0, n = 0;
    std::string fingerprint, header, body;
    const ShardPart* part = nullptr;
  };
  std::map<int, Read> byShard;
  const Read* reference = nullptr;
  for (const ShardPart& part : parts) {
    Read read;
    read.part = &part;
    std::size_t at = 0;
    const std::string stamp = FirstLine(part.text, at);
    char fingerprint[17] = {};
    if (stamp.rfind(StampStart, 0) != 0 ||
        std::sscanf(stamp.c_str() + std::char_traits<char>::length(StampStart), "%d/%d design %16s", &read.k,
                    &read.n, fingerprint) != 3) {
      return part.name + " is not a part written with --shard (its first line is no shard stamp)";
    }
    read.fingerprint = fingerprint;
    std::size_t bodyStart = at;
    read.header = FirstLine(part.text.substr(at), bodyStart);
    read.body = part.text.substr(at + bodyStart);
    if (reference == nullptr) {
      reference = &byShard.emplace(read.k, read).first->second;
    } else {
      if (read.fingerprint != reference->fingerprint) {
        return part.name + " belongs to another design (" + read.fingerprint + ", not " + reference->fingerprint +
               " as " + reference->part->name + ")";
      }
      if (read.n != reference->n) {
        return part.name + " is a slice of " + std::to_string(read.n) + " shards, " + reference->part->name +
               " of " + std::to_string(reference->n);
      }
      if (read.header != reference->header) {
        return part.name + " has other columns than " + reference->part->name;
      }
      const auto [it, added] = byShard.emplace(read.k, read);
      if (!added) {
        return "shard " + std::to_string(read.k) + "/" + std::to_string(read.n) + " is given twice (" +
               it->second.part->name + " and " + part.name + ")";
      }
    }
  }
  std::string missing;
  for (int k = 1; k <= reference->n; ++k) {
    if (!byShard.count(k)) missing += (missing.empty() ? "" : ", ") + std::to_string(k);
  }
  if (!missing.empty()) {
    return "shards missing: " + missing + " of " + std::to_string(reference->n);
  }
  merged = reference->header + "\n";
  for (const auto& [k, read] : byShard) merged += read.body;
  return std::nullopt;
}
