// What may be fitted, and the checks a calibration passes before it runs: every
// refusal says what is wrong and what to do, and nothing has run yet.

#include <algorithm>
#include <cmath>
#include <limits>

#include "calibration/Calibration.h"
#include "platform/WholeNumbers.h"
#include "run/RunDriver.h"
#include "settings/ValidationRules.h"

namespace varnolt {

namespace {

// Every whole-numbered setting that a calibration may fit, for messages.
std::string FittableNames() {
  std::string names;
  for (const FieldInfo& field : RunSettingsFields()) {
    if (field.kind != FieldKind::Integer) continue;
    const std::string name = field.name;
    if (name == "cycleCount" || name == "palmCount") continue;
    names += (names.empty() ? "" : ", ") + name;
  }
  return names;
}

std::optional<AdmittedValues> TreatmentValues(std::int32_t treatmentSwitch, const char* switchName,
                                              const std::string& name, AdmittedValues values, std::string& why) {
  if (!IsOn(treatmentSwitch)) {
    why = name + " has no effect while " + switchName + " is off: add --set " + switchName +
          "=1 to fit it with the treatment on";
    return std::nullopt;
  }
  if (values.low > values.high) {
    why = name + " admits no value with these settings' cycleCount";
    return std::nullopt;
  }
  return values;
}

}  // namespace

std::optional<std::string> ParseFitRange(const std::string& text, FitRange& range) {
  const char* form = "NAME=LOW:HIGH with whole LOW and HIGH (for example femaleThreshold=10:20)";
  const std::size_t equals = text.find('=');
  const std::size_t colon = text.find(':', equals == std::string::npos ? 0 : equals);
  if (equals == std::string::npos || colon == std::string::npos) return "\"" + text + "\" is not " + form;
  const std::string_view value(text);
  const auto low = ReadWholeNumber<std::int32_t>(value.substr(equals + 1, colon - equals - 1), Sign::Allowed);
  const auto high = ReadWholeNumber<std::int32_t>(value.substr(colon + 1), Sign::Allowed);
  if (!low || !high) return "\"" + text + "\": LOW and HIGH must be whole 32-bit numbers; write " + form;
  range.name = text.substr(0, equals);
  range.low = *low;
  range.high = *high;
  return std::nullopt;
}

std::optional<AdmittedValues> AdmittedValuesOf(const std::string& name, const RunSettings& base, std::string& why) {
  const FieldInfo* field = FindField(name);
  if (field == nullptr) {
    why = "unknown setting \"" + name + "\"; the settings a calibration can fit are " + FittableNames();
    return std::nullopt;
  }
  if (field->kind != FieldKind::Integer || name == "cycleCount" || name == "palmCount") {
    why = name + (field->kind == FieldKind::Text     ? " is a text"
                  : field->kind == FieldKind::Switch ? " is a switch (0 or 1): set it with --set"
                                                     : " sets the size of the runs (see --palms), it is not fitted") +
          "; the settings a calibration can fit are " + FittableNames();
    return std::nullopt;
  }
  constexpr std::int32_t most = std::numeric_limits<std::int32_t>::max();
  const std::int32_t cycles = base.cycleCount;
  if (name == "femaleThreshold") return AdmittedValues{0, 38};
  if (name == "maleThreshold") return AdmittedValues{1, 39};
  if (name == "abortThreshold") return AdmittedValues{1, 40};
  if (name == "randomPercent") return AdmittedValues{0, most};
  if (name == "initialNodeSex") return AdmittedValues{0, 3};
  if (name == "leafPruneCycle") return TreatmentValues(base.leafPruning, "leafPruning", name, {1, cycles}, why);
  if (name == "pruneStress") return TreatmentValues(base.leafPruning, "leafPruning", name, {1, 10}, why);
  if (name == "trendAmplitude") return TreatmentValues(base.trendCycles, "trendCycles", name, {1, 10}, why);
  if (name == "irrigationStart") {
    return TreatmentValues(base.irrigation, "irrigation", name, {1, cycles - 1}, why);
  }
  if (name == "irrigationEnd") return TreatmentValues(base.irrigation, "irrigation", name, {2, cycles}, why);
  if (name == "flowerPruneStart") {
    return TreatmentValues(base.flowerPruning, "flowerPruning", name, {1, cycles - 1}, why);
  }
  if (name == "flowerPruneEnd") return TreatmentValues(base.flowerPruning, "flowerPruning", name, {2, cycles}, why);
  // The seven frond positions: no rule bounds them, the model's node storage does.
  return AdmittedValues{LowestFrond, HighestFrond};  // the fronds the model's storage holds
}

double GridSize(std::span<const FitRange> fits) {
  double size = fits.empty() ? 0.0 : 1.0;
  for (const FitRange& fit : fits) size *= static_cast<double>(fit.high) - static_cast<double>(fit.low) + 1.0;
  return size;
}

RunSettings CandidateSettings(const CalibrationRequest& request, std::span<const std::int32_t> values) {
  RunSettings settings = request.base;
  settings.palmCount = request.palms;
  for (std::size_t f = 0; f < request.fits.size() && f < values.size(); ++f) {
    settings.*(FindField(request.fits[f].name)->integer) = values[f];
  }
  return settings;
}

namespace {

// Looks for a candidate that passes the rules, first corner first, over at most
// `limit` candidates; answers the first rule failed when none of them passes.
const ValidationRule* NoCandidatePasses(const CalibrationRequest& request, std::uint64_t limit) {
  const std::size_t k = request.fits.size();
  std::vector<std::int32_t> values(k);
  for (std::size_t f = 0; f < k; ++f) values[f] = request.fits[f].low;
  const ValidationRule* first = nullptr;
  for (std::uint64_t tried = 0; tried < limit; ++tried) {
    const ValidationRule* failed = FirstFailedRule(CandidateSettings(request, values));
    if (failed == nullptr) return nullptr;
    if (first == nullptr) first = failed;
    // The next candidate, the last setting varying fastest.
    std::size_t f = k;
    while (f > 0) {
      --f;
      if (values[f] < request.fits[f].high) {
        ++values[f];
        break;
      }
      values[f] = request.fits[f].low;
      if (f == 0) return first;
    }
  }
  // Too many to look at all: the settings that the rules tie together (female
  // below male, start before end) pass at one corner or another.
  for (std::uint64_t corner = 0; corner < (std::uint64_t{1} << std::min<std::size_t>(k, 16)); ++corner) {
    for (std::size_t f = 0; f < k; ++f) values[f] = (corner >> f) & 1 ? request.fits[f].high : request.fits[f].low;
    if (FirstFailedRule(CandidateSettings(request, values)) == nullptr) return nullptr;
  }
  return first;
}

std::string OneLine(std::string text) {
  for (char& c : text) c = c == '\n' ? ' ' : c;
  return text;
}

}  // namespace

namespace {

// Whether one census can be fitted on its base settings; counts its held-out cells.
std::optional<std::string> CensusProblem(const CalibrationRequest& request, const Census& census,
                                         const RunSettings& base, const std::string& name, bool shifted,
                                         std::size_t& held) {
  if (census.ObservedCells() == 0) {
    return name + " has no observed cell: every female, herm, male and aborted cell is blank";
  }
  std::size_t fitted = 0;
  for (const CensusRow& row : census.rows) {
    const bool out = request.validate && row.cycle >= request.validate->low && row.cycle <= request.validate->high;
    for (const auto& percent : row.percent) (out ? held : fitted) += percent ? 1 : 0;
  }
  if (fitted == 0) {
    return "--validate " + std::to_string(request.validate->low) + ":" + std::to_string(request.validate->high) +
           " holds out every observed cell of " + name + ": leave some cycles to fit";
  }
  // A shifted census's runs are lengthened to reach it; others must reach it as set.
  if (!shifted && census.LastCycle() > base.cycleCount) {
    const std::string last = std::to_string(census.LastCycle());
    return name + " observes cycle " + last + " but the runs have only " + std::to_string(base.cycleCount) +
           " cycles; set cycleCount to " + last + " or more (--set cycleCount=" + last + ")";
  }
  if (request.objective == ObjectiveKind::LogLik) {
    for (const CensusRow& row : census.rows) {
      bool observed = false;
      for (const auto& percent : row.percent) observed = observed || percent.has_value();
      if (observed && !row.palms) {
        return "--objective loglik counts palms, and " + name + " gives no palms " +
               (census.hasPalms ? "on line " + std::to_string(row.line) : std::string("column")) +
               ": give the palms observed in every row with percentages, or use --objective sse";
      }
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> CheckCalibrationRequest(const CalibrationRequest& request) {
  if (request.fits.empty()) return "nothing to fit: give at least one --fit NAME=LOW:HIGH";
  for (std::size_t f = 0; f < request.fits.size(); ++f) {
    const FitRange& fit = request.fits[f];
    for (std::size_t g = 0; g < f; ++g) {
      if (request.fits[g].name == fit.name) return fit.name + " is fitted twice; give one --fit for it";
    }
    std::string why;
    const std::optional<AdmittedValues> admitted = AdmittedValuesOf(fit.name, request.base, why);
    if (!admitted) return why;
    const std::string given = fit.name + "=" + std::to_string(fit.low) + ":" + std::to_string(fit.high);
    if (fit.low > fit.high) return given + ": LOW is above HIGH; give the lower value first";
    if (fit.low == fit.high) {
      return given + " holds " + fit.name + " at one value: use --set " + fit.name + "=" + std::to_string(fit.low) +
             " for that, or widen the range";
    }
    if (fit.low < admitted->low || fit.high > admitted->high) {
      return given + " reaches outside the values " + fit.name + " may take (" + std::to_string(admitted->low) +
             " to " + std::to_string(admitted->high) + "); narrow the range";
    }
  }
  if (request.palms < 1) return "--palms must be 1 or more";
  if (request.replicates < 1) return "--replicates must be 1 or more";
  if (request.budget < 1) return "--budget must be 1 or more";
  if (request.simulatedCensuses != 0 && request.simulatedCensuses < 20) {
    return "--simulations must be 20 or more: fewer simulated censuses cannot place a 95th percentile";
  }
  if (request.shift) {
    const WholeSpan shift = *request.shift;
    const std::string given = "--fit-shift " + std::to_string(shift.low) + ":" + std::to_string(shift.high);
    if (shift.low == shift.high) {
      return given + " holds the shift at one value: renumber the census's cycles for a known offset, or widen "
                     "the range";
    }
    if (!request.census.rows.empty() && request.census.rows.front().cycle + shift.low < 1) {
      const std::int64_t first = request.census.rows.front().cycle;
      return given + " would put census cycle " + std::to_string(first) + " at model cycle " +
             std::to_string(first + shift.low) + ", before the model's first cycle; give a LOW of at least " +
             std::to_string(1 - first);
    }
  }
  std::vector<const Census*> censuses = {&request.census};
  std::vector<const RunSettings*> bases = {&request.base};
  std::vector<std::string> names = {"the census"};
  for (const AddedCensus& added : request.added) {
    censuses.push_back(&added.census);
    bases.push_back(&added.base);
    names.push_back("the census " + added.name);
  }
  std::size_t held = 0;
  for (std::size_t c = 0; c < censuses.size(); ++c) {
    if (auto problem = CensusProblem(request, *censuses[c], *bases[c], names[c], c == 0 && request.shift, held)) {
      return problem;
    }
  }
  if (request.validate && held == 0) {
    return "--validate " + std::to_string(request.validate->low) + ":" + std::to_string(request.validate->high) +
           " holds out no observed cell: no census observes those cycles";
  }
  if (const ValidationRule* rule = NoCandidatePasses(request, 2000000)) {
    return "no candidate of these ranges passes the rules; the first one fails rule " + std::to_string(rule->number) +
           " (" + rule->field + "): " + OneLine(rule->message);
  }
  return std::nullopt;
}

CalibrationPlan PlanCalibration(const CalibrationRequest& request) {
  CalibrationPlan plan;
  const std::size_t k = request.fits.size();
  plan.gridSize = GridSize(request.fits);
  plan.method = plan.gridSize <= static_cast<double>(request.budget) ? SearchMethod::Exhaustive : SearchMethod::Optimiser;
  if (plan.method == SearchMethod::Exhaustive) {
    plan.candidates = static_cast<std::uint64_t>(plan.gridSize);
    std::vector<std::int32_t> values(k);
    for (std::size_t f = 0; f < k; ++f) values[f] = request.fits[f].low;
    for (std::uint64_t c = 0; c < plan.candidates; ++c) {
      if (FirstFailedRule(CandidateSettings(request, values)) != nullptr) {
        ++plan.refused;
      } else if (plan.sample.empty()) {
        plan.sample = values;
      }
      for (std::size_t f = k; f-- > 0;) {
        if (values[f] < request.fits[f].high) {
          ++values[f];
          break;
        }
        values[f] = request.fits[f].low;
      }
    }
  } else {
    // About the most it evaluates: the whole budget, the first polish (every
    // neighbour one step away, or the steps of one and two settings beyond six)
    // and one candidate per profile value. The search usually settles before its
    // budget, and the polish and profiles meet candidates already run.
    double least = static_cast<double>(request.budget);
    if (k <= 6) {
      least += std::pow(3.0, static_cast<double>(k)) - 1;
    } else {
      least += 2.0 * static_cast<double>(k) + 2.0 * static_cast<double>(k * (k - 1));
    }
    for (const FitRange& fit : request.fits) {
      const double width = static_cast<double>(fit.high) - fit.low + 1;
      least += std::min(width, 200.0) - 1;
    }
    plan.candidates = static_cast<std::uint64_t>(std::min(least, plan.gridSize));
    plan.estimated = true;
    // Where the search starts (the base's values), else a corner of the ranges.
    std::vector<std::int32_t> values(k);
    for (std::size_t f = 0; f < k; ++f) {
      values[f] = std::clamp(request.base.*(FindField(request.fits[f].name)->integer), request.fits[f].low,
                             request.fits[f].high);
    }
    if (FirstFailedRule(CandidateSettings(request, values)) == nullptr) plan.sample = values;
    for (std::uint64_t corner = 0; plan.sample.empty() && corner < (std::uint64_t{1} << std::min<std::size_t>(k, 16));
         ++corner) {
      for (std::size_t f = 0; f < k; ++f) values[f] = (corner >> f) & 1 ? request.fits[f].high : request.fits[f].low;
      if (FirstFailedRule(CandidateSettings(request, values)) == nullptr) plan.sample = values;
    }
  }
  // Every candidate runs on each census's base, its cycles lengthened for the shift.
  const std::uint64_t perCensus = (plan.candidates - plan.refused) * static_cast<std::uint64_t>(request.replicates);
  const std::int64_t reach = request.shift ? request.shift->high : 0;
  plan.runs = perCensus * (1 + request.added.size());
  plan.palmCycles = static_cast<double>(perCensus) * request.palms *
                    static_cast<double>(std::max<std::int64_t>(request.base.cycleCount, request.census.LastCycle() + reach));
  for (const AddedCensus& added : request.added) {
    plan.palmCycles += static_cast<double>(perCensus) * request.palms * added.base.cycleCount;
  }
  return plan;
}

}  // namespace varnolt
