#include "cli/PointTables.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>

#include "cli/Messages.h"
#include "cli/OutputPaths.h"
#include "cli/ProgressLine.h"
#include "cli/RunOptions.h"
#include "cli/SettingsFiles.h"
#include "cli/SharedOptions.h"
#include "platform/Interrupts.h"
#include "results/ResultsTable.h"

namespace varnolt {

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

std::optional<RunSettings> BaseSettingsOfFirstArgument(const ExperimentOptions& options, CliStreams& io, int& status) {
  const std::optional<std::string> file =
      options.positional.empty() ? std::nullopt : std::optional<std::string>(options.positional[0]);
  return BaseSettings(file, options.assignments, io, status);
}

std::uint32_t BaseSeed(const ExperimentOptions& options, CliStreams& io) {
  if (options.seed) return *options.seed;
  const std::uint32_t seed = FreshSeedFor(static_cast<std::uint64_t>(std::max(options.replicates, 1)));
  io.err << "Seed " << seed << " (repeat these runs with --seed " << seed << ").\n";
  return seed;
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

void PrintWriteProblem(CliStreams& io, const TableWriteProblem& problem) {
  if (problem.standardOutput) return PrintProblem(io, "cannot write the " + problem.what + " to standard output");
  if (problem.settings) return PrintProblem(io, ProblemLine(*problem.settings));
  std::string cause;
  if (problem.noName) cause = "no file name was given";
  else if (problem.folder) cause = "it is a folder";
  else if (problem.failure && problem.failure->folderRefused)
    cause = CauseText(FileError{FileErrorCause::FolderAccessDenied, {}}, problem.path);
  else if (problem.failure) cause = CauseText(problem.failure->code);
  PrintProblem(io, "cannot write the " + problem.what + " to " + problem.path + ": " + cause);
}

bool StreamTable(const std::string& path, const std::string& what, const std::function<bool(std::ostream&)>& write,
                 CliStreams& io, bool keepWhenInterrupted,
                 const std::function<std::string(const TableDigest&, const std::string&)>& record) {
  const auto interrupted = [] {
    InterruptionTestPoint("final-write");
    return InterruptionFlag().load();
  };
  bool dropped = false;
  if (std::optional<TableWriteProblem> problem =
          StreamTableFile({path, what, &io.out, keepWhenInterrupted, interrupted, record}, write, dropped)) {
    PrintWriteProblem(io, *problem);
    return false;
  }
  return !dropped;
}

bool WriteTable(const std::string& path, const std::string& what, const std::string& content, CliStreams& io) {
  return StreamTable(
      path, what,
      [&content](std::ostream& out) {
        out << content;
        return true;
      },
      io);
}

std::string Number(double value) { return ShortestNumber(value); }

namespace {

// The options' checks before a table runs; the usage status on a problem.
std::optional<int> RefusedTableOptions(const PointTable& table, const ExperimentOptions& options, CliStreams& io,
                                       bool keptOutputs) {
  if (!options.csv && !keptOutputs) {
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
  return CheckTableFiles(options, {}, io);
}

bool IsRecordProblem(const TableProblem& problem) {
  return problem.write && problem.write->what == "record of the table";
}

// The status of a table's run, with what the runner says of it.
int Report(const PointTable& table, const ExperimentOptions& options, const TableRunResult& result, CliStreams& io) {
  for (const TableProblem& problem : result.problems) {
    switch (problem.kind) {
      case TableProblemKind::Design: return UsageError(io, problem.text);
      case TableProblemKind::Resume:
        PrintProblem(io, problem.text);
        io.err << "Nothing was run.\n";
        return ExitUsage;
      case TableProblemKind::Changed:
        PrintProblem(io, problem.text);
        io.err << "Nothing was written.\n";
        return ExitFailure;
      case TableProblemKind::Write:
        if (!IsRecordProblem(problem)) PrintWriteProblem(io, *problem.write);
        break;
    }
  }
  const auto printRecordProblems = [&] {
    for (const TableProblem& problem : result.problems) {
      if (IsRecordProblem(problem)) PrintWriteProblem(io, *problem.write);
    }
  };
  const std::size_t count = result.Count();
  // A signal during the runs or the writing of the last rows: nothing is left
  // half-written, and the status says the command was stopped.
  if (const int signal = InterruptionSignal(); signal != 0) {
    io.err << "\nStopped after " << count << " of " << result.todo << " runs.";
    printRecordProblems();
    if (result.written && options.csv && *options.csv != "-" && result.recordWritten) {
      io.err << " Their rows are in " << *options.csv
             << (result.complete ? ".\n" : "; run the same command again to finish.\n");
    } else if (options.csv && *options.csv == "-") {
      io.err << " The rows so far went to standard output.\n";
    } else {
      io.err << " Nothing was written.\n";
    }
    return InterruptedExitStatus(signal);
  }
  if (!result.written || !result.recordWritten) {
    printRecordProblems();
    return ExitFailure;
  }
  const bool toStandardOutput = options.csv && *options.csv == "-";
  std::ostream& summary = toStandardOutput || table.summaryToError ? io.err : io.out;
  summary << table.command << ": " << count << (count == 1 ? " run" : " runs");
  if (options.shard) {
    summary << " (shard " << result.shard.k << " of " << result.shard.n << ", design " << result.fingerprint << ")";
  }
  if (result.taken > 0) summary << ", " << result.taken << " more taken from the table";
  summary << "; " << result.ran << " completed, " << result.refused << " refused by a rule, " << result.failed
          << " failed.\n";
  if (options.csv && !toStandardOutput) summary << "Table written to " << *options.csv << ".\n";
  if (options.cycles) summary << "Cycle table written to " << *options.cycles << ".\n";
  return ExitSuccess;
}

}  // namespace

int RunPointTable(const PointTable& table, const ExperimentOptions& options, CliStreams& io, RunOutputs* kept) {
  if (std::optional<int> refused = RefusedTableOptions(table, options, io, kept != nullptr)) return *refused;
  TableRunRequest request;
  request.targets = {options.csv, options.cycles, &io.out};
  if (options.shard) {
    Shard shard;
    if (auto problem = ParseShard(*options.shard, shard.k, shard.n)) return UsageError(io, *problem);
    request.shard = shard;
  }
  request.resume = options.resume;
  request.threads = options.threads.value_or(0);
  request.window = options.window;
  request.commandLine = CommandLineText();

  std::stop_source stop;
  std::atomic<std::uint64_t> done{0}, todo{0};
  TableRunHooks hooks;
  hooks.stop = stop.get_token();
  hooks.progress = [&](std::uint64_t count, std::uint64_t total) {
    todo.store(total);
    done.store(count);
  };
  if (kept != nullptr) {
    *kept = RunOutputs(table.statistics, table.Runs());
    hooks.outcome = [kept](std::size_t run, const PointOutcome& outcome) { kept->Set(run, outcome); };
  }
  // A signal stops the points; at the places a stop must be noticed at once
  // (the end of the last row), one that has come is taken as it lands.
  hooks.checkpoint = [&stop](const char* place) {
    InterruptionTestPoint(place);
    if (InterruptionFlag().load()) stop.request_stop();
  };
  TableRunResult result;
  {
    InterruptionWatch interruption([&stop] { stop.request_stop(); });
    ProgressLine progress(
        io.err, done,
        [&todo](std::uint64_t count, double elapsed) { return CountProgressText("Runs", count, todo.load(), elapsed); },
        !options.quiet && StandardErrorIsTerminal());
    result = RunTable(table, request, hooks);
  }
  return Report(table, options, result, io);
}

}  // namespace varnolt
