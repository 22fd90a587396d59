// The files around point tables: tables written through the safe replacement,
// their records, and tables read back for the indices.
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <limits>

#include <nlohmann/json.hpp>

#include "experiments/PointTables.h"
#include "platform/SystemResources.h"
#include "platform/Version.h"
#include "platform/WholeNumbers.h"
#include "results/RunRecord.h"
#include "run/ReportTarget.h"

namespace varnolt {

std::optional<std::string> TableRecordPath(const std::optional<std::string>& table) {
  if (!table || *table == "-" || IsDescriptorPath(PathFromUtf8(*table)) || IsDeviceOrPipe(PathFromUtf8(*table))) {
    return std::nullopt;
  }
  std::error_code code;
  const std::filesystem::file_status status = std::filesystem::status(PathFromUtf8(*table), code);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) return std::nullopt;
  return PathToUtf8(RecordPathBeside(PathFromUtf8(*table)));
}

bool StartsAsTable(std::string_view start) {
  for (std::string_view known : {"# varnolt-cli ", "cycle,", "point,", "output,", "evaluation,"}) {
    if (start.substr(0, known.size()) == known) return true;
  }
  return false;
}

bool FileStartsAsTable(const std::string& path) {
  if (path.empty() || path == "-" || IsDeviceOrPipe(PathFromUtf8(path))) return false;
  std::error_code code;
  if (!std::filesystem::is_regular_file(PathFromUtf8(path), code)) return false;
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  char start[32] = {};
  in.read(start, sizeof start);
  return StartsAsTable(std::string_view(start, static_cast<std::size_t>(in.gcount())));
}

namespace {

// FNV-1a over 64 bits, the stamp's function, fed in pieces.
class Fnv1a {
 public:
  void Add(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      hash_ ^= static_cast<unsigned char>(data[i]);
      hash_ *= 1099511628211ull;
    }
    bytes_ += size;
  }
  TableDigest Result() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash_));
    return {bytes_, text};
  }

 private:
  std::uint64_t hash_ = 14695981039346656037ull;
  std::uint64_t bytes_ = 0;
};

// Passes what is written on to another buffer and takes the digest of it.
class DigestingBuffer : public std::streambuf {
 public:
  explicit DigestingBuffer(std::streambuf* target) : target_(target) {}
  TableDigest Digest() const { return digest_.Result(); }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    if (traits_type::eq_int_type(target_->sputc(byte), traits_type::eof())) return traits_type::eof();
    digest_.Add(&byte, 1);
    return c;
  }
  std::streamsize xsputn(const char* data, std::streamsize count) override {
    const std::streamsize written = target_->sputn(data, count);
    digest_.Add(data, static_cast<std::size_t>(written));
    return written;
  }
  int sync() override { return target_->pubsync(); }

 private:
  std::streambuf* target_;
  Fnv1a digest_;
};

// The record beside a table as it stands, without the record it replaced, so
// that a new record can keep it; empty when there is none this program wrote.
std::string CurrentRecord(const std::filesystem::path& recordPath) {
  std::error_code code;
  if (!std::filesystem::is_regular_file(recordPath, code)) return {};
  std::ifstream in(recordPath, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  nlohmann::ordered_json record = nlohmann::ordered_json::parse(text, nullptr, false);
  if (record.is_discarded() || !record.is_object() || !record.contains("stamp")) return {};
  record.erase("previous");
  return record.dump();
}

std::optional<TableWriteProblem> FolderOrFailure(TableWriteProblem problem, const std::filesystem::path& path,
                                                 const ContentWriter& writer) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    problem.folder = true;
    return problem;
  }
  problem.failure = ReplaceFileWith(path, writer);
  if (!problem.failure) return std::nullopt;
  return problem;
}

}  // namespace

std::optional<TableDigest> DigestOfFile(const std::string& path) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) return std::nullopt;
  Fnv1a digest;
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    digest.Add(buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  return digest.Result();
}

TableDigest DigestOfText(std::string_view text) {
  Fnv1a digest;
  digest.Add(text.data(), text.size());
  return digest.Result();
}

std::optional<TableWriteProblem> StreamTableFile(const TableStream& target,
                                                 const std::function<bool(std::ostream&)>& write, bool& dropped) {
  dropped = false;
  const auto writer = [&](std::ostream& out) {
    if (!write(out)) return false;
    const bool stopped = target.stopped && target.stopped();
    return target.keepWhenStopped || !stopped;
  };
  TableWriteProblem problem;
  problem.what = target.what;
  problem.path = target.path;
  if (target.path == "-") {
    std::ostream& out = *target.standardOutput;
    const bool kept = writer(out);
    out.flush();
    dropped = !kept;
    if (kept && !out) {
      problem.standardOutput = true;
      return problem;
    }
    return std::nullopt;
  }
  // A table never takes the place of run settings.
  if (std::optional<Problem> settings =
          FileStartsAsTable(target.path) ? std::nullopt : ReportTargetProblem(target.path, {})) {
    problem.settings = std::move(settings);
    return problem;
  }
  if (target.path.empty()) {
    problem.noName = true;
    return problem;
  }
  std::error_code ignored;
  if (std::filesystem::is_directory(PathFromUtf8(target.path), ignored)) {
    problem.folder = true;
    return problem;
  }
  // The record goes beside a table file, not beside a device or a descriptor.
  const std::optional<std::string> recordPath = target.record ? TableRecordPath(target.path) : std::nullopt;
  std::optional<TableWriteProblem> recordProblem;
  std::optional<ReplaceFailure> failure = ReplaceFileWith(PathFromUtf8(target.path), [&](std::ostream& out) {
    DigestingBuffer digesting(out.rdbuf());
    std::ostream table(&digesting);
    const bool kept = writer(table) && table.flush();
    if (!kept || !out) {
      dropped = !kept;
      out.setstate(std::ios::badbit);  // the replacement is given up, and any earlier file stays
      return;
    }
    if (!recordPath) return;
    // The record first, naming this table and keeping the one it replaces;
    // then, once this writer returns, the table.
    const std::filesystem::path place = PathFromUtf8(*recordPath);
    const std::string record = target.record(digesting.Digest(), CurrentRecord(place));
    TableWriteProblem failed;
    failed.what = "record of the table";
    failed.path = *recordPath;
    recordProblem = FolderOrFailure(failed, place, [&record](std::ostream& recordOut) { recordOut << record; });
    if (recordProblem) out.setstate(std::ios::badbit);
  });
  if (recordProblem) return recordProblem;
  if (!failure || dropped) return std::nullopt;
  problem.failure = std::move(failure);
  return problem;
}

namespace {

void AddPreviousRecord(nlohmann::ordered_json& record, const std::string& previous) {
  if (previous.empty()) return;
  const nlohmann::ordered_json old = nlohmann::ordered_json::parse(previous, nullptr, false);
  if (!old.is_discarded()) record["previous"] = old;
}

}  // namespace

std::optional<TableWriteProblem> WriteTableWithRecord(
    const std::string& path, const std::string& content,
    const std::function<std::string(const TableDigest& table, const std::string& previous)>& record) {
  TableStream target;
  target.path = path;
  target.what = "table";
  target.record = record;
  bool dropped = false;
  return StreamTableFile(
      target,
      [&content](std::ostream& out) {
        out << content;
        return true;
      },
      dropped);
}

std::string TableRecordJson(const PointTable& table, const TableRecordFacts& facts) {
  nlohmann::ordered_json record;
  record["version"] = VersionText();
  record["commandLine"] = facts.commandLine;
  record["command"] = table.command;
  record["stamp"] = table.Fingerprint();
  if (facts.shard) record["shard"] = std::to_string(facts.shard->k) + "/" + std::to_string(facts.shard->n);
  record["complete"] = facts.complete;
  if (facts.table) record["table"] = {{"bytes", facts.table->bytes}, {"digest", facts.table->digest}};
  nlohmann::ordered_json settings = nlohmann::ordered_json::object();
  for (const FieldInfo& field : RunSettingsFields()) {
    if (field.integer != nullptr) settings[field.name] = table.base.*(field.integer);
    else settings[field.name] = table.base.*(field.text);
  }
  record["baseSettings"] = settings;
  record["design"] = table.description;
  record["seed"] = table.points == 0 ? 0u : table.SeedOf(0);
  record["replicates"] = table.replicates;
  record["startTime"] = facts.startTime;
  record["seconds"] = facts.seconds;
  record["runs"] = facts.runs;
  record["ran"] = facts.ran;
  record["refused"] = facts.refused;
  record["failed"] = facts.failed;
  record["takenFromTable"] = facts.taken;
  AddPreviousRecord(record, facts.previous);
  return record.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string MergeRecordJson(const MergeRecordFacts& facts, const TableDigest& table, const std::string& previous) {
  nlohmann::ordered_json record;
  record["version"] = VersionText();
  record["commandLine"] = facts.commandLine;
  record["command"] = "merge";
  record["stamp"] = facts.stamp;
  record["complete"] = true;
  record["table"] = {{"bytes", table.bytes}, {"digest", table.digest}};
  record["parts"] = facts.parts;
  record["runs"] = facts.runs;
  record["replicates"] = facts.replicates;
  AddPreviousRecord(record, previous);
  return record.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::optional<TableMaker> TableMakerOf(const std::string& tablePath) {
  std::ifstream in(RecordPathBeside(PathFromUtf8(tablePath)), std::ios::binary);
  if (!in) return std::nullopt;
  const nlohmann::json record = nlohmann::json::parse(in, nullptr, false);
  if (record.is_discarded() || !record.is_object() || !record.contains("commandLine") ||
      !record["commandLine"].is_string()) {
    return std::nullopt;
  }
  TableMaker maker;
  maker.commandLine = record["commandLine"].get<std::string>();
  if (record.contains("seed") && record["seed"].is_number_unsigned()) maker.seed = record["seed"].get<std::uint64_t>();
  return maker;
}

std::optional<std::string> MemoryProblem(std::uint64_t bytes, const std::string& what, const std::string& remedy) {
  const std::optional<std::uint64_t> available = AvailableMemoryBytes();
  const auto megabytes = [](std::uint64_t b) {
    return WithThousands(static_cast<std::int64_t>((b + (1u << 20) - 1) >> 20)) + " MB";
  };
  if (available ? bytes <= *available : bytes <= std::numeric_limits<std::size_t>::max() / 2) return std::nullopt;
  return what + " needs " + megabytes(bytes) + " of memory" +
         (available ? ", and only " + megabytes(*available) + " are free for it" : std::string()) + "; " + remedy;
}

std::optional<PointOutcome> OutcomeOfRow(const std::vector<std::string>& cells, std::size_t statusColumn,
                                         std::span<const Statistic> statistics) {
  if (cells.size() != statusColumn + statistics.size() + 2) return std::nullopt;
  PointOutcome outcome;
  const std::string& status = cells[statusColumn];
  outcome.message = cells.back();
  if (status == "invalid") outcome.status = PointStatus::Invalid;
  else if (status == "failed") outcome.status = PointStatus::Failed;
  if (status != "ok") return status == "invalid" || status == "failed" ? std::optional(outcome) : std::nullopt;
  outcome.status = PointStatus::Ran;
  for (std::size_t c = 0; c < statistics.size(); ++c) {
    if (!ReadStatisticCell(cells[statusColumn + 1 + c], statistics[c], outcome.analysis)) return std::nullopt;
  }
  return outcome;
}

std::optional<std::string> OutcomesFromTable(std::istream& in, const std::string& path, const PointTable& table,
                                             RunOutputs& outputs) {
  std::string header = table.Header();
  header.pop_back();  // the record's text holds no line break
  CsvRecordReader reader(in);
  CsvRecord record;
  if (!reader.Next(record) || record.text != header) {
    return path + " is no table of runs of these factors and statistics (its header differs)";
  }
  const std::size_t replicates = table.replicates;
  const std::size_t runs = table.Runs();
  outputs = RunOutputs(table.statistics, runs);
  const std::size_t k = table.leadColumns.size();
  std::size_t i = 0;
  for (; reader.Next(record); ++i) {
    if (i >= runs) continue;  // counted, for the message
    const std::size_t point = i / replicates;
    const std::size_t replicate = i % replicates;
    const std::vector<std::string>& cells = record.cells;
    std::optional<PointOutcome> outcome = OutcomeOfRow(cells, 3 + k, table.statistics);
    std::string lead;
    for (std::size_t f = 0; f < k && f + 1 < cells.size(); ++f) lead += (f == 0 ? "" : ",") + CsvCell(cells[f + 1]);
    if (!outcome || cells[0] != std::to_string(point + 1) || lead != table.point(point).leadCells ||
        cells[1 + k] != std::to_string(replicate + 1) ||
        cells[2 + k] != std::to_string(table.SeedOf(point) + static_cast<std::uint32_t>(replicate))) {
      return path + " line " + std::to_string(record.line) + " is not run " + std::to_string(i + 1) +
             " of this design (other values, seed or outputs)";
    }
    outputs.Set(i, *outcome);
  }
  if (reader.OpenQuoteLine()) return path + " line " + std::to_string(*reader.OpenQuoteLine()) + " leaves a quote open";
  if (i != runs) {
    return path + " holds " + std::to_string(i) + " runs; this design has " + std::to_string(runs) +
           " (are all the parts merged?)";
  }
  return std::nullopt;
}

}  // namespace varnolt
