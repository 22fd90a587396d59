// varnolt.run and its result: the per-cycle percentages and counts as NumPy
// arrays over the result's own storage, the analysis, the report and the CSV
// with the runner's bytes; varnolt.read_report for results already written.
#include <array>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <pybind11/numpy.h>

#include "experiments/Experiments.h"
#include "platform/FileIO.h"
#include "python/Watch.h"
#include "results/CycleAnalysis.h"
#include "results/ResultsTable.h"
#include "results/RunRecord.h"
#include "results/Statistics.h"
#include "run/ReportTarget.h"
#include "run/RunDriver.h"

namespace varnolt::python {

namespace {

// A run's results, or a table read back from a file (which has no model: no
// counts, no report, no seed).
struct Results {
  std::shared_ptr<const FloweringModel> model;
  std::optional<RunSettings> settings;
  std::optional<RunOutcome> outcome;
  std::vector<CycleResult> cycles;  // as they leave the program: count x 100 / palms; cycles[0] is cycle 1
  std::optional<CycleAnalysis> analysis;
  std::string source;  // the file a table was read from
};

// Below this many palm cycles a run is so short that it runs on the calling
// thread (with the GIL released): a thread of its own would cost more than the
// run.
constexpr std::int64_t InlinePalmCycles = std::int64_t{1} << 18;

// The statistics of an analysis, in the order tables give them.
constexpr std::array<Statistic, 8> AnalysisStatistics = {
    Statistic::MeanFemale, Statistic::MeanHerm, Statistic::MeanMale, Statistic::MeanAborted,
    Statistic::SexRatio,   Statistic::FemaleAmplitude, Statistic::Period, Statistic::Strength};

std::uint32_t SeedArgument(const py::handle& seed) {
  if (seed.is_none()) return FreshSeedFor(1);
  if (PyBool_Check(seed.ptr()) || PyFloat_Check(seed.ptr()) || !PyIndex_Check(seed.ptr())) {
    throw py::type_error("seed takes a whole number (int) from 0 to 4294967295, or None, not " + TypeName(seed));
  }
  const py::object number = py::reinterpret_steal<py::object>(PyNumber_Index(seed.ptr()));
  if (!number) throw py::error_already_set();
  int overflow = 0;
  const long long whole = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
  if (overflow != 0 || whole < 0 || whole > std::numeric_limits<std::uint32_t>::max()) {
    throw py::value_error("seed takes a whole number from 0 to 4294967295, not " + py::str(number).cast<std::string>());
  }
  return static_cast<std::uint32_t>(whole);
}

int ThreadsArgument(const py::handle& threads) {
  if (threads.is_none()) return 0;
  if (PyBool_Check(threads.ptr()) || PyFloat_Check(threads.ptr()) || !PyIndex_Check(threads.ptr())) {
    throw py::type_error("threads takes a whole number (int) of 1 or more, or None for every core, not " +
                         TypeName(threads));
  }
  const long long count = PyLong_AsLongLong(threads.ptr());
  if (count == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (count < 1 || count > 4096) {
    throw py::value_error("threads takes 1 to 4096, or None for every core, not " + std::to_string(count));
  }
  return static_cast<int>(count);
}

}  // namespace

void CheckProgress(const py::object& progress) {
  if (!progress.is_none() && !PyCallable_Check(progress.ptr())) {
    throw py::type_error("progress takes a callable receiving the fraction done, or None, not " + TypeName(progress));
  }
}

namespace {

// A run that started and did not complete, as a Python exception.
[[noreturn]] void RaiseRunFailure(const RunOutcome& outcome) {
  const Problem& problem = *outcome.problem;
  switch (outcome.status) {
    case RunStatus::FrondOutOfRange: RaiseRunError(ProblemLine(problem), problem.setting, static_cast<std::int32_t>(problem.value));
    case RunStatus::TooLargeForMemory: {
      std::string message = ProblemSentence(problem);
      for (char& c : message) c = c == '\n' ? ' ' : c;
      PyErr_SetString(PyExc_MemoryError, message.c_str());
      throw py::error_already_set();
    }
    default: throw std::runtime_error(ProblemSentence(problem));
  }
}

std::shared_ptr<Results> Run(const py::handle& settingsArgument, const py::handle& seedArgument,
                             const py::handle& threadsArgument, const py::object& progress) {
  const RunSettings settings = SettingsArgument(settingsArgument, "run");
  if (const std::optional<Problem> problem = SettingsProblem(settings)) RaiseSettingsError(*problem);
  const std::uint32_t seed = SeedArgument(seedArgument);
  const int threads = ThreadsArgument(threadsArgument);
  CheckProgress(progress);

  auto model = std::make_shared<FloweringModel>();
  RunOutcome outcome;
  const auto palmCycles = static_cast<std::int64_t>(settings.cycleCount) * settings.palmCount;
  if (palmCycles <= InlinePalmCycles && progress.is_none() && !TestSeamArmed()) {
    py::gil_scoped_release release;
    RunControl control;
    control.threads = threads;
    outcome = RunModel(*model, settings, seed, &control);
  } else {
    RunWatched([&](const std::stop_token&, RunControl& control) { outcome = RunModel(*model, settings, seed, &control); },
               static_cast<std::uint64_t>(settings.palmCount), progress, threads);
  }
  if (!outcome.Completed()) RaiseRunFailure(outcome);

  auto results = std::make_shared<Results>();
  results->cycles = PublishedCycles(*model);
  results->model = std::move(model);
  results->settings = settings;
  results->outcome = std::move(outcome);
  return results;
}

std::string ReadWhole(const std::string& path) {
  InputFile file;
  if (const std::optional<FileError> error = file.Open(PathFromUtf8(path))) RaiseFileError(*error, path);
  std::string bytes;
  std::array<char, 1 << 16> piece{};
  for (;;) {
    std::size_t got = 0;
    if (const std::optional<FileError> error = file.ReadSome(piece.data(), piece.size(), got)) {
      RaiseFileError(*error, path);
    }
    if (got == 0) break;
    bytes.append(piece.data(), got);
  }
  return bytes;
}

std::shared_ptr<Results> ReadReport(const py::handle& pathArgument) {
  const std::string path = PathArgument(pathArgument, "read_report");
  const std::string bytes = ReadWhole(path);
  std::istringstream in(bytes);
  ResultsTableRead read = ReadResultsTable(in);
  if (!read.error.empty()) RaiseResultsFileError("cannot read results from " + path + ": " + read.error, path);
  auto results = std::make_shared<Results>();
  results->cycles = std::move(read.cycles);
  results->source = path;
  return results;
}

// A read-only NumPy view of memory the result owns; the result stays alive as
// long as the array does.
template <typename T>
py::array View(const py::object& owner, const T* first, std::vector<py::ssize_t> shape,
               std::vector<py::ssize_t> strides) {
  py::array_t<T> array(std::move(shape), std::move(strides), first, owner);
  array.attr("flags").attr("writeable") = false;
  return array;
}

py::array Column(const py::object& self, double CycleResult::*member) {
  const Results& results = self.cast<const Results&>();
  const CycleResult* rows = results.cycles.data();
  static const CycleResult empty;
  return View<double>(self, rows != nullptr ? &(rows->*member) : &(empty.*member),
                      {static_cast<py::ssize_t>(results.cycles.size())},
                      {static_cast<py::ssize_t>(sizeof(CycleResult))});
}

std::optional<CyclesWindow> WindowArgument(const py::handle& window) {
  if (window.is_none()) return std::nullopt;
  CyclesWindow cycles;
  if (py::isinstance<py::str>(window)) {
    if (std::optional<std::string> problem = ParseCyclesWindow(window.cast<std::string>(), cycles)) {
      throw py::value_error("window: " + *problem);
    }
    return cycles;
  }
  if (py::isinstance<py::tuple>(window) && py::len(window) == 2) {
    const py::tuple pair = py::reinterpret_borrow<py::tuple>(window);
    cycles.first = pair[0].cast<std::int64_t>();
    cycles.last = pair[1].is_none() ? 0 : pair[1].cast<std::int64_t>();
    if (cycles.first < 1 || (cycles.last != 0 && cycles.last < cycles.first)) {
      throw py::value_error("window takes (first, last) with 1 <= first <= last, or (first, None)");
    }
    return cycles;
  }
  throw py::type_error("window takes \"FROM:TO\" (for example \"101:770\") or a tuple (first, last), not " +
                       TypeName(window));
}

CycleAnalysis Analyse(const Results& results, const std::optional<CyclesWindow>& window) {
  if (window) {
    if (std::optional<std::string> problem =
            CyclesWindowProblem(*window, static_cast<std::int64_t>(results.cycles.size()))) {
      throw py::value_error("window: " + *problem);
    }
  }
  CycleAnalysis analysis;
  // A long run's autocorrelation takes a while: it runs as a job that Ctrl+C stops.
  if (results.cycles.size() <= 100000) {
    py::gil_scoped_release release;
    analysis = AnalyseCycles(results.cycles, window);
  } else {
    RunWatched(
        [&](const std::stop_token&, RunControl& control) { analysis = AnalyseCycles(results.cycles, window, &control.cancel); },
        0, py::none(), 1);
  }
  return analysis;
}

const CycleAnalysis& AnalysisOf(Results& results) {
  if (!results.analysis) results.analysis = Analyse(results, std::nullopt);
  return *results.analysis;
}

py::object StatisticObject(const CycleAnalysis& analysis, Statistic statistic) {
  const std::optional<double> value = StatisticValue(analysis, statistic);
  if (!value) return py::none();
  if (InfoOf(statistic).whole) return py::int_(static_cast<long long>(*value));
  return py::float_(*value);
}

py::dict AnalysisDict(const CycleAnalysis& analysis) {
  py::dict values;
  values["firstCycle"] = analysis.firstCycle;
  values["lastCycle"] = analysis.lastCycle;
  for (Statistic statistic : AnalysisStatistics) values[InfoOf(statistic).name] = StatisticObject(analysis, statistic);
  return values;
}

// Writes a file whole through the file layer (a temporary file renamed), or
// raises why not; nothing is left half-written.
void ReplaceFile(const std::string& path, const ContentWriter& writer) {
  if (path.empty()) throw py::value_error("no file name was given");
  std::optional<ReplaceFailure> failed;
  {
    py::gil_scoped_release release;
    failed = ReplaceFileWith(PathFromUtf8(path), writer);
  }
  if (failed) RaiseOSError(failed->code, path);
}

void WriteReportTo(const Results& results, const py::handle& pathArgument) {
  const std::string path = PathArgument(pathArgument, "write_report");
  if (!results.model) {
    throw py::value_error("results read from " + results.source +
                          " have no report to write (a report needs the run's settings); write_csv writes the table");
  }
  if (std::optional<Problem> problem = ReportTargetProblem(path, {})) {
    throw py::value_error("cannot write the report to " + path + ": " + ProblemSentence(*problem));
  }
  std::optional<Problem> failure;
  {
    py::gil_scoped_release release;
    failure = WriteReportFile(*results.model, path);
  }
  if (failure) {
    std::error_code code;
    PyErr_SetObject(PyExc_OSError,
                    py::make_tuple(EIO, "cannot write the report: " + ReportFailureCause(*failure), path).ptr());
    throw py::error_already_set();
  }
}

py::object RecordOf(const Results& results) {
  if (!results.outcome || !results.settings) return py::none();
  RunRecord record = RecordOfRun(*results.settings, *results.outcome, results.cycles);
  return py::module_::import("json").attr("loads")(RunRecordJson(record));
}

constexpr const char* ResultsDoc = R"(The results of a run, cycle by cycle.

female, herm, male, aborted and total are NumPy arrays of the percentages of
palms per cycle (index 0 is cycle 1), as the runner's CSV gives them (each
count x 100 / palms, correctly rounded); cycle holds the cycle numbers.
percentages is the same as one array of shape (cycles, 5) and counts, for a
run, the palms per cycle as whole numbers, shape (cycles, 4), in the order
female, herm, male, aborted. The arrays are read-only views of the result's
own storage: nothing is copied per cycle.

analysis is the cycle analysis of the runner's `analyse` (period, strength,
means); to_pandas() gives the table of `varnolt-cli run --csv`; write_report
and write_csv write the runner's bytes.)";

constexpr const char* AnalysisDoc = R"(The cycle analysis of a run, as `varnolt-cli analyse` gives it.

Over the analysed cycles (firstCycle to lastCycle: after a burn-in of 100
cycles, or the second half of a shorter run, unless a window is given):
meanFemale, meanHerm, meanMale, meanAborted (percent of palms), sexRatio
(female / (female + male)), femaleAmplitude (percentage points), period (in
cycles; None when there is no regular cycle) and strength (the
autocorrelation at the period). A statistic a run lacks is None. str() gives
the runner's line.)";

}  // namespace

void BindRun(py::module_& module) {
  py::class_<CycleAnalysis> analysis(module, "Analysis", AnalysisDoc);
  analysis.def_readonly("firstCycle", &CycleAnalysis::firstCycle, "The first cycle analysed (1-based).");
  analysis.def_readonly("lastCycle", &CycleAnalysis::lastCycle, "The last cycle analysed.");
  for (Statistic statistic : AnalysisStatistics) {
    const StatisticInfo& info = InfoOf(statistic);
    analysis.def_property_readonly(
        info.name, [statistic](const CycleAnalysis& self) { return StatisticObject(self, statistic); },
        (std::string(info.meaning) + " (" + info.unit + "); None when the run has none.").c_str());
  }
  analysis.def("to_dict", &AnalysisDict, "to_dict() -> dict\n\nThe analysis as a dict: firstCycle, lastCycle and the statistics.");
  analysis.def("__str__", [](const CycleAnalysis& self) { return AnalysisLine(self) + "."; });
  analysis.def("__repr__", [](const CycleAnalysis& self) {
    std::string text = "varnolt.Analysis(";
    bool first = true;
    for (const auto& [key, value] : AnalysisDict(self)) {
      text += (first ? "" : ", ") + key.cast<std::string>() + "=" + py::repr(value).cast<std::string>();
      first = false;
    }
    return text + ")";
  });
  analysis.def("__eq__", [](const CycleAnalysis& self, const py::handle& other) -> py::object {
    if (!py::isinstance<CycleAnalysis>(other)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
    return AnalysisDict(self).attr("__eq__")(AnalysisDict(other.cast<const CycleAnalysis&>()));
  });

  py::class_<Results, std::shared_ptr<Results>> results(module, "Results", ResultsDoc);
  results.def_property_readonly(
      "seed", [](const Results& self) -> py::object {
        return self.outcome ? py::int_(self.outcome->seed) : py::object(py::none());
      },
      "The seed the run used (None for results read from a file); run(settings, seed=...) repeats it exactly.");
  results.def_property_readonly(
      "settings", [](const Results& self) -> py::object {
        return self.settings ? py::cast(*self.settings) : py::object(py::none());
      },
      "A copy of the settings of the run (None for results read from a file).");
  results.def_property_readonly(
      "cycle", [](const Results& self) {
        py::array_t<std::int64_t> numbers(static_cast<py::ssize_t>(self.cycles.size()));
        auto write = numbers.mutable_unchecked<1>();
        for (py::ssize_t i = 0; i < write.shape(0); ++i) write(i) = i + 1;
        return numbers;
      },
      "The cycle numbers, 1 to the number of cycles.");
  results.def_property_readonly(
      "female", [](const py::object& self) { return Column(self, &CycleResult::female); },
      "% of palms whose recorded inflorescence is female, per cycle.");
  results.def_property_readonly(
      "herm", [](const py::object& self) { return Column(self, &CycleResult::herm); },
      "% hermaphrodite (mixed), per cycle.");
  results.def_property_readonly(
      "male", [](const py::object& self) { return Column(self, &CycleResult::male); }, "% male, per cycle.");
  results.def_property_readonly(
      "aborted", [](const py::object& self) { return Column(self, &CycleResult::aborted); },
      "% aborted, per cycle.");
  results.def_property_readonly(
      "total", [](const py::object& self) { return Column(self, &CycleResult::total); },
      "The total of the four, per cycle (100 once every palm has a recorded inflorescence).");
  results.def_property_readonly(
      "percentages", [](const py::object& self) {
        const Results& own = self.cast<const Results&>();
        static const CycleResult empty;
        return View<double>(self, own.cycles.empty() ? &empty.female : &own.cycles.front().female,
                            {static_cast<py::ssize_t>(own.cycles.size()), 5},
                            {static_cast<py::ssize_t>(sizeof(CycleResult)), static_cast<py::ssize_t>(sizeof(double))});
      },
      "The percentages as one array of shape (cycles, 5): female, herm, male, aborted, total.");
  results.def_property_readonly(
      "counts", [](const py::object& self) -> py::object {
        const Results& own = self.cast<const Results&>();
        if (!own.model) return py::none();
        const auto& counts = own.model->stateCounts;
        const auto cycles = static_cast<py::ssize_t>(own.cycles.size());
        // The model counts by state code (aborted 0 to female 3); the view reads
        // each row backwards so that its columns go female, herm, male, aborted.
        return View<std::uint32_t>(self, counts.data()[1].data() + 3, {cycles, 4},
                                   {static_cast<py::ssize_t>(sizeof(counts.data()[0])),
                                    -static_cast<py::ssize_t>(sizeof(std::uint32_t))});
      },
      "The palms per cycle whose recorded inflorescence is female, herm, male and aborted: shape (cycles, 4), "
      "whole numbers (None for results read from a file).");
  results.def("__len__", [](const Results& self) { return self.cycles.size(); }, "len(results): the number of cycles.");
  results.def_property_readonly(
      "analysis", [](Results& self) { return AnalysisOf(self); },
      "The cycle analysis over the default cycles (varnolt.Analysis), as the runner's summary and `analyse` give it.");
  results.def(
      "analyse",
      [](const Results& self, const py::handle& window) { return Analyse(self, WindowArgument(window)); },
      py::arg("window") = py::none(),
      "analyse(window=None) -> Analysis\n\nThe cycle analysis over chosen cycles: window \"FROM:TO\" (as --cycles-window), \"FROM:\" or a tuple "
      "(first, last); None for the default.");
  results.def_property_readonly(
      "record", [](const Results& self) { return RecordOf(self); },
      "The run's record as a dict, the JSON record the runner writes beside a CSV (None for results read from a "
      "file).");
  results.def_property_readonly(
      "engine", [](const Results& self) -> py::object {
        if (!self.outcome) return py::none();
        std::string name = self.outcome->engine.name;
        if (!self.outcome->engine.simdTarget.empty()) name += " (" + self.outcome->engine.simdTarget + ")";
        return py::str(name);
      },
      "The engine that ran it and its SIMD instructions, e.g. \"fast (AVX2)\".");
  results.def_property_readonly(
      "run_seconds", [](const Results& self) -> py::object {
        return self.outcome ? py::float_(self.outcome->runSeconds) : py::object(py::none());
      },
      "The engine's time for the run, in seconds.");
  results.def("write_report", &WriteReportTo, py::arg("path"),
              "write_report(path)\n\nWrites the run's report (the text report of `varnolt-cli run --output`, the same bytes), replacing "
              "the file only once the new one is whole. A settings file is never replaced by a report.");
  results.def(
      "write_csv",
      [](const Results& self, const py::handle& pathArgument) {
        const std::string path = PathArgument(pathArgument, "write_csv");
        ReplaceFile(path, [&self](std::ostream& out) { WriteResultsCsv(self.cycles, out); });
      },
      py::arg("path"),
      "write_csv(path)\n\nWrites the table of `varnolt-cli run --csv` (cycle,female,herm,male,aborted,total; the same bytes), "
      "replacing the file only once the new one is whole.");
  results.def("__repr__", [](const Results& self) {
    std::string text = "<varnolt.Results: " + std::to_string(self.cycles.size()) + " cycles";
    if (self.settings) text += " of " + std::to_string(self.settings->palmCount) + " palms";
    if (self.outcome) text += ", seed " + std::to_string(self.outcome->seed);
    if (!self.source.empty()) text += " read from " + self.source;
    return text + ">";
  });

  module.def("run", &Run, py::arg("settings") = py::none(), py::kw_only(), py::arg("seed") = py::none(),
             py::arg("threads") = py::none(), py::arg("progress") = py::none(),
             R"(run(settings=None, *, seed=None, threads=None, progress=None) -> Results

Runs the model and returns its varnolt.Results.

settings: varnolt.Settings (None: the start-up defaults; a path: a settings file).
seed: 0 to 4294967295; None draws a fresh one as the runner does (results.seed).
threads: the engine's threads; None uses every core. The results are the same
    for any number of threads.
progress: a callable receiving the fraction done (0 to 1) now and then during
    a long run, and 1.0 at the end.

Settings that fail a rule raise varnolt.SettingsError before anything runs; a
frond outside the model's fronds raises varnolt.RunError. The GIL is released
while the engine runs; Ctrl+C (KeyboardInterrupt) stops the run within a
fraction of a second.)");
  module.def("read_report", &ReadReport, py::arg("path"),
             "read_report(path) -> Results\n\nReads the table of a run's report, or of a CSV written by `varnolt-cli run --csv` or write_csv, as "
             "varnolt.Results (without counts, seed or settings). Raises OSError when the file cannot be read and "
             "varnolt.ResultsFileError when it holds no such table.");
  module.def("engine_target", [] { return FastEngineTarget(); },
             "engine_target() -> str\n\nThe SIMD instructions the engine runs on this processor, e.g. \"AVX2\".");
}

}  // namespace varnolt::python
