#pragma once
// What the Experiments page's files share: the plan read from the fields, the
// results shown, and the wording of counts and numbers. Inside app/ only; the
// page itself is declared with the others in Pages.h.

#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/Pages.h"
#include "calibration/Calibration.h"
#include "experiments/Experiments.h"
#include "platform/WholeNumbers.h"
#include "plot/PlotPicture.h"
#include "plot/TablePicture.h"
#include "results/ResultsTable.h"
#include "results/Statistics.h"

namespace varnolt {
namespace experiments_page {

inline constexpr int SettingRows = 4;
inline constexpr int MorrisLevels = 4;
inline constexpr int MorrisBootstrap = 200;

inline QString Text(const std::string& text) { return QString::fromStdString(text); }
inline QString Grouped(std::int64_t count) { return Text(WithThousands(count)); }
inline QString Counted(std::int64_t count, const char* one, const char* many) {
  return Grouped(count) + QLatin1Char(' ') + QLatin1String(count == 1 ? one : many);
}
// A number as the grid shows it: four significant digits are plenty to read.
inline QString Shown(double value) { return std::isnan(value) ? QStringLiteral("-") : QString::number(value, 'g', 4); }
// A number in a CSV cell: the shortest text that reads back; empty for none.
inline std::string Cell(double value) { return std::isnan(value) ? std::string() : ShortestNumber(value); }

// When the rules refuse every one of these points, the first refusal; else nothing.
std::optional<std::string> EveryPointRefused(std::span<const ExperimentPoint> points);

// A new seed for an experiment whose Seed field is empty, from the sheet's
// source, low enough that its `consecutive` seeds are all seeds.
std::uint32_t NewSeed(CSheet& sheet, std::uint64_t consecutive);

// The run every point starts from, for titles: "Plot 4, 100 cycles x 10 palms".
std::string BaseText(const RunSettings& settings);

// A word of a command line as a POSIX shell reads it back: as it is when it
// holds only letters, digits and _=:,./+-, else in single quotes.
std::string ShellWord(const std::string& word);
// " --set NAME=VALUE" for every setting that differs from the start-up
// settings the runner begins with.
std::string SetOptions(const RunSettings& settings);

}  // namespace experiments_page

// What Run reads from the fields.
struct CPageExperiments::Plan {
  Kind kind = Kind::Sweep;
  RunSettings base;
  std::vector<SweepFactor> sweep;            // Sweep
  std::vector<SensitivityFactor> screening;  // Screening
  std::vector<FitRange> fits;                // Fit
  std::vector<int> rows;                     // the rows the factors came from
  std::vector<std::string> factorTexts;      // each as the runner takes it: "NAME=FROM:TO[:STEP]"
  std::string statisticsText;                // the Statistics field, empty for the usual ones
  int replicates = 1;
  int trajectories = 20;
  std::int32_t palms = 2000;  // Fit: the palms each candidate runs
  std::optional<std::uint32_t> seed;
  std::vector<Statistic> statistics;
  std::size_t points = 0;  // design points
  std::size_t runs = 0;
};

// The results shown: the grid's table, what Export CSV writes, the charts.
struct CPageExperiments::Results {
  Kind kind = Kind::Sweep;
  QStringList header;
  std::vector<QStringList> rows;
  std::string csv;
  QString csvName;
  // The runner's command that writes the same table (Copy command line).
  std::string commandLine;
  QString summary;
  QString details;  // more of the summary, as its tooltip
  // What Copy puts on the clipboard: the table in numbers a spreadsheet reads
  // (full precision, an interval's ends in columns of their own).
  std::vector<std::string> numberHeader;
  std::vector<std::vector<std::string>> numberRows;
  std::vector<std::string> chartNames;  // per chart the statistic it shows
  std::vector<SettingPlot> settingPlots;
  std::vector<HeatMapPlot> heatMaps;
  std::vector<MorrisPanel> morris;
  std::vector<std::string> titles;
  // A fit: its picture, and the fitted settings with their best values.
  std::optional<FitPicture> fit;
  std::vector<std::string> fitted;
  std::vector<std::int32_t> best;
  std::uint32_t seed = 0;  // the fit's, which Use these settings gives the Run page
};

}  // namespace varnolt
