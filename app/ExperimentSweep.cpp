// The Experiments page's sweep: one or two settings over their values, every
// point run `replicates` times, shown as the runner's `sweep` shows it.
#include <algorithm>
#include <map>
#include <set>

#include "app/ExperimentsPage.h"
#include "app/Sheet.h"
#include "settings/ValidationRules.h"


namespace varnolt {

using namespace control;
using namespace experiments_page;

namespace {

std::optional<double> ValueOf(const PointOutcome& outcome, Statistic statistic) {
  if (outcome.status != PointStatus::Ran) return std::nullopt;
  return StatisticValue(outcome.analysis, statistic);
}

std::string MeanOf(std::size_t replicates) {
  return " (mean of " + std::to_string(replicates) + (replicates == 1 ? " run" : " replicates") + "): ";
}

// The statistic against the one setting: every replicate as a point, the
// mean with its 95 % interval per value, in order of the setting.
SettingPlot PlotAgainstSetting(const SweepFactor& factor, std::span<const PointOutcome> outcomes,
                               std::size_t replicates, Statistic statistic) {
  SettingPlot plot;
  plot.setting = factor.name;
  StatisticSeries series;
  series.name = InfoOf(statistic).name;
  for (std::size_t d = 0; d < factor.values.size(); ++d) {
    const double x = factor.values[d];
    std::vector<std::optional<double>> values;
    for (std::size_t r = 0; r < replicates; ++r) {
      values.push_back(ValueOf(outcomes[d * replicates + r], statistic));
      if (values.back()) series.pointX.push_back(x), series.pointY.push_back(*values.back());
    }
    const StatisticSummary summary = SummariseValues(values);
    if (summary.count > 0) {
      series.x.push_back(x);
      series.mean.push_back(summary.mean);
      series.low.push_back(summary.mean - summary.ci95);
      series.high.push_back(summary.mean + summary.ci95);
    } else if (outcomes[d * replicates].status == PointStatus::Invalid) {
      plot.refusedX.push_back(x);
    }
  }
  // In order of the setting, so the band and the line run left to right.
  std::vector<std::size_t> order(series.x.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return series.x[a] < series.x[b]; });
  StatisticSeries sorted = series;
  for (std::size_t i = 0; i < order.size(); ++i) {
    sorted.x[i] = series.x[order[i]], sorted.mean[i] = series.mean[order[i]];
    sorted.low[i] = series.low[order[i]], sorted.high[i] = series.high[order[i]];
  }
  plot.series.push_back(std::move(sorted));
  return plot;
}

// The statistic over two settings: the replicates' mean of each cell.
HeatMapPlot HeatMapOver(std::span<const SweepFactor> factors, std::span<const PointOutcome> outcomes,
                        std::size_t replicates, Statistic statistic) {
  HeatMapPlot plot;
  plot.xSetting = factors[0].name;
  plot.ySetting = factors[1].name;
  plot.statistic = InfoOf(statistic).name;
  std::set<std::int32_t> xs(factors[0].values.begin(), factors[0].values.end());
  std::set<std::int32_t> ys(factors[1].values.begin(), factors[1].values.end());
  plot.xs.assign(xs.begin(), xs.end());
  plot.ys.assign(ys.begin(), ys.end());
  plot.means.assign(plot.xs.size() * plot.ys.size(), std::nullopt);
  plot.refused.assign(plot.means.size(), false);
  std::map<std::int32_t, std::size_t> column, line;
  for (std::size_t c = 0; c < plot.xs.size(); ++c) column[static_cast<std::int32_t>(plot.xs[c])] = c;
  for (std::size_t r = 0; r < plot.ys.size(); ++r) line[static_cast<std::int32_t>(plot.ys[r])] = r;
  const std::vector<std::vector<std::int32_t>> levels = FactorialLevels(factors);
  for (std::size_t d = 0; d < levels.size(); ++d) {
    const std::size_t cell = line[levels[d][1]] * plot.xs.size() + column[levels[d][0]];
    std::vector<std::optional<double>> values;
    for (std::size_t r = 0; r < replicates; ++r) values.push_back(ValueOf(outcomes[d * replicates + r], statistic));
    const StatisticSummary summary = SummariseValues(values);
    if (summary.count > 0) plot.means[cell] = summary.mean;
    plot.refused[cell] = outcomes[d * replicates].status == PointStatus::Invalid;
  }
  return plot;
}

}  // namespace

std::optional<std::pair<int, QString>> CPageExperiments::ReadSweepFactor(Plan& plan, int row, const QString& name,
                                                                          const std::string& from,
                                                                          const std::string& to) const {
  const std::string step = FieldText(SettingRowControl(row, 3)).toStdString();
  const std::optional<std::int32_t> stepValue = ReadWholeNumber<std::int32_t>(step);
  if (!stepValue || *stepValue < 1) {
    return std::pair{SettingRowControl(row, 3), QStringLiteral("Step of %1 must be a whole number, 1 or more.").arg(name)};
  }
  SweepFactor factor;
  if (ParseSweepFactor(name.toStdString() + "=" + from + ":" + to + ":" + step, factor)) {
    return std::pair{SettingRowControl(row, 3),
                     QStringLiteral("%1 from %2 to %3 by %4 takes more than a million values; take a larger step.")
                         .arg(name, Text(from), Text(to), Text(step))};
  }
  plan.sweep.push_back(std::move(factor));
  return std::nullopt;
}

QString CPageExperiments::SweepPlanText(const Plan& plan) const {
  QString text = QStringLiteral("%1 x %2 = %3 of %4. ")
                     .arg(Counted(static_cast<std::int64_t>(plan.points), "point", "points"),
                          Counted(plan.replicates, "replicate", "replicates"),
                          Counted(static_cast<std::int64_t>(plan.runs), "run", "runs"), Text(BaseText(plan.base)));
  // The values each setting takes, as they will run.
  for (const SweepFactor& factor : plan.sweep) {
    QStringList values;
    const std::size_t count = factor.values.size();
    for (std::size_t i = 0; i < count; ++i) {
      if (count > 8 && i == 3) {
        values << QStringLiteral("...");
        i = count - 3;
      }
      values << QString::number(factor.values[i]);
    }
    text += QStringLiteral("%1 %2. ").arg(Text(factor.name), values.join(QStringLiteral(", ")));
  }
  // The points the rules refuse, counted on one record point by point (the
  // first setting slowest), so that a plan of a million points holds none.
  std::vector<std::int32_t RunSettings::*> fields;
  for (const SweepFactor& factor : plan.sweep) fields.push_back(FindField(factor.name)->integer);
  RunSettings point = plan.base;
  std::vector<std::size_t> at(plan.sweep.size(), 0);
  std::size_t refused = 0;
  std::string first;
  for (std::size_t d = 0; d < plan.points; ++d) {
    for (std::size_t f = 0; f < fields.size(); ++f) point.*fields[f] = plan.sweep[f].values[at[f]];
    if (const ValidationRule* rule = FirstFailedRule(point)) {
      if (refused++ == 0) first = RuleFailureLine(*rule, point);
    }
    for (std::size_t f = fields.size(); f-- > 0;) {
      if (++at[f] < plan.sweep[f].values.size()) break;
      at[f] = 0;
    }
  }
  return text + RefusedText(refused, first) + QLatin1Char('.');
}

void CPageExperiments::RunSweep(Plan& plan) {
  const std::uint32_t seed = plan.seed ? *plan.seed : NewSeed(Sheet(), static_cast<std::uint64_t>(plan.replicates));
  const SweepDesign design = MakeSweepDesign(plan.base, plan.sweep);
  const auto replicates = static_cast<std::size_t>(plan.replicates);
  std::vector<ExperimentPoint> points;
  for (const RunSettings& settings : design.settings) {
    for (std::size_t r = 0; r < replicates; ++r) points.push_back({settings, seed + static_cast<std::uint32_t>(r)});
  }
  if (std::optional<std::string> refused = EveryPointRefused(points)) {
    Refuse(SettingRowControl(plan.rows.front(), 1),
           QStringLiteral("The rules refuse every point of this sweep (first: %1), so nothing would run. Change "
                          "From, To or Step, or the settings on the other pages.")
               .arg(Text(*refused)));
    return;
  }
  std::vector<PointOutcome> outcomes;
  const QString running = QStringLiteral("Sweep: %1 of %2").arg(Counted(static_cast<std::int64_t>(points.size()), "run", "runs"),
                                                                   Text(BaseText(plan.base)));
  if (!RunPointsWithProgress(plan.kind, running, points, outcomes)) return;

  auto results = std::make_unique<Results>();
  results->kind = Kind::Sweep;
  std::vector<std::string> leadColumns;
  for (const SweepFactor& factor : plan.sweep) leadColumns.push_back(factor.name);
  // The table exactly as `varnolt-cli sweep --csv` writes it.
  results->csv = RunTableHeader(leadColumns, plan.statistics);
  for (std::size_t i = 0; i < points.size(); ++i) {
    const std::size_t d = i / replicates;
    results->csv += RunTableRow(d + 1, true, design.leadCells[d], i % replicates + 1, points[i].seed, outcomes[i],
                                plan.statistics);
  }
  results->csvName = QStringLiteral("sweep.csv");
  results->commandLine = "varnolt-cli sweep" + SetOptions(plan.base);
  for (const std::string& factor : plan.factorTexts) results->commandLine += " --vary " + ShellWord(factor);
  results->commandLine += " --replicates " + std::to_string(replicates) + " --seed " + std::to_string(seed);
  if (!plan.statisticsText.empty()) results->commandLine += " --stat " + ShellWord(plan.statisticsText);
  results->commandLine += " --csv sweep.csv";

  // One grid row per point: its values, the replicates' mean of each
  // statistic (with its 95 % interval), and what refused it.
  results->header << QStringLiteral("Point");
  for (const std::string& name : leadColumns) results->header << Text(name);
  for (Statistic statistic : plan.statistics) {
    results->header << Text(InfoOf(statistic).name) + (replicates > 1 ? QStringLiteral(" (95 % CI)") : QString());
  }
  results->header << QStringLiteral("Note");
  results->numberHeader.push_back("point");
  results->numberHeader.insert(results->numberHeader.end(), leadColumns.begin(), leadColumns.end());
  for (Statistic statistic : plan.statistics) {
    results->numberHeader.push_back(InfoOf(statistic).name);
    if (replicates > 1) results->numberHeader.push_back(std::string(InfoOf(statistic).name) + " ci95");
  }
  results->numberHeader.push_back("note");
  std::size_t refused = 0, failed = 0;
  for (std::size_t d = 0; d < design.settings.size(); ++d) {
    QStringList row{QString::number(d + 1)};
    std::vector<std::string> numbers{std::to_string(d + 1)};
    for (const QString& value : Text(design.leadCells[d]).split(QLatin1Char(','))) {
      row << value;
      numbers.push_back(value.toStdString());
    }
    const std::span<const PointOutcome> mine(outcomes.data() + d * replicates, replicates);
    for (Statistic statistic : plan.statistics) {
      std::vector<std::optional<double>> values;
      for (const PointOutcome& outcome : mine) values.push_back(ValueOf(outcome, statistic));
      const StatisticSummary summary = SummariseValues(values);
      QString cell = summary.count == 0 ? QStringLiteral("-") : Shown(summary.mean);
      if (summary.count > 1) cell += QStringLiteral(" \u00b1 ") + Shown(summary.ci95);
      row << cell;
      numbers.push_back(summary.count == 0 ? std::string() : Cell(summary.mean));
      if (replicates > 1) numbers.push_back(summary.count > 1 ? Cell(summary.ci95) : std::string());
    }
    QString note;
    if (mine.front().status == PointStatus::Invalid) {
      note = QStringLiteral("refused: ") + Text(mine.front().message);
      ++refused;
    } else if (mine.front().status == PointStatus::Failed) {
      note = QStringLiteral("failed: ") + Text(mine.front().message);
      ++failed;
    }
    row << note;
    results->rows.push_back(row);
    numbers.push_back(note.toStdString());
    results->numberRows.push_back(std::move(numbers));
  }

  // A chart per statistic: against the setting, or a heat map over two.
  const std::string seedText = ", seed " + std::to_string(seed);
  for (Statistic statistic : plan.statistics) {
    const std::string name = InfoOf(statistic).name;
    results->chartNames.push_back(name);
    if (plan.sweep.size() == 1) {
      results->settingPlots.push_back(PlotAgainstSetting(plan.sweep[0], outcomes, replicates, statistic));
      results->titles.push_back(name + " against " + plan.sweep[0].name + MeanOf(replicates) + BaseText(plan.base) +
                                seedText);
    } else {
      results->heatMaps.push_back(HeatMapOver(plan.sweep, outcomes, replicates, statistic));
      results->titles.push_back(name + " over " + plan.sweep[0].name + " and " + plan.sweep[1].name +
                                MeanOf(replicates) + BaseText(plan.base) + seedText);
    }
  }
  results->summary = QStringLiteral("Sweep of %1, seed %2").arg(Counted(static_cast<std::int64_t>(points.size()), "run", "runs")).arg(seed);
  if (replicates > 1) results->summary += QStringLiteral(" to %1").arg(seed + static_cast<std::uint32_t>(replicates - 1));
  if (refused > 0) results->summary += QStringLiteral("; %1 refused by the rules").arg(Counted(static_cast<std::int64_t>(refused), "point", "points"));
  if (failed > 0) results->summary += QStringLiteral("; %1 failed").arg(Counted(static_cast<std::int64_t>(failed), "point", "points"));
  results->summary += QLatin1Char('.');
  ShowNewResults(std::move(results));
}

}  // namespace varnolt
