// Calibration from Python: the census (its text, read by the library as the
// runner reads a file) and the runner's options in, the library's calibration
// run as watched work, and back the best settings, the ranges, the summary,
// the table of evaluations and the record the runner writes. The package
// (varnolt/__init__.py) makes the result object of them.
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "calibration/Calibration.h"
#include "experiments/Experiments.h"
#include "python/Watch.h"
#include "results/ResultsTable.h"

namespace varnolt::python {

namespace {

Census CensusArgument(const std::string& text, const std::string& name) {
  CensusRead read = ReadCensus(text, name);
  if (!read.error.empty()) throw py::value_error("cannot read the census " + read.error);
  return std::move(read.census);
}

std::optional<WholeSpan> SpanArgument(const py::handle& value, const char* name) {
  if (value.is_none()) return std::nullopt;
  if (!py::isinstance<py::str>(value)) {
    throw py::type_error(std::string(name) + " takes \"LOW:HIGH\" (for example \"-10:10\"), not " + TypeName(value));
  }
  WholeSpan span;
  if (std::optional<std::string> problem = ParseWholeSpan(value.cast<std::string>(), name, span)) {
    throw py::value_error(*problem);
  }
  return span;
}

std::string CyclesCsv(std::span<const CycleResult> cycles) {
  std::ostringstream text;
  WriteResultsCsv(cycles, text);
  return text.str();
}

py::dict Calibrate(const py::object& settings, const std::string& censusText, const std::string& censusName,
                   const py::object& fits, const py::list& added, const py::object& validate,
                   const py::object& fitShift, const std::string& objective, const py::object& budget,
                   const py::object& palms, const py::object& replicates, const py::object& simulations,
                   const py::object& seedArgument, const py::object& threadsArgument, const py::object& progress,
                   const std::string& call) {
  CalibrationRequest request;
  request.base = SettingsArgument(settings, "calibrate");
  for (const std::string& text : SettingTextsArgument(fits, "fit")) {
    FitRange fit;
    if (std::optional<std::string> problem = ParseFitRange(text, fit)) throw py::value_error(*problem);
    request.fits.push_back(fit);
  }
  if (request.fits.empty()) throw py::value_error("calibrate needs at least one fit NAME=LOW:HIGH");
  request.validate = SpanArgument(validate, "validate");
  request.shift = SpanArgument(fitShift, "fit_shift");
  if (objective != "sse" && objective != "loglik") {
    throw py::value_error("objective takes \"sse\" or \"loglik\", not \"" + objective + "\"");
  }
  request.objective = objective == "loglik" ? ObjectiveKind::LogLik : ObjectiveKind::Sse;
  request.budget = static_cast<std::uint64_t>(WholeArgument(budget, "budget", 1, 100000000));
  request.palms = static_cast<std::int32_t>(WholeArgument(palms, "palms", 1, 10000000));
  request.replicates = static_cast<std::int32_t>(WholeArgument(replicates, "replicates", 1, 100000));
  request.simulatedCensuses = static_cast<std::int32_t>(WholeArgument(simulations, "simulations", 20, 100000));
  const int threads =
      threadsArgument.is_none() ? 0 : static_cast<int>(WholeArgument(threadsArgument, "threads", 1, 4096));
  CheckProgress(progress);
  request.census = CensusArgument(censusText, censusName);
  for (const py::handle& item : added) {
    const py::tuple entry = item.cast<py::tuple>();
    AddedCensus census;
    census.name = entry[1].cast<std::string>();
    census.census = CensusArgument(entry[0].cast<std::string>(), census.name);
    census.base = entry[2].is_none() ? request.base : SettingsArgument(entry[2], "calibrate");
    request.added.push_back(std::move(census));
  }
  if (seedArgument.is_none()) {
    request.seed = FreshSeedFor(static_cast<std::uint64_t>(request.replicates));
  } else {
    request.seed = static_cast<std::uint32_t>(WholeArgument(seedArgument, "seed", 0, 4294967295LL));
    if (auto problem = SeedRangeProblem(request.seed, static_cast<std::uint64_t>(request.replicates))) {
      throw py::value_error(*problem);
    }
  }
  if (std::optional<std::string> problem = CheckCalibrationRequest(request)) throw py::value_error(*problem);

  CalibrationSource source;
  source.censusName = censusName;
  source.censusSha256 = Sha256Hex(censusText);
  source.commandLine = {call};
  source.startTime = std::chrono::system_clock::now();
  source.threads = threads > 0 ? threads : ExperimentDefaultThreads();
  const CalibrationPlan plan = PlanCalibration(request);
  CalibrationResult result;
  RunWatched(
      [&](const std::stop_token& stop, RunControl& watched) {
        CalibrationControl control;
        control.threads = source.threads;
        control.stop = stop;
        control.progress = [&watched](const CalibrationProgress& now) { watched.palmsDone = now.evaluations; };
        result = varnolt::Calibrate(request, control);
      },
      plan.candidates, progress, source.threads);
  if (result.stopped) throw std::runtime_error("the calibration stopped before its end");
  if (!result.failure.empty()) throw py::value_error(result.failure);

  py::dict out;
  out["settings"] = py::cast(BestSettings(request, result));
  py::dict best, ranges;
  py::list undetermined, lines;
  const std::vector<FitRange> fitted = FittedValues(request);
  for (std::size_t f = 0; f < fitted.size(); ++f) {
    const SettingProfile& profile = result.profiles[f];
    best[py::str(fitted[f].name)] = result.best[f];
    ranges[py::str(fitted[f].name)] = py::make_tuple(profile.fitLow, profile.fitHigh);
    if (profile.Undetermined()) undetermined.append(fitted[f].name);
    lines.append(DeterminedText(fitted[f], profile, result.best[f]));
  }
  out["best"] = best;
  out["ranges"] = ranges;
  out["undetermined"] = undetermined;
  out["range_texts"] = lines;
  out["objective"] = result.bestObjective;
  out["seed"] = request.seed;
  out["summary"] = CalibrationSummary(request, result, source);
  out["evaluations"] = EvaluationsCsv(request, result);
  out["cycles"] = CyclesCsv(result.bestCycles);
  out["record"] = CalibrationRecordJson(request, result, source);
  return out;
}

}  // namespace

void BindCalibration(py::module_& module) {
  module.def("_calibrate", &Calibrate, py::arg("settings"), py::arg("census"), py::arg("census_name"),
             py::arg("fit"), py::arg("censuses"), py::arg("validate"), py::arg("fit_shift"), py::arg("objective"),
             py::arg("budget"), py::arg("palms"), py::arg("replicates"), py::arg("simulations"), py::arg("seed"),
             py::arg("threads"), py::arg("progress"), py::arg("call"),
             "The calibration's pieces; varnolt.calibrate makes the result of them.");
}

}  // namespace varnolt::python
