// What a calibration hands the user: the summary, the table of evaluations and
// the JSON record beside them.

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "calibration/Calibration.h"
#include "platform/CsvText.h"
#include "platform/Version.h"
#include "platform/WholeNumbers.h"
#include "results/ResultsTable.h"
#include "results/RunRecord.h"

namespace varnolt {

namespace {

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

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
           std::to_string(profile.fitHigh) + (refusedBeyond ? " that the rules let run" : "") + " fits equally well)";
  }
  if (profile.fitLow == profile.fitHigh) return head + " (no other value fits as well)";
  return head + " (values " + std::to_string(profile.fitLow) + " to " + std::to_string(profile.fitHigh) +
         " fit equally well)";
}

std::string CalibrationSummary(const CalibrationRequest& request, const CalibrationResult& result,
                               const CalibrationSource& source) {
  std::string text;
  const std::size_t k = request.fits.size();
  text += "Calibrated " + std::to_string(k) + (k == 1 ? " setting" : " settings") + " to " + source.censusName + ": " +
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
  text += "), " + Fixed(result.seconds, 1) + " s on " + std::to_string(source.threads) +
          (source.threads == 1 ? " thread.\n" : " threads.\n");
  if (request.objective == ObjectiveKind::Sse) {
    text += "Best fit: sse " + Short(result.bestObjective) + ".";
  } else {
    text += "Best fit: log-likelihood " + Short(result.logLikelihood) + ".";
  }
  text += " Values fit equally well " + result.thresholdRule + ".\n";
  for (std::size_t f = 0; f < k; ++f) {
    text += "  " + DeterminedText(request.fits[f], result.profiles[f], result.best[f]) + "\n";
  }
  text += "Fit of the best settings, in percentage points (bias: simulated minus observed):\n";
  text += "  series    cells     RMSE      NSE     bias\n";
  for (int s = 0; s < CensusSeriesCount; ++s) {
    const SeriesFit& series = result.fit.series[s];
    if (series.cells == 0) continue;
    text += "  " + Padded(CensusSeriesNames[s], 8) + RightAligned(Count(series.cells), 7) +
            RightAligned(Fixed(series.rmse, 2), 9) +
            RightAligned(std::isnan(series.nse) ? "-" : Fixed(series.nse, 3), 9) +
            RightAligned(Signed(series.bias, 2), 9) + "\n";
  }
  text += "  " + Padded("overall", 8) + RightAligned(Count(result.fit.cells), 7) +
          RightAligned(Fixed(result.fit.rmse, 2), 9) + "\n";
  bool constant = false;
  for (const SeriesFit& series : result.fit.series) constant = constant || (series.cells > 0 && std::isnan(series.nse));
  if (constant) text += "  (NSE \"-\": the census series never varies, so the efficiency is undefined)\n";
  return text;
}

std::string EvaluationsCsv(const CalibrationRequest& request, const CalibrationResult& result) {
  std::string csv = "evaluation";
  for (const FitRange& fit : request.fits) csv += "," + CsvCell(fit.name);
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
  for (std::size_t f = 0; f < request.fits.size(); ++f) {
    const FitRange& fit = request.fits[f];
    const SettingProfile& profile = result.profiles[f];
    fitted.push_back({{"name", fit.name}, {"low", fit.low}, {"high", fit.high}});
    best[fit.name] = result.best[f];
    determined[fit.name] = {profile.fitLow, profile.fitHigh};
    if (profile.Undetermined()) undetermined.push_back(fit.name);
    ordered_json points = ordered_json::array();
    for (std::size_t v = 0; v < profile.values.size(); ++v) {
      points.push_back({profile.values[v], NumberOrNull(profile.best[v])});
    }
    profiles[fit.name] = std::move(points);
  }
  ordered_json seeds = ordered_json::array();
  for (std::int32_t r = 0; r < request.replicates; ++r) seeds.push_back(request.seed + static_cast<std::uint32_t>(r));
  ordered_json rmse = ordered_json::object(), nse = ordered_json::object(), bias = ordered_json::object();
  for (int s = 0; s < CensusSeriesCount; ++s) {
    const SeriesFit& series = result.fit.series[s];
    if (series.cells == 0) continue;
    rmse[CensusSeriesNames[s]] = series.rmse;
    nse[CensusSeriesNames[s]] = NumberOrNull(series.nse);
    bias[CensusSeriesNames[s]] = series.bias;
  }
  rmse["overall"] = result.fit.rmse;
  std::uint64_t ran = 0, refused = 0, failed = 0;
  for (const Evaluation& evaluation : result.evaluations) {
    ran += evaluation.status == EvaluationStatus::Ran ? 1 : 0;
    refused += evaluation.status == EvaluationStatus::Invalid ? 1 : 0;
    failed += evaluation.status == EvaluationStatus::Failed ? 1 : 0;
  }
  ordered_json objective = {
      {"kind", ObjectiveName(request.objective)},
      {"value", result.bestObjective},
      {"threshold", result.threshold},
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
      {"seeds", std::move(seeds)},
      {"method", SearchMethodName(result.method)},
      {"gridSize", result.gridSize < 9e15 ? ordered_json(static_cast<std::uint64_t>(result.gridSize))
                                          : ordered_json(result.gridSize)},
      {"budget", request.budget},
      {"best", std::move(best)},
      {"determined", std::move(determined)},
      {"undetermined", std::move(undetermined)},
      {"objective", std::move(objective)},
      {"rmse", std::move(rmse)},
      {"nse", std::move(nse)},
      {"bias", std::move(bias)},
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
