#pragma once
// `--dry-run` of the commands that run tables of points: what the run would cost,
// told before anything runs or is written.

#include "cli/CommandLine.h"
#include "cli/PointTables.h"

namespace varnolt {

// What a table's run would do: its design points and runs (the shard's slice when
// --shard is given), the points the rules refuse, the palm-cycles of the runs that
// would run, an estimate of the time on this machine and of the tables' size.
struct DryRunPlan {
  std::size_t designPoints = 0;
  std::size_t runs = 0;             // in the slice
  std::size_t refusedRuns = 0;      // in the slice
  std::size_t refusedPoints = 0;    // design points in the slice with a refused run
  std::vector<std::string> refused; // the first ten of those points: "point N (cells): rule ..."
  double palmCycles = 0;            // of the runs that would run
  double tableBytes = 0;            // the table of --csv (or --points)
  double cycleTableBytes = 0;       // the per-cycle table, when --cycles is given
};

// The plan of a table's run; answers nothing and prints why when --shard is wrong.
std::optional<DryRunPlan> PlanPointTable(const PointTable& table, const ExperimentOptions& options, CliStreams& io,
                                         int& status);

// Prints the plan with an estimate of the time from a short calibration run of the
// table's first valid point, made smaller. Writes no file; answers the exit status.
int DryRunPointTable(const PointTable& table, const ExperimentOptions& options, CliStreams& io);

// Prints "Time on this machine: ..." for `runs` runs of `palmCycles` palm-cycles
// in all, from a short calibration of `sample` made smaller, run on `threads`.
void PrintTimeEstimate(const RunSettings& sample, std::uint32_t seed, std::size_t runs, double palmCycles, int threads,
                       std::ostream& out);

// `calibrate --dry-run` is CalibrateCommand.cpp's own: the calibration library's
// PlanCalibration gives its candidates, runs and palm-cycles, and the time comes
// from PrintTimeEstimate above.

}  // namespace varnolt
