#pragma once
// What `sweep`, `batch` and `sensitivity` share on the command line: their
// options, their base settings and seed, and the runner's face of the point
// tables the experiments library runs (experiments/PointTables.h): the request
// made from the options, the progress line and signals, and the words and
// statuses of what comes back.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "experiments/PointTables.h"
#include "settings/RunSettings.h"

namespace varnolt {

// The options of the commands that run tables of points; each command declares
// the ones it takes.
struct ExperimentOptions {
  std::vector<std::string> assignments;
  std::vector<std::string> vary;
  std::vector<std::string> factors;
  std::optional<std::uint32_t> seed;
  std::int32_t replicates = 1;
  std::optional<std::string> csv;
  std::optional<std::string> cycles;
  std::optional<std::string> settingsFile;
  std::optional<std::string> shard;
  std::optional<std::string> method;
  std::optional<std::string> output;
  std::optional<std::string> points;
  std::optional<std::string> fromPoints;
  std::optional<int> threads;
  std::int32_t trajectories = 20;
  std::int32_t levels = 4;
  std::int32_t samples = 256;
  std::int32_t bootstrap = 200;
  bool resume = false;
  std::vector<Statistic> statistics;        // --stat: the table's columns; the command's own default when empty
  std::optional<CyclesWindow> window;       // --cycles-window: the cycles analysed; the burn-in rule when not given
  std::optional<std::uint32_t> designSeed;  // --design-seed: the sensitivity design's; the model's seed unless given
  bool dryRun = false;
  bool quiet = false;  // --quiet: no progress line
  std::vector<std::string> positional;

  TableColumns Columns() const { return {statistics, window}; }
};

// The options sweep and batch share, declared once; the words say what a point
// of the command's design is.
struct RunTableWords {
  std::string set;         // --set
  std::string csv;         // --csv
  std::string replicates;  // --replicates
  std::string seed;        // --seed
};
void AddRunTableOptions(CLI::App& command, ExperimentOptions& options, const RunTableWords& words);

// The same from the settings file the command names first, if any.
std::optional<RunSettings> BaseSettingsOfFirstArgument(const ExperimentOptions& options, CliStreams& io, int& status);

// --seed, or a fresh random seed (never so high that the replicates' seeds would
// pass the last seed), told on standard error so that the runs can be repeated.
std::uint32_t BaseSeed(const ExperimentOptions& options, CliStreams& io);

// Checks, before anything runs, the files an experiment reads (`reads`: what
// each is and its path) against the tables and records it writes (--csv,
// --cycles, --points and the records beside them); on a problem prints it and
// answers the usage status.
std::optional<int> CheckTableFiles(const ExperimentOptions& options,
                                   const std::vector<std::pair<std::string, std::optional<std::string>>>& reads,
                                   CliStreams& io);

// Runs the table's points (the shard's slice of them, those not yet in a table
// to resume) and streams the table to --csv row by row; `kept`, when given,
// receives every run's outputs, and the table is then optional. Returns the
// exit status.
int RunPointTable(const PointTable& table, const ExperimentOptions& options, CliStreams& io,
                  RunOutputs* kept = nullptr);

// Prints why a table or record could not be written.
void PrintWriteProblem(CliStreams& io, const TableWriteProblem& problem);

// Writes a table through the safe replacement (or to standard output for "-");
// prints why on failure.
bool WriteTable(const std::string& path, const std::string& what, const std::string& content, CliStreams& io);

// The same for a table written row by row as it is made: `writer` streams it,
// and answers false to drop it (a stop, a failed run), which leaves any earlier
// file whole and prints nothing. Standard output takes the rows as they come.
// A signal caught by the time the last row is written drops the table too,
// unless `keepWhenInterrupted`.
// `record`, when given, makes the record beside a table file from its digest
// and the record it replaces; the two are written as one unit.
bool StreamTable(const std::string& path, const std::string& what, const std::function<bool(std::ostream&)>& writer,
                 CliStreams& io, bool keepWhenInterrupted = false,
                 const std::function<std::string(const TableDigest&, const std::string&)>& record = {});

// A number in a table: the shortest text that reads back to the same double.
std::string Number(double value);

}  // namespace varnolt
