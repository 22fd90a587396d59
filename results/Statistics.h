#pragma once
// The statistics a run is summed up by, under the names the runner's tables,
// `--stat` and the documentation use: the four means, the sex ratio, the
// amplitude of the female cycle, the period and its strength. Each can be
// missing for a run (no regular cycle has no period); a missing value is an
// empty cell, JSON null or words in text, never 0, and is left out of means and
// indices with a count. Plain C++.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "results/CycleAnalysis.h"

namespace varnolt {

enum class Statistic { MeanFemale, MeanHerm, MeanMale, MeanAborted, SexRatio, FemaleAmplitude, Period, Strength };

struct StatisticInfo {
  Statistic id;
  const char* name;     // as in tables and --stat: "meanFemale"
  const char* unit;     // "% of palms", "cycles", "fraction"...
  const char* meaning;  // one line for help and documentation
  bool whole;           // written as a whole number
};

const StatisticInfo& InfoOf(Statistic statistic);
// The names, comma separated: "meanFemale, meanHerm, ...".
std::string StatisticNames();

// The value of a statistic for one run; none when it does not exist for it.
std::optional<double> StatisticValue(const CycleAnalysis& analysis, Statistic statistic);
// Sets it back from a value read from a table.
void SetStatistic(CycleAnalysis& analysis, Statistic statistic, std::optional<double> value);

// Reads "NAME,NAME,..." (names as above, each once); on a problem answers what
// is wrong and which names there are.
std::optional<std::string> ParseStatistics(const std::string& text, std::vector<Statistic>& statistics);
// Several --stat options in order, joined as one list.
std::optional<std::string> ParseStatistics(const std::vector<std::string>& texts, std::vector<Statistic>& statistics);

// The columns of a table of runs when the user chooses none: the four means,
// the period and its strength.
std::vector<Statistic> DefaultRunStatistics();
// What a sensitivity analysis ranks the factors by when the user chooses none:
// the four means and the period.
std::vector<Statistic> DefaultSensitivityStatistics();

// The header cells "meanFemale,period,..." of the chosen statistics.
std::string StatisticsHeader(std::span<const Statistic> statistics);
// One cell: the shortest text that reads back to the value, a whole number for
// the period, empty when there is none.
std::string StatisticCell(const CycleAnalysis& analysis, Statistic statistic);
// The cells of the chosen statistics, comma separated.
std::string StatisticsCells(const CycleAnalysis& analysis, std::span<const Statistic> statistics);
// Reads one cell back (empty for none); false when the text is no such value.
bool ReadStatisticCell(const std::string& cell, Statistic statistic, CycleAnalysis& analysis);

// The chosen statistics of one run for the user: "sexRatio 0.769, period 38
// cycles, femaleAmplitude 2.32 points"; a missing one in words ("period: no
// regular cycle").
std::string StatisticsLine(const CycleAnalysis& analysis, std::span<const Statistic> statistics);

// Mean and spread of a statistic over runs, leaving out the runs without it.
struct StatisticSummary {
  std::size_t count = 0;    // runs with a value
  std::size_t missing = 0;  // runs without one (no regular cycle, say), left out
  double mean = 0.0;
  double sd = 0.0;    // sample standard deviation (n - 1); 0 for fewer than 2 values
  double ci95 = 0.0;  // half-width of the 95 % confidence interval of the mean (Student's t)
};
StatisticSummary SummariseStatistic(std::span<const CycleAnalysis> runs, Statistic statistic);
StatisticSummary SummariseValues(std::span<const std::optional<double>> values);
// Of values that are all there: a single one has sd and ci95 0.
StatisticSummary SummariseValues(std::span<const double> values);

// "period 38.2 (sd 1.3, 95 % CI +-0.9) cycles, 2 of 10 runs without one left out";
// decimals as given, and "no run has one" when none has.
std::string SummaryText(const StatisticSummary& summary, Statistic statistic, int decimals);

}  // namespace varnolt
