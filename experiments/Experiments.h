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

#include <atomic>
#include <stop_token>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "results/CycleAnalysis.h"
#include "settings/RunSettings.h"

// ---------------------------------------------------------------- running points

struct ExperimentPoint {
  RunSettings settings;
  std::uint32_t seed = 0;
};

enum class PointStatus { NotRun, Ran, Invalid, Failed };

struct PointOutcome {
  PointStatus status = PointStatus::NotRun;
  std::string message;             // the rule or run failure, on one line
  CycleAnalysis analysis;          // when Ran
  std::vector<CycleResult> cycles; // when Ran and cycles are kept; cycles[0] is cycle 1
};

struct ExperimentControl {
  int threads = 0;                         // points at a time; 0 follows the machine
  bool keepCycles = false;                 // keep each point's per-cycle results
  std::stop_token stop;                    // a stop asked stops the points soon, running ones too
  std::atomic<std::uint64_t> pointsDone{0};
};

// Runs every point whose `todo` entry is true (all when todo is empty): checks it
// with the thirteen rules (an invalid point is not run), runs it, analyses it.
// Returns one outcome per point, in the points' order. When stopped, the points
// not finished stay NotRun.
std::vector<PointOutcome> RunPoints(std::span<const ExperimentPoint> points, ExperimentControl& control,
                                    const std::vector<bool>& todo = {});

// The worker threads RunPoints uses when ExperimentControl::threads is 0.
int ExperimentDefaultThreads();

// ---------------------------------------------------------------- statistics

struct Spread {
  double mean = 0.0;
  double sd = 0.0;    // sample standard deviation (n - 1)
  double ci95 = 0.0;  // half-width of the 95 % confidence interval of the mean (Student's t)
};
// Of two or more values; a single value has sd and ci95 0.
Spread SpreadOf(std::span<const double> values);

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

struct MorrisIndex {
  double mu = 0.0;       // mean elementary effect
  double muStar = 0.0;   // mean absolute elementary effect
  double sigma = 0.0;    // standard deviation of the effects
  int effects = 0;       // effects that went in (a failed point loses its two)
};
// Effects per unit of each factor's range, from the points actually run (after
// rounding to whole values) and their outputs (NaN for a failed point).
std::vector<MorrisIndex> MorrisIndices(int factors, std::span<const std::vector<double>> points,
                                       std::span<const double> outputs);

// Saltelli's sampling for Sobol indices: base samples A and B from a Sobol
// sequence of 2 x factors dimensions, then for each factor A with that column from B.
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
// Jansen's estimators; the intervals from `bootstrap` resamples of the rows.
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

// The first line of a partial table: "# varnolt-cli shard K/N design FINGERPRINT".
std::string ShardStamp(int k, int n, const std::string& fingerprint);

struct ShardPart {
  std::string name;  // the file, for messages
  std::string text;  // its whole content
};
// Joins the parts into the whole table, or answers why not (parts of different
// designs or headers, a slice missing or given twice, a part without a stamp).
std::optional<std::string> MergeShards(const std::vector<ShardPart>& parts, std::string& merged);
