#include "cli/PointTables.h"

#include <algorithm>
#include <chrono>
#include <fstream>

#include <nlohmann/json.hpp>
#include <charconv>
#include <filesystem>

#include "cli/Messages.h"
#include "cli/OutputPaths.h"
#include "cli/ProgressLine.h"
#include "cli/RunOptions.h"
#include "cli/SettingsFiles.h"
#include "platform/CsvText.h"
#include "platform/FileIO.h"
#include "platform/Interrupts.h"
#include "platform/Version.h"
#include "results/ResultsTable.h"
#include "results/RunRecord.h"
#include "run/ReportTarget.h"

namespace {

// The outcome a table's row gives, its status in cells[statusColumn]; nothing
// when the row is not one this program writes.
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

struct TableRun {
  std::vector<ExperimentPoint> points;
  std::size_t replicates = 1;
  ShardSlice slice;
  int k = 1, n = 1;
  bool sharded = false;
  std::string fingerprint;  // the stamp: what made the table
  std::string prefix;       // stamp line (shards) and header
};

// The record kept beside a table: what made it, so that it can be traced,
// repeated, resumed only by the same design, and told apart from settings.
struct TableRecordFacts {
  const PointTable* table = nullptr;
  const TableRun* run = nullptr;
  std::chrono::system_clock::time_point start;
  double seconds = 0.0;
  std::size_t ran = 0, refused = 0, failed = 0, taken = 0;
  bool complete = false;
};

std::string TableRecordJson(const TableRecordFacts& facts) {
  const PointTable& table = *facts.table;
  const TableRun& run = *facts.run;
  nlohmann::ordered_json record;
  record["version"] = VersionText();
  record["commandLine"] = CommandLineText();
  record["command"] = table.command;
  record["stamp"] = run.fingerprint;
  if (run.sharded) record["shard"] = std::to_string(run.k) + "/" + std::to_string(run.n);
  record["complete"] = facts.complete;
  nlohmann::ordered_json settings = nlohmann::ordered_json::object();
  for (const FieldInfo& field : RunSettingsFields()) {
    if (field.integer != nullptr) settings[field.name] = table.base.*(field.integer);
    else settings[field.name] = table.base.*(field.text);
  }
  record["baseSettings"] = settings;
  record["design"] = table.description;
  record["seed"] = table.seeds.empty() ? 0u : table.seeds.front();
  record["replicates"] = run.replicates;
  record["startTime"] = UtcTimestamp(facts.start);
  record["seconds"] = facts.seconds;
  record["runs"] = run.slice.end - run.slice.begin;
  record["ran"] = facts.ran;
  record["refused"] = facts.refused;
  record["failed"] = facts.failed;
  record["takenFromTable"] = facts.taken;
  return record.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// The stamp in the record beside a table, or why there is none to compare.
std::optional<std::string> RecordedStamp(const std::string& tablePath, std::string& stamp) {
  const std::filesystem::path recordPath = RecordPathBeside(PathFromUtf8(tablePath));
  std::ifstream in(recordPath, std::ios::binary);
  if (!in) return "it has no record beside it (" + PathToUtf8(recordPath) + ") to say what made it";
  const nlohmann::json record = nlohmann::json::parse(in, nullptr, false);
  if (record.is_discarded() || !record.is_object() || !record.contains("stamp") || !record["stamp"].is_string()) {
    return "its record " + PathToUtf8(recordPath) + " is not one varnolt-cli writes";
  }
  stamp = record["stamp"].get<std::string>();
  return std::nullopt;
}

std::string RowText(const PointTable& table, const TableRun& run, std::size_t i, const PointOutcome& outcome) {
  const std::size_t design = i / run.replicates;
  return RunTableRow(design + 1, !table.leadColumns.empty(), table.leadColumns.empty() ? "" : table.leadCells[design],
                     i % run.replicates + 1, run.points[i].seed, outcome, table.statistics);
}

// Reads the rows an earlier, stopped run left in its table; answers a problem
// when the file was made by another design or holds rows this run would not
// write. A last row cut mid-line is dropped and run again.
std::optional<std::string> ResumedRows(const std::string& path, const TableRun& run, const PointTable& table,
                                       std::vector<std::string>& rows, CliStreams& io) {
  std::error_code ignored;
  if (!std::filesystem::exists(PathFromUtf8(path), ignored)) return std::nullopt;
  std::optional<std::string> text = ReadWholeFile(path, io);
  if (!text) return "the table to resume could not be read";
  if (text->empty()) return std::nullopt;
  const std::string otherDesign = "; give another --csv or leave out --resume to start afresh";
  if (!run.sharded) {
    std::string stamp;
    if (std::optional<std::string> missing = RecordedStamp(path, stamp)) {
      return path + " cannot be resumed: " + *missing + otherDesign;
    }
    if (stamp != run.fingerprint) {
      return path + " was made by another design (stamp " + stamp + ", this " + table.command + "'s " +
             run.fingerprint + ": other settings, factors, seed, replicates or version)" + otherDesign;
    }
  }
  if (text->compare(0, run.prefix.size(), run.prefix) != 0) {
    if (run.sharded && text->rfind("# varnolt-cli shard ", 0) == 0) {
      return path + " was made by another design or shard (" + text->substr(0, text->find('\n')) + ")" + otherDesign;
    }
    return path + " is not a table of this " + table.command + " (its first lines differ)" + otherDesign;
  }
  // A row cut mid-line by a stop is no row: it runs again.
  if (text->back() != '\n') text->erase(text->rfind('\n') + 1);
  // A finished part ends in its closing line, which the new table writes again.
  if (run.sharded) {
    const std::size_t lastStart = text->rfind('\n', text->size() - 2) + 1;
    if (text->compare(lastStart, 20, "# varnolt-cli shard ") == 0 && lastStart >= run.prefix.size()) {
      text->erase(lastStart);
    }
  }
  const CsvRead read = ReadCsv(std::string_view(*text).substr(run.prefix.size()));
  const auto prefixLines = static_cast<std::size_t>(std::count(run.prefix.begin(), run.prefix.end(), '\n'));
  if (read.openQuoteLine) {
    return path + " line " + std::to_string(*read.openQuoteLine + prefixLines) + " is no row of this " + table.command;
  }
  const std::size_t replicateColumn = 1 + table.leadColumns.size();
  const std::string header = run.prefix.substr(run.prefix.rfind('\n', run.prefix.size() - 2) + 1);
  const CsvRead headerRead = ReadCsv(header);
  const std::size_t columns = headerRead.records.empty() ? 0 : headerRead.records[0].cells.size();
  for (const CsvRecord& record : read.records) {
    if (record.text.empty()) continue;
    const std::vector<std::string>& cells = record.cells;
    std::optional<std::size_t> point, replicate;
    if (cells.size() == columns) {
      point = ReadWholeNumber<std::size_t>(cells[0]);
      replicate = ReadWholeNumber<std::size_t>(cells[replicateColumn]);
    }
    const std::string where = path + " line " + std::to_string(record.line + prefixLines);
    if (!point || !replicate || *point < 1 || *replicate < 1 || *replicate > run.replicates ||
        (*point - 1) * run.replicates + (*replicate - 1) >= run.points.size()) {
      return where + " is no row of this " + table.command;
    }
    const std::size_t i = (*point - 1) * run.replicates + (*replicate - 1);
    if (i < run.slice.begin || i >= run.slice.end) {
      return path + " holds point " + std::to_string(*point) + ", which is not in this run's points";
    }
    // The row must be the one this design writes for that run: its settings
    // cells and its seed.
    std::string lead;
    for (std::size_t f = 1; f < replicateColumn; ++f) lead += (f == 1 ? "" : ",") + CsvCell(cells[f]);
    if ((!table.leadColumns.empty() && lead != table.leadCells[i / run.replicates]) ||
        cells[replicateColumn + 1] != std::to_string(run.points[i].seed)) {
      return where + " is not run " + std::to_string(*point) + " of this " + table.command +
             " (other settings or seed)" + otherDesign;
    }
    if (!rows[i].empty()) return where + " repeats point " + std::to_string(*point) + otherDesign;
    rows[i] = record.text + "\n";
  }
  return std::nullopt;
}

}  // namespace

// The settings file (or the start-up defaults) with every --set applied.
std::optional<RunSettings> BaseSettings(const std::optional<std::string>& file,
                                        const std::vector<std::string>& assignments, CliStreams& io, int& status) {
  RunSettings settings = StartupDefaults();
  if (file) {
    std::optional<RunSettings> read = LoadSettingsForCommand(*file, io);
    if (!read) {
      io.err << "Nothing was run.\n";
      status = ExitFailure;
      return std::nullopt;
    }
    settings = *read;
  }
  for (const std::string& assignment : assignments) {
    if (std::optional<std::string> problem = ApplyAssignment(settings, assignment)) {
      status = UsageError(io, *problem);
      return std::nullopt;
    }
  }
  return settings;
}

// The same from the settings file the command names first, if any.
std::optional<RunSettings> BaseSettingsOfFirstArgument(const ExperimentOptions& options, CliStreams& io, int& status) {
  const std::optional<std::string> file =
      options.positional.empty() ? std::nullopt : std::optional<std::string>(options.positional[0]);
  return BaseSettings(file, options.assignments, io, status);
}

// The 27 settings as text, for a design's fingerprint: every part of a design
// starts from the same settings file, notes and all.
std::string SettingsText(const RunSettings& settings) {
  std::string text;
  for (const FieldInfo& field : RunSettingsFields()) {
    text += std::string(field.name) + "=";
    text += field.integer != nullptr ? std::to_string(settings.*(field.integer)) : CsvCell(settings.*(field.text));
    text += ";";
  }
  return text;
}

// Writes a table through the safe replacement (or to standard output for "-");
// prints why on failure.
bool WriteTable(const std::string& path, const std::string& what, const std::string& content, CliStreams& io) {
  if (path == "-") {
    io.out << content;
    io.out.flush();
    return static_cast<bool>(io.out);
  }
  if (std::optional<std::string> problem = FileStartsAsTable(path) ? std::nullopt : ReportTargetProblem(path, {})) {
    PrintProblem(io, RunnerText(*problem));  // a table never takes the place of run settings
    return false;
  }
  const std::optional<std::string> reason =
      SafelyReplaceFile(path, [&content](std::ostream& out) { out << content; });
  if (!reason) return true;
  PrintProblem(io, "cannot write the " + what + " to " + path + ": " + *reason);
  return false;
}

std::string Number(double value) { return ShortestNumber(value); }

std::optional<std::string> TableRecordPath(const std::optional<std::string>& table) {
  if (!table || *table == "-" || IsDeviceOrPipe(PathFromUtf8(*table))) return std::nullopt;
  std::error_code code;
  const std::filesystem::file_status status = std::filesystem::status(PathFromUtf8(*table), code);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) return std::nullopt;
  return PathToUtf8(RecordPathBeside(PathFromUtf8(*table)));
}

std::optional<int> CheckTableFiles(const ExperimentOptions& options,
                                   const std::vector<std::pair<std::string, std::optional<std::string>>>& reads,
                                   CliStreams& io) {
  CommandFiles files;
  for (const auto& [what, path] : reads) files.Reads(what, path);
  files.Writes("--csv", options.csv);
  files.Writes("--cycles", options.cycles);
  files.Writes("--points", options.points);
  files.Writes("the record beside --csv", TableRecordPath(options.csv));
  files.Writes("the record beside --points", TableRecordPath(options.points));
  files.Writes("the record beside --cycles", TableRecordPath(options.cycles));
  if (std::optional<std::string> problem = files.Problem()) return UsageError(io, *problem);
  return std::nullopt;
}

// Runs the table's points (the shard's slice of them, those not yet in a table
// to resume) and writes the table to --csv; `kept`, when given, receives every
// point's outcome, and the table is then optional.
int RunPointTable(const PointTable& table, const ExperimentOptions& options, CliStreams& io,
                  std::vector<PointOutcome>* kept) {
  if (!options.csv && kept == nullptr) {
    return UsageError(io, table.command + " needs --csv PATH (or --csv - for standard output)");
  }
  if (!options.csv && (options.resume || options.shard)) {
    return UsageError(io, "--shard and --resume need a table to write: --csv PATH (for sensitivity, --points PATH)");
  }
  if (options.resume && *options.csv == "-") return UsageError(io, "--resume needs --csv PATH, a file to continue");
  if (options.resume && options.cycles) {
    return UsageError(io, "--resume continues the table of --csv only; run without --cycles, or without --resume");
  }
  if (options.cycles && options.cycles == options.csv) return UsageError(io, "--cycles and --csv name the same file");
  if (std::optional<int> status = CheckTableFiles(options, {}, io)) return *status;
  int k = 1, n = 1;
  if (options.shard) {
    if (auto problem = ParseShard(*options.shard, k, n)) return UsageError(io, *problem);
  }

  TableRun run;
  run.replicates = static_cast<std::size_t>(options.replicates);
  for (std::size_t d = 0; d < table.settings.size(); ++d) {
    if (auto problem = SeedRangeProblem(table.seeds[d], run.replicates)) return UsageError(io, *problem);
  }
  for (std::size_t d = 0; d < table.settings.size(); ++d) {
    for (std::size_t r = 0; r < run.replicates; ++r) {
      run.points.push_back({table.settings[d], table.seeds[d] + static_cast<std::uint32_t>(r)});
    }
  }
  run.slice = SliceOf(run.points.size(), k, n);
  run.k = k;
  run.n = n;
  run.sharded = options.shard.has_value();
  run.fingerprint = DesignFingerprint(table.description + "replicates=" + std::to_string(run.replicates) +
                                      ";version=" + VersionText() + ";");
  const std::string& fingerprint = run.fingerprint;
  const std::string stampLine =
      run.sharded ? ShardStamp(k, n, fingerprint, run.points.size(), run.replicates) + "\n" : std::string();
  run.prefix = stampLine + RunTableHeader(table.leadColumns, table.statistics);

  std::vector<std::string> rows(run.points.size());
  if (options.resume) {
    if (auto problem = ResumedRows(*options.csv, run, table, rows, io)) {
      PrintProblem(io, *problem);
      io.err << "Nothing was run.\n";
      return ExitUsage;
    }
  }
  std::vector<bool> todo(run.points.size(), false);
  std::size_t todoCount = 0, resumed = 0;
  for (std::size_t i = run.slice.begin; i < run.slice.end; ++i) {
    todo[i] = rows[i].empty();
    todoCount += todo[i] ? 1 : 0;
    resumed += todo[i] ? 0 : 1;
  }

  const auto startTime = std::chrono::system_clock::now();
  const auto started = std::chrono::steady_clock::now();
  ExperimentControl control;
  control.threads = options.threads.value_or(0);
  control.keepCycles = options.cycles.has_value();
  control.window = options.window;
  std::stop_source stop;
  control.stop = stop.get_token();
  std::vector<PointOutcome> outcomes;
  {
    InterruptionWatch interruption([&stop] { stop.request_stop(); });
    ProgressLine progress(
        io.err, control.pointsDone,
        [todoCount](std::uint64_t done, double elapsed) { return CountProgressText("Runs", done, todoCount, elapsed); },
        StandardErrorIsTerminal());
    outcomes = RunPoints(run.points, control, todo);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const bool stopped = InterruptionFlag().load();

  std::error_code ignoredCode;
  std::size_t ran = 0, invalid = 0, failed = 0;
  std::string csv = run.prefix;
  for (std::size_t i = run.slice.begin; i < run.slice.end; ++i) {
    if (todo[i] && outcomes[i].status != PointStatus::NotRun) rows[i] = RowText(table, run, i, outcomes[i]);
    ran += outcomes[i].status == PointStatus::Ran ? 1 : 0;
    invalid += outcomes[i].status == PointStatus::Invalid ? 1 : 0;
    failed += outcomes[i].status == PointStatus::Failed ? 1 : 0;
    csv += rows[i];
  }
  const std::size_t done = ran + invalid + failed;
  TableRecordFacts facts{&table, &run, startTime, seconds, ran, invalid, failed, resumed, !stopped};
  const auto writeRecord = [&](const std::string& tablePath) {
    if (tablePath == "-" || IsDeviceOrPipe(PathFromUtf8(tablePath)) ||
        !std::filesystem::is_regular_file(PathFromUtf8(tablePath), ignoredCode)) {
      return true;
    }
    const std::string record = TableRecordJson(facts);
    return WriteTable(PathToUtf8(RecordPathBeside(PathFromUtf8(tablePath))), "record of the table", record, io);
  };
  if (stopped) {
    io.err << "\nStopped after " << done << " of " << todoCount << " runs.";
    if (options.resume && WriteTable(*options.csv, "table", csv, io) && writeRecord(*options.csv)) {
      io.err << " Their rows are in " << *options.csv << "; run the same command again to finish.\n";
    } else {
      io.err << " Nothing was written.\n";
    }
    return InterruptedExitStatus(InterruptionSignal());
  }

  const bool toStandardOutput = options.csv && *options.csv == "-";
  std::ostream& summary = toStandardOutput || table.summaryToError ? io.err : io.out;
  if (run.sharded) csv += ShardClosing(k, n, run.slice.end - run.slice.begin) + "\n";
  if (options.csv && !WriteTable(*options.csv, "table", csv, io)) return ExitFailure;
  if (options.csv && !writeRecord(*options.csv)) return ExitFailure;
  if (kept != nullptr) {
    *kept = outcomes;
    const std::size_t statusColumn = 3 + table.leadColumns.size();
    for (std::size_t i = run.slice.begin; i < run.slice.end; ++i) {
      if (todo[i]) continue;
      const CsvRead row = ReadCsv(rows[i]);
      if (row.records.size() != 1) continue;
      if (std::optional<PointOutcome> outcome = OutcomeOfRow(row.records[0].cells, statusColumn, table.statistics)) {
        (*kept)[i] = *outcome;
      }
    }
  }
  if (options.cycles) {
    std::string cycles = stampLine + "point,replicate,cycle,female,herm,male,aborted\n";
    std::size_t cycleRows = 0;
    for (std::size_t i = run.slice.begin; i < run.slice.end; ++i) {
      const std::string lead =
          std::to_string(i / run.replicates + 1) + "," + std::to_string(i % run.replicates + 1) + ",";
      for (std::size_t c = 0; c < outcomes[i].cycles.size(); ++c) {
        const CycleResult& row = outcomes[i].cycles[c];
        ++cycleRows;
        cycles += lead + std::to_string(c + 1) + "," + Number(row.female) + "," + Number(row.herm) + "," +
                  Number(row.male) + "," + Number(row.aborted) + "\n";
      }
    }
    if (run.sharded) cycles += ShardClosing(k, n, cycleRows) + "\n";
    if (!WriteTable(*options.cycles, "cycle table", cycles, io)) return ExitFailure;
    if (!writeRecord(*options.cycles)) return ExitFailure;
  }
  summary << table.command << ": " << done << (done == 1 ? " run" : " runs");
  if (options.shard) summary << " (shard " << k << " of " << n << ", design " << fingerprint << ")";
  if (resumed > 0) summary << ", " << resumed << " more taken from the table";
  summary << "; " << ran << " completed, " << invalid << " refused by a rule, " << failed << " failed.\n";
  if (options.csv && !toStandardOutput) summary << "Table written to " << *options.csv << ".\n";
  if (options.cycles) summary << "Cycle table written to " << *options.cycles << ".\n";
  return ExitSuccess;
}

std::uint32_t BaseSeed(const ExperimentOptions& options, CliStreams& io) {
  if (options.seed) return *options.seed;
  // Never so close to the last seed that the replicates after it would pass it.
  const auto replicates = static_cast<std::uint64_t>(std::max(options.replicates, 1));
  const auto seed = static_cast<std::uint32_t>(FreshSeed() % ((std::uint64_t{1} << 32) - (replicates - 1)));
  io.err << "Seed " << seed << " (repeat these runs with --seed " << seed << ").\n";
  return seed;
}

// The outcomes of a design's runs from the whole table of them (merged from
// shards, say); answers why not when the table is of another design.
std::optional<std::string> OutcomesFromTable(const std::string& path, const PointTable& table, std::size_t replicates,
                                             std::vector<PointOutcome>& outcomes, CliStreams& io) {
  const std::optional<std::string> text = ReadWholeFile(path, io);
  if (!text) return path + " could not be read";
  std::string header = RunTableHeader(table.leadColumns, table.statistics);
  header.pop_back();  // the record's text holds no line break
  const CsvRead read = ReadCsv(*text);
  const std::vector<CsvRecord>& records = read.records;
  if (records.empty() || records[0].text != header) {
    return path + " is no table of runs of these factors and statistics (its header differs)";
  }
  if (read.openQuoteLine) return path + " line " + std::to_string(*read.openQuoteLine) + " leaves a quote open";
  const std::size_t runs = table.settings.size() * replicates;
  if (records.size() - 1 != runs) {
    return path + " holds " + std::to_string(records.size() - 1) + " runs; this design has " + std::to_string(runs) +
           " (are all the parts merged?)";
  }
  outcomes.assign(runs, {});
  const std::size_t k = table.leadColumns.size();
  for (std::size_t i = 0; i < runs; ++i) {
    const std::size_t point = i / replicates;
    const std::size_t replicate = i % replicates;
    const std::vector<std::string>& cells = records[i + 1].cells;
    std::optional<PointOutcome> outcome = OutcomeOfRow(cells, 3 + k, table.statistics);
    std::string lead;
    for (std::size_t f = 0; f < k && f + 1 < cells.size(); ++f) lead += (f == 0 ? "" : ",") + cells[f + 1];
    if (!outcome || cells[0] != std::to_string(point + 1) || lead != table.leadCells[point] ||
        cells[1 + k] != std::to_string(replicate + 1) ||
        cells[2 + k] != std::to_string(table.seeds[point] + static_cast<std::uint32_t>(replicate))) {
      return path + " line " + std::to_string(records[i + 1].line) + " is not run " + std::to_string(i + 1) +
             " of this design (other values, seed or outputs)";
    }
    outcomes[i] = *outcome;
  }
  return std::nullopt;
}

void ChooseStatistics(PointTable& table, const ExperimentOptions& options, std::vector<Statistic> defaults) {
  table.statistics = options.statistics.empty() ? std::move(defaults) : options.statistics;
  if (!options.statistics.empty()) table.description += "stat=" + StatisticsHeader(table.statistics) + ";";
  if (options.window) table.description += "window=" + CyclesWindowText(*options.window) + ";";
}
