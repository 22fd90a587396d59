#include "cli/ResultsOutputs.h"

#include <filesystem>
#include <sstream>

#include "cli/Messages.h"
#include "platform/FileIO.h"
#include "platform/Interrupts.h"
#include "plot/PlotPicture.h"
#include "results/CycleAnalysis.h"
#include "results/ResultsTable.h"
#include "results/RunRecord.h"

namespace varnolt {

std::optional<std::vector<CycleResult>> LoadResults(const std::string& path, CliStreams& io) {
  const std::optional<std::string> bytes = ReadWholeFile(path, io);
  if (!bytes) return std::nullopt;
  return LoadResults(*bytes, path, io);
}

std::optional<std::vector<CycleResult>> LoadResults(const std::string& text, const std::string& path, CliStreams& io) {
  std::istringstream in(text);
  ResultsTableRead read = ReadResultsTable(in);
  if (!read.error.empty()) {
    PrintProblem(io, "cannot read results from " + path + ": " + read.error);
    return std::nullopt;
  }
  return std::move(read.cycles);
}

std::optional<std::string> CheckResultsOptions(const RunOptions& options) {
  if (options.csv && *options.csv == "-" && options.output && *options.output == "-") {
    return "--output - and --csv - cannot both go to standard output";
  }
  if (options.json && *options.json == "-") return "--json needs a file name";
  if (options.plotSize && !options.plot) return "--plot-size needs --plot PATH.png or PATH.svg";
  if (options.plot && !PictureFormatOf(PathFromUtf8(*options.plot))) {
    return "--plot " + *options.plot + ": a picture's name must end in .png or .svg";
  }
  PictureSize size;
  if (options.plotSize) {
    if (std::optional<std::string> problem = ParsePictureSize(*options.plotSize, size)) {
      return "--plot-size " + *problem;
    }
  }
  return std::nullopt;
}

std::optional<std::string> RecordPathOf(const RunOptions& options) {
  if (options.json) return options.json;
  if (!options.csv || *options.csv == "-" || IsDescriptorPath(PathFromUtf8(*options.csv)) ||
      IsDeviceOrPipe(PathFromUtf8(*options.csv))) {
    return std::nullopt;
  }
  // A table sent to a device or pipe has no folder to put a record beside.
  std::error_code code;
  const std::filesystem::file_status status = std::filesystem::status(PathFromUtf8(*options.csv), code);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) return std::nullopt;
  return PathToUtf8(RecordPathBeside(PathFromUtf8(*options.csv)));
}

void AddResultsFiles(const RunOptions& options, CommandFiles& files) {
  files.Writes("--csv", options.csv);
  files.Writes(options.json ? "--json" : "the JSON record beside --csv", RecordPathOf(options));
  files.Writes("--plot", options.plot);
}

bool WriteResultsOutputs(const FloweringModel& model, const RunSettings& settings, const RunOutcome& outcome,
                         const CycleAnalysis& analysis, const RunOptions& options, CliStreams& io,
                         std::ostream& summary) {
  // What leaves the program holds count x 100 / palms, and the analysis uses the same.
  const std::vector<CycleResult> cycles = PublishedCycles(model);
  bool written = true;
  auto fail = [&](const std::string& what, const std::string& path, const std::string& reason) {
    PrintProblem(io, "cannot write the " + what + " to " + path + ": " + reason);
    io.err << "Any earlier file there is unchanged.\n";
    written = false;
  };
  const auto interrupted = [] { return InterruptionFlag().load(); };
  // A file being written when a signal comes is dropped whole.
  const auto unlessInterrupted = [&](const ContentWriter& write) {
    return [&, write](std::ostream& out) {
      write(out);
      if (interrupted()) out.setstate(std::ios::badbit);
    };
  };
  if (options.csv && !interrupted()) {
    if (*options.csv == "-") {
      WriteResultsCsv(cycles, io.out);
      io.out.flush();
      if (!io.out) fail("CSV table", "standard output", "the output failed");
    } else if (auto problem = SafelyReplaceFile(
                   *options.csv, unlessInterrupted([&](std::ostream& out) { WriteResultsCsv(cycles, out); }))) {
      if (!interrupted()) fail("CSV table", *options.csv, *problem);
    } else {
      summary << "CSV table written to " << *options.csv << ".\n";
    }
  }
  InterruptionTestPoint("record");
  if (const std::optional<std::string> recordPath = RecordPathOf(options); recordPath && !interrupted()) {
    RunRecord record = RecordOfRun(settings, outcome, cycles);
    record.analysis = analysis;
    const std::string json = RunRecordJson(record);
    if (auto problem = SafelyReplaceFile(*recordPath, unlessInterrupted([&](std::ostream& out) { out << json; }))) {
      if (!interrupted()) fail("JSON record", *recordPath, *problem);
    } else {
      summary << "JSON record written to " << *recordPath << ".\n";
    }
  }
  if (options.plot && !interrupted()) {
    PictureSize size;
    if (options.plotSize) ParsePictureSize(*options.plotSize, size);
    if (auto problem = WritePlotPicture(cycles, PathFromUtf8(*options.plot), size)) {
      PrintProblem(io, "cannot write the picture to " + *options.plot + ": " + PictureProblemText(*problem, *options.plot));
      io.err << "Any earlier file there is unchanged.\n";
      written = false;
    } else {
      summary << "Picture written to " << *options.plot << ".\n";
    }
  }
  return written;
}

}  // namespace varnolt
