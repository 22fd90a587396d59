#include "cli/RunCommand.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <thread>

#include "cli/ExperimentCommands.h"
#include "cli/ResultsOutputs.h"
#include "cli/SettingsFileCommands.h"
#include "platform/FileError.h"
#include "platform/Interrupts.h"
#include "results/CycleAnalysis.h"
#include "results/ReportWriter.h"
#include "settings/ReportTarget.h"
#include "settings/RunDriver.h"
#include "settings/ValidationRules.h"

const char* const RunUsage =
    "[FILE.dat] [--set NAME=VALUE]... [--seed N] [--threads N] [--quiet] [--output PATH|-] [--csv PATH|-]\n"
    "        [--json PATH] [--plot PATH.png|PATH.svg [--plot-size WxH]] [--replicates N]";

namespace {

std::string Plural(std::int32_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Where the run failed, then the driver's message for the user.
void PrintRunFailure(const RunOutcome& outcome, CliStreams& io) {
  io.err << "varnolt-cli: ";
  if (outcome.status == RunStatus::FrondOutOfRange) {
    io.err << outcome.frond.field << " = " << outcome.frond.value << ": ";
  }
  io.err << outcome.message << "\n";
  if (outcome.status != RunStatus::ReportNotWritten) io.err << "No report was written.\n";
}

// "1,000,000".
std::string WithThousands(std::uint64_t number) {
  std::string digits = std::to_string(number);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), 1, ',');
  return digits;
}

std::string Clock(double seconds) {
  const auto whole = static_cast<long long>(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  return text;
}

// The one-line progress bar on a terminal, redrawn in place and cleared at the end.
class ProgressLine {
 public:
  ProgressLine(std::ostream& err, std::uint64_t palms) : err_(err), palms_(std::max<std::uint64_t>(palms, 1)) {}
  void Draw(std::uint64_t done, double elapsed) {
    const double share = std::min(1.0, static_cast<double>(done) / static_cast<double>(palms_));
    const int filled = static_cast<int>(share * BarWidth);
    std::string line = "\r" + std::string(share < 0.1 ? 2 : share < 1 ? 1 : 0, ' ') +
                       std::to_string(static_cast<int>(share * 100)) + "% [" + std::string(filled, '#') +
                       std::string(BarWidth - filled, '.') + "] " + WithThousands(done) + " of " +
                       WithThousands(palms_) + " palms, " + Clock(elapsed) + " elapsed";
    if (share > 0) line += ", " + Clock(elapsed / share - elapsed) + " left";
    width_ = std::max(width_, line.size() - 1);
    line += std::string(width_ + 1 - line.size(), ' ');
    err_ << line << std::flush;
  }
  void Clear() {
    if (width_ != 0) err_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
    width_ = 0;
  }

 private:
  static constexpr int BarWidth = 20;
  std::ostream& err_;
  std::uint64_t palms_;
  std::size_t width_ = 0;
};

}  // namespace

RunOutcome WatchRun(const std::function<RunOutcome()>& run, RunControl& control, std::int64_t palms, bool progressLine,
                    std::ostream& err) {
  using namespace std::chrono;
  RunOutcome outcome;
  std::mutex lock;
  std::condition_variable ended;
  bool finished = false;
  std::thread worker([&] {
    RunOutcome result = run();
    std::lock_guard<std::mutex> guard(lock);
    outcome = std::move(result);
    finished = true;
    ended.notify_one();
  });
  ProgressLine line(err, static_cast<std::uint64_t>(std::max<std::int64_t>(palms, 0)));
  const auto start = steady_clock::now();
  auto drawn = start;
  {
    std::unique_lock<std::mutex> guard(lock);
    while (!ended.wait_for(guard, milliseconds(20), [&] { return finished; })) {
      if (InterruptionFlag().load()) control.cancel = true;
      const auto now = steady_clock::now();
      // Only a run that lasts gets a line, redrawn at most ten times a second.
      if (progressLine && now - start >= seconds(1) && now - drawn >= milliseconds(100)) {
        drawn = now;
        line.Draw(control.palmsDone.load(), duration<double>(now - start).count());
      }
    }
  }
  worker.join();
  line.Clear();
  return outcome;
}

int RunCommand(const std::vector<std::string>& args, CliStreams& io) {
  std::string error;
  const std::optional<RunOptions> options = ParseRunOptions(args, error);
  if (!options) return UsageError(io, error);
  if (options->positional.size() > 1) {
    return UsageError(io, "run takes at most one settings file, not also \"" + options->positional[1] + "\"");
  }
  if (options->positional.empty()) return ExecuteRun(StartupDefaults(), *options, "the start-up defaults", io);
  const std::string& path = options->positional.front();
  const std::optional<RunSettings> settings = LoadSettingsForCommand(path, io);
  if (!settings) {
    io.err << "Nothing was run.\n";
    return ExitFailure;
  }
  return ExecuteRun(*settings, *options, path, io, path);
}

int ExecuteRun(RunSettings settings, const RunOptions& options, const std::string& source, CliStreams& io,
               const std::string& settingsFile) {
  for (const std::string& assignment : options.assignments) {
    if (std::optional<std::string> problem = ApplyAssignment(settings, assignment)) {
      return UsageError(io, *problem);
    }
  }
  if (std::optional<std::string> problem = CheckResultsOptions(options)) return UsageError(io, *problem);
  if (std::optional<std::string> problem = CheckReplicateOptions(options)) return UsageError(io, *problem);
  const bool toStandardOutput = options.output && *options.output == "-";
  // Whatever goes to standard output, the summary goes to standard error.
  const bool outputTaken = toStandardOutput || (options.csv && *options.csv == "-");
  if (options.output && !toStandardOutput) settings.outputPath = *options.output;

  if (const ValidationRule* rule = FirstFailedRule(settings)) {
    const FieldInfo* field = FindField(rule->field);
    io.err << "varnolt-cli: the settings fail rule " << rule->number << " (" << rule->field;
    if (field != nullptr && field->integer != nullptr) io.err << " = " << settings.*(field->integer);
    io.err << "):\n" << rule->message << "\nNothing was run.\n";
    return ExitUsage;
  }
  if (!toStandardOutput) {
    if (std::optional<std::string> problem = ReportTargetProblem(settings.outputPath, PathFromUtf8(settingsFile))) {
      io.err << "varnolt-cli: " << *problem << "\nNothing was run.\n";
      return ExitUsage;
    }
  }

  const std::uint32_t seed = options.seed ? *options.seed : FloweringModel::ClockSeed();
  FloweringModel model;
  RunControl control;
  if (options.threads) control.threads = *options.threads;
  const bool progressLine = !options.quiet && StandardErrorIsTerminal();
  RunOutcome outcome;
  if (toStandardOutput) {
    outcome = WatchRun([&] { return RunModel(model, settings, seed, &control); }, control, settings.palmCount,
                       progressLine, io.err);
    if (outcome.Completed() && !InterruptionSignal()) {
      WriteReport(model, io.out);
      io.out.flush();
      // No summary claims a report that never arrived; the write error itself
      // is told once, for every command, when the runner ends.
      if (!io.out) return ExitFailure;
    }
  } else {
    outcome = WatchRun([&] { return RunSimulation(model, settings, seed, &control); }, control, settings.palmCount,
                       progressLine, io.err);
  }
  if (const int signal = InterruptionSignal(); signal != 0 && !outcome.Completed()) {
    io.err << "Interrupted; nothing was written.\n";
    return InterruptedExitStatus(signal);
  }
  if (!outcome.Completed()) {
    PrintRunFailure(outcome, io);
    return ExitFailure;
  }
  if (options.replicates > 1) return FinishReplicates(model, settings, outcome, options, source, io);

  std::ostringstream summary;
  summary << "Ran " << Plural(settings.cycleCount, "cycle", "cycles") << " of "
          << Plural(settings.palmCount, "palm", "palms") << " from " << source << ", seed " << seed
          << "; report written to " << (toStandardOutput ? std::string("standard output") : settings.outputPath)
          << ".\n"
          << AnalysisLine(AnalyseCycles(CyclesOf(model.cycleResults))) << ".\n";
  const bool outputsWritten = WriteResultsOutputs(model, settings, outcome, options, io, summary);
  if (outputTaken) {
    io.err << summary.str();
  } else {
    io.err << "Seed " << seed << " (repeat this run with --seed " << seed << ").\n";
    io.out << summary.str();
  }
  if (!outputsWritten) return ExitFailure;
  return ExitSuccess;
}
