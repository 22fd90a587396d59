#pragma once
// What `sweep`, `batch` and `sensitivity` share: their options, their base
// settings, and the table of points they run (a shard's slice of it, resumed
// after a stop) and write, one row per point and replicate. The points run in
// the experiments folder.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "experiments/Experiments.h"
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

// A design point: its settings and its cells in the table after the point number.
struct DesignPoint {
  RunSettings settings;
  std::string leadCells;
};

// A design of points, each run `replicates` times: the table's rows are design
// point after design point, replicate after replicate. The points are made one
// at a time when their turn comes, so a design of millions never sits whole in
// memory.
struct PointTable {
  std::string command;                           // for messages and the fingerprint
  std::vector<std::string> leadColumns;          // header cells after "point"
  std::size_t points = 0;                        // design points
  std::function<DesignPoint(std::size_t)> point; // design point d (from 0)
  std::uint32_t seed = 0;                        // the seed of replicate 1 at every point...
  std::vector<std::uint32_t> pointSeeds;         // ...unless each point has its own (a batch's seed column)
  std::string description;                       // what defines the design, for its fingerprint
  RunSettings base;                              // the settings every point starts from, for the record
  std::vector<Statistic> statistics;             // the table's columns of results
  bool summaryToError = false;                   // standard output carries another table

  std::uint32_t SeedOf(std::size_t design) const { return pointSeeds.empty() ? seed : pointSeeds[design]; }
};

// The settings file (or the start-up defaults) with every --set applied; on a
// problem prints it, sets status and answers nothing.
std::optional<RunSettings> BaseSettings(const std::optional<std::string>& file,
                                        const std::vector<std::string>& assignments, CliStreams& io, int& status);

// The same from the settings file the command names first, if any.
std::optional<RunSettings> BaseSettingsOfFirstArgument(const ExperimentOptions& options, CliStreams& io, int& status);

// The 27 settings as text, for a design's fingerprint.
std::string SettingsText(const RunSettings& settings);

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

// Where the record of a table goes: beside it, unless the table goes to
// standard output, a device or a pipe.
std::optional<std::string> TableRecordPath(const std::optional<std::string>& table);

// Why a design cannot run when holding `bytes` (its points, the outputs its
// indices need) would not fit in the memory this computer has free: the need
// and what is free, and `remedy`. Nothing when it fits.
std::optional<std::string> MemoryProblem(std::uint64_t bytes, const std::string& what, const std::string& remedy);

// Runs the table's points (the shard's slice of them, those not yet in a table
// to resume) and streams the table to --csv row by row; `kept`, when given,
// receives every run's outputs, and the table is then optional. Returns the
// exit status.
int RunPointTable(const PointTable& table, const ExperimentOptions& options, CliStreams& io,
                  RunOutputs* kept = nullptr);

// The outputs of a design's runs, read through the whole table of them (merged
// from shards, say); answers why not when the table is of another design.
std::optional<std::string> OutcomesFromTable(const std::string& path, const PointTable& table, std::size_t replicates,
                                             RunOutputs& outputs);

// The table's statistics (--stat, or `defaults`) and what --stat and
// --cycles-window add to its description: nothing for the default columns over
// the default cycles, so that tables keep their fingerprints.
void ChooseStatistics(PointTable& table, const ExperimentOptions& options, std::vector<Statistic> defaults);

// Writes a table through the safe replacement (or to standard output for "-");
// prints why on failure.
bool WriteTable(const std::string& path, const std::string& what, const std::string& content, CliStreams& io);

// The same for a table written row by row as it is made: `writer` streams it,
// and answers false to drop it (a stop, a failed run), which leaves any earlier
// file whole and prints nothing. Standard output takes the rows as they come.
// A signal caught by the time the last row is written drops the table too,
// unless `keepWhenInterrupted` (a table to resume keeps the rows it has).
bool StreamTable(const std::string& path, const std::string& what, const std::function<bool(std::ostream&)>& writer,
                 CliStreams& io, bool keepWhenInterrupted = false);

// A number in a table: the shortest text that reads back to the same double.
std::string Number(double value);

}  // namespace varnolt
