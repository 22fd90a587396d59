#include "cli/PointTables.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

#include "cli/Messages.h"
#include "cli/ProgressLine.h"
#include "cli/RunOptions.h"
#include "cli/SettingsFiles.h"
#include "platform/CsvText.h"
#include "platform/FileIO.h"
#include "platform/Interrupts.h"
#include "results/ResultsTable.h"
#include "run/ReportTarget.h"

namespace {

const char* const OutcomeColumns = "replicate,seed,status,meanFemale,meanHerm,meanMale,meanAborted,period,strength,message";

std::string OutcomeCells(const PointOutcome& outcome) {
  switch (outcome.status) {
    case PointStatus::Ran: {
      const CycleAnalysis& a = outcome.analysis;
      return "ok," + Number(a.meanFemale) + "," + Number(a.meanHerm) + "," + Number(a.meanMale) + "," +
             Number(a.meanAborted) + "," + std::to_string(a.period) + "," + Number(a.strength) + ",";
    }
    case PointStatus::Invalid: return "invalid,,,,,,," + CsvCell(outcome.message);
    case PointStatus::Failed: return "failed,,,,,,," + CsvCell(outcome.message);
    case PointStatus::NotRun: break;
  }
  return "";
}

// The outcome a table's row gives, its status in cells[statusColumn]; nothing
// when the row is not one this program writes.
std::optional<PointOutcome> OutcomeOfRow(const std::vector<std::string>& cells, std::size_t statusColumn) {
  if (cells.size() != statusColumn + 8) return std::nullopt;
  PointOutcome outcome;
  const std::string& status = cells[statusColumn];
  outcome.message = cells[statusColumn + 7];
  if (status == "invalid") outcome.status = PointStatus::Invalid;
  else if (status == "failed") outcome.status = PointStatus::Failed;
  if (status != "ok") return status == "invalid" || status == "failed" ? std::optional(outcome) : std::nullopt;
  outcome.status = PointStatus::Ran;
  double* means[] = {&outcome.analysis.meanFemale, &outcome.analysis.meanHerm, &outcome.analysis.meanMale,
                     &outcome.analysis.meanAborted, &outcome.analysis.strength};
  const std::size_t columns[] = {1, 2, 3, 4, 6};
  for (int m = 0; m < 5; ++m) {
    const std::string& cell = cells[statusColumn + columns[m]];
    const auto read = std::from_chars(cell.data(), cell.data() + cell.size(), *means[m]);
    if (cell.empty() || read.ec != std::errc() || read.ptr != cell.data() + cell.size()) return std::nullopt;
  }
  const std::optional<std::int64_t> period = ReadWholeNumber<std::int64_t>(cells[statusColumn + 5], Sign::Allowed);
  if (!period) return std::nullopt;
  outcome.analysis.period = *period;
  return outcome;
}
struct TableRun {
  std::vector<ExperimentPoint> points;
  std::size_t replicates = 1;
  ShardSlice slice;
  std::string prefix;  // stamp line (shards) and header
};

std::string RowText(const PointTable& table, const TableRun& run, std::size_t i, const PointOutcome& outcome) {
  const std::size_t design = i / run.replicates;
  std::string row = std::to_string(design + 1);
  if (!table.leadColumns.empty()) row += "," + table.leadCells[design];
  row += "," + std::to_string(i % run.replicates + 1) + "," + std::to_string(run.points[i].seed) + "," +
         OutcomeCells(outcome) + "\n";
  return row;
}

// Reads the rows an earlier, stopped run left in its table; answers a problem
// when the file is of another design.
std::optional<std::string> ResumedRows(const std::string& path, const TableRun& run, const PointTable& table,
                                       std::vector<std::string>& rows, CliStreams& io) {
  std::error_code ignored;
  if (!std::filesystem::exists(PathFromUtf8(path), ignored)) return std::nullopt;
  const std::optional<std::string> text = ReadWholeFile(path, io);
  if (!text) return "the table to resume could not be read";
  if (text->empty()) return std::nullopt;
  if (text->compare(0, run.prefix.size(), run.prefix) != 0) {
    return path + " is not a table of this " + table.command +
           " (its first lines differ); name another --csv, or leave out --resume to start afresh";
  }
  const CsvRead read = ReadCsv(std::string_view(*text).substr(run.prefix.size()));
  const auto prefixLines = static_cast<std::size_t>(std::count(run.prefix.begin(), run.prefix.end(), '\n'));
  if (read.openQuoteLine) {
    return path + " line " + std::to_string(*read.openQuoteLine + prefixLines) + " is no row of this " + table.command;
  }
  const std::size_t replicateColumn = 1 + table.leadColumns.size();
  for (const CsvRecord& record : read.records) {
    if (record.text.empty()) continue;
    const std::vector<std::string>& cells = record.cells;
    std::optional<std::size_t> point, replicate;
    if (cells.size() > replicateColumn) {
      point = ReadWholeNumber<std::size_t>(cells[0]);
      replicate = ReadWholeNumber<std::size_t>(cells[replicateColumn]);
    }
    if (!point || !replicate || *point < 1 || *replicate < 1 || *replicate > run.replicates) {
      return path + " line " + std::to_string(record.line + prefixLines) + " is no row of this " + table.command;
    }
    const std::size_t i = (*point - 1) * run.replicates + (*replicate - 1);
    if (i < run.slice.begin || i >= run.slice.end) {
      return path + " holds point " + std::to_string(*point) + ", which is not in this run's points";
    }
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

// The numeric settings as text, for a design's fingerprint: texts do not change
// results, so notes may differ between shards.
std::string NumericSettingsText(const RunSettings& settings) {
  std::string text;
  for (const FieldInfo& field : RunSettingsFields()) {
    if (field.integer != nullptr) text += std::string(field.name) + "=" + std::to_string(settings.*(field.integer)) + ";";
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
  if (std::optional<std::string> problem = ReportTargetProblem(path, {})) {
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
  for (const std::optional<std::string>& target : {options.csv, options.cycles}) {
    if (!target || *target == "-") continue;
    if (std::optional<std::string> problem = ReportTargetProblem(*target, {})) {
      PrintProblem(io, RunnerText(*problem));
      io.err << "Nothing was run.\n";
      return ExitUsage;
    }
  }
  int k = 1, n = 1;
  if (options.shard) {
    if (auto problem = ParseShard(*options.shard, k, n)) return UsageError(io, *problem);
  }

  TableRun run;
  run.replicates = static_cast<std::size_t>(options.replicates);
  for (std::size_t d = 0; d < table.settings.size(); ++d) {
    for (std::size_t r = 0; r < run.replicates; ++r) {
      run.points.push_back({table.settings[d], table.seeds[d] + static_cast<std::uint32_t>(r)});
    }
  }
  run.slice = SliceOf(run.points.size(), k, n);
  const std::string fingerprint = DesignFingerprint(table.description + "replicates=" + std::to_string(run.replicates));
  std::string header = "point";
  for (const std::string& column : table.leadColumns) header += "," + CsvCell(column);
  header += std::string(",") + OutcomeColumns + "\n";
  run.prefix = (options.shard ? ShardStamp(k, n, fingerprint) + "\n" : std::string()) + header;

  std::vector<std::string> rows(run.points.size());
  if (options.resume) {
    if (auto problem = ResumedRows(*options.csv, run, table, rows, io)) {
      PrintProblem(io, *problem);
      io.err << "Nothing was run.\n";
      return ExitFailure;
    }
  }
  std::vector<bool> todo(run.points.size(), false);
  std::size_t todoCount = 0, resumed = 0;
  for (std::size_t i = run.slice.begin; i < run.slice.end; ++i) {
    todo[i] = rows[i].empty();
    todoCount += todo[i] ? 1 : 0;
    resumed += todo[i] ? 0 : 1;
  }

  ExperimentControl control;
  control.threads = options.threads.value_or(0);
  control.keepCycles = options.cycles.has_value();
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
  const bool stopped = InterruptionFlag().load();

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
  if (stopped) {
    io.err << "\nStopped after " << done << " of " << todoCount << " runs.";
    if (options.resume && WriteTable(*options.csv, "table", csv, io)) {
      io.err << " Their rows are in " << *options.csv << "; run the same command again to finish.\n";
    } else {
      io.err << " Nothing was written.\n";
    }
    return InterruptedExitStatus(InterruptionSignal());
  }

  const bool toStandardOutput = options.csv && *options.csv == "-";
  std::ostream& summary = toStandardOutput || table.summaryToError ? io.err : io.out;
  if (options.csv && !WriteTable(*options.csv, "table", csv, io)) return ExitFailure;
  if (kept != nullptr) {
    *kept = outcomes;
    const std::size_t statusColumn = 3 + table.leadColumns.size();
    for (std::size_t i = run.slice.begin; i < run.slice.end; ++i) {
      if (todo[i]) continue;
      const CsvRead row = ReadCsv(rows[i]);
      if (row.records.size() != 1) continue;
      if (std::optional<PointOutcome> outcome = OutcomeOfRow(row.records[0].cells, statusColumn)) {
        (*kept)[i] = *outcome;
      }
    }
  }
  if (options.cycles) {
    std::string cycles = (options.shard ? ShardStamp(k, n, fingerprint) + "\n" : std::string()) +
                         "point,replicate,cycle,female,herm,male,aborted\n";
    for (std::size_t i = run.slice.begin; i < run.slice.end; ++i) {
      const std::string lead =
          std::to_string(i / run.replicates + 1) + "," + std::to_string(i % run.replicates + 1) + ",";
      for (std::size_t c = 0; c < outcomes[i].cycles.size(); ++c) {
        const CycleResult& row = outcomes[i].cycles[c];
        cycles += lead + std::to_string(c + 1) + "," + Number(row.female) + "," + Number(row.herm) + "," +
                  Number(row.male) + "," + Number(row.aborted) + "\n";
      }
    }
    if (!WriteTable(*options.cycles, "cycle table", cycles, io)) return ExitFailure;
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
  const std::uint32_t seed = FloweringModel::ClockSeed();
  io.err << "Seed " << seed << " (repeat these runs with --seed " << seed << ").\n";
  return seed;
}

// The outcomes of a design's runs from the whole table of them (merged from
// shards, say); answers why not when the table is of another design.
std::optional<std::string> OutcomesFromTable(const std::string& path, const PointTable& table,
                                             std::vector<PointOutcome>& outcomes, CliStreams& io) {
  const std::optional<std::string> text = ReadWholeFile(path, io);
  if (!text) return path + " could not be read";
  std::string header = "point";
  for (const std::string& column : table.leadColumns) header += "," + CsvCell(column);
  header += std::string(",") + OutcomeColumns;
  const CsvRead read = ReadCsv(*text);
  const std::vector<CsvRecord>& records = read.records;
  if (records.empty() || records[0].text != header) {
    return path + " is no table of runs of these factors (its header differs)";
  }
  if (read.openQuoteLine) return path + " line " + std::to_string(*read.openQuoteLine) + " leaves a quote open";
  if (records.size() - 1 != table.settings.size()) {
    return path + " holds " + std::to_string(records.size() - 1) + " runs; this design has " +
           std::to_string(table.settings.size()) + " (are all the parts merged?)";
  }
  outcomes.assign(table.settings.size(), {});
  const std::size_t k = table.leadColumns.size();
  for (std::size_t i = 0; i < table.settings.size(); ++i) {
    const std::vector<std::string>& cells = records[i + 1].cells;
    std::optional<PointOutcome> outcome = OutcomeOfRow(cells, 3 + k);
    std::string lead;
    for (std::size_t f = 0; f < k && f + 1 < cells.size(); ++f) lead += (f == 0 ? "" : ",") + cells[f + 1];
    if (!outcome || cells[0] != std::to_string(i + 1) || lead != table.leadCells[i] ||
        cells[2 + k] != std::to_string(table.seeds[i])) {
      return path + " line " + std::to_string(records[i + 1].line) + " is not run " + std::to_string(i + 1) +
             " of this design (other values, seed or outputs)";
    }
    outcomes[i] = *outcome;
  }
  return std::nullopt;
}
