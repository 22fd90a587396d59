// The censuses of a calibration as parts: each with its base settings, its
// fitted and held-out rows, and the model cycles its candidates' series keep.

#include "calibration/FitProblem.h"

#include <algorithm>

#include "platform/WholeNumbers.h"

namespace varnolt {


std::vector<FitRange> FittedValues(const CalibrationRequest& request) {
  std::vector<FitRange> values = request.fits;
  if (request.shift) values.push_back({ShiftName, request.shift->low, request.shift->high});
  return values;
}

std::optional<std::string> ParseWholeSpan(const std::string& text, const std::string& what, WholeSpan& span) {
  const std::size_t colon = text.find(':');
  const std::string form = what + " takes LOW:HIGH with whole LOW and HIGH (for example " + what +
                           (what == "--validate" ? " 201:250)" : " -10:10)");
  if (colon == std::string::npos) return what + " " + text + ": " + form;
  const std::string_view value(text);
  const auto low = ReadWholeNumber<std::int32_t>(value.substr(0, colon), Sign::Allowed);
  const auto high = ReadWholeNumber<std::int32_t>(value.substr(colon + 1), Sign::Allowed);
  if (!low || !high) return what + " " + text + ": " + form;
  if (*low > *high) return what + " " + text + ": LOW is above HIGH; give the lower value first";
  span = {*low, *high};
  return std::nullopt;
}

double MeanPalmsOf(const Census& census) {
  double sum = 0.0;
  std::size_t rows = 0;
  for (const CensusRow& row : census.rows) {
    if (row.palms) {
      sum += *row.palms;
      ++rows;
    }
  }
  return rows == 0 ? 1.0 : sum / static_cast<double>(rows);
}

Census ShiftedCensus(const Census& census, std::int32_t shift) {
  Census shifted = census;
  for (CensusRow& row : shifted.rows) row.cycle += shift;
  return shifted;
}

std::vector<double> SeriesOf(std::span<const CycleResult> cycles, std::int64_t first, std::int64_t last) {
  std::vector<double> series;
  series.reserve(static_cast<std::size_t>(last - first + 1) * CensusSeriesCount);
  for (std::int64_t cycle = first; cycle <= last; ++cycle) {
    const CycleResult& row = cycles[static_cast<std::size_t>(cycle - 1)];
    series.insert(series.end(), {row.female, row.herm, row.male, row.aborted});
  }
  return series;
}

namespace {

CensusPart MakePart(const CalibrationRequest& request, const std::string& name, const Census& census,
                    const RunSettings& base, bool shifted) {
  CensusPart part;
  part.name = name;
  part.base = base;
  part.shifted = shifted;
  for (const CensusRow& row : census.rows) {
    const bool held = request.validate && row.cycle >= request.validate->low && row.cycle <= request.validate->high;
    (held ? part.held : part.fit).rows.push_back(row);
  }
  for (Census* half : {&part.fit, &part.held}) {
    half->hasPalms = census.hasPalms;
    half->decimals = census.decimals;
  }
  const std::int32_t lowShift = shifted ? request.shift->low : 0;
  const std::int32_t highShift = shifted ? request.shift->high : 0;
  const Census& kept = part.fit.rows.empty() ? census : part.fit;
  part.firstModelCycle = std::max<std::int64_t>(1, kept.rows.front().cycle + lowShift);
  part.lastModelCycle = std::max(part.firstModelCycle, kept.LastCycle() + highShift);
  // The runs reach every census cycle (held-out ones too) at every shift.
  part.base.cycleCount = static_cast<std::int32_t>(
      std::max<std::int64_t>(base.cycleCount, census.LastCycle() + highShift));
  part.meanPalms = MeanPalmsOf(part.fit);
  return part;
}

}  // namespace

FitProblem MakeFitProblem(const CalibrationRequest& request) {
  FitProblem problem;
  problem.coordinates = FittedValues(request);
  problem.settings = request.fits.size();
  problem.kind = request.objective;
  problem.floor = 0.5 / (static_cast<double>(request.palms) * request.replicates);
  problem.parts.push_back(MakePart(request, "", request.census, request.base, request.shift.has_value()));
  for (const AddedCensus& added : request.added) {
    problem.parts.push_back(MakePart(request, added.name, added.census, added.base, false));
  }
  return problem;
}

double ProblemObjective(const FitProblem& problem, std::span<const SeriesView> series,
                        std::span<const std::int32_t> values) {
  double sum = 0.0;
  for (std::size_t p = 0; p < problem.parts.size(); ++p) {
    const CensusPart& part = problem.parts[p];
    const SeriesView view = series[p];
    sum += CensusObjective(
        part.fit, part.meanPalms, [&view](std::int64_t cycle, int s) { return view.At(cycle, s); },
        problem.ShiftOf(part, values), problem.kind, problem.floor);
  }
  return sum;
}

}  // namespace varnolt
