// Running a point table: its runs streamed row by row into the table (a
// shard's slice of it, the rows of a table being resumed copied into their
// places), the per-cycle table beside it, and the record.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stop_token>

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

// One run of a table, in parts: the points run and their rows written as
// they come (RunAndWrite), the rows of a table being resumed copied across,
// the tables streamed to their files with their records (Write).
class TableRunner {
 public:
  TableRunner(const PointTable& table, const TableRunRequest& request, const TableRunHooks& hooks)
      : table_(table), request_(request), hooks_(hooks), targets_(request.targets) {}

  TableRunResult Run() {
    std::size_t resumed = 0;
    if (std::optional<TableProblem> problem = PlanRun(table_, request_, run_, done_, resumed)) {
      result_.problems.push_back(std::move(*problem));
      return std::move(result_);
    }
    resumed_ = resumed;
    result_.fingerprint = run_.fingerprint;
    result_.shard = run_.shard;
    result_.taken = resumed_;
    todo_ = run_.slice.end - run_.slice.begin - resumed_;
    result_.todo = todo_;
    startTime_ = std::chrono::system_clock::now();
    started_ = std::chrono::steady_clock::now();
    control_.threads = request_.threads;
    control_.keepCycles = targets_.cycles.has_value();
    control_.window = request_.window;
    control_.stop = stop_.get_token();
    const std::stop_callback forward(hooks_.stop, [this] { stop_.request_stop(); });
    replicateColumn_ = 1 + table_.leadColumns.size();
    columns_ = replicateColumn_ + 3 + table_.statistics.size() + 1;
    stampLine_ = run_.sharded ? run_.prefix.substr(0, run_.prefix.find('\n') + 1) : std::string();
    facts_.commandLine = request_.commandLine;
    facts_.startTime = UtcTimestamp(startTime_);
    if (run_.sharded) facts_.shard = run_.shard;
    facts_.runs = run_.slice.end - run_.slice.begin;

    const bool written = Write();
    if (streamProblem_) {
      result_.problems.push_back({TableProblemKind::Changed, *streamProblem_, {}});
      return std::move(result_);
    }
    // The facts of a table that went to a stream, or nowhere.
    RecordOf({}, {});
    result_.complete = result_.facts.complete;
    result_.written = written;
    result_.recordWritten = written;
    Checkpoint("table-written");
    result_.stopped = UserStopped();
    return std::move(result_);
  }

 private:
  void Checkpoint(const char* place) const {
    if (hooks_.checkpoint) hooks_.checkpoint(place);
  }
  bool UserStopped() const { return hooks_.stop.stop_requested(); }
  bool IsDone(std::size_t i) const { return !done_.empty() && done_[i]; }

  // The tables asked for, each streamed to its file or stream; answers whether
  // they are written.
  bool Write() {
    if (!targets_.table) return WithCycles(nullptr);
    bool dropped = false;
    std::optional<TableWriteProblem> problem = StreamTableFile(
        Target(*targets_.table, "table", request_.resume), [this](std::ostream& csv) { return WithCycles(&csv); },
        dropped);
    if (problem) result_.problems.push_back({TableProblemKind::Write, {}, std::move(problem)});
    return !problem && !dropped;
  }

  bool WithCycles(std::ostream* csv) {
    if (!targets_.cycles) return RunAndWrite(csv, nullptr);
    bool dropped = false;
    std::optional<TableWriteProblem> problem =
        StreamTableFile(Target(*targets_.cycles, "cycle table", false),
                        [this, csv](std::ostream& cycles) { return RunAndWrite(csv, &cycles); }, dropped);
    if (problem) result_.problems.push_back({TableProblemKind::Write, {}, std::move(problem)});
    return !problem && !dropped;
  }

  TableStream Target(const std::string& path, const char* what, bool keep) {
    return TableStream{path, what, targets_.standardOutput, keep,
                       [this] {
                         Checkpoint("final-write");
                         return UserStopped();
                       },
                       [this](const TableDigest& digest, const std::string& previous) {
                         return RecordOf(digest, previous);
                       }};
  }

  // The record beside each table file: made once the table's last row is
  // written, when the counts are final, and put in place with the table.
  std::string RecordOf(const TableDigest& digest, const std::string& previous) {
    facts_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    facts_.ran = result_.ran;
    facts_.refused = result_.refused;
    facts_.failed = result_.failed;
    facts_.taken = resumed_;
    facts_.complete = !stopped_ && result_.Count() + resumed_ == run_.slice.end - run_.slice.begin;
    TableRecordFacts recorded = facts_;
    recorded.table = digest;
    recorded.previous = previous;
    return TableRecordJson(table_, recorded);
  }

  // Runs the points and writes each row as soon as it and all before it are
  // done; the rows taken from the table being resumed are copied across in
  // their places. Answers false when the table is to be dropped.
  bool RunAndWrite(std::ostream* csv, std::ostream* cycles) {
    if (resumed_ > 0) old_.emplace(*targets_.table, run_);
    progressed_ = 0;
    rowDesign_ = table_.points;
    rowLead_.clear();
    std::size_t expected = run_.slice.begin;
    if (csv != nullptr) *csv << run_.prefix;
    if (cycles != nullptr) *cycles << stampLine_ << "point,replicate,cycle,female,herm,male,aborted\n";
    // Replicates of a design point share its settings, made once.
    std::size_t madeDesign = table_.points;
    RunSettings madeSettings;
    StreamPoints(
        run_.slice.begin, run_.slice.end, todo_,
        [&](std::size_t i) -> std::optional<ExperimentPoint> {
          if (IsDone(i)) return std::nullopt;
          if (i / run_.replicates != madeDesign) {
            madeDesign = i / run_.replicates;
            madeSettings = table_.point(madeDesign).settings;
          }
          return ExperimentPoint{madeSettings, table_.RunSeed(i)};
        },
        control_,
        [&](std::size_t i, PointOutcome* outcome) {
          expected = i + 1;
          if (outcome == nullptr) {
            if (!streamProblem_) CopyResumed(i, csv);
            return;
          }
          TakeOutcome(i, *outcome, csv, cycles);
        });
    Checkpoint("points-done");
    stopped_ = UserStopped();
    if (streamProblem_) return false;
    if (stopped_) {
      if (!request_.resume) return false;
      // The rows of the table being resumed that lie beyond the stop stay in it.
      for (std::size_t i = expected; i < run_.slice.end && !streamProblem_; ++i) {
        if (IsDone(i)) CopyResumed(i, csv);
      }
      return !streamProblem_;
    }
    if (run_.sharded && csv != nullptr) {
      *csv << ShardClosing(run_.shard.k, run_.shard.n, run_.slice.end - run_.slice.begin) << "\n";
    }
    if (run_.sharded && cycles != nullptr) *cycles << ShardClosing(run_.shard.k, run_.shard.n, cycleRows_) << "\n";
    // Standard output closed on the way (a reader gone): the other table is
    // dropped too, for a run whose output was lost.
    for (std::ostream* stream : {csv, cycles}) {
      if (stream != nullptr && stream == targets_.standardOutput && !stream->flush()) return false;
    }
    return true;
  }

  // The row of run `i` from the table being resumed, into the new table.
  void CopyResumed(std::size_t i, std::ostream* csv) {
    std::optional<CsvRecord> row = old_->Row(i, columns_, replicateColumn_, run_);
    if (!row) {
      streamProblem_ = *targets_.table + " changed while it was being resumed; run the same command again";
      stop_.request_stop();
      return;
    }
    if (csv != nullptr) *csv << row->text << "\n";
    if (hooks_.outcome) {
      if (std::optional<PointOutcome> outcome = OutcomeOfRow(row->cells, replicateColumn_ + 2, table_.statistics)) {
        hooks_.outcome(i, *outcome);
      }
    }
  }

  // A run just done: counted, told, and its rows written.
  void TakeOutcome(std::size_t i, const PointOutcome& outcome, std::ostream* csv, std::ostream* cycles) {
    if (outcome.status == PointStatus::NotRun) return;
    result_.ran += outcome.status == PointStatus::Ran ? 1 : 0;
    result_.refused += outcome.status == PointStatus::Invalid ? 1 : 0;
    result_.failed += outcome.status == PointStatus::Failed ? 1 : 0;
    if (hooks_.outcome) hooks_.outcome(i, outcome);
    if (hooks_.progress) hooks_.progress(++progressed_, todo_);
    if (csv != nullptr) {
      if (i / run_.replicates != rowDesign_ && !table_.leadColumns.empty()) {
        rowDesign_ = i / run_.replicates;
        rowLead_ = table_.point(rowDesign_).leadCells;
      }
      *csv << RowText(table_, i, rowLead_, outcome);
      if (!*csv) stop_.request_stop();  // the disk is full, say: running on would be in vain
    }
    if (cycles != nullptr) {
      const std::string cycleLead =
          std::to_string(i / run_.replicates + 1) + "," + std::to_string(i % run_.replicates + 1) + ",";
      for (std::size_t c = 0; c < outcome.cycles.size(); ++c) {
        const CycleResult& row = outcome.cycles[c];
        ++cycleRows_;
        *cycles << cycleLead << c + 1 << "," << ShortestNumber(row.female) << "," << ShortestNumber(row.herm) << ","
                << ShortestNumber(row.male) << "," << ShortestNumber(row.aborted) << "\n";
      }
      if (!*cycles) stop_.request_stop();
    }
  }

  const PointTable& table_;
  const TableRunRequest& request_;
  const TableRunHooks& hooks_;
  const TableTargets& targets_;
  TableRunResult result_;
  TableRecordFacts& facts_ = result_.facts;
  TableRun run_;
  std::vector<bool> done_;  // the runs the table being resumed holds
  std::size_t resumed_ = 0, todo_ = 0;
  std::chrono::system_clock::time_point startTime_;
  std::chrono::steady_clock::time_point started_;
  ExperimentControl control_;
  std::stop_source stop_;
  std::size_t replicateColumn_ = 0, columns_ = 0;
  std::string stampLine_;
  std::optional<ResumedRowReader> old_;
  std::size_t cycleRows_ = 0;
  std::uint64_t progressed_ = 0;
  std::size_t rowDesign_ = 0;  // the design point whose lead cells rowLead_ holds
  std::string rowLead_;
  bool stopped_ = false;
  std::optional<std::string> streamProblem_;
};

}  // namespace

TableRunResult RunTable(const PointTable& table, const TableRunRequest& request, const TableRunHooks& hooks) {
  return TableRunner(table, request, hooks).Run();
}

}  // namespace varnolt
