// What `calibrate` writes once a calibration has ended. A file that cannot be
// written is told and leaves any earlier file there whole; the others are
// written all the same.

#include "cli/CalibrateOutputs.h"

#include <cmath>

#include "cli/Messages.h"
#include "cli/PointTables.h"
#include "cli/SettingsFiles.h"
#include "platform/FileIO.h"
#include "platform/WholeNumbers.h"
#include "results/CycleAnalysis.h"
#include "results/ResultsTable.h"
#include "settings/SettingsFile.h"

namespace varnolt {

namespace {

// The census as points over the best settings' cycles up to its last cycle,
// with the residuals beneath and the held-out cycles shaded.
std::optional<std::string> DrawFit(const CalibrationRequest& request, const CalibrationResult& result,
                                   const std::string& path, const PictureSize& size) {
  FitPicture picture;
  const auto last = std::min<std::size_t>(static_cast<std::size_t>(request.census.LastCycle() + result.shift),
                                          result.bestCycles.size());
  picture.cycles.assign(result.bestCycles.begin(), result.bestCycles.begin() + static_cast<std::ptrdiff_t>(last));
  for (const CensusRow& row : request.census.rows) {
    for (int s = 0; s < CensusSeriesCount; ++s) {
      if (row.percent[s]) picture.observed[s].push_back({static_cast<double>(row.cycle + result.shift), *row.percent[s]});
    }
  }
  const auto residuals = BestResiduals(request, result);
  for (int s = 0; s < CensusSeriesCount; ++s) {
    for (const ResidualPoint& point : residuals[s]) picture.residuals[s].push_back({point.cycle, point.residual});
  }
  if (request.validate) {
    picture.heldOut = {{static_cast<double>(request.validate->low + result.shift),
                        static_cast<double>(request.validate->high + result.shift)}};
  }
  picture.title = "Census and best fit:";
  const std::vector<FitRange> fitted = FittedValues(request);
  for (std::size_t f = 0; f < fitted.size(); ++f) {
    picture.title += (f == 0 ? " " : ", ") + fitted[f].name + " " + std::to_string(result.best[f]);
  }
  picture.title += " (RMSE " + FixedText(result.fit.rmse, 2) + " points)";
  return WriteFitPicture(picture, PathFromUtf8(path), size);
}

}  // namespace

std::optional<std::string> CalibrationRecordPath(const CalibrateOptions& options) {
  if (options.json) return options.json;
  return TableRecordPath(options.csv);
}

std::vector<std::string> RepeatingCommandLine(const CalibrateOptions& options, std::uint32_t seed) {
  std::vector<std::string> line = {"varnolt-cli", "calibrate"};
  line.insert(line.end(), options.positional.begin(), options.positional.end());
  for (const std::string& assignment : options.assignments) line.insert(line.end(), {"--set", assignment});
  for (const std::string& fit : options.fits) line.insert(line.end(), {"--fit", fit});
  for (const std::string& census : options.censuses) line.insert(line.end(), {"--census", census});
  if (options.validate) line.insert(line.end(), {"--validate", *options.validate});
  if (options.fitShift) line.push_back("--fit-shift=" + *options.fitShift);
  line.insert(line.end(), {"-o", *options.output, "--seed", std::to_string(seed), "--palms",
                           std::to_string(options.palms), "--replicates", std::to_string(options.replicates),
                           "--simulations", std::to_string(options.simulations), "--objective",
                           options.objective.value_or("sse"), "--budget", std::to_string(options.budget)});
  if (options.threads) line.insert(line.end(), {"--threads", std::to_string(*options.threads)});
  if (options.csv) line.insert(line.end(), {"--csv", *options.csv});
  if (options.json) line.insert(line.end(), {"--json", *options.json});
  if (options.plot) line.insert(line.end(), {"--plot", *options.plot});
  if (options.plotSize) line.insert(line.end(), {"--plot-size", *options.plotSize});
  return line;
}

int WriteCalibration(const CalibrateOptions& options, const CalibrationRequest& request,
                     const CalibrationResult& result, const CalibrationSource& source, const PictureSize& size,
                     CliStreams& io) {
  const bool csvToOutput = options.csv && *options.csv == "-";
  std::ostream& summary = csvToOutput ? io.err : io.out;
  bool written = true;
  std::string writtenLines;
  const auto fail = [&](const std::string& what, const std::string& path, const std::string& reason) {
    PrintProblem(io, "cannot write the " + what + " to " + path + ": " + reason);
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
  if (const std::optional<std::string> recordPath = CalibrationRecordPath(options)) {
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

void ReportStoppedCalibration(const CalibrationRequest& request, const CalibrationResult& result, CliStreams& io) {
  io.err << "\nStopped after " << WithThousands(static_cast<std::int64_t>(result.evaluations.size()))
         << " candidates; nothing was written.\n";
  if (result.bestSoFar.empty()) return;
  const std::vector<FitRange> fitted = FittedValues(request);
  io.err << "Best so far:";
  for (std::size_t f = 0; f < fitted.size() && f < result.bestSoFar.size(); ++f) {
    io.err << (f == 0 ? " " : ", ") << fitted[f].name << " " << result.bestSoFar[f];
  }
  io.err << " (" << ObjectiveName(request.objective) << " " << ShortestNumber(result.bestSoFarObjective) << ").\n";
}

}  // namespace varnolt
