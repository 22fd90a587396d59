// `analyse REPORT.dat|RESULTS.csv`: the cycle period and mean percentages of
// results already written.
#include <CLI/CLI.hpp>

#include "cli/Help.h"
#include "cli/ResultsOutputs.h"
#include "cli/SharedOptions.h"
#include "results/CycleAnalysis.h"
#include "results/Statistics.h"

namespace {

class AnalyseCommand final : public Command {
 public:
  explicit AnalyseCommand(CLI::App& parent) {
    CLI::App* command = AddCommand(parent, "analyse",
                                   "Prints the cycle period and mean percentages of a report or CSV.",
                                   "REPORT.dat|RESULTS.csv [OPTIONS]");
    AddArguments(*command, "REPORT.dat|RESULTS.csv", sources_, "the report or CSV table to analyse");
    AddStatisticsOption(*command, statistics_, "also print these statistics");
    AddCyclesWindowOption(*command, window_);
  }

  int Run(CliStreams& io) override {
    if (sources_.size() != 1) {
      return UsageError(io, "analyse takes one report or CSV, e.g. varnolt-cli analyse output.dat");
    }
    const std::optional<std::vector<CycleResult>> cycles = LoadResults(sources_[0], io);
    if (!cycles) return ExitFailure;
    if (window_) {
      if (auto problem = CyclesWindowProblem(*window_, static_cast<std::int64_t>(cycles->size()))) {
        return UsageError(io, "--cycles-window: " + *problem + " (in " + sources_[0] + ")");
      }
    }
    const CycleAnalysis analysis = AnalyseCycles(*cycles, window_);
    io.out << AnalysisLine(analysis) << ".\n";
    if (!statistics_.empty()) io.out << StatisticsLine(analysis, statistics_) << ".\n";
    io.out.flush();
    return io.out ? ExitSuccess : ExitFailure;
  }

 private:
  std::vector<std::string> sources_;
  std::vector<Statistic> statistics_;
  std::optional<CyclesWindow> window_;
};

}  // namespace

std::unique_ptr<Command> MakeAnalyseCommand(CLI::App& parent) { return std::make_unique<AnalyseCommand>(parent); }
