// The files around point tables: tables written through the safe replacement,
// their records, and tables read back for the indices.
#include <cerrno>
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
  if (std::optional<std::string> settings =
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
  std::optional<ReplaceFailure> failure = ReplaceFileWith(PathFromUtf8(target.path), [&](std::ostream& out) {
    if (!writer(out)) {
      dropped = true;
      out.setstate(std::ios::badbit);  // the replacement is given up, and any earlier file stays
    }
  });
  if (!failure || dropped) return std::nullopt;
  problem.failure = std::move(failure);
  return problem;
}

std::string TableRecordJson(const PointTable& table, const TableRecordFacts& facts) {
  nlohmann::ordered_json record;
  record["version"] = VersionText();
  record["commandLine"] = facts.commandLine;
  record["command"] = table.command;
  record["stamp"] = table.Fingerprint();
  if (facts.shard) record["shard"] = std::to_string(facts.shard->k) + "/" + std::to_string(facts.shard->n);
  record["complete"] = facts.complete;
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
