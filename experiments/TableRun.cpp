// Running a point table: its runs streamed row by row into the table (a
// shard's slice of it, the rows of a table being resumed copied into their
// places), the per-cycle table beside it, and the record.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>

#include "experiments/PointTables.h"
#include "platform/WholeNumbers.h"
#include "results/ResultsTable.h"
#include "results/RunRecord.h"

namespace varnolt {

namespace {

struct TableRun {
  std::size_t runs = 0;  // every point and replicate of the whole design
  std::size_t replicates = 1;
  ShardSlice slice;
  Shard shard;
  bool sharded = false;
  std::string fingerprint;  // the stamp: what made the table
  std::string prefix;       // stamp line (shards) and header
  std::size_t prefixLines = 0;
};

// What the record beside a table says made it: the stamp of the record that
// describes the table as it stands (its own, or the one it replaced when a
// replacement stopped between the two), or else the record's own stamp, not
// verified; or why there is none to compare.
std::optional<std::string> RecordedStamp(const std::string& tablePath, std::string& stamp, bool& verified) {
  const std::filesystem::path recordPath = RecordPathBeside(PathFromUtf8(tablePath));
  std::error_code code;
  const std::filesystem::file_status status = std::filesystem::status(recordPath, code);
  if (!std::filesystem::exists(status)) {
    return "it has no record beside it (" + PathToUtf8(recordPath) + ") to say what made it";
  }
  if (!std::filesystem::is_regular_file(status)) {
    return "its record " + PathToUtf8(recordPath) + " is " +
           (std::filesystem::is_directory(status) ? "a folder" : "no file") + ", not a record varnolt-cli writes";
  }
  std::ifstream in(recordPath, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const nlohmann::json record = nlohmann::json::parse(text, nullptr, false);
  if (record.is_discarded() || !record.is_object() || !record.contains("stamp") || !record["stamp"].is_string()) {
    return "its record " + PathToUtf8(recordPath) + " is not one varnolt-cli writes";
  }
  const std::optional<TableDigest> digest = DigestOfFile(tablePath);
  const auto describes = [&digest](const nlohmann::json& object) {
    if (!digest || !object.is_object() || !object.contains("table") || !object["table"].is_object()) return false;
    const nlohmann::json& table = object["table"];
    return table.value("digest", std::string()) == digest->digest && table.value("bytes", std::uint64_t{0}) == digest->bytes &&
           object.contains("stamp") && object["stamp"].is_string();
  };
  verified = true;
  if (describes(record)) {
    stamp = record["stamp"].get<std::string>();
  } else if (record.contains("previous") && describes(record["previous"])) {
    stamp = record["previous"]["stamp"].get<std::string>();
  } else {
    stamp = record["stamp"].get<std::string>();
    verified = false;
  }
  return std::nullopt;
}

std::string RowText(const PointTable& table, std::size_t i, const std::string& leadCells,
                    const PointOutcome& outcome) {
  return RunTableRow(i / table.replicates + 1, !table.leadColumns.empty(), leadCells, i % table.replicates + 1,
                     table.RunSeed(i), outcome, table.statistics);
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
                                       const TableRunRequest& request, std::vector<bool>& done,
                                       std::size_t& resumed) {
  resumed = 0;
  std::error_code ignored;
  const std::filesystem::file_status status = std::filesystem::status(PathFromUtf8(path), ignored);
  if (!std::filesystem::exists(status)) return std::nullopt;
  // A pipe would block the open, and a device holds no rows to continue.
  if (!std::filesystem::is_regular_file(status)) {
    return path + " is " + (std::filesystem::is_directory(status) ? "a folder" : "a pipe or device") +
           ", not a table to continue; give --resume a file";
  }
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) return path + " could not be opened to resume it";
  if (in.peek() == std::char_traits<char>::eof()) return std::nullopt;
  const std::string otherDesign = "; give another --csv or leave out --resume to start afresh";
  bool verified = true;  // the record names this table, or the table is a part with its own stamp
  if (!run.sharded) {
    std::string stamp;
    if (std::optional<std::string> missing = RecordedStamp(path, stamp, verified)) {
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
  std::string last;  // the last row's text
  std::size_t lastLine = 0;
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
        cells[replicateColumn + 1] != std::to_string(table.RunSeed(*index))) {
      return where + " is not run " + std::to_string(point) + " of this " + table.command +
             " (other settings or seed)" + otherDesign;
    }
    // Every cell as this program writes it: the status, the numbers, the message.
    const std::optional<PointOutcome> outcome = OutcomeOfRow(cells, replicateColumn + 2, table.statistics);
    if (!outcome || RowText(table, *index, lead, *outcome) != record.text + "\n") {
      return where + " is not a row of this " + table.command +
             " as it writes them (its status, a number or its message was changed)" + otherDesign;
    }
    previous = index;
    last = record.text;
    lastLine = record.line + run.prefixLines;
    done[*index] = true;
    ++resumed;
  }
  // A last row cut short, inside a quoted cell too, runs again.
  if (verified || !previous) return std::nullopt;
  // The record describes another table (one changed since, or cut short): its
  // rows are taken only when the last of them repeats as this design's run.
  ExperimentControl control;
  control.threads = request.threads;
  control.window = request.window;
  const ExperimentPoint point = table.RunOf(*previous);
  const std::vector<PointOutcome> again = RunPoints(std::span(&point, 1), control);
  if (RowText(table, *previous, table.point(*previous / run.replicates).leadCells, again[0]) != last + "\n") {
    return path + " is not the table its record " + PathToUtf8(RecordPathBeside(PathFromUtf8(path))) +
           " describes, and its line " + std::to_string(lastLine) + " is not what this " + table.command +
           " gives for that run (the table was changed, or written by another run at the same time)" + otherDesign;
  }
  return std::nullopt;
}

// Reads the rows of a table being resumed again, in order, as the new table
// reaches them: the scan has checked them all.
class ResumedRowReader {
 public:
  ResumedRowReader(const std::string& path, const TableRun& run)
      : in_(PathFromUtf8(path), std::ios::binary), reader_(in_) {
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

// What RunTable decides before anything runs: the slice, the stamp, the rows
// of the table being resumed.
std::optional<TableProblem> PlanRun(const PointTable& table, const TableRunRequest& request, TableRun& run,
                                    std::vector<bool>& done, std::size_t& resumed) {
  run.replicates = table.replicates;
  if (auto problem = SeedRangeProblem(table.seed, run.replicates)) return TableProblem{TableProblemKind::Design, *problem, {}};
  for (std::uint32_t seed : table.pointSeeds) {
    if (auto problem = SeedRangeProblem(seed, run.replicates)) return TableProblem{TableProblemKind::Design, *problem, {}};
  }
  run.shard = request.shard.value_or(Shard{});
  run.sharded = request.shard.has_value();
  run.runs = table.Runs();
  run.slice = SliceOf(run.runs, run.shard.k, run.shard.n);
  run.fingerprint = table.Fingerprint();
  const std::string stampLine = run.sharded ? ShardStamp(run.shard.k, run.shard.n, run.fingerprint, run.runs,
                                                         run.replicates) + "\n"
                                            : std::string();
  run.prefix = stampLine + table.Header();
  run.prefixLines = run.sharded ? 2 : 1;
  resumed = 0;
  if (request.resume && request.targets.table) {
    done.assign(run.runs, false);
    if (auto problem = ScanResumed(*request.targets.table, run, table, request, done, resumed)) {
      return TableProblem{TableProblemKind::Resume, *problem, {}};
    }
  }
  return std::nullopt;
}

}  // namespace

TableRunResult RunTable(const PointTable& table, const TableRunRequest& request, const TableRunHooks& hooks) {
  TableRunResult result;
  TableRun run;
  std::vector<bool> done;
  std::size_t resumed = 0;
  if (std::optional<TableProblem> problem = PlanRun(table, request, run, done, resumed)) {
    result.problems.push_back(std::move(*problem));
    return result;
  }
  result.fingerprint = run.fingerprint;
  result.shard = run.shard;
  result.taken = resumed;
  const TableTargets& targets = request.targets;
  const auto checkpoint = [&hooks](const char* place) {
    if (hooks.checkpoint) hooks.checkpoint(place);
  };
  const auto userStopped = [&hooks] { return hooks.stop.stop_requested(); };
  const auto isDone = [&done](std::size_t i) { return !done.empty() && done[i]; };
  const std::size_t todoCount = run.slice.end - run.slice.begin - resumed;
  result.todo = todoCount;

  const auto startTime = std::chrono::system_clock::now();
  const auto started = std::chrono::steady_clock::now();
  ExperimentControl control;
  control.threads = request.threads;
  control.keepCycles = targets.cycles.has_value();
  control.window = request.window;
  std::stop_source stop;
  control.stop = stop.get_token();
  const std::stop_callback forward(hooks.stop, [&stop] { stop.request_stop(); });
  const std::size_t replicateColumn = 1 + table.leadColumns.size();
  const std::size_t columns = replicateColumn + 3 + table.statistics.size() + 1;
  const std::string stampLine = run.sharded ? run.prefix.substr(0, run.prefix.find('\n') + 1) : std::string();

  std::size_t cycleRows = 0;
  bool stopped = false;
  std::optional<std::string> streamProblem;
  // Runs the points and writes each row as soon as it and all before it are
  // done; the rows taken from the table being resumed are copied across in their
  // places. Answers false when the table is to be dropped.
  const auto runAndWrite = [&](std::ostream* csv, std::ostream* cycles) {
    std::optional<ResumedRowReader> old;
    if (resumed > 0) old.emplace(*targets.table, run);
    std::size_t expected = run.slice.begin;
    const auto copyResumed = [&](std::size_t i) {
      std::optional<CsvRecord> row = old->Row(i, columns, replicateColumn, run);
      if (!row) {
        streamProblem = *targets.table + " changed while it was being resumed; run the same command again";
        stop.request_stop();
        return;
      }
      if (csv != nullptr) *csv << row->text << "\n";
      if (hooks.outcome) {
        if (std::optional<PointOutcome> outcome = OutcomeOfRow(row->cells, replicateColumn + 2, table.statistics)) {
          hooks.outcome(i, *outcome);
        }
      }
    };
    if (csv != nullptr) *csv << run.prefix;
    if (cycles != nullptr) *cycles << stampLine << "point,replicate,cycle,female,herm,male,aborted\n";
    // Replicates of a design point share its settings, made once.
    std::size_t madeDesign = table.points, rowDesign = table.points;
    RunSettings madeSettings;
    std::string rowLead;
    std::uint64_t count = 0;
    StreamPoints(
        run.slice.begin, run.slice.end, todoCount,
        [&](std::size_t i) -> std::optional<ExperimentPoint> {
          if (isDone(i)) return std::nullopt;
          if (i / run.replicates != madeDesign) {
            madeDesign = i / run.replicates;
            madeSettings = table.point(madeDesign).settings;
          }
          return ExperimentPoint{madeSettings, table.RunSeed(i)};
        },
        control,
        [&](std::size_t i, PointOutcome* outcome) {
          expected = i + 1;
          if (outcome == nullptr) {
            if (!streamProblem) copyResumed(i);
            return;
          }
          if (outcome->status == PointStatus::NotRun) return;
          result.ran += outcome->status == PointStatus::Ran ? 1 : 0;
          result.refused += outcome->status == PointStatus::Invalid ? 1 : 0;
          result.failed += outcome->status == PointStatus::Failed ? 1 : 0;
          if (hooks.outcome) hooks.outcome(i, *outcome);
          if (hooks.progress) hooks.progress(++count, todoCount);
          if (csv != nullptr) {
            if (i / run.replicates != rowDesign && !table.leadColumns.empty()) {
              rowDesign = i / run.replicates;
              rowLead = table.point(rowDesign).leadCells;
            }
            *csv << RowText(table, i, rowLead, *outcome);
            if (!*csv) stop.request_stop();  // the disk is full, say: running on would be in vain
          }
          if (cycles != nullptr) {
            const std::string cycleLead =
                std::to_string(i / run.replicates + 1) + "," + std::to_string(i % run.replicates + 1) + ",";
            for (std::size_t c = 0; c < outcome->cycles.size(); ++c) {
              const CycleResult& row = outcome->cycles[c];
              ++cycleRows;
              *cycles << cycleLead << c + 1 << "," << ShortestNumber(row.female) << "," << ShortestNumber(row.herm)
                      << "," << ShortestNumber(row.male) << "," << ShortestNumber(row.aborted) << "\n";
            }
            if (!*cycles) stop.request_stop();
          }
        });
    checkpoint("points-done");
    stopped = userStopped();
    if (streamProblem) return false;
    if (stopped) {
      if (!request.resume) return false;
      // The rows of the table being resumed that lie beyond the stop stay in it.
      for (std::size_t i = expected; i < run.slice.end && !streamProblem; ++i) {
        if (isDone(i)) copyResumed(i);
      }
      return !streamProblem;
    }
    if (run.sharded && csv != nullptr) *csv << ShardClosing(run.shard.k, run.shard.n, run.slice.end - run.slice.begin) << "\n";
    if (run.sharded && cycles != nullptr) *cycles << ShardClosing(run.shard.k, run.shard.n, cycleRows) << "\n";
    // Standard output closed on the way (a reader gone): the other table is
    // dropped too, for a run whose output was lost.
    for (std::ostream* stream : {csv, cycles}) {
      if (stream != nullptr && stream == targets.standardOutput && !stream->flush()) return false;
    }
    return true;
  };

  const auto stoppedAtTheEnd = [&] {
    checkpoint("final-write");
    return userStopped();
  };
  // The record beside each table file: made once the table's last row is
  // written, when the counts are final, and put in place with the table.
  TableRecordFacts& facts = result.facts;
  facts.commandLine = request.commandLine;
  facts.startTime = UtcTimestamp(startTime);
  if (run.sharded) facts.shard = run.shard;
  facts.runs = run.slice.end - run.slice.begin;
  const auto recordOf = [&](const TableDigest& digest, const std::string& previous) {
    facts.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    facts.ran = result.ran;
    facts.refused = result.refused;
    facts.failed = result.failed;
    facts.taken = resumed;
    facts.complete = !stopped && result.Count() + resumed == run.slice.end - run.slice.begin;
    TableRecordFacts recorded = facts;
    recorded.table = digest;
    recorded.previous = previous;
    return TableRecordJson(table, recorded);
  };
  const auto target = [&](const std::string& path, const char* what, bool keep) {
    return TableStream{path, what, targets.standardOutput, keep, stoppedAtTheEnd, recordOf};
  };
  bool written = true;
  const auto withCycles = [&](std::ostream* csv) {
    if (!targets.cycles) return runAndWrite(csv, nullptr);
    bool dropped = false;
    std::optional<TableWriteProblem> problem = StreamTableFile(
        target(*targets.cycles, "cycle table", false), [&](std::ostream& cycles) { return runAndWrite(csv, &cycles); },
        dropped);
    if (problem) result.problems.push_back({TableProblemKind::Write, {}, std::move(problem)});
    return !problem && !dropped;
  };
  if (targets.table) {
    bool dropped = false;
    std::optional<TableWriteProblem> problem = StreamTableFile(
        target(*targets.table, "table", request.resume), [&](std::ostream& csv) { return withCycles(&csv); }, dropped);
    if (problem) result.problems.push_back({TableProblemKind::Write, {}, std::move(problem)});
    written = !problem && !dropped;
  } else {
    written = withCycles(nullptr);
  }
  if (streamProblem) {
    result.problems.push_back({TableProblemKind::Changed, *streamProblem, {}});
    return result;
  }
  // The facts of a table that went to a stream, or nowhere.
  recordOf({}, {});
  result.complete = facts.complete;
  result.written = written;
  result.recordWritten = written;
  checkpoint("table-written");
  result.stopped = userStopped();
  return result;
}

}  // namespace varnolt
