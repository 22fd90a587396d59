#pragma once
// The indices of a sensitivity design once its runs are in: the ranked report
// for the user, the table of indices and the record beside that table. Every
// face (the runner, the Python module) words and writes them alike, byte for
// byte.
//
//   SensitivityDesign design;
//   PointTable table = MakeSensitivityTable(base, plan, seed, replicates, columns, design);
//   RunOutputs outcomes(table.statistics, table.Runs());   // filled by RunTable's outcome hook
//   SensitivityIndices indices = ComputeSensitivityIndices(plan, design, table, outcomes, seed, bootstrap);
//   indices.report (for the user), indices.table (the CSV), SensitivityRecordJson(...) beside it.

#include <cstdint>
#include <optional>
#include <string>

#include "experiments/Experiments.h"
#include "experiments/PointTables.h"

namespace varnolt {

// "morris" or "sobol", as the runner's --method takes it and the record names it.
const char* SensitivityMethodName(const SensitivityPlan& plan);

struct SensitivityIndices {
  std::string report;  // the ranked indices of every statistic, with what made them
  std::string table;   // the table of indices (CSV with its header), one row per statistic and factor, ranked
};

// The indices of every statistic of `table` from the outputs of its runs;
// `bootstrap` resamples give the intervals (0: none), drawn from the plan's
// design seed.
SensitivityIndices ComputeSensitivityIndices(const SensitivityPlan& plan, const SensitivityDesign& design,
                                             const PointTable& table, const RunOutputs& outcomes,
                                             std::uint32_t seed, int bootstrap);

// The record beside the table of indices (a JSON object, two-space indented,
// with a final line break): the version, what made it, the method, the seeds,
// the replicates, the runs and those left out, and the factors.
std::string SensitivityRecordJson(const SensitivityPlan& plan, const std::string& commandLine, std::uint32_t seed,
                                  std::size_t replicates, const RunOutputs& outcomes);

// Why the design the plan describes cannot run when the memory it needs while
// it runs (its points as they are made, their steps, each run's outputs of
// `statistics` statistics) is more than this computer has free; nothing when
// it fits. `remedy` says what to give fewer of.
std::optional<std::string> SensitivityMemoryProblem(const SensitivityPlan& plan, std::size_t replicates,
                                                    std::size_t statistics, const std::string& remedy);

}  // namespace varnolt
