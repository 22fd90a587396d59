// `merge PART.csv... -o ALL.csv`: joins the shards of a sweep, batch or
// sensitivity run into the table one machine would have written.
#include <CLI/CLI.hpp>

#include "cli/Help.h"
#include "cli/OutputPaths.h"
#include "cli/PointTables.h"
#include "cli/RunOptions.h"
#include "cli/SharedOptions.h"
#include "platform/Interrupts.h"

namespace varnolt {

namespace {

class MergeCommand final : public Command {
 public:
  explicit MergeCommand(CLI::App& parent) {
    CLI::App* command = AddCommand(
        parent, "merge", "Joins the parts of a run split with --shard into the table one machine writes.",
        "PART.csv... -o ALL.csv");
    AddArguments(*command, "PART.csv", options_.positional, "the parts, each written with --shard K/N");
    AddOutputOption(*command, options_.output, "PATH|-", "the whole table to write; - for standard output");
  }

  int Run(CliStreams& io) override {
    if (!options_.output) return UsageError(io, "merge needs -o ALL.csv, the file to write");
    if (options_.positional.empty()) return UsageError(io, "merge needs the parts written with --shard");
    CommandFiles files;
    for (const std::string& path : options_.positional) files.Reads("a part", path);
    files.Writes("-o", options_.output);
    if (std::optional<std::string> problem = files.Problem()) return UsageError(io, *problem);
    // The parts are read through once as the merged table is written, so parts
    // larger than memory merge; a part found wrong on the way drops the table.
    std::vector<std::unique_ptr<std::istream>> streams;
    std::vector<ShardInput> parts;
    for (const std::string& path : options_.positional) {
      streams.push_back(OpenForReading(path, io));
      if (!streams.back()) {
        io.err << "Nothing was merged.\n";
        return ExitFailure;
      }
      parts.push_back({path, streams.back().get()});
    }
    std::optional<std::string> problem;
    MergedDesign design;
    const auto record = [&](const TableDigest& table, const std::string& previous) {
      MergeRecordFacts facts{CommandLineText(), options_.positional, design.fingerprint, design.runs,
                             design.replicates};
      return MergeRecordJson(facts, table, previous);
    };
    const bool written = StreamTable(
        *options_.output, "merged table",
        [&](std::ostream& merged) {
          problem = MergeShardStreams(parts, merged, &InterruptionFlag(), &design);
          return !problem;
        },
        io, false, record);
    if (const int signal = InterruptionSignal(); signal != 0 && !written) {
      io.err << (*options_.output == "-" ? "Interrupted; the merged table on standard output is incomplete.\n"
                                         : "Interrupted; nothing was merged.\n");
      return InterruptedExitStatus(signal);
    }
    if (problem) {
      PrintProblem(io, *problem);
      io.err << (*options_.output == "-" ? "The merged table on standard output is incomplete.\n"
                                         : "Nothing was merged.\n");
      return ExitFailure;
    }
    if (!written) return ExitFailure;
    if (*options_.output != "-") {
      io.out << "Merged " << parts.size() << (parts.size() == 1 ? " part" : " parts") << " into " << *options_.output
             << ".\n";
    }
    return ExitSuccess;
  }

 private:
  ExperimentOptions options_;
};

}  // namespace

std::unique_ptr<Command> MakeMergeCommand(CLI::App& parent) { return std::make_unique<MergeCommand>(parent); }

}  // namespace varnolt
