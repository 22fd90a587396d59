// `plot REPORT.dat|RESULTS.csv|TABLE.csv -o PICTURE.png|PICTURE.svg`: draws the
// cycles of results already written, or any table the experiments write (sweep,
// batch, Morris, Sobol, per-cycle), without running.
#include <CLI/CLI.hpp>

#include "cli/Help.h"
#include "cli/Messages.h"
#include "cli/OutputPaths.h"
#include "cli/ResultsOutputs.h"
#include "cli/SharedOptions.h"
#include "cli/TablePictures.h"
#include "plot/PlotPicture.h"
#include "results/CycleAnalysis.h"

namespace varnolt {

namespace {

class PlotCommand final : public Command {
 public:
  explicit PlotCommand(CLI::App& parent) {
    CLI::App* command =
        AddCommand(parent, "plot",
                   "Draws the cycles of a report or CSV, or a table of a sweep, batch, sensitivity analysis or "
                   "their cycles, into a PNG or SVG picture, without running.",
                   "REPORT.dat|RESULTS.csv|TABLE.csv -o PICTURE.png|PICTURE.svg [OPTIONS]");
    AddArguments(*command, "REPORT.dat|RESULTS.csv|TABLE.csv", sources_,
                 "the report or CSV table whose cycles to draw, or a table of sweep, batch or sensitivity");
    AddOutputOption(*command, picture_, "PATH", "the picture to write, PATH.png or PATH.svg");
    AddPlotSizeOption(*command, size_, "the picture's size in pixels (1600x900 unless given)");
    AddTextOption(*command, "--stat", statistic_, "NAME",
                  "for a sweep or batch table: the statistic to draw (one varied setting: the four mean "
                  "percentages unless given; two: a heat map of the first statistic unless given); for a "
                  "Morris or Sobol table: the one output to draw (every output unless given)");
    AddPointOption(*command, point_, "for a per-cycle table: draw the runs of this point only (every point unless "
                   "given)");
  }

  int Run(CliStreams& io) override {
    if (sources_.size() > 1) return UsageError(io, "plot takes one report or CSV, not also \"" + sources_[1] + "\"");
    if (sources_.empty() || !picture_) {
      return UsageError(io,
                        "plot takes a report or CSV and -o PICTURE, e.g. varnolt-cli plot output.dat -o cycles.svg");
    }
    if (!PictureFormatOf(PathFromUtf8(*picture_))) {
      return UsageError(io, "-o " + *picture_ + ": a picture's name must end in .png or .svg");
    }
    PictureSize size;
    if (size_) {
      if (std::optional<std::string> problem = ParsePictureSize(*size_, size)) {
        return UsageError(io, "--plot-size " + *problem);
      }
    }
    const std::string& source = sources_.front();
    CommandFiles files;
    files.Reads("the source of the picture", source);
    files.Writes("-o", picture_);
    if (std::optional<std::string> problem = files.Problem()) return UsageError(io, *problem);
    // Read once: a pipe or process substitution gives its bytes only once.
    const std::optional<std::string> text = ReadWholeFile(source, io);
    if (!text) return ExitFailure;
    {
      const TableKind kind = KindOfTable(*text);
      if (kind != TableKind::Other || point_ || statistic_) {
        return PlotTable(kind, *text, {source, *picture_, size, statistic_, point_}, io);
      }
    }
    const std::optional<std::vector<CycleResult>> cycles = LoadResults(*text, source, io);
    if (!cycles) return ExitFailure;
    if (std::optional<std::string> problem = WritePlotPicture(*cycles, PathFromUtf8(*picture_), size)) {
      PrintProblem(io, "cannot write the picture to " + *picture_ + ": " + PictureProblemText(*problem, *picture_));
      io.err << "Any earlier file there is unchanged.\n";
      return ExitFailure;
    }
    io.out << "Plotted " << cycles->size() << (cycles->size() == 1 ? " cycle" : " cycles") << " of " << source
           << " into " << *picture_ << ".\n"
           << AnalysisLine(AnalyseCycles(*cycles)) << ".\n";
    return ExitSuccess;
  }

 private:
  std::vector<std::string> sources_;
  std::optional<std::string> picture_;
  std::optional<std::string> size_;
  std::optional<std::string> statistic_;
  std::optional<std::int64_t> point_;
};

}  // namespace

std::unique_ptr<Command> MakePlotCommand(CLI::App& parent) { return std::make_unique<PlotCommand>(parent); }

}  // namespace varnolt
