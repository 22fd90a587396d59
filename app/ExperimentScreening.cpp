// The Experiments page's screening: Morris's elementary effects of up to four
// settings, as the runner's `sensitivity --method morris` gives them.
#include <algorithm>

#include "app/ExperimentsPage.h"
#include "app/Sheet.h"
#include "settings/ValidationRules.h"


namespace varnolt {

using namespace control;
using namespace experiments_page;

std::optional<std::pair<int, QString>> CPageExperiments::ReadScreeningFactor(Plan& plan, int row, const QString& name,
                                                                              const std::string& from,
                                                                              const std::string& to) const {
  SensitivityFactor factor;
  if (ParseSensitivityFactor(name.toStdString() + "=" + from + ":" + to, factor)) {
    return std::pair{SettingRowControl(row, 2), QStringLiteral("To of %1 must be greater than From.").arg(name)};
  }
  plan.screening.push_back(std::move(factor));
  return std::nullopt;
}

QString CPageExperiments::ScreeningPlanText(const Plan& plan) const {
  std::vector<std::vector<double>> used;
  const MorrisDesign design =
      MakeMorrisDesign(static_cast<int>(plan.screening.size()), plan.trajectories, MorrisLevels, plan.seed.value_or(0));
  // Each trajectory runs one point more than the settings it moves.
  const auto settings = static_cast<std::int64_t>(plan.screening.size());
  QString text = QStringLiteral("%1 x %2 (%3 + 1) = %4 of %5. ")
                     .arg(Counted(plan.trajectories, "trajectory", "trajectories"),
                          Counted(settings + 1, "point", "points"), Counted(settings, "setting", "settings"),
                          Counted(static_cast<std::int64_t>(plan.runs), "run", "runs"), Text(BaseText(plan.base)));
  std::size_t refused = 0;
  std::string first;
  for (const RunSettings& point : SensitivitySettings(plan.base, plan.screening, design.points, true, used)) {
    if (const ValidationRule* rule = FirstFailedRule(point)) {
      if (refused++ == 0) first = RuleFailureLine(*rule, point);
    }
  }
  text += RefusedText(refused, first);
  // Morris's points come from the seed: without one, these are seed 0's.
  text += plan.seed ? QStringLiteral(".") : QStringLiteral(" with seed 0's trajectories.");
  return text;
}

void CPageExperiments::RunScreening(Plan& plan) {
  const std::uint32_t seed = plan.seed ? *plan.seed : NewSeed(Sheet(), 1);
  const int k = static_cast<int>(plan.screening.size());
  const MorrisDesign design = MakeMorrisDesign(k, plan.trajectories, MorrisLevels, seed);
  std::vector<std::vector<double>> used;
  std::vector<ExperimentPoint> points;
  for (RunSettings& settings : SensitivitySettings(plan.base, plan.screening, design.points, true, used)) {
    points.push_back({std::move(settings), seed});
  }
  if (std::optional<std::string> refused = EveryPointRefused(points)) {
    Refuse(SettingRowControl(plan.rows.front(), 1),
           QStringLiteral("The rules refuse every point of this screening (first: %1), so nothing would run. Narrow "
                          "From and To, or change the settings on the other pages.")
               .arg(Text(*refused)));
    return;
  }
  std::vector<PointOutcome> outcomes;
  const QString running = QStringLiteral("Screening: %1 of %2")
                              .arg(Counted(static_cast<std::int64_t>(points.size()), "run", "runs"),
                                   Text(BaseText(plan.base)));
  if (!RunPointsWithProgress(plan.kind, running, points, outcomes)) return;

  auto results = std::make_unique<Results>();
  results->kind = Kind::Screening;
  results->csvName = QStringLiteral("screening.csv");
  results->commandLine = "varnolt-cli sensitivity --method morris" + SetOptions(plan.base);
  for (const std::string& factor : plan.factorTexts) results->commandLine += " --factor " + ShellWord(factor);
  results->commandLine += " --trajectories " + std::to_string(plan.trajectories) + " --seed " + std::to_string(seed);
  if (!plan.statisticsText.empty()) results->commandLine += " --stat " + ShellWord(plan.statisticsText);
  results->commandLine += " --csv screening.csv";
  // The indices as `varnolt-cli sensitivity --method morris --csv` writes them.
  results->csv = "output,factor,mu,muStar,muStarLow,muStarHigh,sigma,effects\n";
  results->header << QStringLiteral("Statistic") << QStringLiteral("Setting") << QStringLiteral("mu*")
                  << QStringLiteral("mu* 95 % interval") << QStringLiteral("sigma") << QStringLiteral("mu")
                  << QStringLiteral("Effects");
  results->numberHeader = {"statistic", "setting", "muStar", "muStarLow", "muStarHigh", "sigma", "mu", "effects"};
  std::size_t lost = 0;
  for (const PointOutcome& outcome : outcomes) lost += outcome.status == PointStatus::Ran ? 0 : 1;
  for (Statistic statistic : plan.statistics) {
    const std::string name = InfoOf(statistic).name;
    const PointOutputs outputs = OutputsOfPoints(outcomes, 1, statistic);
    const std::vector<MorrisIndex> indices = MorrisIndices(k, used, outputs.values, MorrisBootstrap, seed);
    std::vector<int> order(static_cast<std::size_t>(k));
    for (int f = 0; f < k; ++f) order[f] = f;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return indices[a].muStar > indices[b].muStar; });
    MorrisPanel panel;
    panel.statistic = name;
    for (int f : order) {
      const MorrisIndex& m = indices[f];
      const std::string& factor = plan.screening[f].name;
      results->csv += name + "," + factor + "," + Cell(m.mu) + "," + Cell(m.muStar) + "," + Cell(m.muStarLow) + "," +
                      Cell(m.muStarHigh) + "," + Cell(m.sigma) + "," + std::to_string(m.effects) + "\n";
      results->rows.push_back({Text(name), Text(factor), Shown(m.muStar),
                               Shown(m.muStarLow) + QStringLiteral(" to ") + Shown(m.muStarHigh), Shown(m.sigma),
                               Shown(m.mu), QString::number(m.effects)});
      results->numberRows.push_back({name, factor, Cell(m.muStar), Cell(m.muStarLow), Cell(m.muStarHigh), Cell(m.sigma),
                                     Cell(m.mu), std::to_string(m.effects)});
      if (m.effects > 0) panel.factors.push_back({factor, m.muStar, m.muStarLow, m.muStarHigh, m.sigma});
    }
    results->chartNames.push_back(name);
    results->morris.push_back(std::move(panel));
    results->titles.push_back("Morris screening of " + name + " (" + std::to_string(plan.trajectories) +
                              " trajectories): " + BaseText(plan.base) + ", seed " + std::to_string(seed));
  }
  results->summary = QStringLiteral("Screening of %1 from %2, seed %3")
                         .arg(Counted(k, "setting", "settings"), Counted(static_cast<std::int64_t>(outcomes.size()), "run", "runs"))
                         .arg(seed);
  if (lost > 0) results->summary += QStringLiteral("; %1 refused or failed and left out").arg(Counted(static_cast<std::int64_t>(lost), "run", "runs"));
  results->summary += QStringLiteral(". Effects are per whole range of each setting.");
  ShowNewResults(std::move(results));
}

}  // namespace varnolt
