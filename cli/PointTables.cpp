#include "cli/PointTables.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <mutex>
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
#include "cli/SharedOptions.h"
#include "platform/CsvText.h"
#include "platform/FileIO.h"
#include "platform/Interrupts.h"
#include "platform/SystemResources.h"
#include "platform/WholeNumbers.h"
#include "platform/Version.h"
#include "results/ResultsTable.h"
#include "results/RunRecord.h"
#include "run/ReportTarget.h"

namespace varnolt {

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
  std::size_t runs = 0;  // every point and replicate of the whole design
  std::size_t replicates = 1;
  ShardSlice slice;
  int k = 1, n = 1;
  bool sharded = false;
  std::string fingerprint;  // the stamp: what made the table
  std::string prefix;       // stamp line (shards) and header
  std::size_t prefixLines = 0;

  std::uint32_t SeedOf(const PointTable& table, std::size_t i) const {
    return table.SeedOf(i / replicates) + static_cast<std::uint32_t>(i % replicates);
  }
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
  record["seed"] = table.points == 0 ? 0u : table.SeedOf(0);
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

std::string RowText(const PointTable& table, const TableRun& run, std::size_t i, const std::string& leadCells,
                    const PointOutcome& outcome) {
  return RunTableRow(i / run.replicates + 1, !table.leadColumns.empty(), leadCells, i % run.replicates + 1,
                     run.SeedOf(table, i), outcome, table.statistics);
}

// A row's place in the table, from its point and replicate cells; nothing when
// they are no point and replicate of this design.
std::optional<std::size_t> RowIndex(const std::vector<std::string>& cells, std::size_t columns,
                                    std::size_t replicateColumn, const TableRun& run) {
  if (cells.size() != columns) return std::nullopt;
  const std::optional<std::size_t> point = ReadWholeNumber<std::size_t>(cells[0]);
  const std::optional<std::size_t> replicate = ReadWholeNumber<std::size_t>(cells[replicateColumn]);
  if (!point || !replicate || *point < 1 || *replicate < 1 || *replicate > run.replicates ||
      (*point - 1) > (run.runs - 1) / run.replicates || (*point - 1) * run.replicates + (*replicate - 1) >= run.runs) {
    return std::nullopt;
  }
  return (*point - 1) * run.replicates + (*replicate - 1);
}

// The rows an earlier, stopped run left in its table, read through without
// holding them: marks in `done` the runs they hold, and answers a problem when
// the file was made by another design or holds rows this run would not write
// (or not in the order it writes them). A last row cut mid-line is not counted,
// and runs again.
std::optional<std::string> ScanResumed(const std::string& path, const TableRun& run, const PointTable& table,
                                       std::vector<bool>& done, std::size_t& resumed) {
  resumed = 0;
  std::error_code ignored;
  if (!std::filesystem::exists(PathFromUtf8(path), ignored)) return std::nullopt;
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) return path + " could not be opened to resume it";
  if (in.peek() == std::char_traits<char>::eof()) return std::nullopt;
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
  std::string start(run.prefix.size(), '\0');
  in.read(start.data(), static_cast<std::streamsize>(start.size()));
  start.resize(static_cast<std::size_t>(in.gcount()));
  if (start != run.prefix) {
    if (run.sharded && start.rfind("# varnolt-cli shard ", 0) == 0) {
      return path + " was made by another design or shard (" + start.substr(0, start.find('\n')) + ")" + otherDesign;
    }
    return path + " is not a table of this " + table.command + " (its first lines differ)" + otherDesign;
  }
  const std::size_t replicateColumn = 1 + table.leadColumns.size();
  const std::size_t columns = replicateColumn + 3 + table.statistics.size() + 1;
  CsvRecordReader reader(in);
  CsvRecord record;
  std::optional<std::size_t> previous;
  bool closed = false;
  while (reader.Next(record)) {
    // A row cut mid-line by a stop is no row: it runs again.
    if (!reader.EndedInLineBreak()) break;
    const std::string where = path + " line " + std::to_string(record.line + run.prefixLines);
    // A finished part ends in its closing line, which the new table writes again.
    if (run.sharded && !closed && record.text.rfind("# varnolt-cli shard ", 0) == 0) {
      closed = true;
      continue;
    }
    if (closed || (record.text.empty() && record.cells.size() == 1)) return where + " is no row of this " + table.command;
    const std::vector<std::string>& cells = record.cells;
    const std::optional<std::size_t> index = RowIndex(cells, columns, replicateColumn, run);
    if (!index) return where + " is no row of this " + table.command;
    const std::size_t point = *index / run.replicates + 1;
    if (*index < run.slice.begin || *index >= run.slice.end) {
      return path + " holds point " + std::to_string(point) + ", which is not in this run's points";
    }
    if (previous && *index == *previous) return where + " repeats point " + std::to_string(point) + otherDesign;
    if (previous && *index < *previous) {
      return where + " is out of order (point " + std::to_string(point) + " after a later one)" + otherDesign;
    }
    // The row must be the one this design writes for that run: its settings
    // cells and its seed.
    std::string lead;
    for (std::size_t f = 1; f < replicateColumn; ++f) lead += (f == 1 ? "" : ",") + CsvCell(cells[f]);
    if ((!table.leadColumns.empty() && lead != table.point(*index / run.replicates).leadCells) ||
        cells[replicateColumn + 1] != std::to_string(run.SeedOf(table, *index))) {
      return where + " is not run " + std::to_string(point) + " of this " + table.command +
             " (other settings or seed)" + otherDesign;
    }
    previous = index;
    done[*index] = true;
    ++resumed;
  }
  if (reader.OpenQuoteLine()) {
    return path + " line " + std::to_string(*reader.OpenQuoteLine() + run.prefixLines) + " is no row of this " +
           table.command;
  }
  return std::nullopt;
}

// Reads the rows of a table being resumed again, in order, as the new table
// reaches them: the scan has checked them all.
class ResumedRowReader {
 public:
  ResumedRowReader(const std::string& path, const TableRun& run) : in_(PathFromUtf8(path), std::ios::binary), reader_(in_) {
    in_.ignore(static_cast<std::streamsize>(run.prefix.size()));
  }
  // The next row, which must be that of run `index`.
  std::optional<CsvRecord> Row(std::size_t index, std::size_t columns, std::size_t replicateColumn,
                               const TableRun& run) {
    CsvRecord record;
    if (!reader_.Next(record) || !reader_.EndedInLineBreak()) return std::nullopt;
    if (RowIndex(record.cells, columns, replicateColumn, run) != index) return std::nullopt;
    return record;
  }

 private:
  std::ifstream in_;
  CsvRecordReader reader_;
};

}  // namespace

void AddRunTableOptions(CLI::App& command, ExperimentOptions& options, const RunTableWords& words) {
  AddSetOption(command, options.assignments, words.set);
  AddCsvOption(command, options.csv, words.csv);
  AddTextOption(command, "--cycles", options.cycles, "PATH",
                "also the per-cycle table (point, replicate, cycle, percentages)")
      ->group(OutputsGroup);
  AddReplicatesOption(command, options.replicates, words.replicates);
  AddSeedOption(command, options.seed, words.seed);
  AddStatisticsOption(command, options.statistics,
                      "the statistics of each run, the table's columns (meanFemale, meanHerm, meanMale, "
                      "meanAborted, period and strength unless given)");
  AddCyclesWindowOption(command, options.window);
  AddThreadsOption(command, options.threads);
  AddQuietOption(command, options.quiet);
  AddShardOptions(command, options.shard, options.resume, "the table of --csv");
  command.add_flag("--dry-run", options.dryRun,
                   "tell the points, runs, refused points, palm-cycles, time and memory; run and write nothing")
      ->group(RunningGroup);
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
  return StreamTable(
      path, what,
      [&content](std::ostream& out) {
        out << content;
        return true;
      },
      io);
}

bool StreamTable(const std::string& path, const std::string& what, const std::function<bool(std::ostream&)>& write,
                 CliStreams& io, bool keepWhenInterrupted) {
  const auto writer = [&](std::ostream& out) {
    if (!write(out)) return false;
    InterruptionTestPoint("final-write");
    return keepWhenInterrupted || !InterruptionFlag().load();
  };
  if (path == "-") {
    const bool kept = writer(io.out);
    io.out.flush();
    if (kept && !io.out) PrintProblem(io, "cannot write the " + what + " to standard output");
    return kept && static_cast<bool>(io.out);
  }
  if (std::optional<std::string> problem = FileStartsAsTable(path) ? std::nullopt : ReportTargetProblem(path, {})) {
    PrintProblem(io, RunnerText(*problem));  // a table never takes the place of run settings
    return false;
  }
  bool dropped = false;
  const std::optional<std::string> reason = SafelyReplaceFile(path, [&](std::ostream& out) {
    if (!writer(out)) {
      dropped = true;
      out.setstate(std::ios::badbit);  // the replacement is given up, and any earlier file stays
    }
  });
  if (!reason) return true;
  if (!dropped) PrintProblem(io, "cannot write the " + what + " to " + path + ": " + *reason);
  return false;
}

std::string Number(double value) { return ShortestNumber(value); }

std::optional<std::string> TableRecordPath(const std::optional<std::string>& table) {
  if (!table || *table == "-" || IsDescriptorPath(PathFromUtf8(*table)) || IsDeviceOrPipe(PathFromUtf8(*table))) {
    return std::nullopt;
  }
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

std::optional<std::string> MemoryProblem(std::uint64_t bytes, const std::string& what, const std::string& remedy) {
  const std::optional<std::uint64_t> available = AvailableMemoryBytes();
  const auto megabytes = [](std::uint64_t b) { return WithThousands(static_cast<std::int64_t>((b + (1u << 20) - 1) >> 20)) + " MB"; };
  if (available ? bytes <= *available : bytes <= std::numeric_limits<std::size_t>::max() / 2) return std::nullopt;
  return what + " needs " + megabytes(bytes) + " of memory" +
         (available ? ", and only " + megabytes(*available) + " are free for it" : std::string()) + "; " + remedy;
}

// Runs the table's points (the shard's slice of them, those not yet in a table
// to resume) and streams the table to --csv; `kept`, when given, receives every
// run's outputs, and the table is then optional.
int RunPointTable(const PointTable& table, const ExperimentOptions& options, CliStreams& io, RunOutputs* kept) {
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
  if (auto problem = SeedRangeProblem(table.seed, run.replicates)) return UsageError(io, *problem);
  for (std::uint32_t seed : table.pointSeeds) {
    if (auto problem = SeedRangeProblem(seed, run.replicates)) return UsageError(io, *problem);
  }
  run.runs = table.points * run.replicates;
  run.slice = SliceOf(run.runs, k, n);
  run.k = k;
  run.n = n;
  run.sharded = options.shard.has_value();
  run.fingerprint = DesignFingerprint(table.description + "replicates=" + std::to_string(run.replicates) +
                                      ";version=" + VersionText() + ";");
  const std::string& fingerprint = run.fingerprint;
  const std::string stampLine =
      run.sharded ? ShardStamp(k, n, fingerprint, run.runs, run.replicates) + "\n" : std::string();
  run.prefix = stampLine + RunTableHeader(table.leadColumns, table.statistics);
  run.prefixLines = run.sharded ? 2 : 1;

  // What is held besides the points under way: a bit per run to resume, and
  // the outputs of every run when indices are computed from them.
  std::vector<bool> done;
  std::size_t resumed = 0;
  if (options.resume) {
    done.assign(run.runs, false);
    if (auto problem = ScanResumed(*options.csv, run, table, done, resumed)) {
      PrintProblem(io, *problem);
      io.err << "Nothing was run.\n";
      return ExitUsage;
    }
  }
  const auto isDone = [&done](std::size_t i) { return !done.empty() && done[i]; };
  const std::size_t todoCount = run.slice.end - run.slice.begin - resumed;
  if (kept != nullptr) *kept = RunOutputs(table.statistics, run.runs);

  const auto startTime = std::chrono::system_clock::now();
  const auto started = std::chrono::steady_clock::now();
  ExperimentControl control;
  control.threads = options.threads.value_or(0);
  control.keepCycles = options.cycles.has_value();
  control.window = options.window;
  std::stop_source stop;
  control.stop = stop.get_token();
  const std::size_t replicateColumn = 1 + table.leadColumns.size();
  const std::size_t columns = replicateColumn + 3 + table.statistics.size() + 1;

  std::size_t ran = 0, invalid = 0, failed = 0, cycleRows = 0;
  bool stopped = false;
  std::optional<std::string> streamProblem;
  // Runs the points and writes each row as soon as it and all before it are
  // done; the rows taken from the table being resumed are copied across in their
  // places. Answers false when the table is to be dropped.
  const auto runAndWrite = [&](std::ostream* csv, std::ostream* cycles) {
    std::optional<ResumedRowReader> old;
    if (resumed > 0) old.emplace(*options.csv, run);
    std::size_t expected = run.slice.begin;
    const auto copyResumed = [&](std::size_t i) {
      std::optional<CsvRecord> row = old->Row(i, columns, replicateColumn, run);
      if (!row) {
        streamProblem = *options.csv + " changed while it was being resumed; run the same command again";
        stop.request_stop();
        return;
      }
      if (csv != nullptr) *csv << row->text << "\n";
      if (kept != nullptr) {
        if (std::optional<PointOutcome> outcome = OutcomeOfRow(row->cells, replicateColumn + 2, table.statistics)) {
          kept->Set(i, *outcome);
        }
      }
    };
    if (csv != nullptr) *csv << run.prefix;
    if (cycles != nullptr) *cycles << stampLine << "point,replicate,cycle,female,herm,male,aborted\n";
    // Replicates of a design point share its settings, made once.
    std::size_t madeDesign = table.points, rowDesign = table.points;
    RunSettings madeSettings;
    std::string rowLead;
    InterruptionWatch interruption([&stop] { stop.request_stop(); });
    ProgressLine progress(
        io.err, control.pointsDone,
        [todoCount](std::uint64_t count, double elapsed) {
          return CountProgressText("Runs", count, todoCount, elapsed);
        },
        !options.quiet && StandardErrorIsTerminal());
    StreamPoints(
        run.slice.begin, run.slice.end, todoCount,
        [&](std::size_t i) -> std::optional<ExperimentPoint> {
          if (isDone(i)) return std::nullopt;
          if (i / run.replicates != madeDesign) {
            madeDesign = i / run.replicates;
            madeSettings = table.point(madeDesign).settings;
          }
          return ExperimentPoint{madeSettings, run.SeedOf(table, i)};
        },
        control,
        [&](std::size_t i, PointOutcome* outcome) {
          expected = i + 1;
          if (outcome == nullptr) {
            if (!streamProblem) copyResumed(i);
            return;
          }
          if (outcome->status == PointStatus::NotRun) return;
          ran += outcome->status == PointStatus::Ran ? 1 : 0;
          invalid += outcome->status == PointStatus::Invalid ? 1 : 0;
          failed += outcome->status == PointStatus::Failed ? 1 : 0;
          if (kept != nullptr) kept->Set(i, *outcome);
          if (csv != nullptr) {
            if (i / run.replicates != rowDesign && !table.leadColumns.empty()) {
              rowDesign = i / run.replicates;
              rowLead = table.point(rowDesign).leadCells;
            }
            *csv << RowText(table, run, i, rowLead, *outcome);
            if (!*csv) stop.request_stop();  // the disk is full, say: running on would be in vain
          }
          if (cycles != nullptr) {
            const std::string cycleLead =
                std::to_string(i / run.replicates + 1) + "," + std::to_string(i % run.replicates + 1) + ",";
            for (std::size_t c = 0; c < outcome->cycles.size(); ++c) {
              const CycleResult& row = outcome->cycles[c];
              ++cycleRows;
              *cycles << cycleLead << c + 1 << "," << Number(row.female) << "," << Number(row.herm) << ","
                      << Number(row.male) << "," << Number(row.aborted) << "\n";
            }
            if (!*cycles) stop.request_stop();
          }
        });
    stopped = InterruptionFlag().load();
    if (streamProblem) return false;
    if (stopped) {
      if (!options.resume) return false;
      // The rows of the table being resumed that lie beyond the stop stay in it.
      for (std::size_t i = expected; i < run.slice.end && !streamProblem; ++i) {
        if (isDone(i)) copyResumed(i);
      }
      return !streamProblem;
    }
    if (run.sharded && csv != nullptr) *csv << ShardClosing(k, n, run.slice.end - run.slice.begin) << "\n";
    if (run.sharded && cycles != nullptr) *cycles << ShardClosing(k, n, cycleRows) << "\n";
    return true;
  };

  bool written = true;
  const auto withCycles = [&](std::ostream* csv) {
    if (!options.cycles) return runAndWrite(csv, nullptr);
    return StreamTable(*options.cycles, "cycle table", [&](std::ostream& cycles) { return runAndWrite(csv, &cycles); },
                       io);
  };
  if (options.csv) {
    written = StreamTable(*options.csv, "table", [&](std::ostream& csv) { return withCycles(&csv); }, io,
                          options.resume);
  } else {
    written = withCycles(nullptr);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (streamProblem) {
    PrintProblem(io, *streamProblem);
    io.err << "Nothing was written.\n";
    return ExitFailure;
  }

  std::error_code ignoredCode;
  const std::size_t count = ran + invalid + failed;
  const bool complete = !stopped && count + resumed == run.slice.end - run.slice.begin;
  TableRecordFacts facts{&table, &run, startTime, seconds, ran, invalid, failed, resumed, complete};
  const auto writeRecord = [&](const std::string& tablePath) {
    if (!TableRecordPath(tablePath) || !std::filesystem::is_regular_file(PathFromUtf8(tablePath), ignoredCode)) {
      return true;
    }
    const std::string record = TableRecordJson(facts);
    // A table kept when a signal came keeps its record too.
    return StreamTable(
        PathToUtf8(RecordPathBeside(PathFromUtf8(tablePath))), "record of the table",
        [&record](std::ostream& out) {
          out << record;
          return true;
        },
        io, true);
  };
  // A signal during the runs or the writing of the last rows: nothing is left
  // half-written, and the status says the command was stopped.
  if (const int signal = InterruptionSignal(); signal != 0) {
    io.err << "\nStopped after " << count << " of " << todoCount << " runs.";
    if (written && options.csv && *options.csv != "-" && writeRecord(*options.csv)) {
      io.err << " Their rows are in " << *options.csv
             << (complete ? ".\n" : "; run the same command again to finish.\n");
    } else if (options.csv && *options.csv == "-") {
      io.err << " The rows so far went to standard output.\n";
    } else {
      io.err << " Nothing was written.\n";
    }
    return InterruptedExitStatus(signal);
  }
  if (!written) return ExitFailure;
  if (options.csv && !writeRecord(*options.csv)) return ExitFailure;
  if (options.cycles && !writeRecord(*options.cycles)) return ExitFailure;

  const bool toStandardOutput = options.csv && *options.csv == "-";
  std::ostream& summary = toStandardOutput || table.summaryToError ? io.err : io.out;
  summary << table.command << ": " << count << (count == 1 ? " run" : " runs");
  if (options.shard) summary << " (shard " << k << " of " << n << ", design " << fingerprint << ")";
  if (resumed > 0) summary << ", " << resumed << " more taken from the table";
  summary << "; " << ran << " completed, " << invalid << " refused by a rule, " << failed << " failed.\n";
  if (options.csv && !toStandardOutput) summary << "Table written to " << *options.csv << ".\n";
  if (options.cycles) summary << "Cycle table written to " << *options.cycles << ".\n";
  return ExitSuccess;
}

std::uint32_t BaseSeed(const ExperimentOptions& options, CliStreams& io) {
  if (options.seed) return *options.seed;
  const std::uint32_t seed = FreshSeedFor(static_cast<std::uint64_t>(std::max(options.replicates, 1)));
  io.err << "Seed " << seed << " (repeat these runs with --seed " << seed << ").\n";
  return seed;
}

// The outputs of a design's runs, read through the whole table of them (merged
// from shards, say); answers why not when the table is of another design.
std::optional<std::string> OutcomesFromTable(const std::string& path, const PointTable& table, std::size_t replicates,
                                             RunOutputs& outputs) {
  std::error_code code;
  if (std::filesystem::is_directory(PathFromUtf8(path), code)) return "cannot read " + path + ": it is a folder";
  errno = 0;
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) {
    return "cannot read " + path + ": " + CauseText(std::error_code(errno != 0 ? errno : ENOENT, std::generic_category()));
  }
  std::string header = RunTableHeader(table.leadColumns, table.statistics);
  header.pop_back();  // the record's text holds no line break
  CsvRecordReader reader(in);
  CsvRecord record;
  if (!reader.Next(record) || record.text != header) {
    return path + " is no table of runs of these factors and statistics (its header differs)";
  }
  const std::size_t runs = table.points * replicates;
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

void ChooseStatistics(PointTable& table, const ExperimentOptions& options, std::vector<Statistic> defaults) {
  table.statistics = options.statistics.empty() ? std::move(defaults) : options.statistics;
  if (!options.statistics.empty()) table.description += "stat=" + StatisticsHeader(table.statistics) + ";";
  if (options.window) table.description += "window=" + CyclesWindowText(*options.window) + ";";
}

}  // namespace varnolt
