// `sensitivity`: which settings move the means and the period most, by Morris
// screening or Sobol indices over chosen factors.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>

#include "cli/Help.h"
#include "cli/Messages.h"
#include "cli/DryRun.h"
#include "cli/PointTables.h"
#include "cli/RunOptions.h"
#include "cli/SharedOptions.h"
#include "experiments/SensitivityIndices.h"
#include "platform/FileIO.h"
#include "platform/Interrupts.h"
#include "platform/WholeNumbers.h"
#include "results/CycleAnalysis.h"
#include "results/ResultsTable.h"
#include "results/Statistics.h"

namespace varnolt {

namespace {

class SensitivityCommand final : public Command {
 public:
  explicit SensitivityCommand(CLI::App& parent) {
    CLI::App* command = AddCommand(
        parent, "sensitivity",
        "Ranks settings by their effect on the means and the period: Morris screening or Sobol indices.",
        "[FILE.dat] --factor NAME=LOW:HIGH... --method morris|sobol [OPTIONS]", SettingsNotes());
    AddArguments(*command, "FILE.dat", options_.positional,
                 "the settings every run starts from; without it, the start-up settings");
    AddListOption(*command, "--factor", options_.factors, "NAME=LOW:HIGH",
                  "a setting to study, over its whole values from LOW to HIGH")
        ->group(DesignGroup);
    AddTextOption(*command, "--method", options_.method, "morris|sobol",
                  "elementary effects (screening) or Sobol indices")
        ->group(DesignGroup);
    AddCountOption<std::int32_t>(*command, "--trajectories", options_.trajectories, 2, 100000,
                                 "the number of trajectories", "Morris trajectories (20 unless given)")
        ->group(DesignGroup);
    AddCountOption<std::int32_t>(*command, "--levels", options_.levels, 2, 1000, "the number of grid levels",
                                 "Morris grid levels, even (4 unless given)")
        ->group(DesignGroup);
    AddCountOption<std::int32_t>(*command, "--samples", options_.samples, 2, 10000000, "the number of base samples",
                                 "Sobol base samples (256 unless given); runs = N x (factors + 2)")
        ->group(DesignGroup);
    AddCountOption<std::int32_t>(*command, "--bootstrap", options_.bootstrap, 0, 100000,
                                 "the number of bootstrap resamples",
                                 "resamples for the intervals of mu* (Morris) and of the indices (Sobol); 200 unless "
                                 "given")
        ->group(DesignGroup);
    AddSetOption(*command, options_.assignments, "change one setting of every run");
    AddCsvOption(*command, options_.csv, "the indices as a table; - for standard output");
    AddTextOption(*command, "--points", options_.points, "PATH",
                  "also the table of runs (as sweep writes it), which --shard and --resume work on")
        ->group(OutputsGroup);
    AddTextOption(*command, "--from-points", options_.fromPoints, "PATH",
                  "compute the indices from a whole table of runs (merged shards) instead of running")
        ->group(OutputsGroup);
    AddSeedOption(*command, options_.seed, "the seed of every run, and of the design unless --design-seed is given "
                                           "(a random seed unless given)");
    command
        ->add_option_function<std::string>(
            "--design-seed",
            [this](const std::string& text) {
              options_.designSeed = ReadWholeNumber<std::uint32_t>(text);
              if (!options_.designSeed) {
                throw CLI::ValidationError("--design-seed " + text +
                                           ": the seed must be a whole number from 0 to 4294967295");
              }
            },
            "the seed of the design: Morris's trajectories and the bootstrap's resamples (--seed unless given)")
        ->type_name("N")
        ->group(DesignGroup);
    AddReplicatesOption(*command, options_.replicates,
                        "run every point N times, seeds S to S+N-1 from --seed S (the same at every point); "
                        "a point's output is the mean of its replicates");
    AddStatisticsOption(*command, options_.statistics,
                        "the outputs to rank the factors by (meanFemale, meanHerm, meanMale, meanAborted and "
                        "period unless given)");
    AddCyclesWindowOption(*command, options_.window);
    AddThreadsOption(*command, options_.threads);
    AddQuietOption(*command, options_.quiet);
    AddShardOptions(*command, options_.shard, options_.resume, "the table of --points");
    command->add_flag("--dry-run", options_.dryRun,
                      "tell the points, runs, refused points, palm-cycles, time and memory; run and write nothing")
        ->group(RunningGroup);
  }

  int Run(CliStreams& io) override {
    SensitivityPlan plan;
    if (std::optional<int> refused = CheckOptions(io, plan)) return *refused;
    if (std::optional<int> refused = CheckTableFiles(
            options_,
            {{"the settings file", options_.positional.empty() ? std::nullopt : std::optional(options_.positional[0])},
             {"the table of runs (--from-points)", options_.fromPoints}},
            io)) {
      return *refused;
    }
    int status = ExitSuccess;
    const std::optional<RunSettings> base = BaseSettingsOfFirstArgument(options_, io, status);
    if (!base) return status;
    const std::uint32_t seed = BaseSeed(options_, io);
    // The design (Morris trajectories, the bootstrap's resamples) has a seed of its
    // own, so that the runs' seeds can change while the design stays.
    plan.designSeed = options_.designSeed.value_or(seed);
    if (std::optional<std::string> problem = MemoryNeeded(plan)) return UsageError(io, *problem);

    SensitivityDesign design;
    PointTable table = MakeSensitivityTable(*base, plan, seed, static_cast<std::size_t>(options_.replicates),
                                            options_.Columns(), design);
    table.summaryToError = options_.csv && *options_.csv == "-";
    ExperimentOptions pointOptions = options_;
    pointOptions.csv = options_.points;
    if (options_.dryRun) return DryRunPointTable(table, pointOptions, io);
    RunOutputs outcomes;
    if (options_.fromPoints) {
      if (std::optional<std::string> problem = RunsOfTable(*options_.fromPoints, table, outcomes)) {
        PrintProblem(io, *problem);
        io.err << "Nothing was computed.\n";
        return ExitFailure;
      }
    } else {
      pointOptions.points.reset();
      if (const int ran = RunPointTable(table, pointOptions, io, &outcomes); ran != ExitSuccess) return ran;
      if (options_.shard) {
        io.out << "This part holds its slice of the runs only: merge the parts, then give the whole table to\n"
                  "the same command with --from-points ALL.csv (instead of --shard and --points) for the indices.\n";
        return ExitSuccess;
      }
    }
    const bool toStandardOutput = options_.csv && *options_.csv == "-";
    std::ostream& report = toStandardOutput ? io.err : io.out;
    const SensitivityIndices indices = ComputeSensitivityIndices(plan, design, table, outcomes, seed, options_.bootstrap);
    report << indices.report;
    return WriteIndices(indices.table, plan, seed, outcomes, io, report);
  }

 private:
  // The outputs of the design's runs, read through the whole table at `path`
  // (merged from shards, say); answers why not.
  static std::optional<std::string> RunsOfTable(const std::string& path, const PointTable& table,
                                                RunOutputs& outputs) {
    std::error_code code;
    if (std::filesystem::is_directory(PathFromUtf8(path), code)) return "cannot read " + path + ": it is a folder";
    errno = 0;
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    if (!in) {
      return "cannot read " + path + ": " +
             CauseText(std::error_code(errno != 0 ? errno : ENOENT, std::generic_category()));
    }
    return OutcomesFromTable(in, path, table, outputs);
  }

  // The options read into a plan of the design; the usage status on a problem.
  std::optional<int> CheckOptions(CliStreams& io, SensitivityPlan& plan) const {
    if (options_.positional.size() > 1) return UsageError(io, "sensitivity takes at most one settings file");
    if (!options_.method || (*options_.method != "morris" && *options_.method != "sobol")) {
      return UsageError(io, "sensitivity needs --method morris or --method sobol");
    }
    plan.morris = *options_.method == "morris";
    if (options_.factors.empty()) return UsageError(io, "sensitivity needs at least one --factor NAME=LOW:HIGH");
    std::vector<SensitivityFactor>& factors = plan.factors;
    factors.resize(options_.factors.size());
    for (std::size_t f = 0; f < factors.size(); ++f) {
      if (auto problem = ParseSensitivityFactor(options_.factors[f], factors[f])) return UsageError(io, *problem);
      for (std::size_t g = 0; g < f; ++g) {
        if (factors[g].name == factors[f].name) return UsageError(io, factors[f].name + " is a factor twice");
      }
    }
    if (plan.morris && options_.levels % 2 != 0) return UsageError(io, "--levels must be even for Morris");
    if (options_.fromPoints && (options_.shard || options_.resume || options_.points)) {
      return UsageError(io, "--from-points reads the runs; it takes no --shard, --resume or --points");
    }
    if ((options_.shard || options_.resume) && !options_.points) {
      return UsageError(io, "--shard and --resume work on the table of runs: give --points PATH");
    }
    if ((options_.shard || options_.resume) && !options_.seed) {
      return UsageError(io, "--shard and --resume need --seed N, so that every part runs the same design");
    }
    plan.trajectories = options_.trajectories;
    plan.levels = options_.levels;
    plan.samples = options_.samples;
    return std::nullopt;
  }

  // What the design holds while it runs: its points in the unit cube as they
  // are made, their whole-numbered steps, and each run's outputs for the
  // indices. Too much for this computer is refused before anything is made.
  std::optional<std::string> MemoryNeeded(const SensitivityPlan& plan) const {
    const std::size_t statisticCount =
        options_.statistics.empty() ? DefaultSensitivityStatistics().size() : options_.statistics.size();
    return SensitivityMemoryProblem(plan, static_cast<std::size_t>(options_.replicates), statisticCount,
                                    plan.morris ? "give fewer --trajectories or factors"
                                                : "give fewer --samples or factors");
  }

  // The table of indices with, beside it, what made them, so that a picture of
  // them can say it.
  int WriteIndices(const std::string& csv, const SensitivityPlan& plan, std::uint32_t seed, const RunOutputs& outcomes,
                   CliStreams& io, std::ostream& report) const {
    if (!options_.csv) return ExitSuccess;
    if (!WriteTable(*options_.csv, "table", csv, io)) {
      if (InterruptionSignal() != 0) io.err << "Interrupted; the table of indices was not written.\n";
      return ExitFailure;
    }
    if (const std::optional<std::string> recordPath = TableRecordPath(options_.csv)) {
      const std::string text = SensitivityRecordJson(plan, CommandLineText(), seed,
                                                     static_cast<std::size_t>(options_.replicates), outcomes);
      if (!WriteTable(*recordPath, "record of the table", text, io)) return ExitFailure;
    }
    if (*options_.csv != "-") report << "\nTable written to " << *options_.csv << ".\n";
    return ExitSuccess;
  }

  ExperimentOptions options_;
};

}  // namespace

std::unique_ptr<Command> MakeSensitivityCommand(CLI::App& parent) { return std::make_unique<SensitivityCommand>(parent); }

}  // namespace varnolt
