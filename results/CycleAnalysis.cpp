#include "results/CycleAnalysis.h"

#include <algorithm>
#include <cmath>
#include <charconv>
#include <deque>
#include <vector>

namespace varnolt {

namespace {

// Autocorrelations of the mean-removed series at lags 0 to maxLag, each the
// lagged sum over the whole series' sum of squares (the usual biased estimate,
// which keeps long lags from looking stronger than they are).
std::vector<double> Autocorrelation(const std::vector<double>& series, std::size_t maxLag, double sumOfSquares,
                                    const std::atomic<bool>* stop) {
  std::vector<double> result(maxLag + 1, 0.0);
  const std::size_t n = series.size();
  for (std::size_t lag = 0; lag <= maxLag && lag < n; ++lag) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) break;
    // Four running sums rather than one, so the compiler may keep them in
    // vector lanes: a run of 100,001 cycles asks for 5,000 lags.
    const double* a = series.data();
    const double* b = series.data() + lag;
    const std::size_t count = n - lag;
    double sums[4] = {0.0, 0.0, 0.0, 0.0};
    std::size_t t = 0;
    for (; t + 4 <= count; t += 4) {
      sums[0] += a[t] * b[t];
      sums[1] += a[t + 1] * b[t + 1];
      sums[2] += a[t + 2] * b[t + 2];
      sums[3] += a[t + 3] * b[t + 3];
    }
    double sum = (sums[0] + sums[1]) + (sums[2] + sums[3]);
    for (; t < count; ++t) sum += a[t] * b[t];
    result[lag] = sum / sumOfSquares;
  }
  return result;
}

// A whole number of cycles, digits only.
std::optional<std::int64_t> CycleNumber(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  std::int64_t value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

// The mean over the series of its range (maximum minus minimum) within each
// stretch of `width` consecutive values, with the usual monotonic queues.
double MeanRollingRange(std::span<const double> series, std::size_t width) {
  std::deque<std::size_t> highs, lows;
  double sum = 0.0;
  std::size_t stretches = 0;
  for (std::size_t t = 0; t < series.size(); ++t) {
    while (!highs.empty() && series[highs.back()] <= series[t]) highs.pop_back();
    while (!lows.empty() && series[lows.back()] >= series[t]) lows.pop_back();
    highs.push_back(t);
    lows.push_back(t);
    if (t + 1 < width) continue;
    const std::size_t start = t + 1 - width;
    while (highs.front() < start) highs.pop_front();
    while (lows.front() < start) lows.pop_front();
    sum += series[highs.front()] - series[lows.front()];
    ++stretches;
  }
  return sum / static_cast<double>(stretches);
}

}  // namespace

std::string FixedText(double value, int decimals) {
  // to_chars rather than printf: the window's C locale may use a decimal comma.
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return std::string(buffer, result.ptr);
}

std::optional<std::string> ParseCyclesWindow(const std::string& text, CyclesWindow& window) {
  const std::size_t colon = text.find(':');
  const char* form = " is not FROM:TO, the first and last cycle to analyse (for example 101:770, or 101: for "
                     "101 to the last cycle)";
  if (colon == std::string::npos) return "\"" + text + "\"" + form;
  const std::optional<std::int64_t> from = CycleNumber(text.substr(0, colon));
  const std::string toText = text.substr(colon + 1);
  const std::optional<std::int64_t> to = toText.empty() ? std::optional<std::int64_t>(0) : CycleNumber(toText);
  if (!from || !to) return "\"" + text + "\"" + form;
  if (*from < 1) return "\"" + text + "\": cycles count from 1";
  if (*to != 0 && *to < *from) return "\"" + text + "\": the last cycle comes before the first";
  window.first = *from;
  window.last = *to;
  return std::nullopt;
}

std::optional<std::string> CyclesWindowProblem(const CyclesWindow& window, std::int64_t cycles) {
  const std::int64_t last = window.last == 0 ? cycles : window.last;
  if (window.first > cycles || last > cycles) {
    return "the cycles window " + CyclesWindowText(window) + " goes past the run's last cycle, " +
           std::to_string(cycles);
  }
  return std::nullopt;
}

std::string CyclesWindowText(const CyclesWindow& window) {
  return std::to_string(window.first) + ":" + (window.last == 0 ? std::string() : std::to_string(window.last));
}

PeriodFound FindPeriod(std::span<const double> values, const std::atomic<bool>* stop) {
  PeriodFound found;
  const std::size_t n = values.size();
  double mean = 0.0;
  for (double v : values) mean += v;
  mean /= static_cast<double>(std::max<std::size_t>(n, 1));
  std::vector<double> series(n);
  double sumOfSquares = 0.0;
  for (std::size_t t = 0; t < n; ++t) {
    series[t] = values[t] - mean;
    sumOfSquares += series[t] * series[t];
  }
  // A constant series (to rounding) has no cycle to find.
  const double scale = std::max(std::abs(mean), 1.0);
  if (!(sumOfSquares > static_cast<double>(n) * 1e-20 * scale * scale)) return found;

  const std::size_t maxLag = std::min<std::size_t>(n / 2, AnalysisMaxLag);
  if (maxLag < 2) return found;
  // One lag past the last, so that the last lag can be a local maximum too.
  const std::vector<double> r = Autocorrelation(series, std::min(maxLag + 1, n - 1), sumOfSquares, stop);
  if (stop != nullptr && stop->load()) return found;
  std::vector<std::size_t> peaks;
  std::size_t highest = 0;
  for (std::size_t lag = 2; lag <= maxLag; ++lag) {
    const bool rises = r[lag] > r[lag - 1];
    const bool falls = lag + 1 >= r.size() || r[lag] >= r[lag + 1];
    if (!rises || !falls) continue;
    peaks.push_back(lag);
    if (highest == 0 || r[lag] > r[highest]) highest = lag;
  }
  if (highest == 0) return found;
  if (r[highest] < AnalysisMinStrength) {
    found.strength = r[highest];
    return found;
  }
  const double needed = std::max(AnalysisFundamentalShare * r[highest], AnalysisMinStrength);
  for (std::size_t lag : peaks) {
    if (r[lag] >= needed) {
      found.period = static_cast<std::int64_t>(lag);
      found.strength = r[lag];
      break;
    }
  }
  return found;
}

CycleAnalysis AnalyseCycles(std::span<const CycleResult> cycles, const std::optional<CyclesWindow>& chosen,
                            const std::atomic<bool>* stop) {
  CycleAnalysis analysis;
  const auto count = static_cast<std::int64_t>(cycles.size());
  if (count == 0) return analysis;
  if (chosen) {
    analysis.firstCycle = std::min(chosen->first, count);
    analysis.lastCycle = chosen->last == 0 ? count : std::min(chosen->last, count);
  } else {
    analysis.firstCycle = count >= 2 * AnalysisBurnIn ? AnalysisBurnIn + 1 : count / 2 + 1;
    analysis.lastCycle = count;
  }

  const std::span<const CycleResult> window = cycles.subspan(static_cast<std::size_t>(analysis.firstCycle - 1),
                                                             static_cast<std::size_t>(analysis.lastCycle -
                                                                                      analysis.firstCycle + 1));
  const double n = static_cast<double>(window.size());
  std::vector<double> female(window.size());
  for (std::size_t t = 0; t < window.size(); ++t) {
    const CycleResult& row = window[t];
    female[t] = row.female;
    analysis.meanFemale += row.female;
    analysis.meanHerm += row.herm;
    analysis.meanMale += row.male;
    analysis.meanAborted += row.aborted;
  }
  analysis.meanFemale /= n;
  analysis.meanHerm /= n;
  analysis.meanMale /= n;
  analysis.meanAborted /= n;
  if (analysis.meanFemale + analysis.meanMale > 0.0) {
    analysis.sexRatio = analysis.meanFemale / (analysis.meanFemale + analysis.meanMale);
  }

  const PeriodFound found = FindPeriod(female, stop);
  analysis.period = found.period;
  analysis.strength = found.strength;
  if (found.period) analysis.femaleAmplitude = MeanRollingRange(female, static_cast<std::size_t>(*found.period));
  return analysis;
}

std::string AnalysisLine(const CycleAnalysis& analysis) {
  if (!analysis.HasCycles()) return "No cycles to analyse";
  std::string line = analysis.HasPeriod() ? "Period " + std::to_string(*analysis.period) + " cycles (strength " +
                                                FixedText(*analysis.strength, 2) + ")"
                                          : std::string("No regular cycle");
  line += "; mean female " + FixedText(analysis.meanFemale, 1) + " %, hermaphrodite " + FixedText(analysis.meanHerm, 1) +
          " %, male " + FixedText(analysis.meanMale, 1) + " %, aborted " + FixedText(analysis.meanAborted, 1) +
          " % over cycles " + std::to_string(analysis.firstCycle) + " to " + std::to_string(analysis.lastCycle);
  return line;
}

}  // namespace varnolt
