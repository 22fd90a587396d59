// What a calibration hands the user: the summary, the table of evaluations and
// the JSON record beside them.

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "calibration/Calibration.h"
#include "platform/CsvText.h"
#include "platform/Version.h"
#include "platform/WholeNumbers.h"
#include "results/CycleAnalysis.h"
#include "results/ResultsTable.h"
#include "results/RunRecord.h"

namespace varnolt {

namespace {

std::string Signed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%+.*f", decimals, value);
  return text;
}

// Six significant digits, as the report gives numbers.
std::string Short(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string Padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}
std::string RightAligned(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string Count(std::uint64_t number) { return WithThousands(static_cast<std::int64_t>(number)); }

const char* StatusName(EvaluationStatus status) {
  switch (status) {
    case EvaluationStatus::Ran: return "ok";
    case EvaluationStatus::Invalid: return "invalid";
    case EvaluationStatus::Failed: return "failed";
  }
  return "";
}

std::string MethodText(const CalibrationRequest& request, const CalibrationResult& result) {
  const std::string grid = Count(static_cast<std::uint64_t>(result.gridSize));
  if (result.method == SearchMethod::Exhaustive) {
    return "exhaustive grid: every one of the " + grid + " candidates (at most " + Count(request.budget) +
           " are run whole; --budget sets this)";
  }
  char size[64];
  std::snprintf(size, sizeof size, result.gridSize < 1e15 ? "%.0f" : "%.3g", result.gridSize);
  const std::string gridText = result.gridSize < 1e15 ? Count(static_cast<std::uint64_t>(result.gridSize)) : size;
  return "optimiser: the grid of " + gridText + " candidates is more than the budget of " + Count(request.budget) +
         ", so NLopt's controlled random search (CRS2 with local mutation) looked for the best with rounding to "
         "whole values, then the neighbourhood of the best was run whole";
}

nlohmann::ordered_json NumberOrNull(double value) {
  return std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
}

}  // namespace

std::string DeterminedText(const FitRange& fit, const SettingProfile& profile, std::int32_t best) {
  const std::string head = fit.name + " = " + std::to_string(best);
  if (profile.Undetermined()) {
    const bool refusedBeyond = profile.runLow != fit.low || profile.runHigh != fit.high;
    return head + " (not determined by this census: every value from " + std::to_string(profile.fitLow) + " to " +
           std::to_string(profile.fitHigh) + (refusedBeyond ? " that the rules let run" : "") +
           " is consistent with it)";
  }
  std::string text = head + (profile.fitLow == profile.fitHigh
                                 ? " (no other value is consistent with this census at 95 %"
                                 : " (values " + std::to_string(profile.fitLow) + " to " +
                                       std::to_string(profile.fitHigh) + " are consistent with this census at 95 %");
  if (profile.simulatedCensuses > 0) {
    text += ", calibrated on " + std::to_string(profile.simulatedCensuses) + " simulated censuses";
  }
  // A range that ends where the rules stop the runs ends there for that reason,
  // not because the census says so.
  if (profile.fitLow == profile.runLow && profile.runLow > fit.low) {
    text += "; the rules refuse values below " + std::to_string(profile.runLow);
  }
  if (profile.fitHigh == profile.runHigh && profile.runHigh < fit.high) {
    text += "; the rules refuse values above " + std::to_string(profile.runHigh);
  }
  return text + ")";
}

namespace {

std::string FitTable(const FitStatistics& fit) {
  std::string text = "  series    cells     RMSE      NSE     bias\n";
  for (int s = 0; s < CensusSeriesCount; ++s) {
    const SeriesFit& series = fit.series[s];
    if (series.cells == 0) continue;
    text += "  " + Padded(CensusSeriesNames[s], 8) + RightAligned(Count(series.cells), 7) +
            RightAligned(FixedText(series.rmse, 2), 9) +
            RightAligned(std::isnan(series.nse) ? "-" : FixedText(series.nse, 3), 9) +
            RightAligned(Signed(series.bias, 2), 9) + "\n";
  }
  text += "  " + Padded("overall", 8) + RightAligned(Count(fit.cells), 7) + RightAligned(FixedText(fit.rmse, 2), 9) + "\n";
  return text;
}

std::string PValueText(double p) { return "p = " + FixedText(p, 3); }

}  // namespace

std::string LackOfFitText(const CalibrationResult& result) {
  const LackOfFit& lack = result.lackOfFit;
  std::string palms;
  for (std::size_t p = 0; p < result.simulatedPalms.size(); ++p) {
    palms += (p == 0 ? "" : ", ") + FixedText(result.simulatedPalms[p], 0);
  }
  if (!lack.judged) {
    return "Lack of fit: not judged: the census gives no palms, so its simulated censuses count the " + palms +
           " palms that its own residuals imply; give a palms column to judge the fit.";
  }
  std::string series;
  for (int s = 0; s < CensusSeriesCount; ++s) {
    const SeriesLackOfFit& one = lack.series[s];
    // A series that never varies in the census or the runs (herm, often) says nothing.
    if (one.cells == 0 || (one.residualVariance == 0.0 && one.expectedVariance == 0.0)) continue;
    series += std::string(series.empty() ? "" : "; ") + CensusSeriesNames[s] + " " + FixedText(one.ratio, 2) +
              " times, lag-1 autocorrelation " + FixedText(one.lag1, 2) + " (" + FixedText(one.expectedLag1, 2) +
              " expected)";
  }
  const std::string measure = "the residuals' variance is " + FixedText(lack.ratio, 2) + " times what " + palms +
                              " palms and the runs' own noise explain (" + PValueText(lack.pValue) + " over " +
                              std::to_string(result.profiles.empty() ? 0 : result.profiles.front().simulatedCensuses) +
                              " simulated censuses): " + series;
  if (lack.flagged) {
    return "Lack of fit: the model does not explain this census: " + measure +
           ". The fitted values describe the model's nearest behaviour, not the plantation; the outputs are "
           "written all the same.";
  }
  return "Lack of fit: none found: " + measure + ".";
}

std::string CalibrationSummary(const CalibrationRequest& request, const CalibrationResult& result,
                               const CalibrationSource& source) {
  std::string text;
  const std::size_t k = request.fits.size();
  text += "Calibrated " + std::to_string(k) + (k == 1 ? " setting" : " settings") +
          (request.shift ? " and the census's shift" : "") + " to " + source.censusName;
  for (const AddedCensus& added : request.added) text += " and " + added.name;
  text += ": " +
          Count(request.census.rows.size()) + " cycles observed (" + std::to_string(request.census.rows.front().cycle) +
          " to " + std::to_string(request.census.LastCycle()) + "), " + Count(request.census.ObservedCells()) +
          " cells, objective " + ObjectiveName(request.objective) + ".\n";
  text += "Method: " + MethodText(request, result) + ".\n";
  std::uint64_t refused = 0, failed = 0;
  for (const Evaluation& evaluation : result.evaluations) {
    refused += evaluation.status == EvaluationStatus::Invalid ? 1 : 0;
    failed += evaluation.status == EvaluationStatus::Failed ? 1 : 0;
  }
  text += "Evaluations: " + Count(result.evaluations.size());
  if (result.method == SearchMethod::Optimiser) {
    text += " (search " + Count(result.Evaluated(SearchStage::Search)) + ", polish " +
            Count(result.Evaluated(SearchStage::Polish)) + ", profiles " + Count(result.Evaluated(SearchStage::Profile)) +
            ")";
  }
  if (refused > 0) text += ", " + Count(refused) + " refused by a rule";
  if (failed > 0) text += ", " + Count(failed) + " failed";
  text += "; each " + std::to_string(request.replicates) + (request.replicates == 1 ? " run" : " runs") + " of " +
          Count(static_cast<std::uint64_t>(request.palms)) + " palms (seed " + std::to_string(request.seed);
  if (request.replicates > 1) {
    text += " to " + std::to_string(request.seed + static_cast<std::uint32_t>(request.replicates - 1));
  }
  text += "), " + FixedText(result.seconds, 1) + " s on " + std::to_string(source.threads) +
          (source.threads == 1 ? " thread.\n" : " threads.\n");
  if (request.objective == ObjectiveKind::Sse) {
    text += "Best fit: sse " + Short(result.bestObjective) + ".";
  } else {
    text += "Best fit: log-likelihood " + Short(result.logLikelihood) + ".";
  }
  text += "\nRanges: " + result.thresholdRule + ".\n";
  const std::vector<FitRange> fitted = FittedValues(request);
  for (std::size_t f = 0; f < fitted.size(); ++f) {
    text += "  " + DeterminedText(fitted[f], result.profiles[f], result.best[f]) + "\n";
  }
  text += "Fit of the best settings, in percentage points (bias: simulated minus observed):\n";
  text += FitTable(result.fit);
  bool constant = false;
  for (const SeriesFit& series : result.fit.series) constant = constant || (series.cells > 0 && std::isnan(series.nse));
  if (constant) text += "  (NSE \"-\": the census series never varies, so the efficiency is undefined)\n";
  for (std::size_t a = 0; a < request.added.size(); ++a) {
    text += "Fit to " + request.added[a].name + ":\n" + FitTable(result.addedFits[a]);
  }
  if (result.validation) {
    text += "Held-out cycles " + std::to_string(request.validate->low) + " to " +
            std::to_string(request.validate->high) + " (not fitted):\n" + FitTable(*result.validation);
  }
  text += LackOfFitText(result) + "\n";
  return text;
}

std::string EvaluationsCsv(const CalibrationRequest& request, const CalibrationResult& result) {
  std::string csv = "evaluation";
  for (const FitRange& fit : FittedValues(request)) csv += "," + CsvCell(fit.name);
  csv += ",objective,status,stage,message\n";
  for (std::size_t i = 0; i < result.evaluations.size(); ++i) {
    const Evaluation& evaluation = result.evaluations[i];
    csv += std::to_string(i + 1);
    for (std::int32_t value : evaluation.values) csv += "," + std::to_string(value);
    csv += "," + (evaluation.status == EvaluationStatus::Ran ? ShortestNumber(evaluation.objective) : std::string()) +
           "," + StatusName(evaluation.status) + "," + SearchStageName(evaluation.stage) + "," +
           CsvCell(evaluation.message) + "\n";
  }
  return csv;
}

namespace {

struct FitJson {
  nlohmann::ordered_json rmse = nlohmann::ordered_json::object();
  nlohmann::ordered_json nse = nlohmann::ordered_json::object();
  nlohmann::ordered_json bias = nlohmann::ordered_json::object();
};

FitJson FitJsonOf(const FitStatistics& fit) {
  FitJson json;
  for (int s = 0; s < CensusSeriesCount; ++s) {
    const SeriesFit& series = fit.series[s];
    if (series.cells == 0) continue;
    json.rmse[CensusSeriesNames[s]] = series.rmse;
    json.nse[CensusSeriesNames[s]] = NumberOrNull(series.nse);
    json.bias[CensusSeriesNames[s]] = series.bias;
  }
  json.rmse["overall"] = fit.rmse;
  return json;
}

// The fit's statistics over all its cells, then per series.
nlohmann::ordered_json StatisticsJson(const FitStatistics& fit) {
  nlohmann::ordered_json series = nlohmann::ordered_json::object();
  for (int s = 0; s < CensusSeriesCount; ++s) {
    const SeriesFit& one = fit.series[s];
    if (one.cells == 0) continue;
    series[CensusSeriesNames[s]] = {
        {"cells", one.cells}, {"rmse", one.rmse}, {"nse", NumberOrNull(one.nse)}, {"bias", one.bias}};
  }
  return {{"cells", fit.cells},
          {"rmse", fit.rmse},
          {"nse", NumberOrNull(fit.nse)},
          {"bias", fit.bias},
          {"series", std::move(series)}};
}

nlohmann::ordered_json CensusesJson(const CalibrationRequest& request, const CalibrationResult& result,
                                    const CalibrationSource& source) {
  nlohmann::ordered_json censuses = nlohmann::ordered_json::array();
  const auto one = [&](const std::string& name, const Census& census, const FitStatistics& fit, double palms) {
    nlohmann::ordered_json json = {{"file", name},
                                   {"cycles", census.rows.size()},
                                   {"firstCycle", census.rows.empty() ? 0 : census.rows.front().cycle},
                                   {"lastCycle", census.LastCycle()},
                                   {"cells", census.ObservedCells()},
                                   {"simulatedPalms", palms}};
    json["fit"] = StatisticsJson(fit);
    censuses.push_back(std::move(json));
  };
  const auto palms = [&](std::size_t p) { return p < result.simulatedPalms.size() ? result.simulatedPalms[p] : 0.0; };
  one(source.censusName, request.census, result.fit, palms(0));
  for (std::size_t a = 0; a < request.added.size(); ++a) {
    one(request.added[a].name, request.added[a].census, result.addedFits[a], palms(a + 1));
  }
  return censuses;
}

nlohmann::ordered_json ValidationJson(const CalibrationRequest& request, const CalibrationResult& result) {
  if (!request.validate || !result.validation) return nullptr;
  nlohmann::ordered_json json = StatisticsJson(*result.validation);
  json["fromCycle"] = request.validate->low;
  json["toCycle"] = request.validate->high;
  return json;
}

nlohmann::ordered_json LackOfFitJson(const CalibrationResult& result) {
  const LackOfFit& lack = result.lackOfFit;
  nlohmann::ordered_json series = nlohmann::ordered_json::object();
  for (int s = 0; s < CensusSeriesCount; ++s) {
    const SeriesLackOfFit& one = lack.series[s];
    if (one.cells == 0) continue;
    series[CensusSeriesNames[s]] = {{"cells", one.cells},
                                    {"residualVariance", one.residualVariance},
                                    {"binomialVariance", one.binomialVariance},
                                    {"expectedVariance", one.expectedVariance},
                                    {"ratio", NumberOrNull(one.ratio)},
                                    {"lag1", one.lag1},
                                    {"expectedLag1", one.expectedLag1}};
  }
  return {{"flagged", lack.flagged},
          {"judged", lack.judged},
          {"ratio", NumberOrNull(lack.ratio)},
          {"pValue", lack.pValue},
          {"series", std::move(series)},
          {"text", LackOfFitText(result)}};
}

}  // namespace

std::string CalibrationRecordJson(const CalibrationRequest& request, const CalibrationResult& result,
                                  const CalibrationSource& source) {
  using nlohmann::ordered_json;
  ordered_json base = ordered_json::object();
  for (const FieldInfo& field : RunSettingsFields()) {
    if (field.integer != nullptr) {
      base[field.name] = request.base.*(field.integer);
    } else {
      base[field.name] = request.base.*(field.text);
    }
  }
  ordered_json fitted = ordered_json::array();
  ordered_json best = ordered_json::object(), determined = ordered_json::object();
  ordered_json undetermined = ordered_json::array(), profiles = ordered_json::object();
  ordered_json thresholds = ordered_json::object();
  const std::vector<FitRange> values = FittedValues(request);
  for (std::size_t f = 0; f < values.size(); ++f) {
    const FitRange& fit = values[f];
    const SettingProfile& profile = result.profiles[f];
    fitted.push_back({{"name", fit.name}, {"low", fit.low}, {"high", fit.high}});
    best[fit.name] = result.best[f];
    // Only what the census determines has a range; the rest is listed apart.
    if (profile.Undetermined()) {
      undetermined.push_back(fit.name);
    } else {
      determined[fit.name] = {profile.fitLow, profile.fitHigh};
    }
    thresholds[fit.name] = profile.threshold;
    ordered_json points = ordered_json::array();
    for (std::size_t v = 0; v < profile.values.size(); ++v) {
      points.push_back({profile.values[v], NumberOrNull(profile.best[v])});
    }
    profiles[fit.name] = std::move(points);
  }
  ordered_json seeds = ordered_json::array();
  for (std::int32_t r = 0; r < request.replicates; ++r) seeds.push_back(request.seed + static_cast<std::uint32_t>(r));
  const FitJson fitJson = FitJsonOf(result.fit);
  std::uint64_t ran = 0, refused = 0, failed = 0;
  for (const Evaluation& evaluation : result.evaluations) {
    ran += evaluation.status == EvaluationStatus::Ran ? 1 : 0;
    refused += evaluation.status == EvaluationStatus::Invalid ? 1 : 0;
    failed += evaluation.status == EvaluationStatus::Failed ? 1 : 0;
  }
  ordered_json objective = {
      {"kind", ObjectiveName(request.objective)},
      {"value", result.bestObjective},
      {"thresholds", std::move(thresholds)},
      {"thresholdRule", result.thresholdRule},
  };
  if (request.objective == ObjectiveKind::LogLik) objective["logLikelihood"] = result.logLikelihood;
  ordered_json json = {
      {"program", "VARNOLT"},
      {"version", VersionText()},
      {"commandLine", source.commandLine},
      {"startTime", UtcTimestamp(source.startTime)},
      {"census",
       {{"file", source.censusName},
        {"sha256", source.censusSha256},
        {"cycles", request.census.rows.size()},
        {"firstCycle", request.census.rows.empty() ? 0 : request.census.rows.front().cycle},
        {"lastCycle", request.census.LastCycle()},
        {"cells", request.census.ObservedCells()},
        {"palmsColumn", request.census.hasPalms}}},
      {"baseSettingsFile", source.baseName.empty() ? ordered_json(nullptr) : ordered_json(source.baseName)},
      {"baseSettings", std::move(base)},
      {"fitted", std::move(fitted)},
      {"palms", request.palms},
      {"replicates", request.replicates},
      {"simulatedCensuses", request.simulatedCensuses},
      {"seeds", std::move(seeds)},
      {"method", SearchMethodName(result.method)},
      {"gridSize", result.gridSize < 9e15 ? ordered_json(static_cast<std::uint64_t>(result.gridSize))
                                          : ordered_json(result.gridSize)},
      {"budget", request.budget},
      {"best", std::move(best)},
      {"determined", std::move(determined)},
      {"undetermined", std::move(undetermined)},
      {"objective", std::move(objective)},
      {"rmse", fitJson.rmse},
      {"nse", fitJson.nse},
      {"bias", fitJson.bias},
      {"censuses", CensusesJson(request, result, source)},
      {"validation", ValidationJson(request, result)},
      {"lackOfFit", LackOfFitJson(result)},
      {"profiles", std::move(profiles)},
      {"evaluations",
       {{"total", result.evaluations.size()},
        {"grid", result.Evaluated(SearchStage::Grid)},
        {"search", result.Evaluated(SearchStage::Search)},
        {"polish", result.Evaluated(SearchStage::Polish)},
        {"profile", result.Evaluated(SearchStage::Profile)},
        {"ran", ran},
        {"refused", refused},
        {"failed", failed}}},
      {"threads", source.threads},
      {"seconds", result.seconds},
  };
  return json.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace varnolt
