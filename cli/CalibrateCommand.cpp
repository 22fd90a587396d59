// `calibrate`: fits chosen whole-numbered settings to a plantation's census and
// says which of them the census determines. Everything is checked before the
// first run; a stopped or refused calibration writes nothing.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>

#include "calibration/Calibration.h"
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

struct CalibrateOptions {
  std::vector<std::string> positional;      // CENSUS.csv [FILE.dat]
  std::string census;
  std::optional<std::string> settingsFile;  // the base settings; the start-up settings otherwise
  std::vector<std::string> assignments;     // --set NAME=VALUE, in order
  std::vector<std::string> fits;            // --fit NAME=LOW:HIGH, in order
  std::optional<std::string> output;        // -o BEST.dat
  std::optional<std::uint32_t> seed;
  std::int32_t palms = 2000;
  std::int32_t replicates = 1;
  std::optional<std::string> objective;
  std::uint64_t budget = 20000;
  std::optional<int> threads;
  std::optional<std::string> csv;  // every evaluation; "-" for standard output
  std::optional<std::string> json;
  std::optional<std::string> plot;
  std::optional<std::string> plotSize;
  bool quiet = false;
  bool dryRun = false;
};

// Where the record goes: --json, or beside an --csv file (evaluations.json for
// evaluations.csv), as every table of runs has one; nothing for a table on
// standard output, a device or a pipe.
std::optional<std::string> RecordPath(const CalibrateOptions& options) {
  if (options.json) return options.json;
  return TableRecordPath(options.csv);
}

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
  files.Writes(options.json ? "--json" : "the record beside --csv", RecordPath(options));
  files.Writes("--plot", options.plot);
  return files.Problem();
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// The census as points over the best settings' cycles, up to the census's last cycle.
std::optional<std::string> DrawFit(const CalibrationRequest& request, const CalibrationResult& result,
                                           const std::string& path, const PictureSize& size) {
  FitPicture picture;
  const auto last = static_cast<std::size_t>(request.census.LastCycle());
  picture.cycles.assign(result.bestCycles.begin(), result.bestCycles.begin() + static_cast<std::ptrdiff_t>(last));
  for (const CensusRow& row : request.census.rows) {
    for (int s = 0; s < CensusSeriesCount; ++s) {
      if (row.percent[s]) picture.observed[s].push_back({static_cast<double>(row.cycle), *row.percent[s]});
    }
  }
  picture.title = "Census and best fit:";
  for (std::size_t f = 0; f < request.fits.size(); ++f) {
    picture.title += (f == 0 ? " " : ", ") + request.fits[f].name + " " + std::to_string(result.best[f]);
  }
  picture.title += " (RMSE " + Fixed(result.fit.rmse, 2) + " points)";
  return WriteFitPicture(picture, PathFromUtf8(path), size);
}


// The command line that repeats this calibration, with the seed it used.
std::vector<std::string> RepeatingCommandLine(const CalibrateOptions& options, std::uint32_t seed) {
  std::vector<std::string> line = {"varnolt-cli", "calibrate"};
  line.insert(line.end(), options.positional.begin(), options.positional.end());
  for (const std::string& assignment : options.assignments) line.insert(line.end(), {"--set", assignment});
  for (const std::string& fit : options.fits) line.insert(line.end(), {"--fit", fit});
  line.insert(line.end(), {"-o", *options.output, "--seed", std::to_string(seed), "--palms",
                           std::to_string(options.palms), "--replicates", std::to_string(options.replicates),
                           "--objective", options.objective.value_or("sse"), "--budget",
                           std::to_string(options.budget)});
  if (options.threads) line.insert(line.end(), {"--threads", std::to_string(*options.threads)});
  if (options.csv) line.insert(line.end(), {"--csv", *options.csv});
  if (options.json) line.insert(line.end(), {"--json", *options.json});
  if (options.plot) line.insert(line.end(), {"--plot", *options.plot});
  if (options.plotSize) line.insert(line.end(), {"--plot-size", *options.plotSize});
  return line;
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
                        "runs averaged per candidate, seeds S to S+N-1 from --seed S (1 unless given)");
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
    AddSeedOption(*command, options_.seed, "the seed of replicate 1 of every candidate (the current time unless given)");
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
  static int DryRun(const CalibrationRequest& request, const CalibrateOptions& options, CliStreams& io);
  CalibrateOptions options_;
};

std::string CalibrateCommand::CalibrateNotes() {
  return Wrapped("Up to --budget candidates, the whole grid runs, in parallel; beyond, NLopt's controlled random "
                 "search looks for the best with rounding to whole values, then the neighbourhood of the best runs "
                 "whole. For each fitted setting the summary gives the values that fit as well as the best within "
                 "the noise (for loglik 1.92 of log-likelihood; for sse the same 95 % rule with the census's error "
                 "variance estimated from the best fit), or says that the census does not determine it.",
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
  request.base = StartupDefaults();
  if (options.settingsFile) {
    std::optional<RunSettings> read = LoadSettingsForCommand(*options.settingsFile, io);
    if (!read) {
      io.err << "Nothing was run.\n";
      return ExitFailure;
    }
    request.base = *read;
  }
  for (const std::string& assignment : options.assignments) {
    if (std::optional<std::string> problem = ApplyAssignment(request.base, assignment)) return UsageError(io, *problem);
  }
  for (const std::string& text : options.fits) {
    FitRange fit;
    if (std::optional<std::string> problem = ParseFitRange(text, fit)) return UsageError(io, *problem);
    request.fits.push_back(fit);
  }
  const std::optional<std::string> censusText = ReadWholeFile(options.census, io);
  if (!censusText) {
    io.err << "Nothing was run.\n";
    return ExitFailure;
  }
  CensusRead census = ReadCensus(*censusText, options.census);
  if (!census.error.empty()) {
    PrintProblem(io, "cannot read the census " + census.error);
    io.err << "Nothing was run.\n";
    return ExitUsage;
  }
  request.census = std::move(census.census);
  request.objective = objective == "loglik" ? ObjectiveKind::LogLik : ObjectiveKind::Sse;
  request.palms = options.palms;
  request.replicates = options.replicates;
  request.budget = options.budget;
  request.seed = options.seed ? *options.seed : FloweringModel::ClockSeed();
  if (std::optional<std::string> problem = CheckCalibrationRequest(request)) return UsageError(io, *problem);
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
  source.censusSha256 = Sha256Hex(*censusText);
  source.baseName = options.settingsFile.value_or("");
  source.commandLine = RepeatingCommandLine(options, request.seed);
  source.startTime = std::chrono::system_clock::now();
  source.threads = options.threads ? *options.threads : ExperimentDefaultThreads();

  CalibrationControl control;
  control.threads = source.threads;
  std::stop_source stop;
  control.stop = stop.get_token();
  std::atomic<int> stage{static_cast<int>(SearchStage::Grid)};
  control.progress = [&stage](const CalibrationProgress& progress) { stage = static_cast<int>(progress.stage); };
  CalibrationResult result;
  {
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
    result = varnolt::Calibrate(request, control);
  }
  if (result.stopped) {
    io.err << "\nStopped after " << WithThousands(static_cast<std::int64_t>(result.evaluations.size()))
           << " candidates; nothing was written.\n";
    return InterruptedExitStatus(InterruptionSignal());
  }
  if (!result.failure.empty()) {
    PrintProblem(io, result.failure);
    io.err << "Nothing was written.\n";
    return ExitFailure;
  }

  const bool csvToOutput = options.csv && *options.csv == "-";
  std::ostream& summary = csvToOutput ? io.err : io.out;
  bool written = true;
  std::string writtenLines;
  const auto fail = [&](const std::string& what, const std::string& path, const std::string& reason) {
    PrintProblem(io, "cannot write the " + what + " to " + path + ": " + RunnerText(WithTypedPath(reason, path)));
    io.err << "Any earlier file there is unchanged.\n";
    written = false;
  };
  const auto wrote = [&](const std::string& what, const std::string& path) {
    writtenLines += what + " written to " + path + ".\n";
  };
  const RunSettings best = BestSettings(request, result);
  if (const std::optional<FileError> error = SaveSettingsFile(PathFromUtf8(*options.output), best)) {
    fail("best settings", *options.output, CauseText(*error, *options.output));
  } else {
    wrote("Best settings", *options.output);
  }
  if (options.csv) {
    const std::string csv = EvaluationsCsv(request, result);
    if (csvToOutput) {
      io.out << csv;
      io.out.flush();
    } else if (auto reason = SafelyReplaceFile(*options.csv, [&csv](std::ostream& out) { out << csv; })) {
      fail("table of evaluations", *options.csv, *reason);
    } else {
      wrote("Evaluations", *options.csv);
    }
  }
  if (const std::optional<std::string> recordPath = RecordPath(options)) {
    const std::string json = CalibrationRecordJson(request, result, source);
    if (auto reason = SafelyReplaceFile(*recordPath, [&json](std::ostream& out) { out << json; })) {
      fail("JSON record", *recordPath, *reason);
    } else {
      wrote("JSON record", *recordPath);
    }
  }
  if (options.plot) {
    if (std::optional<std::string> reason = DrawFit(request, result, *options.plot, size)) {
      fail("picture", *options.plot, *reason);
    } else {
      wrote("Picture", *options.plot);
    }
  }
  summary << CalibrationSummary(request, result, source) << writtenLines;
  return written ? ExitSuccess : ExitFailure;
}

}  // namespace

std::unique_ptr<Command> MakeCalibrateCommand(CLI::App& parent) { return std::make_unique<CalibrateCommand>(parent); }

}  // namespace varnolt
