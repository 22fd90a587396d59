#include "cli/Replicates.h"

#include <span>
#include <sstream>

#include "cli/Messages.h"
#include "cli/PointTables.h"
#include "cli/ProgressLine.h"
#include "experiments/Experiments.h"
#include "platform/Interrupts.h"
#include "results/CycleAnalysis.h"
#include "results/ResultsTable.h"
#include "results/Statistics.h"

namespace varnolt {

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
  control.window = options.window;
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
        !options.quiet && StandardErrorIsTerminal());
    outcomes = RunPoints(points, control, todo);
  }
  if (InterruptionFlag().load()) {
    io.err << "\nStopped; the report of replicate 1 is written, no table.\n";
    return InterruptedExitStatus(InterruptionSignal());
  }
  outcomes[0].status = PointStatus::Ran;
  outcomes[0].cycles = PublishedCycles(model);
  outcomes[0].analysis = AnalyseCycles(outcomes[0].cycles, options.window, &InterruptionFlag());
  if (InterruptionFlag().load()) {
    io.err << "\nStopped; the report of replicate 1 is written, no table.\n";
    return InterruptedExitStatus(InterruptionSignal());
  }
  const std::span<const CycleResult> firstCycles = outcomes[0].cycles;
  for (const PointOutcome& outcome : outcomes) {
    if (outcome.status != PointStatus::Ran) {
      PrintProblem(io, "a replicate failed: " + (outcome.problem ? ProblemLine(*outcome.problem) : outcome.message));
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
        const StatisticSummary spread = SummariseValues(values);
        csv += "," + Number(spread.mean) + "," + Number(spread.sd) + "," + Number(spread.ci95);
      }
      csv += "\n";
    }
    if (!WriteTable(*options.csv, "CSV table", csv, io)) {
      if (InterruptionSignal() != 0) io.err << "Interrupted; the report of replicate 1 is written, no table.\n";
      return ExitFailure;
    }
  }
  summary << "Ran " << count << " replicates of " << settings.cycleCount << " cycles of " << settings.palmCount
          << " palms from " << source << ", seeds " << first.seed << " to "
          << first.seed + static_cast<std::uint32_t>(count - 1) << "; the report of replicate 1 is written to "
          << (toStandardOutput ? std::string("standard output") : settings.outputPath) << ".\n";
  std::vector<CycleAnalysis> analyses;
  for (std::size_t r = 0; r < count; ++r) {
    const CycleAnalysis& a = outcomes[r].analysis;
    summary << "Replicate " << r + 1 << " (seed " << points[r].seed << "): " << AnalysisLine(a) << ".\n";
    analyses.push_back(a);
  }
  // Runs without a value (no regular cycle has no period) are left out of its
  // mean, and the line says how many.
  const std::vector<Statistic> statistics = options.statistics.empty()
                                                ? std::vector<Statistic>{Statistic::Period, Statistic::Strength,
                                                                         Statistic::MeanFemale, Statistic::MeanHerm,
                                                                         Statistic::MeanMale, Statistic::MeanAborted}
                                                : options.statistics;
  summary << "Over the replicates:";
  for (Statistic statistic : statistics) {
    const int decimals = statistic == Statistic::Period ? 1 : statistic == Statistic::Strength ||
                                                                      statistic == Statistic::SexRatio
                                                                  ? 3
                                                                  : 2;
    summary << (statistic == statistics.front() ? " " : "; ")
            << SummaryText(SummariseStatistic(analyses, statistic), statistic, decimals);
  }
  summary << ".\n";
  if (options.csv && *options.csv != "-") summary << "Per-cycle mean and spread written to " << *options.csv << ".\n";
  return ExitSuccess;
}

}  // namespace varnolt
