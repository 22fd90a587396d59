#pragma once
// Experiments: many runs of the model from one description, for the questions a
// single run cannot answer. Replicates (the same settings over consecutive seeds,
// with mean and spread), full factorial sweeps, designs made elsewhere (one row
// per run), Morris screening and Sobol indices over chosen settings, and the
// slicing of any of these into shards for several machines, merged back into
// exactly the table one machine writes.
//
// Every point runs on the fast engine through the run driver, in parallel over
// oneTBB; each point's results depend on its settings and seed only, so a table
// is the same however many threads made it, and equal to single runs. Plain C++.
//
// The tables of points every face runs and writes (designs expanded into runs,
// streamed with progress and a stop, resumed, sharded, recorded) are in
// PointTables.h; tables read back for pictures and analysis in TableReading.h.

#include <atomic>
#include <stop_token>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Problem.h"
#include "results/CycleAnalysis.h"
#include "results/Statistics.h"
#include "settings/RunSettings.h"

namespace varnolt {

// ---------------------------------------------------------------- running points

struct ExperimentPoint {
  RunSettings settings;
  std::uint32_t seed = 0;
};

enum class PointStatus { NotRun, Ran, Invalid, Failed };

struct PointOutcome {
  PointStatus status = PointStatus::NotRun;
  std::string message;             // the rule or run failure, on one line
  std::optional<Problem> problem;  // the run's own problem, when it failed (not read back from tables)
  CycleAnalysis analysis;          // when Ran
  std::vector<CycleResult> cycles; // when Ran and cycles are kept; cycles[0] is cycle 1
};

struct ExperimentControl {
  int threads = 0;                         // points at a time; 0 follows the machine
  bool keepCycles = false;                 // keep each point's per-cycle results
  std::optional<CyclesWindow> window;      // the cycles analysed; the burn-in rule without
  std::stop_token stop;                    // a stop asked stops the points soon, running ones too
  std::atomic<std::uint64_t> pointsDone{0};
};

// Runs every point whose `todo` entry is true (all when todo is empty): checks it
// with the thirteen rules (an invalid point is not run), runs it, analyses it.
// Returns one outcome per point, in the points' order. When stopped, the points
// not finished stay NotRun.
std::vector<PointOutcome> RunPoints(std::span<const ExperimentPoint> points, ExperimentControl& control,
                                    const std::vector<bool>& todo = {});

// Runs points by their index from `begin` to `end` without holding them all:
// `pointAt` makes the point of an index when its turn comes (nothing for one
// not to run, taken from a table, say), and `done` receives every index in
// order with its outcome (null for one not run) as soon as it and all before it
// are finished. A few points per thread are under way at a time, so memory
// stays the same however many points there are. `runs`, the points that will
// run, shares the threads between points and the engine. When stopped, the
// points not finished are handed to `done` as NotRun, and later ones not at all.
using PointMaker = std::function<std::optional<ExperimentPoint>(std::size_t index)>;
using PointSink = std::function<void(std::size_t index, PointOutcome* outcome)>;
void StreamPoints(std::size_t begin, std::size_t end, std::size_t runs, const PointMaker& pointAt,
                  ExperimentControl& control, const PointSink& done);

// The worker threads RunPoints uses when ExperimentControl::threads is 0.
int ExperimentDefaultThreads();

// ---------------------------------------------------------------- seeds

// A seed for a run the user gave none: from the system's source of randomness,
// so that jobs started in the same second (an array of jobs, a shell loop)
// differ. The window takes its seeds from here too.
std::uint32_t FreshSeed();
// A fresh seed for `replicates` runs on consecutive seeds: never so high that
// the last of them would pass the last seed.
std::uint32_t FreshSeedFor(std::uint64_t replicates);
// Whether seeds first to first + count - 1 are all seeds (none past 4294967295);
// answers what is wrong and what to do when not.
std::optional<std::string> SeedRangeProblem(std::uint32_t first, std::uint64_t count);

// ---------------------------------------------------------------- statistics

// One output of a design whose every point ran `replicates` times (the
// outcomes point after point, replicate after replicate).
struct PointOutputs {
  // Per point: the mean over its replicates that ran and have the statistic;
  // NaN when none has (the point is then left out of indices).
  std::vector<double> values;
  std::size_t missing = 0;     // runs that ran but lack the statistic (no regular cycle)
  std::size_t pointsLeftOut = 0;  // points whose value is NaN
  // The mean over points of the standard deviation between replicates; NaN
  // with a single replicate.
  double replicateSd = 0.0;
};
PointOutputs OutputsOfPoints(std::span<const PointOutcome> outcomes, std::size_t replicates, Statistic statistic);

// What the indices need of each run of a design, and no more, so that designs of
// millions of runs fit: whether it ran and the value of each statistic (NaN
// where the run has none).
class RunOutputs {
 public:
  RunOutputs() = default;
  RunOutputs(std::vector<Statistic> statistics, std::size_t runs);
  // The bytes held per run, for telling a design's need before it runs.
  static std::size_t BytesPerRun(std::size_t statistics) { return 1 + statistics * sizeof(double); }

  void Set(std::size_t run, const PointOutcome& outcome);
  std::size_t Runs() const { return ran_.size(); }
  bool Ran(std::size_t run) const { return ran_[run] != 0; }
  std::size_t NotRan() const;
  PointOutputs Of(std::size_t replicates, Statistic statistic) const;

 private:
  std::vector<Statistic> statistics_;
  std::vector<std::uint8_t> ran_;
  std::vector<double> values_;  // run after run, one per statistic
};

// ---------------------------------------------------------------- sweeps

// A varied setting and the values it takes.
struct SweepFactor {
  std::string name;
  std::vector<std::int32_t> values;
};

// Reads "NAME=FROM:TO[:STEP]" (STEP 1 when left out; FROM above TO counts down
// with a positive step). On a problem answers what is wrong.
std::optional<std::string> ParseSweepFactor(const std::string& text, SweepFactor& factor);

// The full factorial, the first factor varying slowest; each entry holds one
// value per factor.
std::vector<std::vector<std::int32_t>> FactorialLevels(std::span<const SweepFactor> factors);
// Entry `index` of that list, made alone: a sweep of millions of points makes
// each when its turn comes.
std::vector<std::int32_t> FactorialLevel(std::span<const SweepFactor> factors, std::size_t index);

// A sweep's design points: the full factorial of the factors over the base
// settings, the first factor varying slowest.
struct SweepDesign {
  std::vector<RunSettings> settings;   // per design point
  std::vector<std::string> leadCells;  // per design point: its factors' values, "12,30"
};
SweepDesign MakeSweepDesign(const RunSettings& base, std::span<const SweepFactor> factors);

// The whole values a sweep or a screening offers for a numeric setting at
// first: its admitted range by the rules (a range that depends on another
// setting by that setting's value in `current`), and for a setting with no
// bound above, from its bound below to twice its current value.
struct SettingRange {
  std::int32_t low = 0;
  std::int32_t high = 0;
};
SettingRange AdmittedRange(const std::string& name, const RunSettings& current);

// ---------------------------------------------------------------- tables of runs

// The table of runs that sweeps, batch designs and sensitivity analyses write:
// "point", the lead columns (the varied settings), "replicate,seed,status", the
// statistics and "message"; one row per point and replicate, statistics a run
// lacks left empty, a refused or failed run with its message.
std::string RunTableHeader(std::span<const std::string> leadColumns, std::span<const Statistic> statistics);
// The row of replicate `replicate` (1-based) of design point `point` (1-based);
// `leadCells` as the design gives them (ignored without lead columns).
std::string RunTableRow(std::size_t point, bool hasLeadColumns, const std::string& leadCells, std::size_t replicate,
                        std::uint32_t seed, const PointOutcome& outcome, std::span<const Statistic> statistics);

// ---------------------------------------------------------------- sensitivity

// A factor of a sensitivity analysis: a whole-numbered setting between low and high.
struct SensitivityFactor {
  std::string name;
  std::int32_t low = 0;
  std::int32_t high = 0;
};
// Reads "NAME=LOW:HIGH".
std::optional<std::string> ParseSensitivityFactor(const std::string& text, SensitivityFactor& factor);

// Morris elementary effects: trajectories of factors + 1 points each on a grid
// of `levels` levels in the unit cube, one factor moving per step.
struct MorrisDesign {
  int factors = 0;
  std::vector<std::vector<double>> points;  // trajectory after trajectory
};
MorrisDesign MakeMorrisDesign(int factors, int trajectories, int levels, std::uint64_t seed);

// The settings of a sensitivity design's points in the unit cube: each factor
// from low to high in whole values (Morris on its grid, rounded; Sobol evenly
// over the whole values). `used` receives the values run, as fractions of each
// factor's range, for the indices.
// The whole steps from LOW of one factor at a point of the unit cube, as
// SensitivitySettings takes them; for designs too large to turn whole at once.
std::int32_t SensitivityStep(const SensitivityFactor& factor, double unit, bool morris);
std::vector<RunSettings> SensitivitySettings(const RunSettings& base, std::span<const SensitivityFactor> factors,
                                             std::span<const std::vector<double>> unit, bool morris,
                                             std::vector<std::vector<double>>& used);

struct MorrisIndex {
  double mu = 0.0;       // mean elementary effect
  double muStar = 0.0;   // mean absolute elementary effect
  double muStarLow = 0.0, muStarHigh = 0.0;  // its 95 % bootstrap interval
  double sigma = 0.0;    // standard deviation of the effects
  int effects = 0;       // effects that went in (a failed point loses its two)
};
// Effects per unit of each factor's range, from the points actually run (after
// rounding to whole values) and their outputs (NaN for a failed point or a run
// without the output). The interval of mu* is the percentile interval of
// `bootstrap` resamples of the trajectories (none, mu* itself, for 0).
std::vector<MorrisIndex> MorrisIndices(int factors, std::span<const std::vector<double>> points,
                                       std::span<const double> outputs, int bootstrap = 0, std::uint64_t seed = 0);

// Saltelli's sampling for Sobol indices: base samples A and B from a Sobol
// sequence of 2 x factors dimensions (its points 1 to `samples`, leaving out
// only the corner 0), then for each factor A with that column from B.
struct SaltelliDesign {
  int factors = 0;
  int samples = 0;
  std::vector<std::vector<double>> points;  // A, B, A_B1, ..., A_Bk, `samples` rows each
};
SaltelliDesign MakeSaltelliDesign(int factors, int samples);

struct SobolIndex {
  double first = 0.0, firstLow = 0.0, firstHigh = 0.0;  // with 95 % bootstrap interval
  double total = 0.0, totalLow = 0.0, totalHigh = 0.0;
  int samples = 0;  // samples that went in (rows with a failed point are left out)
};
// Below this share of its mean square, an output's variance over a design is
// rounding: the output does not vary, and has no indices.
inline constexpr double SobolVarianceFloor = 1e-12;
// Whether the outputs that exist (not NaN) vary over the design.
bool OutputVaries(std::span<const double> outputs);

// Jansen's estimators; the intervals from `bootstrap` resamples of the rows.
// An output that does not vary gets NaN for every index.
std::vector<SobolIndex> SobolIndices(const SaltelliDesign& design, std::span<const double> outputs,
                                     int bootstrap, std::uint64_t seed);

// ---------------------------------------------------------------- shards

// The points [begin, end) that shard k of n (1-based) runs: consecutive slices,
// so the parts in order are the whole table.
struct ShardSlice {
  std::size_t begin = 0;
  std::size_t end = 0;
};
ShardSlice SliceOf(std::size_t points, int k, int n);
// Reads "K/N"; on a problem answers what is wrong.
std::optional<std::string> ParseShard(const std::string& text, int& k, int& n);

// A short, stable fingerprint of a design's description (16 hex digits).
std::string DesignFingerprint(const std::string& description);

// The first line of a partial table: "# varnolt-cli shard K/N design
// FINGERPRINT runs TOTAL replicates R", TOTAL being the runs of the whole table
// (every point and replicate), so that a part's slice of them is known without
// the design.
std::string ShardStamp(int k, int n, const std::string& fingerprint, std::size_t totalRuns, std::size_t replicates);

// The last line of a part whose runs all finished: "# varnolt-cli shard K/N
// complete, R rows". A part stopped before it (by Ctrl+C or a scheduler's time
// limit) has none, and is not merged until --resume finishes it.
std::string ShardClosing(int k, int n, std::size_t rows);

struct ShardPart {
  std::string name;  // the file, for messages
  std::string text;  // its whole content
};
// Joins the parts into the whole table, or answers why not, naming the part and
// its line: parts of different designs or headers, a slice missing or given
// twice, a part without a stamp or without its closing line, a part whose rows
// are not exactly its slice of the table in order (a row missing, cut, extra,
// duplicated, renumbered or out of place), or rows of one point that disagree
// on its settings. Works for tables of points and for per-cycle tables.
std::optional<std::string> MergeShards(const std::vector<ShardPart>& parts, std::string& merged);

// The same, read through from streams and written to `merged` as the rows are
// checked, so that parts larger than memory merge: the parts' first lines are
// read first, then each part's rows in shard order. On a problem `merged` holds
// a beginning only, for the caller to drop.
struct ShardInput {
  std::string name;
  std::istream* in = nullptr;
};
// What the parts say of their design, once their first lines are read.
struct MergedDesign {
  std::string fingerprint;
  std::size_t runs = 0;
  std::size_t replicates = 1;
  int shards = 0;
};
// A `stop` set on the way ends it soon with the answer "stopped"; `design`,
// when given, receives the parts' design.
std::optional<std::string> MergeShardStreams(const std::vector<ShardInput>& parts, std::ostream& merged,
                                             const std::atomic<bool>* stop = nullptr, MergedDesign* design = nullptr);

}  // namespace varnolt
