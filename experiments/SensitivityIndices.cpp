// The ranked indices of a sensitivity design, their table and its record.
#include "experiments/SensitivityIndices.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include <nlohmann/json.hpp>

#include "platform/Version.h"
#include "platform/WholeNumbers.h"
#include "results/ResultsTable.h"
#include "results/Statistics.h"

namespace varnolt {

namespace {

// A number in a column of the printed report; a dash where there is none.
std::string Fixed(double value, int width, int decimals) {
  char text[64];
  if (std::isnan(value)) {
    std::snprintf(text, sizeof text, "%*s", width, "-");
  } else {
    std::snprintf(text, sizeof text, "%*.*f", width, decimals, value);
  }
  return text;
}

// A number in a CSV cell; empty where there is none.
std::string Cell(double value) { return std::isnan(value) ? std::string() : ShortestNumber(value); }

std::string Padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::size_t NameWidth(const SensitivityPlan& plan) {
  std::size_t width = 8;
  for (const SensitivityFactor& factor : plan.factors) width = std::max(width, factor.name.size() + 2);
  return width;
}

// The factors' order, the largest of `key` first (ties in the plan's order).
template <typename Index, typename Key>
std::vector<int> Ranked(const std::vector<Index>& indices, Key key) {
  std::vector<int> order(indices.size());
  for (std::size_t f = 0; f < order.size(); ++f) order[f] = static_cast<int>(f);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key(indices[a]) > key(indices[b]); });
  return order;
}

// The runs without the statistic, and the spread between replicates.
void ReportOutputs(Statistic statistic, const PointOutputs& outputs, std::size_t runs, std::size_t replicates,
                   std::ostream& report) {
  const char* name = InfoOf(statistic).name;
  report << "\n" << name << ":\n";
  if (outputs.missing > 0) {
    report << "  " << outputs.missing << " of " << runs << " runs have no " << name
           << (statistic == Statistic::Period || statistic == Statistic::FemaleAmplitude ? " (no regular cycle)" : "")
           << "; " << outputs.pointsLeftOut << (outputs.pointsLeftOut == 1 ? " point" : " points")
           << " without one are left out" << (replicates > 1 ? ", the others average the replicates that have one" : "")
           << ".\n";
  }
  if (replicates > 1 && !std::isnan(outputs.replicateSd)) {
    std::vector<std::optional<double>> present;
    for (double v : outputs.values) {
      if (!std::isnan(v)) present.push_back(v);
    }
    report << "  Between replicates of a point, sd " << Fixed(outputs.replicateSd, 0, 4) << " on average; between "
           << "points (of their means), sd " << Fixed(SummariseValues(present).sd, 0, 4) << ".\n";
  }
}

void ReportMorris(const SensitivityPlan& plan, const std::string& name, const std::vector<MorrisIndex>& indices,
                  std::ostream& report, std::string& csv) {
  const std::size_t nameWidth = NameWidth(plan);
  report << "  " << Padded("factor", nameWidth) << "       mu*  (95 % interval)          mu     sigma  effects\n";
  for (int f : Ranked(indices, [](const MorrisIndex& m) { return m.muStar; })) {
    const MorrisIndex& m = indices[f];
    report << "  " << Padded(plan.factors[f].name, nameWidth) << Fixed(m.muStar, 10, 3) << "  ("
           << Fixed(m.muStarLow, 6, 3) << " to " << Fixed(m.muStarHigh, 6, 3) << ")" << Fixed(m.mu, 10, 3)
           << Fixed(m.sigma, 10, 3) << "  " << m.effects << "\n";
    csv += name + "," + plan.factors[f].name + "," + Cell(m.mu) + "," + Cell(m.muStar) + "," + Cell(m.muStarLow) +
           "," + Cell(m.muStarHigh) + "," + Cell(m.sigma) + "," + std::to_string(m.effects) + "\n";
  }
}

void ReportSobol(const SensitivityPlan& plan, const std::string& name, const std::vector<SobolIndex>& indices,
                 bool varies, std::ostream& report, std::string& csv) {
  const std::size_t nameWidth = NameWidth(plan);
  if (!varies) {
    report << "  " << name << " does not vary over this design; no indices.\n";
    for (std::size_t f = 0; f < plan.factors.size(); ++f) {
      csv += name + "," + plan.factors[f].name + ",,,,,,," + std::to_string(indices[f].samples) + "\n";
    }
    return;
  }
  report << "  " << Padded("factor", nameWidth) << "   first  (95 % interval)      total  (95 % interval)\n";
  for (int f : Ranked(indices, [](const SobolIndex& s) { return s.total; })) {
    const SobolIndex& s = indices[f];
    report << "  " << Padded(plan.factors[f].name, nameWidth) << Fixed(s.first, 8, 3) << "  ("
           << Fixed(s.firstLow, 6, 3) << " to " << Fixed(s.firstHigh, 6, 3) << ")" << Fixed(s.total, 8, 3) << "  ("
           << Fixed(s.totalLow, 6, 3) << " to " << Fixed(s.totalHigh, 6, 3) << ")\n";
    csv += name + "," + plan.factors[f].name + "," + Cell(s.first) + "," + Cell(s.firstLow) + "," +
           Cell(s.firstHigh) + "," + Cell(s.total) + "," + Cell(s.totalLow) + "," + Cell(s.totalHigh) + "," +
           std::to_string(s.samples) + "\n";
  }
}

}  // namespace

const char* SensitivityMethodName(const SensitivityPlan& plan) { return plan.morris ? "morris" : "sobol"; }

SensitivityIndices ComputeSensitivityIndices(const SensitivityPlan& plan, const SensitivityDesign& design,
                                             const PointTable& table, const RunOutputs& outcomes,
                                             std::uint32_t seed, int bootstrap) {
  const bool morris = plan.morris;
  const int k = static_cast<int>(plan.factors.size());
  const std::size_t replicates = table.replicates;
  const std::size_t lost = outcomes.NotRan();
  SensitivityIndices indices;
  indices.table = morris ? "output,factor,mu,muStar,muStarLow,muStarHigh,sigma,effects\n"
                         : "output,factor,first,firstLow,firstHigh,total,totalLow,totalHigh,samples\n";
  std::ostringstream report;
  report << (morris ? "Morris elementary effects" : "Sobol indices") << " of " << k
         << (k == 1 ? " factor" : " factors") << " from " << outcomes.Runs() << " runs (seed " << seed;
  if (plan.designSeed != seed) report << ", design seed " << plan.designSeed;
  report << ")";
  if (replicates > 1) {
    report << "; each point's output is the mean of its " << replicates << " replicates, seeds " << seed << " to "
           << seed + static_cast<std::uint32_t>(replicates - 1);
  }
  if (lost > 0) report << "; " << lost << " runs were refused by a rule or failed and are left out";
  report << (morris ? ".\nEffects are per whole range of the factor, ranked by mu*; the 95 % intervals of mu* are "
                      "from the bootstrap.\n"
                    : ".\nRanked by the total index; the 95 % intervals are from the bootstrap.\n");
  for (Statistic statistic : table.statistics) {
    const PointOutputs outputs = outcomes.Of(replicates, statistic);
    ReportOutputs(statistic, outputs, outcomes.Runs() - lost, replicates, report);
    if (morris) {
      ReportMorris(plan, InfoOf(statistic).name,
                   MorrisIndices(k, design.used, outputs.values, bootstrap, plan.designSeed), report, indices.table);
    } else {
      ReportSobol(plan, InfoOf(statistic).name, SobolIndices(design.saltelli, outputs.values, bootstrap, plan.designSeed),
                  OutputVaries(outputs.values), report, indices.table);
    }
  }
  indices.report = report.str();
  return indices;
}

std::string SensitivityRecordJson(const SensitivityPlan& plan, const std::string& commandLine, std::uint32_t seed,
                                  std::size_t replicates, const RunOutputs& outcomes) {
  nlohmann::ordered_json record;
  record["version"] = VersionText();
  record["commandLine"] = commandLine;
  record["command"] = "sensitivity";
  record["method"] = SensitivityMethodName(plan);
  record["seed"] = seed;
  record["designSeed"] = plan.designSeed;
  record["replicates"] = replicates;
  record["runs"] = outcomes.Runs();
  record["runsLeftOut"] = outcomes.NotRan();
  nlohmann::ordered_json factorList = nlohmann::ordered_json::array();
  for (const SensitivityFactor& factor : plan.factors) {
    factorList.push_back({{"name", factor.name}, {"low", factor.low}, {"high", factor.high}});
  }
  record["factors"] = factorList;
  return record.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::optional<std::string> SensitivityMemoryProblem(const SensitivityPlan& plan, std::size_t replicates,
                                                    std::size_t statistics, const std::string& remedy) {
  const std::size_t designRows = SensitivityDesignRows(plan);
  const int k = static_cast<int>(plan.factors.size());
  const double need = static_cast<double>(designRows) *
                      (8.0 * k + 48 + 4.0 * k + static_cast<double>(replicates * RunOutputs::BytesPerRun(statistics)));
  return MemoryProblem(static_cast<std::uint64_t>(std::min(need, 1.8e19)),
                       "the " + std::string(plan.morris ? "Morris" : "Sobol") + " design of " +
                           WithThousands(static_cast<std::int64_t>(designRows)) + " points" +
                           (replicates > 1 ? " x " + std::to_string(replicates) + " replicates" : std::string()),
                       remedy);
}

}  // namespace varnolt
