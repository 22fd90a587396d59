// The experiments from Python: sweeps, batch designs and sensitivity analyses
// run through the experiments library's point tables, their table streamed into
// memory as the runner writes it to a file (for sensitivity, the table of
// indices the library computes from the runs), and the record the runner
// writes beside it. The package (varnolt/__init__.py) reads the table with
// pandas.
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "experiments/Experiments.h"
#include "experiments/PointTables.h"
#include "experiments/SensitivityIndices.h"
#include "python/Watch.h"
#include "results/RunRecord.h"
#include "results/Statistics.h"

namespace varnolt::python {

std::string TypeName(const py::handle& value) {
  return py::str(py::type::handle_of(value).attr("__name__")).cast<std::string>();
}

std::vector<std::string> TextsArgument(const py::handle& value, const char* option) {
  std::vector<std::string> texts;
  if (value.is_none()) return texts;
  if (py::isinstance<py::str>(value)) return {value.cast<std::string>()};
  if (!py::isinstance<py::sequence>(value)) {
    throw py::type_error(std::string(option) + " takes a list of texts, not " + TypeName(value));
  }
  for (const py::handle& item : value) {
    if (!py::isinstance<py::str>(item)) {
      throw py::type_error(std::string(option) + " takes texts, not " + TypeName(item));
    }
    texts.push_back(item.cast<std::string>());
  }
  return texts;
}

std::vector<std::string> SettingTextsArgument(const py::handle& value, const char* option) {
  std::vector<std::string> texts = TextsArgument(value, option);
  for (const std::string& text : texts) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) continue;  // the parser says what the form is
    const std::string name = text.substr(0, equals);
    if (FindField(name) == nullptr) RaiseUnknownSetting(name);
  }
  return texts;
}

std::int64_t WholeArgument(const py::handle& value, const char* name, std::int64_t low, std::int64_t high) {
  if (PyBool_Check(value.ptr()) || PyFloat_Check(value.ptr()) || !PyIndex_Check(value.ptr())) {
    throw py::type_error(std::string(name) + " takes a whole number (int), not " + TypeName(value));
  }
  const long long count = PyLong_AsLongLong(value.ptr());
  if (count == -1 && PyErr_Occurred()) {
    PyErr_Clear();
    throw py::value_error(std::string(name) + " takes a whole number from " + std::to_string(low) + " to " +
                          std::to_string(high));
  }
  if (count < low || count > high) {
    throw py::value_error(std::string(name) + " takes a whole number from " + std::to_string(low) + " to " +
                          std::to_string(high) + ", not " + std::to_string(count));
  }
  return count;
}

namespace {

TableColumns ColumnsArgument(const py::handle& stats, const py::handle& window) {
  TableColumns columns;
  const std::vector<std::string> names = TextsArgument(stats, "stats");
  if (!names.empty()) {
    if (std::optional<std::string> problem = ParseStatistics(names, columns.chosen)) {
      throw py::value_error("stats: " + *problem);
    }
  }
  if (!window.is_none()) {
    if (!py::isinstance<py::str>(window)) {
      throw py::type_error("cycles_window takes \"FROM:TO\" (for example \"101:770\"), not " + TypeName(window));
    }
    CyclesWindow cycles;
    if (std::optional<std::string> problem = ParseCyclesWindow(window.cast<std::string>(), cycles)) {
      throw py::value_error("cycles_window: " + *problem);
    }
    columns.window = cycles;
  }
  return columns;
}

std::int32_t CountArgument(const py::handle& value, const char* name, std::int64_t low, std::int64_t high) {
  return static_cast<std::int32_t>(WholeArgument(value, name, low, high));
}

std::uint32_t TableSeed(const py::handle& seed, std::size_t replicates) {
  if (seed.is_none()) return FreshSeedFor(replicates);
  const auto chosen = static_cast<std::uint32_t>(WholeArgument(seed, "seed", 0, 4294967295LL));
  if (std::optional<std::string> problem = SeedRangeProblem(chosen, replicates)) throw py::value_error(*problem);
  return chosen;
}

// Settings that fail a rule, so that every run of the design is refused: as
// varnolt.run does, SettingsError with the rule, rather than a table of
// nothing but refusals (which is what the runner writes).
void RefuseSettingsThatRefuseEveryRun(const PointTable& design, const TableRunResult& result) {
  if (design.Runs() == 0 || result.ran != 0 || result.failed != 0 || result.refused != design.Runs()) return;
  if (const std::optional<Problem> problem = SettingsProblem(design.base)) RaiseSettingsError(*problem);
}

// The table as the runner writes it (text) and its record (JSON).
py::tuple RunDesign(const PointTable& design, const TableColumns& columns, int threads, const py::object& progress,
                    const std::string& call) {
  std::ostringstream table;
  TableRunRequest request;
  request.targets.table = "-";
  request.targets.standardOutput = &table;
  request.threads = threads;
  request.window = columns.window;
  request.commandLine = call;
  TableRunResult result;
  const auto startTime = std::chrono::system_clock::now();
  const auto started = std::chrono::steady_clock::now();
  RunWatched(
      [&](const std::stop_token& stop, RunControl& control) {
        TableRunHooks hooks;
        hooks.stop = stop;
        hooks.progress = [&control](std::uint64_t done, std::uint64_t) { control.palmsDone = done; };
        result = RunTable(design, request, hooks);
      },
      design.Runs(), progress, threads);
  for (const TableProblem& problem : result.problems) {
    if (problem.kind != TableProblemKind::Write) throw py::value_error(problem.text);
    throw std::runtime_error("the table could not be made in memory");
  }
  RefuseSettingsThatRefuseEveryRun(design, result);
  const std::string text = table.str();
  TableRecordFacts facts;
  facts.commandLine = call;
  facts.table = DigestOfText(text);
  facts.startTime = UtcTimestamp(startTime);
  facts.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  facts.runs = design.Runs();
  facts.ran = result.ran;
  facts.refused = result.refused;
  facts.failed = result.failed;
  facts.taken = result.taken;
  facts.complete = result.complete;
  return py::make_tuple(py::bytes(text).attr("decode")("utf-8", "replace"), TableRecordJson(design, facts));
}

py::tuple Sweep(const py::object& settings, const py::object& vary, const py::object& replicatesArgument,
                const py::object& seedArgument, const py::object& stats, const py::object& window,
                const py::object& threadsArgument, const py::object& progress, const std::string& call) {
  const RunSettings base = SettingsArgument(settings, "sweep");
  const std::vector<std::string> texts = SettingTextsArgument(vary, "vary");
  if (texts.empty()) throw py::value_error("sweep needs at least one vary NAME=FROM:TO[:STEP]");
  std::vector<SweepFactor> factors(texts.size());
  double total = 1.0;
  for (std::size_t f = 0; f < factors.size(); ++f) {
    if (std::optional<std::string> problem = ParseSweepFactor(texts[f], factors[f])) throw py::value_error(*problem);
    for (std::size_t g = 0; g < f; ++g) {
      if (factors[g].name == factors[f].name) throw py::value_error(factors[f].name + " is varied twice");
    }
    total *= static_cast<double>(factors[f].values.size());
  }
  const std::int32_t replicates = CountArgument(replicatesArgument, "replicates", 1, 100000);
  if (total * replicates > 1e8) throw py::value_error("the sweep has more than 100 million runs");
  const TableColumns columns = ColumnsArgument(stats, window);
  const std::uint32_t seed = TableSeed(seedArgument, static_cast<std::size_t>(replicates));
  const int threads = threadsArgument.is_none() ? 0 : CountArgument(threadsArgument, "threads", 1, 4096);
  CheckProgress(progress);
  const PointTable design = MakeSweepTable(base, factors, seed, static_cast<std::size_t>(replicates), columns);
  return RunDesign(design, columns, threads, progress, call);
}

py::tuple Batch(const py::object& settings, const std::string& designText, const std::string& designName,
                const py::object& replicatesArgument, const py::object& seedArgument, const py::object& stats,
                const py::object& window, const py::object& threadsArgument, const py::object& progress,
                const std::string& call) {
  const RunSettings base = SettingsArgument(settings, "batch");
  const std::int32_t replicates = CountArgument(replicatesArgument, "replicates", 1, 100000);
  const TableColumns columns = ColumnsArgument(stats, window);
  const int threads = threadsArgument.is_none() ? 0 : CountArgument(threadsArgument, "threads", 1, 4096);
  CheckProgress(progress);
  BatchDesign design;
  std::optional<DesignProblem> problem = ReadBatchDesign(designText, design);
  PointTable table;
  if (!problem) {
    // As the runner: a design with its own seed column and no seed given
    // names 0 as its seed (the column's seeds are the ones run).
    const std::uint32_t seed = design.seedColumn && seedArgument.is_none()
                                   ? 0
                                   : TableSeed(seedArgument, static_cast<std::size_t>(replicates));
    problem = MakeBatchTable(base, std::move(design), seed, static_cast<std::size_t>(replicates), columns, table);
  }
  if (problem) {
    std::string where = designName + " line " + std::to_string(problem->line);
    if (problem->column > 0) where += ", column " + std::to_string(problem->column);
    throw py::value_error(where + ": " + problem->text);
  }
  return RunDesign(table, columns, threads, progress, call);
}

py::tuple Sensitivity(const py::object& settings, const py::object& factorTexts, const std::string& method,
                      const py::object& trajectories, const py::object& levels, const py::object& samples,
                      const py::object& bootstrapArgument, const py::object& replicatesArgument,
                      const py::object& seedArgument, const py::object& designSeed, const py::object& stats,
                      const py::object& window, const py::object& threadsArgument, const py::object& progress,
                      const std::string& call) {
  const RunSettings base = SettingsArgument(settings, "sensitivity");
  if (method != "morris" && method != "sobol") {
    throw py::value_error("method takes \"morris\" or \"sobol\", not \"" + method + "\"");
  }
  SensitivityPlan plan;
  plan.morris = method == "morris";
  const std::vector<std::string> texts = SettingTextsArgument(factorTexts, "factors");
  if (texts.empty()) throw py::value_error("sensitivity needs at least one factor NAME=LOW:HIGH");
  plan.factors.resize(texts.size());
  for (std::size_t f = 0; f < texts.size(); ++f) {
    if (std::optional<std::string> problem = ParseSensitivityFactor(texts[f], plan.factors[f])) {
      throw py::value_error(*problem);
    }
    for (std::size_t g = 0; g < f; ++g) {
      if (plan.factors[g].name == plan.factors[f].name) throw py::value_error(plan.factors[f].name + " is a factor twice");
    }
  }
  plan.trajectories = static_cast<int>(WholeArgument(trajectories, "trajectories", 2, 100000));
  plan.levels = static_cast<int>(WholeArgument(levels, "levels", 2, 1000));
  if (plan.morris && plan.levels % 2 != 0) throw py::value_error("levels must be even for Morris");
  plan.samples = static_cast<int>(WholeArgument(samples, "samples", 2, 10000000));
  const int bootstrap = static_cast<int>(WholeArgument(bootstrapArgument, "bootstrap", 0, 100000));
  const auto replicates = static_cast<std::size_t>(WholeArgument(replicatesArgument, "replicates", 1, 100000));
  const TableColumns columns = ColumnsArgument(stats, window);
  const std::uint32_t seed = TableSeed(seedArgument, replicates);
  plan.designSeed = designSeed.is_none()
                        ? seed
                        : static_cast<std::uint32_t>(WholeArgument(designSeed, "design_seed", 0, 4294967295LL));
  const int threads = threadsArgument.is_none() ? 0 : static_cast<int>(WholeArgument(threadsArgument, "threads", 1, 4096));
  CheckProgress(progress);
  const std::size_t statistics =
      columns.chosen.empty() ? DefaultSensitivityStatistics().size() : columns.chosen.size();
  if (std::optional<std::string> problem = SensitivityMemoryProblem(
          plan, replicates, statistics,
          plan.morris ? "give fewer trajectories or factors" : "give fewer samples or factors")) {
    PyErr_SetString(PyExc_MemoryError, problem->c_str());
    throw py::error_already_set();
  }

  SensitivityDesign design;
  const PointTable table = MakeSensitivityTable(base, plan, seed, replicates, columns, design);
  RunOutputs outcomes(table.statistics, table.Runs());
  TableRunRequest request;
  request.threads = threads;
  request.window = columns.window;
  request.commandLine = call;
  TableRunResult result;
  RunWatched(
      [&](const std::stop_token& stop, RunControl& control) {
        TableRunHooks hooks;
        hooks.stop = stop;
        hooks.progress = [&control](std::uint64_t done, std::uint64_t) { control.palmsDone = done; };
        hooks.outcome = [&outcomes](std::size_t run, const PointOutcome& outcome) { outcomes.Set(run, outcome); };
        result = RunTable(table, request, hooks);
      },
      table.Runs(), progress, threads);
  for (const TableProblem& problem : result.problems) throw py::value_error(problem.text);
  RefuseSettingsThatRefuseEveryRun(table, result);
  const SensitivityIndices indices = ComputeSensitivityIndices(plan, design, table, outcomes, seed, bootstrap);
  return py::make_tuple(indices.table, SensitivityRecordJson(plan, call, seed, replicates, outcomes), indices.report);
}

}  // namespace

void BindExperiments(py::module_& module) {
  module.def("_sweep", &Sweep, py::arg("settings"), py::arg("vary"), py::arg("replicates"), py::arg("seed"),
             py::arg("stats"), py::arg("cycles_window"), py::arg("threads"), py::arg("progress"), py::arg("call"),
             "The sweep's table and record; varnolt.sweep makes the DataFrame.");
  module.def("_batch", &Batch, py::arg("settings"), py::arg("design"), py::arg("design_name"), py::arg("replicates"),
             py::arg("seed"), py::arg("stats"), py::arg("cycles_window"), py::arg("threads"), py::arg("progress"),
             py::arg("call"), "The batch design's table and record; varnolt.batch makes the DataFrame.");
  module.def("_sensitivity", &Sensitivity, py::arg("settings"), py::arg("factors"), py::arg("method"),
             py::arg("trajectories"), py::arg("levels"), py::arg("samples"), py::arg("bootstrap"),
             py::arg("replicates"), py::arg("seed"), py::arg("design_seed"), py::arg("stats"),
             py::arg("cycles_window"), py::arg("threads"), py::arg("progress"), py::arg("call"),
             "The table of indices, its record and the report; varnolt.sensitivity makes the DataFrame.");
}

}  // namespace varnolt::python
