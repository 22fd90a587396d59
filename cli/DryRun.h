#pragma once
// `--dry-run` of the commands that run tables of points: what the run would cost,
// told before anything runs or is written.

#include "cli/CommandLine.h"
#include "cli/PointTables.h"

namespace varnolt {

// Prints the plan of a table's run (experiments/PointTables.h: PlanTable) with
// an estimate of its time from a sample of its own runs. Writes no file; a
// signal stops it. Answers the exit status.
int DryRunPointTable(const PointTable& table, const ExperimentOptions& options, CliStreams& io);

// Prints "Time on this machine: ..." for `runs` runs of `palmCycles` palm-cycles
// in all, from a short calibration of `sample` made smaller, run on `threads`.
void PrintTimeEstimate(const RunSettings& sample, std::uint32_t seed, std::size_t runs, double palmCycles, int threads,
                       std::ostream& out);

// `calibrate --dry-run` is CalibrateCommand.cpp's own: the calibration library's
// PlanCalibration gives its candidates, runs and palm-cycles, and the time comes
// from PrintTimeEstimate above.

}  // namespace varnolt
