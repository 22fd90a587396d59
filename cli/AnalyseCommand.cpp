// `analyse REPORT.dat|RESULTS.csv`: the cycle period and mean percentages of
// results already written; `analyse CYCLES.csv --point N`: of one point of a
// per-cycle table (each of its replicates).
#include <CLI/CLI.hpp>

#include "cli/Help.h"
#include "cli/Messages.h"
#include "cli/TablePictures.h"
#include "cli/ResultsOutputs.h"
#include "cli/SharedOptions.h"
#include "results/CycleAnalysis.h"
#include "results/Statistics.h"

namespace varnolt {

namespace {

class AnalyseCommand final : public Command {
 public:
  explicit AnalyseCommand(CLI::App& parent) {
    CLI::App* command = AddCommand(parent, "analyse",
                                   "Prints the cycle period and mean percentages of a report or CSV, or of one "
                                   "point of a per-cycle table.",
                                   "REPORT.dat|RESULTS.csv|CYCLES.csv [--point N] [OPTIONS]");
    AddArguments(*command, "REPORT.dat|RESULTS.csv|CYCLES.csv", sources_,
                 "the report or CSV table to analyse, or a per-cycle table (sweep or batch --cycles)");
    AddPointOption(*command, point_, "for a per-cycle table: the point to analyse (each of its replicates)");
    AddStatisticsOption(*command, statistics_, "also print these statistics");
    AddCyclesWindowOption(*command, window_);
  }

  int Run(CliStreams& io) override {
    if (sources_.size() != 1) {
      return UsageError(io, "analyse takes one report or CSV, e.g. varnolt-cli analyse output.dat");
    }
    const std::string& source = sources_[0];
    std::vector<ReplicateCycles> runs;
    // Read once: a pipe or process substitution gives its bytes only once.
    const std::optional<std::string> text = ReadWholeFile(source, io);
    if (!text) return ExitFailure;
    {
      const TableKind kind = KindOfTable(*text);
      if (kind == TableKind::Cycles) {
        if (!point_) {
          return UsageError(io, source + " is a per-cycle table of several runs; give --point N for the point to "
                                         "analyse, e.g. varnolt-cli analyse " + source + " --point 1");
        }
        int status = ExitSuccess;
        std::optional<std::vector<ReplicateCycles>> ofPoint = RunsOfPoint(*text, source, *point_, io, status);
        if (!ofPoint) return status;
        runs = std::move(*ofPoint);
      } else if (point_) {
        return UsageError(io, "--point chooses a point of a per-cycle table (written by sweep or batch --cycles), "
                              "and " + source + " is " + TableKindName(kind));
      } else if (kind != TableKind::Other) {
        return UsageError(io, source + " is " + TableKindName(kind) + ", which holds no cycles to analyse; give "
                                       "analyse a report, a run's CSV, or a per-cycle table with --point N");
      }
    }
    if (runs.empty()) {
      std::optional<std::vector<CycleResult>> cycles = LoadResults(*text, source, io);
      if (!cycles) return ExitFailure;
      runs.push_back({1, std::move(*cycles)});
    }
    for (std::size_t r = 0; r < runs.size(); ++r) {
      if (window_) {
        if (auto problem = CyclesWindowProblem(*window_, static_cast<std::int64_t>(runs[r].cycles.size()))) {
          return UsageError(io, "--cycles-window: " + *problem + " (in " + source + ")");
        }
      }
      // Each replicate of a point on its own lines; a single run as a run's own CSV gives.
      const std::string lead = runs.size() > 1 ? "Replicate " + std::to_string(runs[r].replicate) + ": " : "";
      const CycleAnalysis analysis = AnalyseCycles(runs[r].cycles, window_);
      io.out << lead << AnalysisLine(analysis) << ".\n";
      if (!statistics_.empty()) io.out << lead << StatisticsLine(analysis, statistics_) << ".\n";
    }
    io.out.flush();
    return io.out ? ExitSuccess : ExitFailure;
  }

 private:
  std::vector<std::string> sources_;
  std::vector<Statistic> statistics_;
  std::optional<CyclesWindow> window_;
  std::optional<std::int64_t> point_;
};

}  // namespace

std::unique_ptr<Command> MakeAnalyseCommand(CLI::App& parent) { return std::make_unique<AnalyseCommand>(parent); }

}  // namespace varnolt
