// `calibrate`: fits chosen whole-numbered settings to a plantation's census and
// says which of them the census determines. Everything is checked before the
// first run; a stopped or refused calibration writes nothing.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>

#include "calibration/Calibration.h"
#include "cli/CalibrateOutputs.h"
#include "cli/CommandLine.h"
#include "cli/DryRun.h"
#include "cli/Help.h"
#include "cli/Messages.h"
#include "cli/OutputPaths.h"
#include "cli/PointTables.h"
#include "cli/ProgressLine.h"
#include "cli/RunOptions.h"
#include "cli/SettingsFiles.h"
#include "cli/SharedOptions.h"
#include "experiments/Experiments.h"
#include "platform/FileIO.h"
#include "platform/Interrupts.h"
#include "plot/PlotPicture.h"
#include "results/ResultsTable.h"
#include "run/ReportTarget.h"
#include "settings/SettingsFile.h"

namespace varnolt {

namespace {

// Refuses outputs that would lose something (the census, the base settings,
// one output over another, a table or report in place of the best settings)
// and options that cannot be honoured, before anything runs.
std::optional<std::string> OutputProblem(const CalibrateOptions& options) {
  if (options.output && (options.output->empty() || *options.output == "-")) {
    return "-o needs a file name for the best settings";
  }
  if (options.json && (options.json->empty() || *options.json == "-")) return "--json needs a file name";
  if (options.plot && !PictureFormatOf(PathFromUtf8(*options.plot))) {
    return "--plot " + *options.plot + ": a picture's name must end in .png or .svg";
  }
  if (options.plotSize && !options.plot) return "--plot-size needs --plot PATH.png or PATH.svg";
  CommandFiles files;
  files.Reads("the census", options.census);
  files.Reads("the settings file", options.settingsFile);
  files.WritesSettings("-o", options.output);
  files.Writes("--csv", options.csv);
  files.Writes(options.json ? "--json" : "the record beside --csv", CalibrationRecordPath(options));
  files.Writes("--plot", options.plot);
  return files.Problem();
}

class CalibrateCommand final : public Command {
 public:
  explicit CalibrateCommand(CLI::App& parent) {
    CLI::App* command = AddCommand(
        parent, "calibrate",
        "Fits chosen settings to a plantation's census and says which of them the census determines.",
        "CENSUS.csv [FILE.dat] --fit NAME=LOW:HIGH... -o BEST.dat [OPTIONS]", CalibrateNotes());
    AddArguments(*command, "CENSUS.csv [FILE.dat]", options_.positional,
                 "the census (CSV: cycle and any of female, herm, male, aborted in percent, optionally palms), "
                 "then the settings every candidate starts from; without it, the start-up settings");
    AddListOption(*command, "--fit", options_.fits, "NAME=LOW:HIGH",
                  "a whole-numbered setting to fit, over its values LOW to HIGH")
        ->group(DesignGroup);
    AddListOption(*command, "--census", options_.censuses, "PATH[=SETTINGS.dat]",
                  "another census fitted together with the first, on its own base settings (those of the first "
                  "unless given); the fitted values are shared")
        ->group(DesignGroup);
    AddTextOption(*command, "--validate", options_.validate, "FROM:TO",
                  "leave census cycles FROM to TO out of the fit and report the fit on them apart")
        ->group(DesignGroup);
    command
        ->add_option_function<std::string>(
            "--fit-shift", [this](const std::string& text) { options_.fitShift = text; },
            "fit the whole-cycle offset S of the census over LOW to HIGH: its cycle c is model cycle c + S")
        ->type_name("LOW:HIGH")
        ->allow_extra_args(false)
        ->group(DesignGroup);
    AddTextOption(*command, "--objective", options_.objective, "sse|loglik",
                  "the sum of squared differences of percentages (sse, unless given) or the multinomial "
                  "log-likelihood of the counts (loglik, needs a palms column)")
        ->group(DesignGroup);
    AddCountOption<std::uint64_t>(*command, "--budget", options_.budget, 1, 100000000, "the budget",
                                  "the largest grid run whole, and the most candidates the optimiser runs "
                                  "beyond it (20,000 unless given)")
        ->group(DesignGroup);
    AddCountOption<std::int32_t>(*command, "--palms", options_.palms, 1, 10000000, "the number of palms",
                                 "palms simulated per run (2,000 unless given; the settings' palmCount is kept "
                                 "in BEST.dat)")
        ->group(RunningGroup);
    AddReplicatesOption(*command, options_.replicates,
                        "runs averaged per candidate, seeds S to S+N-1 from --seed S (2 unless given)");
    AddCountOption<std::int32_t>(*command, "--simulations", options_.simulations, 20, 100000,
                                 "the number of simulated censuses",
                                 "censuses simulated from the best fit to calibrate the ranges and judge the fit "
                                 "(200 unless given)")
        ->group(RunningGroup);
    AddSetOption(*command, options_.assignments, "change one setting of every candidate");
    AddOutputOption(*command, options_.output, "BEST.dat", "the settings file the best fit is written to");
    AddCsvOption(*command, options_.csv, "every evaluation in the order run (the fitted settings, objective, "
                                         "status); - for standard output");
    AddTextOption(*command, "--json", options_.json, "PATH", "the JSON record of the calibration")
        ->group(OutputsGroup);
    AddTextOption(*command, "--plot", options_.plot, "PATH",
                  "the census as points over the best fit's cycles, PATH.png or PATH.svg")
        ->group(OutputsGroup);
    AddPlotSizeOption(*command, options_.plotSize, "the picture's size in pixels (1600x900 unless given)");
    AddSeedOption(*command, options_.seed, "the seed of replicate 1 of every candidate (a random seed unless given)");
    AddThreadsOption(*command, options_.threads);
    AddQuietOption(*command, options_.quiet);
    command->add_flag("--dry-run", options_.dryRun,
                      "tell the method, candidates, runs, palm-cycles and time; run and write nothing")
        ->group(RunningGroup);
  }

  int Run(CliStreams& io) override { return Calibrate(options_, io); }

 private:
  static std::string CalibrateNotes();
  static int Calibrate(CalibrateOptions& options, CliStreams& io);
  static std::optional<int> ReadRequest(CalibrateOptions& options, CliStreams& io, CalibrationRequest& request,
                                        std::string& censusText);
  static std::optional<int> ReadCensusFile(const std::string& path, CliStreams& io, Census& census,
                                           std::string* text = nullptr);
  static CalibrationResult RunCalibration(const CalibrationRequest& request, const CalibrateOptions& options,
                                          int threads, CliStreams& io);
  static int DryRun(const CalibrationRequest& request, const CalibrateOptions& options, CliStreams& io);
  CalibrateOptions options_;
};

std::string CalibrateCommand::CalibrateNotes() {
  return Wrapped("Up to --budget candidates, the whole grid runs, in parallel; beyond, NLopt's controlled random "
                 "search looks for the best with rounding to whole values, then the neighbourhood of the best runs "
                 "whole. For each fitted setting the summary gives the values consistent with the census at 95 %, "
                 "calibrated on --simulations censuses simulated from the best fit and fitted again over the same "
                 "candidates, or says that the census does not determine it; a \"Lack of fit:\" line says whether "
                 "the model explains the census at all.",
                 "", "") +
         "\n" + SettingsNotes();
}

int CalibrateCommand::DryRun(const CalibrationRequest& request, const CalibrateOptions& options, CliStreams& io) {
  const CalibrationPlan plan = PlanCalibration(request);
  const auto count = [](std::uint64_t n) { return WithThousands(static_cast<std::int64_t>(n)); };
  io.out << "calibrate --dry-run: nothing is run or written.\n";
  if (plan.method == SearchMethod::Exhaustive) {
    io.out << "Method: exhaustive grid: every one of the " << count(plan.candidates) << " candidates (at most "
           << count(request.budget) << " are run whole; --budget sets this).\n";
    io.out << "Candidates: " << count(plan.candidates) << ", " << count(plan.refused) << " refused by a rule.\n";
  } else {
    const std::string grid =
        plan.gridSize < 1e15 ? count(static_cast<std::uint64_t>(plan.gridSize)) : ShortestNumber(plan.gridSize);
    io.out << "Method: optimiser: the grid of " << grid << " candidates is more than the "
           << "budget of " << count(request.budget) << ".\n";
    io.out << "Candidates: at most about " << count(plan.candidates) << ": the search runs up to the budget, and "
           << "stops sooner once its restarts find nothing better; then the neighbourhood of the best and a "
           << "candidate per value of each profile.\n";
  }
  io.out << "To run: " << (plan.estimated ? "at most about " : "") << count(plan.runs) << " runs of "
         << WithThousands(request.palms) << " palms (" << request.replicates
         << (request.replicates == 1 ? " replicate" : " replicates") << " per candidate), "
         << WithThousands(static_cast<std::int64_t>(plan.palmCycles)) << " palm-cycles.\n";
  if (plan.runs > 0 && !plan.sample.empty()) {
    const int threads = options.threads.value_or(0) > 0 ? *options.threads : ExperimentDefaultThreads();
    PrintTimeEstimate(CandidateSettings(request, plan.sample), request.seed, static_cast<std::size_t>(plan.runs),
                      plan.palmCycles, threads, io.out);
    if (plan.estimated) io.out << "The search usually settles well before its budget: this is the most it should take.\n";
  }
  return ExitSuccess;
}

// Reads a census file; a problem is told, and answers the exit status.
std::optional<int> CalibrateCommand::ReadCensusFile(const std::string& path, CliStreams& io, Census& census,
                                                    std::string* text) {
  const std::optional<std::string> bytes = ReadWholeFile(path, io);
  if (!bytes) {
    io.err << "Nothing was run.\n";
    return ExitFailure;
  }
  CensusRead read = ReadCensus(*bytes, path);
  if (!read.error.empty()) {
    PrintProblem(io, "cannot read the census " + read.error);
    io.err << "Nothing was run.\n";
    return ExitUsage;
  }
  census = std::move(read.census);
  if (text != nullptr) *text = *bytes;
  return std::nullopt;
}

// The request the options describe, every file read; answers the exit status of a problem.
std::optional<int> CalibrateCommand::ReadRequest(CalibrateOptions& options, CliStreams& io,
                                                 CalibrationRequest& request, std::string& censusText) {
  const auto loadBase = [&](const std::optional<std::string>& path, RunSettings& base) -> std::optional<int> {
    base = StartupDefaults();
    if (path) {
      std::optional<RunSettings> read = LoadSettingsForCommand(*path, io);
      if (!read) {
        io.err << "Nothing was run.\n";
        return ExitFailure;
      }
      base = *read;
    }
    for (const std::string& assignment : options.assignments) {
      if (std::optional<std::string> problem = ApplyAssignment(base, assignment)) return UsageError(io, *problem);
    }
    return std::nullopt;
  };
  if (auto status = loadBase(options.settingsFile, request.base)) return status;
  for (const std::string& text : options.fits) {
    FitRange fit;
    if (std::optional<std::string> problem = ParseFitRange(text, fit)) return UsageError(io, *problem);
    request.fits.push_back(fit);
  }
  for (const auto& [text, name, into] : {std::tuple{options.validate, "--validate", &request.validate},
                                         std::tuple{options.fitShift, "--fit-shift", &request.shift}}) {
    if (!text) continue;
    WholeSpan span;
    if (std::optional<std::string> problem = ParseWholeSpan(*text, name, span)) return UsageError(io, *problem);
    *into = span;
  }
  if (auto status = ReadCensusFile(options.census, io, request.census, &censusText)) return status;
  for (const std::string& text : options.censuses) {
    // PATH=SETTINGS.dat: the last "=" before a name ending in .dat parts the two.
    const std::size_t equals = text.rfind('=');
    const bool withSettings = equals != std::string::npos && text.size() > equals + 4 &&
                              (text.ends_with(".dat") || text.ends_with(".DAT"));
    AddedCensus added;
    added.name = withSettings ? text.substr(0, equals) : text;
    const std::optional<std::string> settings =
        withSettings ? std::optional(text.substr(equals + 1)) : options.settingsFile;
    if (auto status = loadBase(settings, added.base)) return status;
    if (auto status = ReadCensusFile(added.name, io, added.census)) return status;
    request.added.push_back(std::move(added));
  }
  request.objective = options.objective.value_or("sse") == "loglik" ? ObjectiveKind::LogLik : ObjectiveKind::Sse;
  request.palms = options.palms;
  request.replicates = options.replicates;
  request.budget = options.budget;
  request.simulatedCensuses = options.simulations;
  request.seed = options.seed ? *options.seed : FreshSeedFor(static_cast<std::uint64_t>(options.replicates));
  if (std::optional<std::string> problem = CheckCalibrationRequest(request)) return UsageError(io, *problem);
  return std::nullopt;
}

// The calibration with its progress line; Ctrl+C stops it.
CalibrationResult CalibrateCommand::RunCalibration(const CalibrationRequest& request, const CalibrateOptions& options,
                                                   int threads, CliStreams& io) {
  CalibrationControl control;
  control.threads = threads;
  std::stop_source stop;
  control.stop = stop.get_token();
  std::atomic<int> stage{static_cast<int>(SearchStage::Grid)};
  control.progress = [&stage](const CalibrationProgress& progress) { stage = static_cast<int>(progress.stage); };
  InterruptionWatch interruption([&stop] { stop.request_stop(); });
  ProgressLine progress(
      io.err, control.evaluations,
      [&](std::uint64_t done, double elapsed) {
        const auto now = static_cast<SearchStage>(stage.load());
        if (now == SearchStage::Grid) return CountProgressText("Candidates", done, control.planned.load(), elapsed);
        return "Candidates " + WithThousands(static_cast<std::int64_t>(done)) + " evaluated (" +
               SearchStageName(now) + "), " + ClockText(elapsed) + " elapsed";
      },
      !options.quiet && StandardErrorIsTerminal());
  return varnolt::Calibrate(request, control);
}

int CalibrateCommand::Calibrate(CalibrateOptions& options, CliStreams& io) {
  if (options.positional.empty()) return UsageError(io, "calibrate needs the census, CENSUS.csv");
  if (options.positional.size() > 2) {
    return UsageError(io, "calibrate takes the census and at most one settings file, not also \"" +
                              options.positional[2] + "\"");
  }
  options.census = options.positional[0];
  if (options.positional.size() == 2) options.settingsFile = options.positional[1];
  if (!options.output && !options.dryRun) {
    return UsageError(io, "calibrate needs -o BEST.dat, the settings file to write the best fit to");
  }
  if (options.fits.empty()) return UsageError(io, "calibrate needs at least one --fit NAME=LOW:HIGH");
  const std::string objective = options.objective.value_or("sse");
  if (objective != "sse" && objective != "loglik") {
    return UsageError(io, "--objective " + objective + ": give sse or loglik");
  }
  PictureSize size;
  if (options.plotSize) {
    if (std::optional<std::string> problem = ParsePictureSize(*options.plotSize, size)) return UsageError(io, *problem);
  }
  if (std::optional<std::string> problem = OutputProblem(options)) return UsageError(io, *problem);

  CalibrationRequest request;
  std::string censusText;
  if (std::optional<int> status = ReadRequest(options, io, request, censusText)) return *status;
  if (options.dryRun) return DryRun(request, options, io);
  // A picture that cannot be drawn is told before the fit, not after it.
  if (options.plot) {
    if (std::optional<std::string> problem = DrawingProblem()) {
      PrintProblem(io, "cannot draw --plot " + *options.plot + ": " + *problem);
      io.err << "Nothing was run.\n";
      return ExitFailure;
    }
  }
  if (!options.seed) {
    io.err << "Seed " << request.seed << " (repeat this calibration with --seed " << request.seed << ").\n";
  }

  CalibrationSource source;
  source.censusName = options.census;
  source.censusSha256 = Sha256Hex(censusText);
  source.baseName = options.settingsFile.value_or("");
  source.commandLine = RepeatingCommandLine(options, request.seed);
  source.startTime = std::chrono::system_clock::now();
  source.threads = options.threads ? *options.threads : ExperimentDefaultThreads();
  const CalibrationResult result = RunCalibration(request, options, source.threads, io);
  if (result.stopped) {
    ReportStoppedCalibration(request, result, io);
    return InterruptedExitStatus(InterruptionSignal());
  }
  if (!result.failure.empty()) {
    PrintProblem(io, result.failure);
    io.err << "Nothing was written.\n";
    return ExitFailure;
  }
  return WriteCalibration(options, request, result, source, size, io);
}

}  // namespace

std::unique_ptr<Command> MakeCalibrateCommand(CLI::App& parent) { return std::make_unique<CalibrateCommand>(parent); }

}  // namespace varnolt
