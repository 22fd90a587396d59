#include "cli/RunCommand.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <sstream>

#include <CLI/CLI.hpp>

#include "cli/Help.h"
#include "cli/Messages.h"
#include "cli/ProgressLine.h"
#include "cli/PointTables.h"
#include "cli/Replicates.h"
#include "cli/ResultsOutputs.h"
#include "cli/SettingsFiles.h"
#include "cli/SharedOptions.h"
#include "platform/FileError.h"
#include "platform/Interrupts.h"
#include "platform/Windows1252.h"
#include "plot/PlotPicture.h"
#include "results/CycleAnalysis.h"
#include "experiments/Experiments.h"
#include "results/ReportWriter.h"
#include "results/ResultsTable.h"
#include "results/Statistics.h"
#include "run/Job.h"
#include "run/ReportTarget.h"
#include "run/RunDriver.h"
#include "settings/ValidationRules.h"

namespace varnolt {

namespace {

std::string Plural(std::int32_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Where the run failed, then the driver's message for the user.
void PrintRunFailure(const RunOutcome& outcome, CliStreams& io) {
  PrintProblem(io, ProblemLine(*outcome.problem));
  if (outcome.status != RunStatus::ReportNotWritten) io.err << "No report was written.\n";
}

}  // namespace

RunOutcome WatchRun(const std::function<RunOutcome(RunControl&)>& run, int threads, std::int64_t palms,
                    bool progressLine, std::ostream& err) {
  RunOutcome outcome;
  Job job(
      [&](std::stop_token stop, RunControl& control) {
        // A stop in the middle of a run, without timing a signal to land there:
        // with VARNOLT_TEST_INTERRUPT=running:SIGNAL the program signals itself
        // as the run starts, and the run goes on only once that stop has reached
        // the job, so it ends interrupted as a run stopped by a person would.
        InterruptionTestPoint("running");
        if (InterruptionFlag().load()) {
          std::mutex lock;
          std::condition_variable_any stopped;
          std::unique_lock<std::mutex> held(lock);
          stopped.wait(held, stop, [] { return false; });
        }
        outcome = run(control);
      },
      threads);
  InterruptionWatch interruption([&job] { job.Stop(); });
  const auto palmCount = static_cast<std::uint64_t>(std::max<std::int64_t>(palms, 0));
  ProgressLine line(
      err, job.DoneCounter(),
      [palmCount](std::uint64_t done, double elapsed) { return PalmsProgressText(done, palmCount, elapsed); },
      progressLine);
  job.Wait();
  return outcome;
}

namespace {

class RunCommand final : public Command {
 public:
  explicit RunCommand(CLI::App& parent) {
    CLI::App* command = AddCommand(
        parent, "run",
        "Runs the model from FILE.dat or the start-up settings, changed by each --set, and writes the report.",
        "[FILE.dat] [OPTIONS]", SettingsNotes());
    AddArguments(*command, "FILE.dat", options_.positional,
                 "the settings file to run; without it, the start-up settings");
    AddSetOption(*command, options_.assignments, "change one setting; may be given many times");
    AddResultsOutputs(*command, options_);
    AddSeedOption(*command, options_.seed,
                  "seed the random generator with N (0 to 4294967295); without it a random seed, which is "
                  "printed");
    AddStatisticsOption(*command, options_.statistics,
                        "also print these statistics of the run, or of the replicates with --replicates");
    AddCyclesWindowOption(*command, options_.window);
    AddThreadsOption(*command, options_.threads);
    AddReplicatesOption(*command, options_.replicates,
                        "run N times, seeds S to S+N-1 from --seed S; the CSV gets per cycle the mean, sd and 95 % "
                        "confidence half-width");
    AddQuietOption(*command, options_.quiet);
  }

  int Run(CliStreams& io) override {
    if (options_.positional.size() > 1) {
      return UsageError(io, "run takes at most one settings file, not also \"" + options_.positional[1] + "\"");
    }
    if (options_.positional.empty()) return ExecuteRun(StartupDefaults(), options_, "the start-up defaults", io);
    const std::string& path = options_.positional.front();
    const std::optional<RunSettings> settings = LoadSettingsForCommand(path, io);
    if (!settings) {
      io.err << "Nothing was run.\n";
      return ExitFailure;
    }
    return ExecuteRun(*settings, options_, path, io, path);
  }

 private:
  RunOptions options_;
};

}  // namespace

std::unique_ptr<Command> MakeRunCommand(CLI::App& parent) { return std::make_unique<RunCommand>(parent); }

namespace {

// What the checks before a run settle: where the report goes, whether standard
// output is taken (the summary then goes to standard error), and the seed.
struct RunPlan {
  bool toStandardOutput = false;
  bool outputTaken = false;
  std::uint32_t seed = 0;
};

// Applies the --set changes and checks everything that refuses a run before it
// starts (options, rules, files, the window, the picture, seeds, memory); on a
// refusal, answers the exit status after saying why.
std::optional<int> PlanRun(RunSettings& settings, const RunOptions& options, const std::string& settingsFile,
                           CliStreams& io, RunPlan& plan) {
  for (const std::string& assignment : options.assignments) {
    if (std::optional<std::string> problem = ApplyAssignment(settings, assignment)) {
      return UsageError(io, *problem);
    }
  }
  if (std::optional<std::string> problem = CheckResultsOptions(options)) return UsageError(io, *problem);
  if (std::optional<std::string> problem = CheckReplicateOptions(options)) return UsageError(io, *problem);
  const bool toStandardOutput = options.output && *options.output == "-";
  plan.toStandardOutput = toStandardOutput;
  // Whatever goes to standard output, the summary goes to standard error.
  plan.outputTaken = toStandardOutput || (options.csv && *options.csv == "-");
  if (options.output && !toStandardOutput) settings.outputPath = *options.output;

  if (const std::optional<Problem> problem = SettingsProblem(settings)) {
    PrintProblem(io, ProblemLine(*problem));
    io.err << "Nothing was run.\n";
    return ExitUsage;
  }
  if (!toStandardOutput) {
    if (std::optional<Problem> problem = ReportTargetProblem(settings.outputPath, PathFromUtf8(settingsFile))) {
      PrintProblem(io, ProblemLine(*problem));
      io.err << "Nothing was run.\n";
      return ExitUsage;
    }
  }
  CommandFiles files;
  files.Reads("the settings file", settingsFile);
  files.Writes(options.output ? "--output" : "the report (outputPath)", toStandardOutput ? std::optional<std::string>() : settings.outputPath);
  AddResultsFiles(options, files);
  if (std::optional<std::string> problem = files.Problem()) return UsageError(io, *problem);

  if (options.window) {
    if (std::optional<std::string> problem = CyclesWindowProblem(*options.window, settings.cycleCount)) {
      return UsageError(io, "--cycles-window: " + *problem);
    }
  }
  // A picture that cannot be drawn is told before the run, not after it.
  if (options.plot) {
    if (std::optional<std::string> problem = DrawingProblem()) {
      PrintProblem(io, "cannot draw --plot " + *options.plot + ": " + *problem);
      io.err << "Nothing was run.\n";
      return ExitFailure;
    }
  }
  const auto replicates = static_cast<std::uint64_t>(std::max(options.replicates, 1));
  const std::uint32_t seed = options.seed ? *options.seed : FreshSeedFor(replicates);
  plan.seed = seed;
  if (std::optional<std::string> problem = SeedRangeProblem(seed, replicates)) {
    return UsageError(io, "--replicates " + std::to_string(replicates) + " from --seed " + std::to_string(seed) +
                              ": " + *problem);
  }
  if (replicates > 1) {
    // Every replicate's cycles are held for the mean and spread of each cycle.
    const double need = static_cast<double>(replicates) * (static_cast<double>(settings.cycleCount) + 1) *
                        static_cast<double>(sizeof(CycleResult) + sizeof(double));
    if (std::optional<std::string> problem =
            MemoryProblem(static_cast<std::uint64_t>(std::min(need, 1.8e19)),
                          "--replicates " + std::to_string(replicates) + " of " +
                              Plural(settings.cycleCount, "cycle", "cycles"),
                          "give fewer replicates or cycles")) {
      return UsageError(io, *problem);
    }
  }
  return std::nullopt;
}

// Runs the model as a job and writes its report (to its file, or to standard
// output); answers the exit status when the command ends here.
std::optional<int> RunAndWriteReport(FloweringModel& model, const RunSettings& settings, const RunOptions& options,
                                     const RunPlan& plan, CliStreams& io, RunOutcome& outcome) {
  const int threads = options.threads ? *options.threads : 0;
  const bool progressLine = !options.quiet && StandardErrorIsTerminal();
  if (plan.toStandardOutput) {
    outcome = WatchRun([&](RunControl& control) { return RunModel(model, settings, plan.seed, &control); }, threads,
                       settings.palmCount, progressLine, io.err);
    if (outcome.Completed() && !InterruptionSignal()) {
      WriteReport(model, io.out);
      io.out.flush();
      // No summary claims a report that never arrived; the write error itself
      // is told once, for every command, when the runner ends.
      if (!io.out) return ExitFailure;
    }
  } else {
    outcome = WatchRun([&](RunControl& control) { return RunSimulation(model, settings, plan.seed, &control); },
                       threads, settings.palmCount, progressLine, io.err);
  }
  if (const int signal = InterruptionSignal(); signal != 0 && !outcome.Completed()) {
    io.err << "Interrupted; nothing was written.\n";
    return InterruptedExitStatus(signal);
  }
  if (!outcome.Completed()) {
    PrintRunFailure(outcome, io);
    return ExitFailure;
  }
  return std::nullopt;
}

void WarnOfLostNoteCharacters(const RunSettings& settings, const RunPlan& plan, CliStreams& io) {
  // The report, like a settings file, holds its notes in Windows-1252 on every
  // platform; what that lacks is written as "?".
  if (const std::size_t lost = Windows1252Losses(settings.runNotes); lost != 0) {
    io.err << "varnolt-cli: warning: the notes hold " << lost << (lost == 1 ? " character" : " characters")
           << " that reports cannot store; written as ? in "
           << (plan.toStandardOutput ? std::string("the report on standard output") : settings.outputPath) << "\n";
  }
}

// After the report of a single run: its analysis, the summary and the results files.
int ReportSingleRun(const FloweringModel& model, const RunSettings& settings, const RunOutcome& outcome,
                    const RunOptions& options, const RunPlan& plan, const std::string& source, CliStreams& io) {
  // The analysis of a long run takes a while (a minute and more at 20 million
  // cycles): a signal during it, or while the files after the report are
  // written, stops the command with its status. The report is whole by then.
  const auto stoppedAfterReport = [&] {
    io.err << "Interrupted after the report was written to "
           << (plan.toStandardOutput ? std::string("standard output") : settings.outputPath)
           << "; nothing more was written.\n";
    return InterruptedExitStatus(InterruptionSignal());
  };
  InterruptionTestPoint("analysis");
  const CycleAnalysis analysis = AnalyseCycles(PublishedCycles(model), options.window, &InterruptionFlag());
  if (InterruptionSignal() != 0) return stoppedAfterReport();
  std::ostringstream summary;
  summary << "Ran " << Plural(settings.cycleCount, "cycle", "cycles") << " of "
          << Plural(settings.palmCount, "palm", "palms") << " from " << source << ", seed " << plan.seed
          << "; report written to " << (plan.toStandardOutput ? std::string("standard output") : settings.outputPath)
          << ".\n"
          << AnalysisLine(analysis) << ".\n";
  if (!options.statistics.empty()) summary << StatisticsLine(analysis, options.statistics) << ".\n";
  std::ostringstream written;
  const bool outputsWritten = WriteResultsOutputs(model, settings, outcome, analysis, options, io, written);
  summary << written.str();
  if (InterruptionSignal() != 0) {
    io.err << written.str();  // the files finished before the signal, each whole
    return stoppedAfterReport();
  }
  if (plan.outputTaken) {
    io.err << summary.str();
  } else {
    io.err << "Seed " << plan.seed << " (repeat this run with --seed " << plan.seed << ").\n";
    io.out << summary.str();
  }
  if (!outputsWritten) return ExitFailure;
  return ExitSuccess;
}

}  // namespace

int ExecuteRun(RunSettings settings, const RunOptions& options, const std::string& source, CliStreams& io,
               const std::string& settingsFile) {
  RunPlan plan;
  if (const std::optional<int> refused = PlanRun(settings, options, settingsFile, io, plan)) return *refused;
  FloweringModel model;
  RunOutcome outcome;
  if (const std::optional<int> ended = RunAndWriteReport(model, settings, options, plan, io, outcome)) return *ended;
  WarnOfLostNoteCharacters(settings, plan, io);
  if (options.replicates > 1) return FinishReplicates(model, settings, outcome, options, source, io);
  return ReportSingleRun(model, settings, outcome, options, plan, source, io);
}

}  // namespace varnolt
