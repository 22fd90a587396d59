#include "results/CycleAnalysis.h"

#include <algorithm>
#include <cmath>
#include <charconv>
#include <vector>

namespace {

// Autocorrelations of the mean-removed series at lags 0 to maxLag, each the
// lagged sum over the whole series' sum of squares (the usual biased estimate,
// which keeps long lags from looking stronger than they are).
std::vector<double> Autocorrelation(const std::vector<double>& series, std::size_t maxLag, double sumOfSquares) {
  std::vector<double> result(maxLag + 1, 0.0);
  const std::size_t n = series.size();
  for (std::size_t lag = 0; lag <= maxLag && lag < n; ++lag) {
    double sum = 0.0;
    const double* a = series.data();
    const double* b = series.data() + lag;
    for (std::size_t t = 0; t + lag < n; ++t) sum += a[t] * b[t];
    result[lag] = sum / sumOfSquares;
  }
  return result;
}

std::string Fixed(double value, int decimals) {
  // to_chars rather than printf: the window's C locale may use a decimal comma.
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return std::string(buffer, result.ptr);
}

}  // namespace

CycleAnalysis AnalyseCycles(std::span<const CycleResult> cycles) {
  CycleAnalysis analysis;
  const auto count = static_cast<std::int64_t>(cycles.size());
  if (count == 0) return analysis;
  analysis.firstCycle = count >= 2 * AnalysisBurnIn ? AnalysisBurnIn + 1 : count / 2 + 1;
  analysis.lastCycle = count;

  const std::span<const CycleResult> window = cycles.subspan(static_cast<std::size_t>(analysis.firstCycle - 1));
  const double n = static_cast<double>(window.size());
  for (const CycleResult& row : window) {
    analysis.meanFemale += row.female;
    analysis.meanHerm += row.herm;
    analysis.meanMale += row.male;
    analysis.meanAborted += row.aborted;
  }
  analysis.meanFemale /= n;
  analysis.meanHerm /= n;
  analysis.meanMale /= n;
  analysis.meanAborted /= n;

  std::vector<double> female(window.size());
  double sumOfSquares = 0.0;
  for (std::size_t t = 0; t < window.size(); ++t) {
    female[t] = window[t].female - analysis.meanFemale;
    sumOfSquares += female[t] * female[t];
  }
  // A constant series (to rounding) has no cycle to find.
  const double scale = std::max(std::abs(analysis.meanFemale), 1.0);
  if (!(sumOfSquares > n * 1e-20 * scale * scale)) return analysis;

  const std::size_t maxLag = std::min<std::size_t>(window.size() / 2, AnalysisMaxLag);
  if (maxLag < 2) return analysis;
  // One lag past the last, so that the last lag can be a local maximum too.
  const std::vector<double> r = Autocorrelation(female, std::min(maxLag + 1, window.size() - 1), sumOfSquares);
  std::size_t best = 0;
  for (std::size_t lag = 2; lag <= maxLag; ++lag) {
    const bool rises = r[lag] > r[lag - 1];
    const bool falls = lag + 1 >= r.size() || r[lag] >= r[lag + 1];
    if (rises && falls && (best == 0 || r[lag] > r[best])) best = lag;
  }
  if (best == 0) return analysis;
  analysis.strength = r[best];
  if (analysis.strength >= AnalysisMinStrength) analysis.period = static_cast<std::int64_t>(best);
  return analysis;
}

std::string AnalysisLine(const CycleAnalysis& analysis) {
  if (!analysis.HasCycles()) return "No cycles to analyse";
  std::string line = analysis.HasPeriod() ? "Period " + std::to_string(analysis.period) + " cycles (strength " +
                                                Fixed(analysis.strength, 2) + ")"
                                          : std::string("No regular cycle");
  line += "; mean female " + Fixed(analysis.meanFemale, 1) + " %, hermaphrodite " + Fixed(analysis.meanHerm, 1) +
          " %, male " + Fixed(analysis.meanMale, 1) + " %, aborted " + Fixed(analysis.meanAborted, 1) +
          " % over cycles " + std::to_string(analysis.firstCycle) + " to " + std::to_string(analysis.lastCycle);
  return line;
}
