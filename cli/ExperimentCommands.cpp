#include "cli/ExperimentCommands.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <sstream>

#include "cli/SettingsFileCommands.h"
#include "cli/ProgressLine.h"
#include "experiments/Experiments.h"
#include "platform/CsvText.h"
#include "platform/FileIO.h"
#include "platform/Interrupts.h"
#include "results/ResultsTable.h"
#include "run/ReportTarget.h"

const char* const SweepUsage =
    "[FILE.dat] [--set NAME=VALUE]... --vary NAME=FROM:TO[:STEP]... [--replicates N] [--seed N]\n"
    "        --csv PATH|- [--cycles PATH] [--threads N] [--shard K/N] [--resume]";
const char* const BatchUsage =
    "DESIGN.csv [--settings FILE.dat] [--set NAME=VALUE]... [--replicates N] [--seed N] --csv PATH|-\n"
    "        [--cycles PATH] [--threads N] [--shard K/N] [--resume]";
const char* const SensitivityUsage =
    "[FILE.dat] [--set NAME=VALUE]... --factor NAME=LOW:HIGH... --method morris|sobol [--seed N]\n"
    "        [--trajectories N] [--levels N] [--samples N] [--bootstrap N] [--csv PATH|-] [--threads N]\n"
    "        [--points PATH [--shard K/N] [--resume] | --from-points PATH]";
const char* const MergeUsage = "PART.csv... -o ALL.csv";

namespace {

// ------------------------------------------------------------------ options

struct ExperimentOptions {
  std::vector<std::string> assignments;
  std::vector<std::string> vary;
  std::vector<std::string> factors;
  std::optional<std::uint32_t> seed;
  std::int32_t replicates = 1;
  std::optional<std::string> csv;
  std::optional<std::string> cycles;
  std::optional<std::string> settingsFile;
  std::optional<std::string> shard;
  std::optional<std::string> method;
  std::optional<std::string> output;
  std::optional<std::string> points;
  std::optional<std::string> fromPoints;
  std::int32_t threads = 0;
  std::int32_t trajectories = 20;
  std::int32_t levels = 4;
  std::int32_t samples = 256;
  std::int32_t bootstrap = 200;
  bool resume = false;
  std::vector<std::string> positional;
};

// Parses the options `allowed` names (each "--name"); fills error on a problem.
std::optional<ExperimentOptions> ParseExperimentOptions(const std::vector<std::string>& args,
                                                        const std::vector<std::string>& allowed,
                                                        const std::string& command, std::string& error) {
  ExperimentOptions options;
  const auto allowedList = [&] {
    std::string list;
    for (const std::string& name : allowed) list += (list.empty() ? "" : ", ") + name;
    return list;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || arg[0] != '-' || arg == "-") {
      options.positional.push_back(arg);
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
      error = "unknown option \"" + arg + "\" (" + command + " accepts " + allowedList() + ")";
      return std::nullopt;
    }
    if (name == "--resume") {
      options.resume = true;
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      error = name + " needs a value";
      return std::nullopt;
    }
    const auto count = [&](std::int32_t& field, std::int32_t low, std::int32_t high, const char* what) {
      const std::optional<std::int32_t> number = ReadWholeNumber<std::int32_t>(value);
      if (!number || *number < low || *number > high) {
        error = name + " " + value + ": " + what + ", a whole number from " + std::to_string(low) + " to " +
                std::to_string(high);
        return false;
      }
      field = *number;
      return true;
    };
    bool ok = true;
    if (name == "--set") options.assignments.push_back(value);
    else if (name == "--vary") options.vary.push_back(value);
    else if (name == "--factor") options.factors.push_back(value);
    else if (name == "--csv") options.csv = value;
    else if (name == "--cycles") options.cycles = value;
    else if (name == "--settings") options.settingsFile = value;
    else if (name == "--shard") options.shard = value;
    else if (name == "--method") options.method = value;
    else if (name == "-o") options.output = value;
    else if (name == "--points") options.points = value;
    else if (name == "--from-points") options.fromPoints = value;
    else if (name == "--replicates") ok = count(options.replicates, 1, 100000, "the number of replicates");
    else if (name == "--threads") ok = count(options.threads, 1, 1024, "the number of threads");
    else if (name == "--trajectories") ok = count(options.trajectories, 2, 100000, "the number of trajectories");
    else if (name == "--levels") ok = count(options.levels, 2, 1000, "the number of grid levels");
    else if (name == "--samples") ok = count(options.samples, 2, 10000000, "the number of base samples");
    else if (name == "--bootstrap") ok = count(options.bootstrap, 0, 100000, "the number of bootstrap resamples");
    else if (name == "--seed") {
      options.seed = ReadWholeNumber<std::uint32_t>(value);
      if (!options.seed) {
        error = "--seed " + value + ": the seed must be a whole number from 0 to 4294967295";
        ok = false;
      }
    }
    if (!ok) return std::nullopt;
  }
  return options;
}

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

// ------------------------------------------------------------------ files

// Writes a table through the safe replacement (or to standard output for "-");
// prints why on failure.
bool WriteTable(const std::string& path, const std::string& what, const std::string& content, CliStreams& io) {
  if (path == "-") {
    io.out << content;
    io.out.flush();
    return static_cast<bool>(io.out);
  }
  if (std::optional<std::string> problem = ReportTargetProblem(path, {})) {
    io.err << "varnolt-cli: " << *problem << "\n";  // a table never takes the place of run settings
    return false;
  }
  const std::optional<std::string> reason =
      SafelyReplaceFile(path, [&content](std::ostream& out) { out << content; });
  if (!reason) return true;
  io.err << "varnolt-cli: the " << what << " could not be written to \"" << path << "\": " << *reason << ".\n";
  return false;
}

// ------------------------------------------------------------------ tables of points

const char* const OutcomeColumns = "replicate,seed,status,meanFemale,meanHerm,meanMale,meanAborted,period,strength,message";

std::string Number(double value) { return ShortestNumber(value); }

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

// A design of points, each run `replicates` times: the table's rows are design
// point after design point, replicate after replicate.
struct PointTable {
  std::string command;                   // for messages and the fingerprint
  std::vector<std::string> leadColumns;  // header cells after "point"
  std::vector<std::string> leadCells;    // per design point: its cells after the point number, joined
  std::vector<RunSettings> settings;     // per design point
  std::vector<std::uint32_t> seeds;      // per design point: the seed of replicate 1
  std::string description;               // what defines the design, for its fingerprint
  bool summaryToError = false;           // standard output carries another table
};

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

// Runs the table's points (the shard's slice of them, those not yet in a table
// to resume) and writes the table to --csv; `kept`, when given, receives every
// point's outcome, and the table is then optional.
int RunPointTable(const PointTable& table, const ExperimentOptions& options, CliStreams& io,
                  std::vector<PointOutcome>* kept = nullptr) {
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
      io.err << "varnolt-cli: " << *problem << "\nNothing was run.\n";
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
      io.err << "varnolt-cli: " << *problem << ".\nNothing was run.\n";
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
  control.threads = options.threads;
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

// ------------------------------------------------------------------ replicates

std::string SpreadText(std::span<const double> values, int decimals) {
  const Spread spread = SpreadOf(values);
  std::ostringstream text;
  text.setf(std::ios::fixed);
  text.precision(decimals);
  text << spread.mean << " (sd " << spread.sd << ", 95 % CI +-" << spread.ci95 << ")";
  return text.str();
}

}  // namespace

// ------------------------------------------------------------------ commands

std::optional<std::string> CheckReplicateOptions(const RunOptions& options) {
  if (options.replicates > 1 && (options.json || options.plot)) {
    return "--replicates gives the CSV of mean and spread; --json and --plot describe a single run";
  }
  return std::nullopt;
}

int FinishReplicates(const FloweringModel& model, const RunSettings& settings, const RunOutcome& first,
                     const RunOptions& options, const std::string& source, CliStreams& io) {
  const auto count = static_cast<std::size_t>(options.replicates);
  std::vector<ExperimentPoint> points(count);
  for (std::size_t r = 0; r < count; ++r) points[r] = {settings, first.seed + static_cast<std::uint32_t>(r)};
  std::vector<bool> todo(count, true);
  todo[0] = false;  // replicate 1 has run, and its report is written
  ExperimentControl control;
  control.keepCycles = true;
  if (options.threads) control.threads = *options.threads;
  std::stop_source stop;
  control.stop = stop.get_token();
  std::vector<PointOutcome> outcomes;
  {
    InterruptionWatch interruption([&stop] { stop.request_stop(); });
    ProgressLine progress(
        io.err, control.pointsDone,
        [count](std::uint64_t done, double elapsed) {
          return CountProgressText("Replicates", done, count - 1, elapsed);
        },
        StandardErrorIsTerminal());
    outcomes = RunPoints(points, control, todo);
  }
  if (InterruptionFlag().load()) {
    io.err << "\nStopped; the report of replicate 1 is written, no table.\n";
    return InterruptedExitStatus(InterruptionSignal());
  }
  const std::span<const CycleResult> firstCycles = CyclesOf(model.cycleResults);
  outcomes[0].status = PointStatus::Ran;
  outcomes[0].analysis = AnalyseCycles(firstCycles);
  outcomes[0].cycles.assign(firstCycles.begin(), firstCycles.end());
  for (const PointOutcome& outcome : outcomes) {
    if (outcome.status != PointStatus::Ran) {
      io.err << "varnolt-cli: a replicate failed: " << outcome.message << "\n";
      return ExitFailure;
    }
  }

  const bool toStandardOutput = options.output && *options.output == "-";
  const bool outputTaken = toStandardOutput || (options.csv && *options.csv == "-");
  std::ostream& summary = outputTaken ? io.err : io.out;
  if (options.csv) {
    std::string csv = "cycle";
    for (const char* name : {"female", "herm", "male", "aborted"}) {
      csv += std::string(",") + name + "Mean," + name + "Sd," + name + "Ci95";
    }
    csv += "\n";
    std::vector<double> values(count);
    for (std::size_t c = 0; c < firstCycles.size(); ++c) {
      csv += std::to_string(c + 1);
      for (double CycleResult::*field : {&CycleResult::female, &CycleResult::herm, &CycleResult::male,
                                         &CycleResult::aborted}) {
        for (std::size_t r = 0; r < count; ++r) values[r] = outcomes[r].cycles[c].*field;
        const Spread spread = SpreadOf(values);
        csv += "," + Number(spread.mean) + "," + Number(spread.sd) + "," + Number(spread.ci95);
      }
      csv += "\n";
    }
    if (!WriteTable(*options.csv, "CSV table", csv, io)) return ExitFailure;
  }
  summary << "Ran " << count << " replicates of " << settings.cycleCount << " cycles of " << settings.palmCount
          << " palms from " << source << ", seeds " << first.seed << " to "
          << first.seed + static_cast<std::uint32_t>(count - 1) << "; the report of replicate 1 is written to "
          << (toStandardOutput ? std::string("standard output") : settings.outputPath) << ".\n";
  std::vector<double> period, strength, female, herm, male, aborted;
  for (std::size_t r = 0; r < count; ++r) {
    const CycleAnalysis& a = outcomes[r].analysis;
    summary << "Replicate " << r + 1 << " (seed " << points[r].seed << "): " << AnalysisLine(a) << ".\n";
    period.push_back(static_cast<double>(a.period));
    strength.push_back(a.strength);
    female.push_back(a.meanFemale);
    herm.push_back(a.meanHerm);
    male.push_back(a.meanMale);
    aborted.push_back(a.meanAborted);
  }
  summary << "Over the replicates: period " << SpreadText(period, 1) << " cycles, strength "
          << SpreadText(strength, 2) << "; mean female " << SpreadText(female, 2) << " %, hermaphrodite "
          << SpreadText(herm, 2) << " %, male " << SpreadText(male, 2) << " %, aborted " << SpreadText(aborted, 2)
          << " %.\n";
  if (options.csv && *options.csv != "-") summary << "Per-cycle mean and spread written to " << *options.csv << ".\n";
  return ExitSuccess;
}

int SweepCommand(const std::vector<std::string>& args, CliStreams& io) {
  std::string error;
  const std::optional<ExperimentOptions> options = ParseExperimentOptions(
      args, {"--set", "--vary", "--replicates", "--seed", "--csv", "--cycles", "--threads", "--shard", "--resume"},
      "sweep", error);
  if (!options) return UsageError(io, error);
  if (options->positional.size() > 1) return UsageError(io, "sweep takes at most one settings file");
  if (options->vary.empty()) return UsageError(io, "sweep needs at least one --vary NAME=FROM:TO[:STEP]");
  if ((options->shard || options->resume) && !options->seed) {
    return UsageError(io, "--shard and --resume need --seed N, so that every part runs the same seeds");
  }
  std::vector<SweepFactor> factors(options->vary.size());
  for (std::size_t f = 0; f < factors.size(); ++f) {
    if (auto problem = ParseSweepFactor(options->vary[f], factors[f])) return UsageError(io, *problem);
    for (std::size_t g = 0; g < f; ++g) {
      if (factors[g].name == factors[f].name) return UsageError(io, factors[f].name + " is varied twice");
    }
  }
  double total = 1.0;
  for (const SweepFactor& factor : factors) total *= static_cast<double>(factor.values.size());
  if (total * options->replicates > 1e8) return UsageError(io, "the sweep has more than 100 million runs");

  int status = ExitSuccess;
  const std::optional<RunSettings> base = BaseSettingsOfFirstArgument(*options, io, status);
  if (!base) return status;
  const std::uint32_t seed = BaseSeed(*options, io);

  PointTable table;
  table.command = "sweep";
  table.description = "sweep;" + NumericSettingsText(*base) + "seed=" + std::to_string(seed) + ";";
  for (const SweepFactor& factor : factors) {
    table.leadColumns.push_back(factor.name);
    table.description += factor.name + "=";
    for (std::int32_t v : factor.values) table.description += std::to_string(v) + ",";
    table.description += ";";
  }
  for (const std::vector<std::int32_t>& level : FactorialLevels(factors)) {
    RunSettings settings = *base;
    std::string cells;
    for (std::size_t f = 0; f < factors.size(); ++f) {
      settings.*(FindField(factors[f].name)->integer) = level[f];
      cells += (f == 0 ? "" : ",") + std::to_string(level[f]);
    }
    table.settings.push_back(settings);
    table.leadCells.push_back(cells);
    table.seeds.push_back(seed);
  }
  return RunPointTable(table, *options, io);
}

int BatchCommand(const std::vector<std::string>& args, CliStreams& io) {
  std::string error;
  const std::optional<ExperimentOptions> options = ParseExperimentOptions(
      args,
      {"--settings", "--set", "--replicates", "--seed", "--csv", "--cycles", "--threads", "--shard", "--resume"},
      "batch", error);
  if (!options) return UsageError(io, error);
  if (options->positional.size() != 1) return UsageError(io, "batch takes one design, DESIGN.csv");
  const std::string& designPath = options->positional[0];
  int status = ExitSuccess;
  const std::optional<RunSettings> base = BaseSettings(options->settingsFile, options->assignments, io, status);
  if (!base) return status;
  const std::optional<std::string> text = ReadWholeFile(designPath, io);
  if (!text) {
    io.err << "Nothing was run.\n";
    return ExitFailure;
  }
  const auto refuse = [&](std::size_t line, std::size_t column, const std::string& problem) {
    io.err << "varnolt-cli: " << designPath << " line " << line;
    if (column > 0) io.err << ", column " << column;
    io.err << ": " << problem << "\nNothing was run.\n";
    return ExitUsage;
  };
  // A quoted cell (notes, say) may hold line breaks; the reader skips the byte
  // order mark spreadsheets put before UTF-8.
  const CsvRead design = ReadCsv(*text);
  if (design.openQuoteLine) return refuse(*design.openQuoteLine, 0, "a quote is left open");
  std::vector<CsvRecord> records = design.records;
  while (!records.empty() && records.back().text.empty()) records.pop_back();
  if (records.empty()) return refuse(1, 0, "the design is empty; its first line names the settings it sets");
  const std::vector<std::string>* header = &records[0].cells;
  std::optional<std::size_t> seedColumn;
  for (std::size_t c = 0; c < header->size(); ++c) {
    const std::string& name = (*header)[c];
    if (name == "seed") {
      seedColumn = c;
    } else if (FindField(name) == nullptr) {
      return refuse(1, c + 1, "unknown column \"" + name + "\"; columns are setting names (" + SettingNames() +
                                  ") or seed");
    }
    for (std::size_t d = 0; d < c; ++d) {
      if ((*header)[d] == name) return refuse(1, c + 1, "the column \"" + name + "\" is given twice");
    }
  }
  if (options->shard && !options->seed && !seedColumn) {
    return UsageError(io, "--shard needs --seed N or a seed column, so that every part runs the same seeds");
  }
  if (options->resume && !options->seed && !seedColumn) {
    return UsageError(io, "--resume needs --seed N or a seed column, so that the runs repeat the same seeds");
  }
  const std::uint32_t seed = seedColumn && !options->seed ? 0 : BaseSeed(*options, io);

  PointTable table;
  table.command = "batch";
  table.description =
      "batch;" + NumericSettingsText(*base) + "seed=" + std::to_string(seed) + ";" + records[0].text + ";";
  for (std::size_t c = 0; c < header->size(); ++c) {
    if (c != seedColumn) table.leadColumns.push_back((*header)[c]);
  }
  for (std::size_t l = 1; l < records.size(); ++l) {
    const std::vector<std::string>* cells = &records[l].cells;
    const std::size_t line = records[l].line;
    if (cells->size() != header->size()) {
      return refuse(line, 0, "the row has " + std::to_string(cells->size()) + " cells, the header " +
                                 std::to_string(header->size()));
    }
    RunSettings settings = *base;
    std::uint32_t rowSeed = seed;
    std::string lead;
    bool firstCell = true;
    for (std::size_t c = 0; c < cells->size(); ++c) {
      const std::string& name = (*header)[c];
      const std::string& value = (*cells)[c];
      if (c == seedColumn) {
        const std::optional<std::uint32_t> read = ReadWholeNumber<std::uint32_t>(value);
        if (!read) return refuse(line, c + 1, "seed \"" + value + "\" is not a whole number from 0 to 4294967295");
        rowSeed = *read;
        continue;
      }
      if (std::optional<std::string> problem = ApplyAssignment(settings, name + "=" + value)) {
        return refuse(line, c + 1, *problem);
      }
      lead += (firstCell ? "" : ",") + CsvCell(value);
      firstCell = false;
    }
    table.description += records[l].text + ";";
    table.settings.push_back(settings);
    table.leadCells.push_back(lead);
    table.seeds.push_back(rowSeed);
  }
  if (table.settings.empty()) return refuse(2, 0, "the design has no rows to run");
  return RunPointTable(table, *options, io);
}

int MergeCommand(const std::vector<std::string>& args, CliStreams& io) {
  std::string error;
  const std::optional<ExperimentOptions> options = ParseExperimentOptions(args, {"-o"}, "merge", error);
  if (!options) return UsageError(io, error);
  if (!options->output) return UsageError(io, "merge needs -o ALL.csv, the file to write");
  if (options->positional.empty()) return UsageError(io, "merge needs the parts written with --shard");
  std::vector<ShardPart> parts;
  for (const std::string& path : options->positional) {
    std::optional<std::string> text = ReadWholeFile(path, io);
    if (!text) {
      io.err << "Nothing was merged.\n";
      return ExitFailure;
    }
    parts.push_back({path, std::move(*text)});
  }
  std::string merged;
  if (std::optional<std::string> problem = MergeShards(parts, merged)) {
    io.err << "varnolt-cli: " << *problem << ".\nNothing was merged.\n";
    return ExitFailure;
  }
  if (!WriteTable(*options->output, "merged table", merged, io)) return ExitFailure;
  if (*options->output != "-") {
    io.out << "Merged " << parts.size() << (parts.size() == 1 ? " part" : " parts") << " into " << *options->output
           << ".\n";
  }
  return ExitSuccess;
}

namespace {

// The outputs a sensitivity analysis ranks the factors by.
struct SensitivityOutput {
  const char* name;
  double (*of)(const CycleAnalysis&);
};
constexpr SensitivityOutput SensitivityOutputs[] = {
    {"meanFemale", [](const CycleAnalysis& a) { return a.meanFemale; }},
    {"meanHerm", [](const CycleAnalysis& a) { return a.meanHerm; }},
    {"meanMale", [](const CycleAnalysis& a) { return a.meanMale; }},
    {"meanAborted", [](const CycleAnalysis& a) { return a.meanAborted; }},
    {"period", [](const CycleAnalysis& a) { return static_cast<double>(a.period); }},
};

std::string Fixed(double value, int width, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%*.*f", width, decimals, value);
  return text;
}

std::string Padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

}  // namespace

int SensitivityCommand(const std::vector<std::string>& args, CliStreams& io) {
  std::string error;
  const std::optional<ExperimentOptions> options = ParseExperimentOptions(
      args,
      {"--set", "--factor", "--method", "--seed", "--trajectories", "--levels", "--samples", "--bootstrap", "--csv",
       "--threads", "--points", "--shard", "--resume", "--from-points"},
      "sensitivity", error);
  if (!options) return UsageError(io, error);
  if (options->positional.size() > 1) return UsageError(io, "sensitivity takes at most one settings file");
  if (!options->method || (*options->method != "morris" && *options->method != "sobol")) {
    return UsageError(io, "sensitivity needs --method morris or --method sobol");
  }
  const bool morris = *options->method == "morris";
  if (options->factors.empty()) return UsageError(io, "sensitivity needs at least one --factor NAME=LOW:HIGH");
  std::vector<SensitivityFactor> factors(options->factors.size());
  for (std::size_t f = 0; f < factors.size(); ++f) {
    if (auto problem = ParseSensitivityFactor(options->factors[f], factors[f])) return UsageError(io, *problem);
    for (std::size_t g = 0; g < f; ++g) {
      if (factors[g].name == factors[f].name) return UsageError(io, factors[f].name + " is a factor twice");
    }
  }
  if (morris && options->levels % 2 != 0) return UsageError(io, "--levels must be even for Morris");
  if (options->fromPoints && (options->shard || options->resume || options->points)) {
    return UsageError(io, "--from-points reads the runs; it takes no --shard, --resume or --points");
  }
  if ((options->shard || options->resume) && !options->points) {
    return UsageError(io, "--shard and --resume work on the table of runs: give --points PATH");
  }
  if ((options->shard || options->resume) && !options->seed) {
    return UsageError(io, "--shard and --resume need --seed N, so that every part runs the same design");
  }
  int status = ExitSuccess;
  const std::optional<RunSettings> base = BaseSettingsOfFirstArgument(*options, io, status);
  if (!base) return status;
  const std::uint32_t seed = BaseSeed(*options, io);
  const int k = static_cast<int>(factors.size());

  // The unit cube to whole values: Morris on its grid (rounded), Sobol evenly
  // over the whole values from low to high.
  std::vector<std::vector<double>> unit;
  MorrisDesign morrisDesign;
  SaltelliDesign saltelli;
  if (morris) {
    morrisDesign = MakeMorrisDesign(k, options->trajectories, options->levels, seed);
    unit = morrisDesign.points;
  } else {
    saltelli = MakeSaltelliDesign(k, options->samples);
    unit = saltelli.points;
  }
  std::vector<ExperimentPoint> points(unit.size(), ExperimentPoint{*base, seed});
  std::vector<std::vector<double>> used(unit.size(), std::vector<double>(static_cast<std::size_t>(k)));
  for (std::size_t p = 0; p < unit.size(); ++p) {
    for (int f = 0; f < k; ++f) {
      const SensitivityFactor& factor = factors[f];
      const double range = static_cast<double>(factor.high) - factor.low;
      const double step = morris ? std::round(unit[p][f] * range)
                                 : std::min(std::floor(unit[p][f] * (range + 1.0)), range);
      points[p].settings.*(FindField(factor.name)->integer) = static_cast<std::int32_t>(factor.low + step);
      used[p][f] = step / range;
    }
  }

  PointTable table;
  table.command = "sensitivity";
  table.summaryToError = options->csv && *options->csv == "-";
  table.description = "sensitivity;" + NumericSettingsText(*base) + "seed=" + std::to_string(seed) + ";" +
                      *options->method + ";" +
                      (morris ? std::to_string(options->trajectories) + "x" + std::to_string(options->levels)
                              : std::to_string(options->samples)) + ";";
  for (const SensitivityFactor& factor : factors) {
    table.leadColumns.push_back(factor.name);
    table.description += factor.name + "=" + std::to_string(factor.low) + ":" + std::to_string(factor.high) + ";";
  }
  for (const ExperimentPoint& point : points) {
    std::string cells;
    for (int f = 0; f < k; ++f) {
      cells += (f == 0 ? "" : ",") + std::to_string(point.settings.*(FindField(factors[f].name)->integer));
    }
    table.settings.push_back(point.settings);
    table.leadCells.push_back(cells);
    table.seeds.push_back(seed);
  }
  std::vector<PointOutcome> outcomes;
  if (options->fromPoints) {
    if (std::optional<std::string> problem = OutcomesFromTable(*options->fromPoints, table, outcomes, io)) {
      io.err << "varnolt-cli: " << *problem << ".\nNothing was computed.\n";
      return ExitFailure;
    }
  } else {
    ExperimentOptions pointOptions = *options;
    pointOptions.csv = options->points;
    if (const int status = RunPointTable(table, pointOptions, io, &outcomes); status != ExitSuccess) return status;
    if (options->shard) {
      io.out << "This part holds its slice of the runs only: merge the parts, then give the whole table to\n"
                "the same command with --from-points ALL.csv (instead of --shard and --points) for the indices.\n";
      return ExitSuccess;
    }
  }
  std::size_t lost = 0;
  for (const PointOutcome& outcome : outcomes) lost += outcome.status == PointStatus::Ran ? 0 : 1;

  const bool toStandardOutput = options->csv && *options->csv == "-";
  std::ostream& report = toStandardOutput ? io.err : io.out;
  std::string csv = morris ? "output,factor,mu,muStar,sigma,effects\n"
                           : "output,factor,first,firstLow,firstHigh,total,totalLow,totalHigh,samples\n";
  report << (morris ? "Morris elementary effects" : "Sobol indices") << " of " << k
        << (k == 1 ? " factor" : " factors") << " from " << points.size() << " runs (seed " << seed << ")";
  if (lost > 0) report << "; " << lost << " runs were refused by a rule or failed and are left out";
  report << (morris ? ".\nEffects are per whole range of the factor, ranked by mu*.\n"
                   : ".\nRanked by the total index; the 95 % intervals are from the bootstrap.\n");
  std::size_t nameWidth = 8;
  for (const SensitivityFactor& factor : factors) nameWidth = std::max(nameWidth, factor.name.size() + 2);
  for (const SensitivityOutput& output : SensitivityOutputs) {
    std::vector<double> y(outcomes.size());
    for (std::size_t p = 0; p < outcomes.size(); ++p) {
      y[p] = outcomes[p].status == PointStatus::Ran ? output.of(outcomes[p].analysis)
                                                    : std::numeric_limits<double>::quiet_NaN();
    }
    std::vector<int> order(static_cast<std::size_t>(k));
    for (int f = 0; f < k; ++f) order[f] = f;
    report << "\n" << output.name << ":\n";
    if (morris) {
      const std::vector<MorrisIndex> indices = MorrisIndices(k, used, y);
      std::stable_sort(order.begin(), order.end(),
                       [&](int a, int b) { return indices[a].muStar > indices[b].muStar; });
      report << "  " << Padded("factor", nameWidth) << "       mu*        mu     sigma  effects\n";
      for (int f : order) {
        const MorrisIndex& m = indices[f];
        report << "  " << Padded(factors[f].name, nameWidth) << Fixed(m.muStar, 10, 3) << Fixed(m.mu, 10, 3)
              << Fixed(m.sigma, 10, 3) << "  " << m.effects << "\n";
        csv += std::string(output.name) + "," + factors[f].name + "," + Number(m.mu) + "," + Number(m.muStar) + "," +
               Number(m.sigma) + "," + std::to_string(m.effects) + "\n";
      }
    } else {
      const std::vector<SobolIndex> indices = SobolIndices(saltelli, y, options->bootstrap, seed);
      std::stable_sort(order.begin(), order.end(),
                       [&](int a, int b) { return indices[a].total > indices[b].total; });
      report << "  " << Padded("factor", nameWidth) << "   first  (95 % interval)      total  (95 % interval)\n";
      for (int f : order) {
        const SobolIndex& s = indices[f];
        report << "  " << Padded(factors[f].name, nameWidth) << Fixed(s.first, 8, 3) << "  (" << Fixed(s.firstLow, 6, 3)
              << " to " << Fixed(s.firstHigh, 6, 3) << ")" << Fixed(s.total, 8, 3) << "  ("
              << Fixed(s.totalLow, 6, 3) << " to " << Fixed(s.totalHigh, 6, 3) << ")\n";
        csv += std::string(output.name) + "," + factors[f].name + "," + Number(s.first) + "," + Number(s.firstLow) +
               "," + Number(s.firstHigh) + "," + Number(s.total) + "," + Number(s.totalLow) + "," +
               Number(s.totalHigh) + "," + std::to_string(s.samples) + "\n";
      }
    }
  }
  if (options->csv) {
    if (!WriteTable(*options->csv, "table", csv, io)) return ExitFailure;
    if (!toStandardOutput) report << "\nTable written to " << *options->csv << ".\n";
  }
  return ExitSuccess;
}

const char* const ExperimentOptionsHelp =
    "\nOptions of sweep:\n"
    "  --vary NAME=FROM:TO[:STEP]  vary a numeric setting; several give the full factorial\n"
    "  --set NAME=VALUE  change one setting of every point\n"
    "  --replicates N    run every point N times, seeds S to S+N-1 from --seed S\n"
    "  --seed N          the seed of replicate 1 (the current time unless given)\n"
    "  --csv PATH|-      the table: one row per point and replicate\n"
    "  --cycles PATH     also the per-cycle table (point, replicate, cycle, percentages)\n"
    "  --threads N       points run at a time (all cores unless given)\n"
    "  --shard K/N       run only the K-th of N slices; join the parts with merge\n"
    "  --resume          continue the table a stopped run left (after Ctrl+C)\n"
    "\nOptions of batch:\n"
    "  --settings FILE   the settings the design's columns change (start-up defaults unless given)\n"
    "  and, as for sweep, --set, --replicates, --seed, --csv, --cycles, --threads,\n"
    "  and --shard and --resume\n"
    "\nOptions of sensitivity:\n"
    "  --factor NAME=LOW:HIGH  a setting to study, over its whole values from LOW to HIGH\n"
    "  --method morris|sobol   elementary effects (screening) or Sobol indices\n"
    "  --trajectories N  Morris trajectories (20)\n"
    "  --levels N        Morris grid levels, even (4)\n"
    "  --samples N       Sobol base samples (256); runs = N x (factors + 2)\n"
    "  --bootstrap N     resamples for the Sobol intervals (200)\n"
    "  --points PATH     also the table of runs (as sweep writes it), which --shard\n"
    "                    and --resume work on\n"
    "  --from-points PATH  the indices from a whole table of runs (merged shards)\n"
    "  and, as for sweep, --set, --seed, --csv, --threads, --shard and --resume\n"
    "\nOptions of merge:\n"
    "  -o PATH           the whole table to write\n";
