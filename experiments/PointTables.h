#pragma once
// Point tables: the tables of runs that sweeps, batch designs and sensitivity
// analyses write, one row per design point and replicate, and every file around
// them. One API for every face (the runner, the window, the Python module):
//
//   PointTable design = MakeSweepTable(base, factors, seed, replicates, statistics);
//   TableRunRequest request;  request.targets.table = "sweep.csv";
//   TableRunHooks hooks;      hooks.stop = token;  hooks.progress = ...;
//   TableRunResult result = RunTable(design, request, hooks);
//
// A design expands into runs (point after point, replicate after replicate,
// replicate r of point d on seed SeedOf(d) + r), made one at a time when their
// turn comes, so that a design of millions never sits whole in memory. The run
// streams the table row by row to a file (replaced whole at the end, through a
// temporary file), to a stream (standard output, or memory), or nowhere while
// `hooks.outcome` takes every run's outcome; it resumes a stopped table, runs a
// shard's slice, and writes the record beside the table. The record is built by
// TableRecordJson, so that a face that writes a table itself (the window's
// export) writes the same one. Reading tables back (pictures, analysis, indices
// from a whole table) is in TableReading.h. Plain C++; problems come back as
// data (a kind and one line), and each face words and answers them.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <istream>
#include <ostream>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "experiments/Experiments.h"
#include "platform/CsvText.h"
#include "platform/FileIO.h"
#include "settings/RunSettings.h"
#include "settings/ValidationRules.h"

namespace varnolt {

// ---------------------------------------------------------------- designs

// A design point: its settings and its cells in the table after the point number.
struct DesignPoint {
  RunSettings settings;
  std::string leadCells;
};

// A design of points, each run `replicates` times: the table's rows are design
// point after design point, replicate after replicate.
struct PointTable {
  std::string command;                           // "sweep", "batch", "sensitivity": for messages and the fingerprint
  std::vector<std::string> leadColumns;          // header cells after "point"
  std::size_t points = 0;                        // design points
  std::function<DesignPoint(std::size_t)> point; // design point d (from 0)
  std::uint32_t seed = 0;                        // the seed of replicate 1 at every point...
  std::vector<std::uint32_t> pointSeeds;         // ...unless each point has its own (a batch's seed column)
  std::string description;                       // what defines the design, for its fingerprint
  RunSettings base;                              // the settings every point starts from, for the record
  std::vector<Statistic> statistics;             // the table's columns of results
  std::size_t replicates = 1;
  bool summaryToError = false;                   // the runner's standard output carries another table

  std::uint32_t SeedOf(std::size_t design) const { return pointSeeds.empty() ? seed : pointSeeds[design]; }
  std::size_t Runs() const { return points * replicates; }
  // The seed of run `run` (design point run / replicates, replicate run % replicates).
  std::uint32_t RunSeed(std::size_t run) const {
    return SeedOf(run / replicates) + static_cast<std::uint32_t>(run % replicates);
  }
  // The settings and seed of run `run`: the expansion every face runs.
  ExperimentPoint RunOf(std::size_t run) const { return {point(run / replicates).settings, RunSeed(run)}; }
  // The header line of the table, with its line break.
  std::string Header() const { return RunTableHeader(leadColumns, statistics); }
  // The stamp: a fingerprint of the description, the replicates and the version.
  std::string Fingerprint() const;
};

// The 27 settings as text, for a design's fingerprint: every part of a design
// starts from the same settings file, notes and all.
std::string SettingsText(const RunSettings& settings);

// The statistics a table's columns hold and the cycles they are taken over,
// as the user chose them (none chosen: the command's defaults).
struct TableColumns {
  std::vector<Statistic> chosen;
  std::optional<CyclesWindow> window;
};

// The table's statistics (the chosen ones, or `defaults`), and what the choice
// and the cycles window add to its description: nothing for the default
// columns over the default cycles, so that tables keep their fingerprints.
void ChooseStatistics(PointTable& table, const TableColumns& columns, std::vector<Statistic> defaults);

// The full factorial of `factors` over `base` (the first factor varying
// slowest), each point made when its turn comes.
PointTable MakeSweepTable(const RunSettings& base, const std::vector<SweepFactor>& factors, std::uint32_t seed,
                          std::size_t replicates, const TableColumns& columns);

// A problem of a batch design: its line and column (0 for the whole line).
struct DesignProblem {
  std::size_t line = 0;
  std::size_t column = 0;
  std::string text;
};

// A batch design made elsewhere: a header of setting names (and maybe a "seed"
// column), one run per line; cells may be quoted and hold line breaks.
struct BatchDesign {
  std::vector<CsvRecord> records;  // the header, then the rows
  std::optional<std::size_t> seedColumn;
};
// Reads the design's text and checks its header.
std::optional<DesignProblem> ReadBatchDesign(const std::string& text, BatchDesign& design);
// Checks every row before anything runs (cells by the rules' parser, seeds, and
// that no row runs part of another's seeds) and makes the table; `seed` is the
// seed of replicate 1 where the design has no seed column. The points are made
// again from the rows when their turn comes.
std::optional<DesignProblem> MakeBatchTable(const RunSettings& base, BatchDesign design, std::uint32_t seed,
                                            std::size_t replicates, const TableColumns& columns, PointTable& table);

// A Morris or Sobol design over whole-numbered factors.
struct SensitivityPlan {
  bool morris = true;
  std::vector<SensitivityFactor> factors;
  int trajectories = 20, levels = 4, samples = 256;
  std::uint32_t designSeed = 0;
};
// The design rows a plan has, for weighing its memory before it is made.
std::size_t SensitivityDesignRows(const SensitivityPlan& plan);
// What the indices need of the design once its points are in the table.
struct SensitivityDesign {
  SaltelliDesign saltelli;                // Sobol: its sizes (the points are dropped once turned)
  std::vector<std::vector<double>> used;  // Morris: the points as run, as fractions of each range
};
// The design's points in whole values: Morris on its grid (rounded), Sobol
// evenly over the whole values from low to high.
PointTable MakeSensitivityTable(const RunSettings& base, const SensitivityPlan& plan, std::uint32_t seed,
                                std::size_t replicates, const TableColumns& columns, SensitivityDesign& design);

// ---------------------------------------------------------------- running a table

struct Shard {
  int k = 1;
  int n = 1;
};

// A table's bytes as its record names them: their count and 16 hexadecimal
// digits of their FNV-1a hash (the function the stamp uses).
struct TableDigest {
  std::uint64_t bytes = 0;
  std::string digest;
  bool operator==(const TableDigest&) const = default;
};
// The digest of the file at `path`; nothing when it cannot be read.
std::optional<TableDigest> DigestOfFile(const std::string& path);
// The digest of a table kept in memory (as the Python module keeps it).
TableDigest DigestOfText(std::string_view text);

// The record a table of runs has beside it (a JSON object, two-space indented,
// with a final line break): what made it, so that it can be traced, repeated,
// resumed only by the same design, and told apart from settings.
struct TableRecordFacts {
  std::string commandLine;
  std::optional<TableDigest> table;  // the table the record describes
  std::string previous;              // the record it replaces (a JSON object), or empty
  std::string startTime;  // UTC
  double seconds = 0.0;
  std::optional<Shard> shard;
  std::size_t runs = 0;  // of this table or slice
  std::size_t ran = 0, refused = 0, failed = 0, taken = 0;
  bool complete = false;
};

// Where a table goes. A path of "-" sends it to `standardOutput` (the runner's
// standard output, or a string stream); no table at all is allowed when the
// caller takes the outcomes through `hooks.outcome`.
struct TableTargets {
  std::optional<std::string> table;
  std::optional<std::string> cycles;  // the per-cycle table
  std::ostream* standardOutput = nullptr;
};

struct TableRunRequest {
  TableTargets targets;
  std::optional<Shard> shard;
  bool resume = false;                 // continue the table at targets.table
  int threads = 0;                     // 0 follows the machine
  std::optional<CyclesWindow> window;  // the cycles analysed
  std::string commandLine;             // for the record: what made the table
};

struct TableRunHooks {
  std::stop_token stop;  // stops soon, running points too; the rows done are kept only when resuming
  // Runs done and runs to do, called in the table's order as rows are written.
  std::function<void(std::uint64_t done, std::uint64_t todo)> progress;
  // Every run's outcome in the table's order, those taken from a resumed table too.
  std::function<void(std::size_t run, const PointOutcome& outcome)> outcome;
  // Called at the places where a stop must be noticed at once (the end of the
  // points, the last row written); a face that stops on signals requests its
  // stop there when one has come.
  std::function<void(const char* place)> checkpoint;
};

// Why a table was refused or not written, as data; each face words it.
enum class TableProblemKind {
  Design,   // the design or request cannot run (seeds past the last): bad usage
  Resume,   // the table to resume is another design's, damaged, or cannot be read: nothing was run
  Changed,  // the table being resumed changed under the run: nothing was written
  Write,    // a table or record could not be written: `write` says why
};

// A file that could not be written: its place and the cause.
struct TableWriteProblem {
  std::string what;  // "table", "cycle table", "record of the table", "merged table"
  std::string path;
  bool standardOutput = false;            // the stream to standard output failed
  bool folder = false;                    // the path is a folder
  bool noName = false;                    // an empty path
  std::optional<Problem> settings;        // the file holds run settings, or its name is a Windows path
  std::optional<ReplaceFailure> failure;  // the replacement failed
};

struct TableProblem {
  TableProblemKind kind = TableProblemKind::Design;
  std::string text;                        // one line, for Design, Resume and Changed
  std::optional<TableWriteProblem> write;  // for Write
};

struct TableRunResult {
  // Why the table was refused before running, or a file not written, in the
  // order they came.
  std::vector<TableProblem> problems;
  bool stopped = false;        // a stop came before the table was in place
  bool written = false;        // the tables asked for are in place (or went to their stream)
  bool recordWritten = false;  // and so are their records (or they need none)
  bool complete = false;                // every run of the slice is in the table
  std::size_t todo = 0, ran = 0, refused = 0, failed = 0, taken = 0;
  std::string fingerprint;
  Shard shard;
  TableRecordFacts facts;  // what the record says (for a face that keeps the table itself)
  std::size_t Count() const { return ran + refused + failed; }
};

// Runs the table's points (the shard's slice of them, those not yet in a table
// to resume) and streams the table and the per-cycle table to their targets,
// with the record beside a table file.
TableRunResult RunTable(const PointTable& design, const TableRunRequest& request, const TableRunHooks& hooks = {});

// ---------------------------------------------------------------- plans

// What a table's run would do, told before anything runs (--dry-run): its
// runs in the shard's slice, the points the rules refuse, the palm-cycles of
// the runs that would run, and the tables' size.
struct RefusedPoint {
  std::size_t design = 0;  // from 0
  std::string leadCells;
  const ValidationRule* rule = nullptr;
};
struct TablePlan {
  std::size_t designPoints = 0;
  ShardSlice slice;
  std::size_t runs = 0;                // in the slice
  std::size_t refusedRuns = 0;         // in the slice
  std::size_t refusedPoints = 0;       // design points in the slice with a refused run
  std::vector<RefusedPoint> refused;   // the first ten of those points
  double palmCycles = 0;               // of the runs that would run
  double tableBytes = 0;               // the table
  double cycleTableBytes = 0;          // the per-cycle table, when `cycles`
};
// Goes through every run of the slice; nothing when stopped.
std::optional<TablePlan> PlanTable(const PointTable& design, const Shard& shard, bool cycles,
                                   const std::stop_token& stop = {});

// The time the plan's runs would take on this machine, from a sample of the
// design's own runs spread over the slice (as many as about a tenth of a
// second allows; points too large for that run with fewer palms), run on
// `threads` (0: the machine's) as the table runs them, and scaled by the
// palm-cycles and the runs. Nothing when no run would run, or when stopped.
struct TimeEstimate {
  double seconds = 0;
  double sampleSeconds = 0;
  double samplePalmCycles = 0;
  std::size_t sampleRuns = 0;
  int threads = 1;
};
std::optional<TimeEstimate> EstimateTableTime(const PointTable& design, const TablePlan& plan, int threads,
                                              const std::stop_token& stop = {});

// ---------------------------------------------------------------- files

// Where the record of a table goes: beside it, unless the table goes to
// standard output, a device, a pipe or a descriptor, or is no regular file.
std::optional<std::string> TableRecordPath(const std::optional<std::string>& table);

// True when `start`, the first bytes of a file, begin as a table this program
// writes: a part's stamp, or the header of a results, points, cycles, indices
// or evaluations table.
bool StartsAsTable(std::string_view start);
// The same for the file at `path` (false when it cannot be read or is no
// regular file: a pipe is not opened to look).
bool FileStartsAsTable(const std::string& path);

// Writes a table through the safe replacement (or to `standardOutput` for
// "-"): `writer` streams it, and answers false to drop it, which leaves any
// earlier file whole. `stopped` is asked once the last row is written: a stop
// then drops the table too, unless `keepWhenStopped`. Answers the problem when
// it was not written for another reason than the writer's.
struct TableStream {
  std::string path;
  std::string what;
  std::ostream* standardOutput = nullptr;
  bool keepWhenStopped = false;
  std::function<bool()> stopped;  // checked after the last row
  // The record that goes beside a table file, made from the digest of the
  // table's bytes once the last row is written. The table and its record are
  // one unit: the record takes its place first, naming the table to come and
  // keeping the record it replaces, then the table takes its place; a stop or
  // a failure between them leaves a table that one of the two describes.
  std::function<std::string(const TableDigest& table, const std::string& previous)> record;
};
std::optional<TableWriteProblem> StreamTableFile(const TableStream& target,
                                                 const std::function<bool(std::ostream&)>& writer, bool& dropped);

// The record of a table of runs (a JSON object, two-space indented, with a final
// line break), from its facts.
std::string TableRecordJson(const PointTable& design, const TableRecordFacts& facts);

// The record beside a table merged from the parts of a sharded run: the
// parts' design (its stamp, runs and replicates), the parts, and the table.
struct MergeRecordFacts {
  std::string commandLine;
  std::vector<std::string> parts;
  std::string stamp;
  std::size_t runs = 0;
  std::size_t replicates = 1;
};
std::string MergeRecordJson(const MergeRecordFacts& facts, const TableDigest& table, const std::string& previous);

// Writes a table whose whole text is at hand (the window's export, a merged
// table) with its record beside it, as one unit; `record` makes the record from
// the table's digest and the record it replaces.
std::optional<TableWriteProblem> WriteTableWithRecord(
    const std::string& path, const std::string& content,
    const std::function<std::string(const TableDigest& table, const std::string& previous)>& record);

// What made a table, from the record beside it: its command line, and its
// seed; nothing without a record this program writes.
struct TableMaker {
  std::string commandLine;
  std::optional<std::uint64_t> seed;
};
std::optional<TableMaker> TableMakerOf(const std::string& tablePath);

// ---------------------------------------------------------------- tables read back

// The outcome a table's row gives, its status in cells[statusColumn], or
// nothing when the row is not one this program writes.
std::optional<PointOutcome> OutcomeOfRow(const std::vector<std::string>& cells, std::size_t statusColumn,
                                         std::span<const Statistic> statistics);

// The outputs of a design's runs, read through the whole table of them (merged
// from shards, say) from `in`, which `name` names in messages; answers why not
// when the table is of another design.
std::optional<std::string> OutcomesFromTable(std::istream& in, const std::string& name, const PointTable& design,
                                             RunOutputs& outputs);

// Why a design cannot run when holding `bytes` would not fit in the memory this
// computer has free: the need and what is free, and `remedy`. Nothing when it fits.
std::optional<std::string> MemoryProblem(std::uint64_t bytes, const std::string& what, const std::string& remedy);

}  // namespace varnolt
