// `batch DESIGN.csv`: runs a design made elsewhere (a spreadsheet, a script),
// one row per run with settings as columns, and writes its rows with results.
#include <CLI/CLI.hpp>

#include "cli/Help.h"
#include "cli/DryRun.h"
#include "cli/PointTables.h"
#include "cli/SettingsFiles.h"
#include "cli/RunOptions.h"
#include "cli/SharedOptions.h"

namespace varnolt {

namespace {

class BatchCommand final : public Command {
 public:
  explicit BatchCommand(CLI::App& parent) {
    CLI::App* command = AddCommand(
        parent, "batch",
        "Runs a design made elsewhere, one CSV row per run with settings as columns, and appends the results.",
        "DESIGN.csv --csv PATH|- [OPTIONS]",
        Wrapped("The design's first line names the settings its columns set (and, if it likes, a seed "
                "column); each further line is one run. Cells may be quoted, as spreadsheets save them, and a "
                "quoted cell may hold commas and line breaks.",
                "", "") +
            "\n" + SettingsNotes());
    AddArguments(*command, "DESIGN.csv", options_.positional, "the design: one run per line after its header");
    AddTextOption(*command, "--settings", options_.settingsFile, "FILE.dat",
                  "the settings the design's columns change (the start-up settings unless given)")
        ->group(SettingsGroup);
    AddRunTableOptions(*command, options_,
                       {"change one setting of every run", "the table: one row per run and replicate; - for standard output",
                        "run every line N times, seeds S to S+N-1 from its seed S",
                        "the seed of replicate 1 where the design has no seed column"});
  }

  int Run(CliStreams& io) override {
    if (options_.positional.size() != 1) return UsageError(io, "batch takes one design, DESIGN.csv");
    const std::string& designPath = options_.positional[0];
    if (std::optional<int> refused =
            CheckTableFiles(options_, {{"the design", designPath}, {"the settings file", options_.settingsFile}}, io)) {
      return *refused;
    }
    int status = ExitSuccess;
    const std::optional<RunSettings> base = BaseSettings(options_.settingsFile, options_.assignments, io, status);
    if (!base) return status;
    const std::optional<std::string> text = ReadWholeFile(designPath, io);
    if (!text) {
      io.err << "Nothing was run.\n";
      return ExitFailure;
    }
    BatchDesign design;
    if (std::optional<DesignProblem> problem = ReadBatchDesign(*text, design)) return Refuse(io, designPath, *problem);
    if (options_.shard && !options_.seed && !design.seedColumn) {
      return UsageError(io, "--shard needs --seed N or a seed column, so that every part runs the same seeds");
    }
    if (options_.resume && !options_.seed && !design.seedColumn) {
      return UsageError(io, "--resume needs --seed N or a seed column, so that the runs repeat the same seeds");
    }
    const std::uint32_t seed = design.seedColumn && !options_.seed ? 0 : BaseSeed(options_, io);
    PointTable table;
    if (std::optional<DesignProblem> problem =
            MakeBatchTable(*base, std::move(design), seed, static_cast<std::size_t>(options_.replicates),
                           options_.Columns(), table)) {
      return Refuse(io, designPath, *problem);
    }
    if (options_.dryRun) return DryRunPointTable(table, options_, io);
    return RunPointTable(table, options_, io);
  }

 private:
  // A design that cannot run: where in it, and why.
  static int Refuse(CliStreams& io, const std::string& designPath, const DesignProblem& problem) {
    io.err << "varnolt-cli: " << designPath << " line " << problem.line;
    if (problem.column > 0) io.err << ", column " << problem.column;
    io.err << ": " << problem.text << "\nNothing was run.\n";
    return ExitUsage;
  }

  ExperimentOptions options_;
};

}  // namespace

std::unique_ptr<Command> MakeBatchCommand(CLI::App& parent) { return std::make_unique<BatchCommand>(parent); }

}  // namespace varnolt
