#include "results/Statistics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include <boost/math/distributions/students_t.hpp>

#include "results/ResultsTable.h"

namespace varnolt {

namespace {

constexpr StatisticInfo Infos[] = {
    {Statistic::MeanFemale, "meanFemale", "% of palms", "mean % female over the analysed cycles", false},
    {Statistic::MeanHerm, "meanHerm", "% of palms", "mean % hermaphrodite over the analysed cycles", false},
    {Statistic::MeanMale, "meanMale", "% of palms", "mean % male over the analysed cycles", false},
    {Statistic::MeanAborted, "meanAborted", "% of palms", "mean % aborted over the analysed cycles", false},
    {Statistic::SexRatio, "sexRatio", "fraction",
     "meanFemale / (meanFemale + meanMale), the female share of the sexed inflorescences", false},
    {Statistic::FemaleAmplitude, "femaleAmplitude", "percentage points",
     "mean over the analysed cycles of % female's maximum minus minimum within one period", false},
    {Statistic::Period, "period", "cycles", "the period of % female (the fundamental of its autocorrelation)", true},
    {Statistic::Strength, "strength", "correlation", "the autocorrelation of % female at the period", false},
};

std::string Trimmed(const std::string& text) {
  const std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

}  // namespace


const StatisticInfo& InfoOf(Statistic statistic) { return Infos[static_cast<int>(statistic)]; }

std::string StatisticNames() {
  std::string names;
  for (const StatisticInfo& info : Infos) names += (names.empty() ? "" : ", ") + std::string(info.name);
  return names;
}

std::optional<double> StatisticValue(const CycleAnalysis& a, Statistic statistic) {
  switch (statistic) {
    case Statistic::MeanFemale: return a.meanFemale;
    case Statistic::MeanHerm: return a.meanHerm;
    case Statistic::MeanMale: return a.meanMale;
    case Statistic::MeanAborted: return a.meanAborted;
    case Statistic::SexRatio: return a.sexRatio;
    case Statistic::FemaleAmplitude: return a.femaleAmplitude;
    case Statistic::Period:
      return a.period ? std::optional<double>(static_cast<double>(*a.period)) : std::nullopt;
    case Statistic::Strength: return a.strength;
  }
  return std::nullopt;
}

void SetStatistic(CycleAnalysis& a, Statistic statistic, std::optional<double> value) {
  switch (statistic) {
    case Statistic::MeanFemale: a.meanFemale = value.value_or(0.0); break;
    case Statistic::MeanHerm: a.meanHerm = value.value_or(0.0); break;
    case Statistic::MeanMale: a.meanMale = value.value_or(0.0); break;
    case Statistic::MeanAborted: a.meanAborted = value.value_or(0.0); break;
    case Statistic::SexRatio: a.sexRatio = value; break;
    case Statistic::FemaleAmplitude: a.femaleAmplitude = value; break;
    case Statistic::Period:
      a.period = value ? std::optional<std::int64_t>(static_cast<std::int64_t>(*value)) : std::nullopt;
      break;
    case Statistic::Strength: a.strength = value; break;
  }
}

std::optional<std::string> ParseStatistics(const std::string& text, std::vector<Statistic>& statistics) {
  std::vector<Statistic> chosen;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    const std::string name = Trimmed(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    const auto info = std::find_if(std::begin(Infos), std::end(Infos),
                                   [&name](const StatisticInfo& i) { return name == i.name; });
    if (info == std::end(Infos)) {
      return (name.empty() ? std::string("an empty statistic name") : "unknown statistic \"" + name + "\"") +
             " in --stat " + text + "; the statistics are " + StatisticNames();
    }
    if (std::find(chosen.begin(), chosen.end(), info->id) != chosen.end()) {
      return std::string(info->name) + " is chosen twice in --stat " + text;
    }
    chosen.push_back(info->id);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  statistics = std::move(chosen);
  return std::nullopt;
}

std::optional<std::string> ParseStatistics(const std::vector<std::string>& texts, std::vector<Statistic>& statistics) {
  std::string joined;
  for (const std::string& text : texts) joined += (joined.empty() ? "" : ",") + text;
  return ParseStatistics(joined, statistics);
}

std::vector<Statistic> DefaultRunStatistics() {
  return {Statistic::MeanFemale, Statistic::MeanHerm, Statistic::MeanMale,
          Statistic::MeanAborted, Statistic::Period, Statistic::Strength};
}

std::vector<Statistic> DefaultSensitivityStatistics() {
  return {Statistic::MeanFemale, Statistic::MeanHerm, Statistic::MeanMale, Statistic::MeanAborted, Statistic::Period};
}

std::string StatisticsHeader(std::span<const Statistic> statistics) {
  std::string header;
  for (Statistic s : statistics) header += (header.empty() ? "" : ",") + std::string(InfoOf(s).name);
  return header;
}

std::string StatisticCell(const CycleAnalysis& analysis, Statistic statistic) {
  const std::optional<double> value = StatisticValue(analysis, statistic);
  if (!value) return {};
  if (InfoOf(statistic).whole) return std::to_string(static_cast<std::int64_t>(*value));
  return ShortestNumber(*value);
}

std::string StatisticsCells(const CycleAnalysis& analysis, std::span<const Statistic> statistics) {
  std::string cells;
  bool first = true;
  for (Statistic s : statistics) {
    if (!first) cells += ',';
    cells += StatisticCell(analysis, s);
    first = false;
  }
  return cells;
}

bool ReadStatisticCell(const std::string& cell, Statistic statistic, CycleAnalysis& analysis) {
  const bool optional = statistic == Statistic::SexRatio || statistic == Statistic::FemaleAmplitude ||
                        statistic == Statistic::Period || statistic == Statistic::Strength;
  if (cell.empty()) {
    if (!optional) return false;
    SetStatistic(analysis, statistic, std::nullopt);
    return true;
  }
  if (InfoOf(statistic).whole) {
    std::int64_t whole = 0;
    const auto read = std::from_chars(cell.data(), cell.data() + cell.size(), whole);
    // A period of 0 or less is none, as an old table wrote it; a new one leaves the cell empty.
    if (read.ec != std::errc() || read.ptr != cell.data() + cell.size()) return false;
    SetStatistic(analysis, statistic, whole > 0 ? std::optional<double>(static_cast<double>(whole)) : std::nullopt);
    return true;
  }
  double value = 0.0;
  const auto read = std::from_chars(cell.data(), cell.data() + cell.size(), value);
  if (read.ec != std::errc() || read.ptr != cell.data() + cell.size() || !std::isfinite(value)) return false;
  SetStatistic(analysis, statistic, value);
  return true;
}

namespace {

// Units after the numbers where they help: "%", "points", "cycles".
const char* ShortUnit(Statistic statistic) {
  switch (statistic) {
    case Statistic::Period: return " cycles";
    case Statistic::FemaleAmplitude: return " points";
    case Statistic::SexRatio:
    case Statistic::Strength: return "";
    default: return " %";
  }
}

int Decimals(Statistic statistic) {
  switch (statistic) {
    case Statistic::Period: return 0;
    case Statistic::SexRatio:
    case Statistic::Strength: return 3;
    default: return 2;
  }
}

}  // namespace

std::string StatisticsLine(const CycleAnalysis& analysis, std::span<const Statistic> statistics) {
  std::string line;
  for (Statistic statistic : statistics) {
    if (!line.empty()) line += ", ";
    const std::optional<double> value = StatisticValue(analysis, statistic);
    line += InfoOf(statistic).name;
    if (value) {
      line += " " + FixedText(*value, Decimals(statistic)) + ShortUnit(statistic);
    } else if (statistic == Statistic::Period || statistic == Statistic::FemaleAmplitude) {
      line += ": no regular cycle";
    } else if (statistic == Statistic::SexRatio) {
      line += ": no female or male flowers";
    } else {
      line += ": none";
    }
  }
  return line;
}

StatisticSummary SummariseValues(std::span<const std::optional<double>> values) {
  std::vector<double> present;
  present.reserve(values.size());
  for (const std::optional<double>& v : values) {
    if (v) present.push_back(*v);
  }
  StatisticSummary summary = SummariseValues(present);
  summary.missing = values.size() - present.size();
  return summary;
}

StatisticSummary SummariseValues(std::span<const double> values) {
  StatisticSummary summary;
  summary.count = values.size();
  if (summary.count == 0) return summary;
  for (double v : values) summary.mean += v;
  summary.mean /= static_cast<double>(summary.count);
  if (summary.count < 2) return summary;
  double squares = 0.0;
  for (double v : values) squares += (v - summary.mean) * (v - summary.mean);
  const auto n = static_cast<double>(summary.count);
  summary.sd = std::sqrt(squares / (n - 1.0));
  const boost::math::students_t t(n - 1.0);
  summary.ci95 = boost::math::quantile(t, 0.975) * summary.sd / std::sqrt(n);
  return summary;
}

StatisticSummary SummariseStatistic(std::span<const CycleAnalysis> runs, Statistic statistic) {
  std::vector<std::optional<double>> values;
  values.reserve(runs.size());
  for (const CycleAnalysis& run : runs) values.push_back(StatisticValue(run, statistic));
  return SummariseValues(values);
}

std::string SummaryText(const StatisticSummary& summary, Statistic statistic, int decimals) {
  const StatisticInfo& info = InfoOf(statistic);
  std::string text = info.name;
  const std::size_t runs = summary.count + summary.missing;
  if (summary.count == 0) {
    return text + ": none of " + std::to_string(runs) + (runs == 1 ? " run has one" : " runs has one");
  }
  text += " " + FixedText(summary.mean, decimals) + " (sd " + FixedText(summary.sd, decimals) + ", 95 % CI +-" +
          FixedText(summary.ci95, decimals) + ")" + ShortUnit(statistic);
  if (summary.missing > 0) {
    text += ", " + std::to_string(summary.missing) + " of " + std::to_string(runs) + " runs without one left out";
  }
  return text;
}

}  // namespace varnolt
