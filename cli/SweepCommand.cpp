// `sweep`: the full factorial of the varied settings, one table row per point
// and replicate.
#include <CLI/CLI.hpp>

#include "cli/Help.h"
#include "cli/DryRun.h"
#include "cli/PointTables.h"
#include "cli/RunOptions.h"
#include "cli/SharedOptions.h"

namespace varnolt {

namespace {

class SweepCommand final : public Command {
 public:
  explicit SweepCommand(CLI::App& parent) {
    CLI::App* command = AddCommand(
        parent, "sweep",
        "Runs the full factorial of the varied settings and writes one CSV row per point and replicate.",
        "[FILE.dat] --vary NAME=FROM:TO[:STEP]... --csv PATH|- [OPTIONS]", SettingsNotes());
    AddArguments(*command, "FILE.dat", options_.positional,
                 "the settings every point starts from; without it, the start-up settings");
    AddListOption(*command, "--vary", options_.vary, "NAME=FROM:TO[:STEP]",
                  "vary a numeric setting from FROM to TO by STEP (1 unless given); several give the full "
                  "factorial")
        ->group(DesignGroup);
    AddRunTableOptions(*command, options_,
                       {"change one setting of every point",
                        "the table: one row per point and replicate; - for standard output",
                        "run every point N times, seeds S to S+N-1 from --seed S",
                        "the seed of replicate 1 (a random seed unless given)"});
  }

  int Run(CliStreams& io) override {
    if (options_.positional.size() > 1) return UsageError(io, "sweep takes at most one settings file");
    if (options_.vary.empty()) return UsageError(io, "sweep needs at least one --vary NAME=FROM:TO[:STEP]");
    if ((options_.shard || options_.resume) && !options_.seed) {
      return UsageError(io, "--shard and --resume need --seed N, so that every part runs the same seeds");
    }
    std::vector<SweepFactor> factors(options_.vary.size());
    for (std::size_t f = 0; f < factors.size(); ++f) {
      if (auto problem = ParseSweepFactor(options_.vary[f], factors[f])) return UsageError(io, *problem);
      for (std::size_t g = 0; g < f; ++g) {
        if (factors[g].name == factors[f].name) return UsageError(io, factors[f].name + " is varied twice");
      }
    }
    double total = 1.0;
    for (const SweepFactor& factor : factors) total *= static_cast<double>(factor.values.size());
    if (total * options_.replicates > 1e8) return UsageError(io, "the sweep has more than 100 million runs");

    if (std::optional<int> refused = CheckTableFiles(
            options_, {{"the settings file", options_.positional.empty() ? std::nullopt : std::optional(options_.positional[0])}}, io)) {
      return *refused;
    }
    int status = ExitSuccess;
    const std::optional<RunSettings> base = BaseSettingsOfFirstArgument(options_, io, status);
    if (!base) return status;
    const std::uint32_t seed = BaseSeed(options_, io);

    const PointTable table =
        MakeSweepTable(*base, factors, seed, static_cast<std::size_t>(options_.replicates), options_.Columns());
    if (options_.dryRun) return DryRunPointTable(table, options_, io);
    return RunPointTable(table, options_, io);
  }

 private:
  ExperimentOptions options_;
};

}  // namespace

std::unique_ptr<Command> MakeSweepCommand(CLI::App& parent) { return std::make_unique<SweepCommand>(parent); }

}  // namespace varnolt
