#pragma once
// The cycle analysis of a run: over a window of cycles (after a burn-in unless
// the user names one), the mean of each percentage, the female share of the
// female and male inflorescences, and the period of the female series read from
// its autocorrelation, with the amplitude of that cycle. The window's Plot page,
// the runner's summary, the JSON record and the experiments all use it.
// Plain C++.

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "model/FloweringModel.h"

namespace varnolt {

// Cycles skipped before the analysis starts, while the first nodes wash out.
inline constexpr std::int64_t AnalysisBurnIn = 100;
// The longest period looked for, in cycles.
inline constexpr std::int64_t AnalysisMaxLag = 5000;
// An autocorrelation below this is no regular cycle.
inline constexpr double AnalysisMinStrength = 0.3;
// A shorter lag whose peak reaches this share of the highest peak is the period:
// the highest peak of a long run is often a multiple of the cycle, a hair higher.
inline constexpr double AnalysisFundamentalShare = 0.8;

// The cycles a statistic covers, first to last, 1-based and inclusive; `last` 0
// stands for the run's last cycle.
struct CyclesWindow {
  std::int64_t first = 1;
  std::int64_t last = 0;
};

// Reads "FROM:TO" (or "FROM:" for "to the last cycle"); on a problem answers
// what is wrong.
std::optional<std::string> ParseCyclesWindow(const std::string& text, CyclesWindow& window);
// Whether the window fits a run of `cycles` cycles; answers the problem when not.
std::optional<std::string> CyclesWindowProblem(const CyclesWindow& window, std::int64_t cycles);
// "101:770", as the user writes it.
std::string CyclesWindowText(const CyclesWindow& window);

struct CycleAnalysis {
  // The cycles analysed, first to last (1-based); none when the run has none.
  std::int64_t firstCycle = 0;
  std::int64_t lastCycle = 0;
  // Means over the window, in percent of palms.
  double meanFemale = 0.0;
  double meanHerm = 0.0;
  double meanMale = 0.0;
  double meanAborted = 0.0;
  // meanFemale / (meanFemale + meanMale), a fraction; none when neither occurs.
  std::optional<double> sexRatio;
  // The period of % female in cycles; none when there is no regular cycle.
  std::optional<std::int64_t> period;
  // The autocorrelation at the period; without a period, the highest local
  // maximum (below 0.3), which tells how far from a cycle the series is; none
  // when the autocorrelation has no local maximum at all (a flat series).
  std::optional<double> strength;
  // The mean, over the window, of the female series' range (maximum minus
  // minimum) within one period, in percentage points; none without a period.
  std::optional<double> femaleAmplitude;

  bool HasCycles() const { return lastCycle >= firstCycle && lastCycle > 0; }
  bool HasPeriod() const { return period.has_value(); }
};

// Analyses the per-cycle results, cycles[0] being cycle 1. Without a window the
// analysed cycles follow a burn-in of 100, or are the second half of a run of
// under 200 cycles. A window must fit the run (see CyclesWindowProblem); one
// that does not is cut to the run.
// A `stop` set while the analysis runs ends it soon (a long run's autocorrelation
// takes a while), with an analysis that is then of no use.
CycleAnalysis AnalyseCycles(std::span<const CycleResult> cycles, const std::optional<CyclesWindow>& window = {},
                            const std::atomic<bool>* stop = nullptr);

// The period of a series: among the local maxima of its autocorrelation at lags
// 2 to min(n / 2, 5000), the shortest lag whose value is at least 0.8 times the
// highest local maximum and at least 0.3. `strength` as in CycleAnalysis.
struct PeriodFound {
  std::optional<std::int64_t> period;
  std::optional<double> strength;
};
PeriodFound FindPeriod(std::span<const double> series, const std::atomic<bool>* stop = nullptr);

// One line for the user: "Period 42 cycles (strength 0.81); mean female 31.2 %,
// hermaphrodite 0.4 %, male 22.9 %, aborted 45.5 % over cycles 101 to 770", or
// "No regular cycle; mean ..." when no period stands out.
std::string AnalysisLine(const CycleAnalysis& analysis);

// `value` with `decimals` digits after the point ("38.20"), the same in every
// locale.
std::string FixedText(double value, int decimals);

// The model's results without row 0, which holds no data: cycles[0] is cycle 1.
// These are the model's own numbers, as the report and the grid show them; what
// goes to other programs comes from PublishedCycles (ResultsTable.h).
inline std::span<const CycleResult> CyclesOf(const CheckedVector<CycleResult>& results) {
  if (results.size() < 2) return {};
  return {results.data() + 1, results.size() - 1};
}

}  // namespace varnolt
