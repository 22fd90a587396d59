#include "cli/TablePictures.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "cli/Messages.h"
#include "experiments/Experiments.h"
#include "experiments/PointTables.h"
#include "platform/FileIO.h"
#include "plot/TablePicture.h"
#include "results/Statistics.h"

namespace varnolt {

namespace {

// "r.csv: what; made by varnolt-cli sweep ..." from the record beside the
// table (with ", seed N" when its command line does not give it), or ", seed N"
// from the table when no record says more.
std::string PictureTitle(const std::string& source, const std::string& what, const std::string& seed = {}) {
  std::string title = std::filesystem::path(PathFromUtf8(source)).filename().string() + ": " + what;
  if (const std::optional<TableMaker> maker = TableMakerOf(source)) {
    std::string madeBy = maker->commandLine;
    if (madeBy.find("--seed") == std::string::npos && maker->seed) madeBy += ", seed " + std::to_string(*maker->seed);
    if (!madeBy.empty()) return title + "; made by " + madeBy;
  }
  if (!seed.empty()) title += ", seed " + seed;
  return title;
}

int PictureFailure(const std::optional<std::string>& failure, const std::string& picture, CliStreams& io) {
  PrintProblem(io, "cannot write the picture to " + picture + ": " + PictureProblemText(*failure, picture));
  io.err << "Any earlier file there is unchanged.\n";
  return ExitFailure;
}

int RefusedPicture(CliStreams& io, const std::string& source, const std::string& problem) {
  PrintProblem(io, "cannot plot " + source + ": " + problem);
  io.err << "Nothing was written.\n";
  return ExitFailure;
}

// The statistics against one varied setting: each row's value and the mean of
// each setting's rows with its 95 % interval.
std::optional<std::string> DrawAgainstSetting(const PointValues& values, const TablePictureRequest& request) {
  SettingPlot plot;
  plot.setting = values.varied[0];
  for (std::size_t s = 0; s < values.statistics.size(); ++s) {
    StatisticSeries series;
    series.name = values.statistics[s];
    for (const auto& [key, cell] : values.values) {
      if (cell[s].empty()) continue;
      for (double value : cell[s]) series.pointX.push_back(key.first), series.pointY.push_back(value);
      const StatisticSummary spread = SummariseValues(cell[s]);
      series.x.push_back(key.first);
      series.mean.push_back(spread.mean);
      series.low.push_back(spread.mean - spread.ci95);
      series.high.push_back(spread.mean + spread.ci95);
    }
    plot.series.push_back(std::move(series));
  }
  for (const auto& [key, isRefused] : values.refused) {
    if (!values.values.contains(key)) plot.refusedX.push_back(key.first);
  }
  return WriteSettingPicture(
      plot, PathFromUtf8(request.picture), request.size,
      PictureTitle(request.source, JoinedNames(values.statistics) + " against " + plot.setting, values.seed));
}

// A heat map of the first chosen statistic over the two varied settings.
std::optional<std::string> DrawHeatMap(const PointValues& values, const TablePictureRequest& request) {
  HeatMapPlot plot;
  plot.xSetting = values.varied[0];
  plot.ySetting = values.varied[1];
  plot.statistic = values.statistics[0];
  std::vector<PointValues::Key> keys;
  for (const auto& [key, cell] : values.values) keys.push_back(key);
  for (const auto& [key, isRefused] : values.refused) keys.push_back(key);
  for (const PointValues::Key& key : keys) plot.xs.push_back(key.first), plot.ys.push_back(key.second);
  for (std::vector<double>* axis : {&plot.xs, &plot.ys}) {
    std::sort(axis->begin(), axis->end());
    axis->erase(std::unique(axis->begin(), axis->end()), axis->end());
  }
  for (double y : plot.ys) {
    for (double x : plot.xs) {
      const auto found = values.values.find({x, y});
      plot.means.push_back(found != values.values.end() && !found->second[0].empty()
                               ? std::optional<double>(SummariseValues(found->second[0]).mean)
                               : std::nullopt);
      plot.refused.push_back(!plot.means.back() && values.refused.contains({x, y}));
    }
  }
  return WriteHeatMapPicture(plot, PathFromUtf8(request.picture), request.size,
                             PictureTitle(request.source,
                                          plot.statistic + " over " + plot.xSetting + " and " + plot.ySetting +
                                              " (mean of the replicates)",
                                          values.seed));
}

int PlotPointTable(const std::string& text, const TablePictureRequest& request, CliStreams& io) {
  PointValues values;
  if (std::optional<std::string> problem = ReadPointValues(text, request.statistic, values)) {
    return RefusedPicture(io, request.source, *problem);
  }
  const std::optional<std::string> failure =
      values.varied.size() == 1 ? DrawAgainstSetting(values, request) : DrawHeatMap(values, request);
  if (failure) return PictureFailure(failure, request.picture, io);
  io.out << "Plotted " << values.rowsRead << (values.rowsRead == 1 ? " row" : " rows") << " of " << request.source
         << " into " << request.picture << ".\n";
  return ExitSuccess;
}

// The factors in the order of the first panel (the table ranks each output's
// factors by itself), so that a factor keeps its place and colour in every panel.
template <typename Factor>
void InOrderOf(const std::vector<Factor>& first, std::vector<Factor>& factors) {
  std::vector<Factor> ordered;
  for (const Factor& leading : first) {
    for (const Factor& f : factors) {
      if (f.name == leading.name) ordered.push_back(f);
    }
  }
  if (ordered.size() == factors.size()) factors = std::move(ordered);
}

// The panels of an index table, one per chosen output, each factor's row
// added by `add(panel, row)`, the factors of every panel in the order of the
// first; `names` gets the outputs, `factors` the most factors of a panel.
template <typename Panel, typename AddFactor>
std::vector<Panel> IndexPanels(const IndexRows& indices, const std::vector<std::size_t>& chosen,
                               std::vector<std::string>& names, std::size_t& factors, const AddFactor& add) {
  std::vector<Panel> panels;
  for (std::size_t o : chosen) {
    Panel panel;
    panel.statistic = indices.outputs[o];
    names.push_back(panel.statistic);
    for (const std::vector<std::string>& row : indices.rows[o]) add(panel, row);
    if (!panels.empty()) InOrderOf(panels.front().factors, panel.factors);
    factors = std::max(factors, panel.factors.size());
    panels.push_back(std::move(panel));
  }
  return panels;
}

std::optional<std::string> DrawMorris(const IndexRows& indices, const std::vector<std::size_t>& chosen,
                                      const TablePictureRequest& request, std::size_t& factors) {
  std::vector<std::string> names;
  const std::vector<MorrisPanel> panels = IndexPanels<MorrisPanel>(
      indices, chosen, names, factors, [&](MorrisPanel& panel, const std::vector<std::string>& row) {
        panel.factors.push_back({row[1], indices.Cell(row, "muStar"), indices.Cell(row, "muStarLow"),
                                 indices.Cell(row, "muStarHigh"), indices.Cell(row, "sigma")});
      });
  return WriteMorrisPicture(
      panels, PathFromUtf8(request.picture), request.size,
      PictureTitle(request.source, "Morris screening of " + JoinedNames(names) + ", mu* against sigma"));
}

std::optional<std::string> DrawSobol(const IndexRows& indices, const std::vector<std::size_t>& chosen,
                                     const TablePictureRequest& request, std::size_t& factors) {
  std::vector<std::string> names;
  std::vector<SobolPanel> panels = IndexPanels<SobolPanel>(
      indices, chosen, names, factors, [&](SobolPanel& panel, const std::vector<std::string>& row) {
        SobolFactor f{row[1],
                      indices.Cell(row, "first"),
                      indices.Cell(row, "firstLow"),
                      indices.Cell(row, "firstHigh"),
                      indices.Cell(row, "total"),
                      indices.Cell(row, "totalLow"),
                      indices.Cell(row, "totalHigh")};
        panel.factors.push_back(std::move(f));
      });
  // An output varies when one of its indices is there.
  for (SobolPanel& panel : panels) {
    panel.varies = std::any_of(panel.factors.begin(), panel.factors.end(), [](const SobolFactor& f) {
      return std::isfinite(f.first) || std::isfinite(f.total);
    });
  }
  return WriteSobolPicture(panels, PathFromUtf8(request.picture), request.size,
                           PictureTitle(request.source, "Sobol indices of " + JoinedNames(names) +
                                                            ", first order (S1) and total (ST)"));
}

int PlotIndexTable(TableKind kind, const std::string& text, const TablePictureRequest& request, CliStreams& io) {
  const IndexRows indices = ReadIndexRows(text);
  const bool morris = kind == TableKind::Morris;
  if (indices.outputs.empty()) {
    PrintProblem(io, "cannot plot " + request.source + ": the table has no rows");
    io.err << "Nothing was written.\n";
    return ExitFailure;
  }
  std::vector<std::size_t> chosen;
  for (std::size_t o = 0; o < indices.outputs.size(); ++o) {
    if (!request.statistic || indices.outputs[o] == *request.statistic) chosen.push_back(o);
  }
  if (chosen.empty()) {
    PrintProblem(io, "cannot plot " + request.source + ": the table has no output " + *request.statistic +
                         "; give --stat with one of " + JoinedNames(indices.outputs));
    io.err << "Nothing was written.\n";
    return ExitFailure;
  }
  std::size_t factors = 0;
  const std::optional<std::string> failure =
      morris ? DrawMorris(indices, chosen, request, factors) : DrawSobol(indices, chosen, request, factors);
  if (failure) return PictureFailure(failure, request.picture, io);
  io.out << "Plotted the " << (morris ? "Morris" : "Sobol") << " indices of " << factors
         << (factors == 1 ? " factor" : " factors") << " for " << chosen.size()
         << (chosen.size() == 1 ? " output" : " outputs") << " of " << request.source << " into " << request.picture
         << ".\n";
  return ExitSuccess;
}

int PlotCycleTable(const std::string& text, const TablePictureRequest& request, CliStreams& io) {
  std::vector<CycleRun> runs;
  if (std::optional<std::string> problem = ReadCycleRuns(text, runs)) {
    return RefusedPicture(io, request.source, *problem);
  }
  if (request.point) {
    if (std::optional<std::string> problem = ChoosePoint(runs, *request.point, request.source)) {
      return UsageError(io, *problem);
    }
  }
  bool replicates = false;
  for (const CycleRun& run : runs) replicates = replicates || run.replicate > 1;
  CycleLinesPlot plot;
  plot.quantity = "% female";
  for (const CycleRun& run : runs) {
    CycleLine line;
    line.name = "point " + std::to_string(run.point) + (replicates ? " replicate " + std::to_string(run.replicate) : "");
    for (const CycleResult& cycle : run.cycles) line.values.push_back(cycle.female);
    plot.lines.push_back(std::move(line));
  }
  const std::string what = request.point ? "% female of point " + std::to_string(*request.point) +
                                               (runs.size() > 1 ? " (" + std::to_string(runs.size()) + " replicates)" : "")
                                         : "% female of " + PointsHeldText(runs) +
                                               (replicates ? ", every replicate" : "");
  const std::optional<std::string> failure =
      WriteCycleLinesPicture(plot, PathFromUtf8(request.picture), request.size, PictureTitle(request.source, what));
  if (failure) return PictureFailure(failure, request.picture, io);
  io.out << "Plotted " << runs.size() << (runs.size() == 1 ? " run" : " runs") << " of " << request.source << " into "
         << request.picture << ".\n";
  return ExitSuccess;
}

}  // namespace

std::string TableKindName(TableKind kind) {
  switch (kind) {
    case TableKind::Points: return "a table of points";
    case TableKind::Morris: return "a table of Morris indices";
    case TableKind::Sobol: return "a table of Sobol indices";
    case TableKind::Cycles: return "a per-cycle table";
    case TableKind::Other: break;
  }
  return "the cycles of a run";
}

int PlotTable(TableKind kind, const std::string& text, const TablePictureRequest& request, CliStreams& io) {
  if (request.point && kind != TableKind::Cycles) {
    return UsageError(io, "--point chooses a point of a per-cycle table (written by sweep or batch --cycles), and " +
                              request.source + " is " + TableKindName(kind));
  }
  if (request.statistic && (kind == TableKind::Cycles || kind == TableKind::Other)) {
    return UsageError(io, "--stat chooses a statistic of a table of points or indices, and " + request.source +
                              (kind == TableKind::Cycles ? " is a per-cycle table" : " holds the cycles of a run"));
  }
  switch (kind) {
    case TableKind::Points: return PlotPointTable(text, request, io);
    case TableKind::Morris:
    case TableKind::Sobol: return PlotIndexTable(kind, text, request, io);
    case TableKind::Cycles: return PlotCycleTable(text, request, io);
    case TableKind::Other: break;
  }
  return UsageError(io, request.source + " is no table that plot draws");
}

std::optional<std::vector<ReplicateCycles>> RunsOfPoint(const std::string& text, const std::string& source,
                                                        std::int64_t point, CliStreams& io, int& status) {
  std::vector<CycleRun> runs;
  if (std::optional<std::string> problem = ReadCycleRuns(text, runs)) {
    PrintProblem(io, "cannot read " + source + ": " + *problem);
    status = ExitFailure;
    return std::nullopt;
  }
  if (std::optional<std::string> problem = ChoosePoint(runs, point, source)) {
    status = UsageError(io, *problem);
    return std::nullopt;
  }
  std::vector<ReplicateCycles> result;
  for (CycleRun& run : runs) result.push_back({run.replicate, std::move(run.cycles)});
  return result;
}

}  // namespace varnolt
