#pragma once
// The cycle analysis of a run: after a burn-in, the mean of each percentage and
// the dominant period of the female series, read from its autocorrelation. The
// window's Plot page, the runner's summary and the JSON record all use it.
// Plain C++.

#include <cstdint>
#include <span>
#include <string>

#include "model/FloweringModel.h"

// Cycles skipped before the analysis starts, while the first nodes wash out.
inline constexpr std::int64_t AnalysisBurnIn = 100;
// The longest period looked for, in cycles.
inline constexpr std::int64_t AnalysisMaxLag = 5000;
// An autocorrelation below this is no regular cycle.
inline constexpr double AnalysisMinStrength = 0.3;

struct CycleAnalysis {
  // The cycles analysed, first to last (1-based); none when the run has none.
  std::int64_t firstCycle = 0;
  std::int64_t lastCycle = 0;
  double meanFemale = 0.0;
  double meanHerm = 0.0;
  double meanMale = 0.0;
  double meanAborted = 0.0;
  // The dominant period of % female, 0 when there is no regular cycle, and the
  // autocorrelation at that lag (also given when it is too weak to count).
  std::int64_t period = 0;
  double strength = 0.0;

  bool HasCycles() const { return lastCycle >= firstCycle && lastCycle > 0; }
  bool HasPeriod() const { return period > 0; }
};

// Analyses the per-cycle results, cycles[0] being cycle 1. The analysed cycles
// follow a burn-in of 100, or are the second half of a run of under 200 cycles.
CycleAnalysis AnalyseCycles(std::span<const CycleResult> cycles);

// One line for the user: "Period 42 cycles (strength 0.81); mean female 31.2 %,
// hermaphrodite 0.4 %, male 22.9 %, aborted 45.5 % over cycles 101 to 770", or
// "No regular cycle; mean ..." when no period stands out.
std::string AnalysisLine(const CycleAnalysis& analysis);

// The model's results without row 0, which holds no data: cycles[0] is cycle 1.
inline std::span<const CycleResult> CyclesOf(const CheckedVector<CycleResult>& results) {
  if (results.size() < 2) return {};
  return {results.data() + 1, results.size() - 1};
}
