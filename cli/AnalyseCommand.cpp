// `analyse REPORT.dat|RESULTS.csv`: the cycle period and mean percentages of
// results already written.
#include <CLI/CLI.hpp>

#include "cli/Help.h"
#include "cli/ResultsOutputs.h"
#include "cli/SharedOptions.h"
#include "results/CycleAnalysis.h"

namespace {

class AnalyseCommand final : public Command {
 public:
  explicit AnalyseCommand(CLI::App& parent) {
    CLI::App* command = AddCommand(parent, "analyse",
                                   "Prints the cycle period and mean percentages of a report or CSV.",
                                   "REPORT.dat|RESULTS.csv");
    AddArguments(*command, "REPORT.dat|RESULTS.csv", sources_, "the report or CSV table to analyse");
  }

  int Run(CliStreams& io) override {
    if (sources_.size() != 1) {
      return UsageError(io, "analyse takes one report or CSV, e.g. varnolt-cli analyse output.dat");
    }
    const std::optional<std::vector<CycleResult>> cycles = LoadResults(sources_[0], io);
    if (!cycles) return ExitFailure;
    io.out << AnalysisLine(AnalyseCycles(*cycles)) << ".\n";
    io.out.flush();
    return io.out ? ExitSuccess : ExitFailure;
  }

 private:
  std::vector<std::string> sources_;
};

}  // namespace

std::unique_ptr<Command> MakeAnalyseCommand(CLI::App& parent) { return std::make_unique<AnalyseCommand>(parent); }
