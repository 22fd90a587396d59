#include "cli/TablePictures.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "cli/Messages.h"
#include "experiments/Experiments.h"
#include "platform/CsvText.h"
#include "platform/FileIO.h"
#include "plot/TablePicture.h"
#include "results/RunRecord.h"
#include "settings/RunSettings.h"

namespace varnolt {

namespace {

struct PointTableText {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};

// The header and rows, without the stamp and closing lines of a shard's part.
PointTableText ReadPointTable(const std::string& text) {
  PointTableText table;
  const CsvRead read = ReadCsv(text);
  for (const CsvRecord& record : read.records) {
    if (record.text.empty() || record.text[0] == '#') continue;
    if (table.header.empty()) table.header = record.cells;
    else table.rows.push_back(record.cells);
  }
  return table;
}

std::optional<double> NumberIn(const std::string& cell) {
  double value = 0;
  const auto read = std::from_chars(cell.data(), cell.data() + cell.size(), value);
  if (cell.empty() || read.ec != std::errc() || read.ptr != cell.data() + cell.size()) return std::nullopt;
  return value;
}

std::size_t IndexOf(const std::vector<std::string>& header, const std::string& name) {
  return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

}  // namespace

namespace {

// What made the table, from the record beside it: the command line, and the
// seed when the command line does not give it. Empty without a record.
std::string MadeBy(const std::string& source) {
  std::ifstream in(RecordPathBeside(PathFromUtf8(source)), std::ios::binary);
  if (!in) return {};
  const nlohmann::json record = nlohmann::json::parse(in, nullptr, false);
  if (record.is_discarded() || !record.is_object() || !record.contains("commandLine") ||
      !record["commandLine"].is_string()) {
    return {};
  }
  std::string text = record["commandLine"].get<std::string>();
  if (text.find("--seed") == std::string::npos && record.contains("seed") && record["seed"].is_number_unsigned()) {
    text += ", seed " + std::to_string(record["seed"].get<std::uint64_t>());
  }
  return text;
}

// "r.csv: what; made by varnolt-cli sweep ..." (or ", seed N" from the table
// when no record says more).
std::string PictureTitle(const std::string& source, const std::string& what, const std::string& seed = {}) {
  std::string title = std::filesystem::path(PathFromUtf8(source)).filename().string() + ": " + what;
  const std::string madeBy = MadeBy(source);
  if (!madeBy.empty()) return title + "; made by " + madeBy;
  if (!seed.empty()) title += ", seed " + seed;
  return title;
}

int PictureFailure(const std::optional<std::string>& failure, const std::string& picture, CliStreams& io) {
  PrintProblem(io, "cannot write the picture to " + picture + ": " + PictureProblemText(*failure, picture));
  io.err << "Any earlier file there is unchanged.\n";
  return ExitFailure;
}

int PlotPointTable(const std::string& text, const TablePictureRequest& request, CliStreams& io) {
  const std::string& source = request.source;
  const std::string& picture = request.picture;
  const PictureSize size = request.size;
  const std::optional<std::string>& statistic = request.statistic;
  const PointTableText table = ReadPointTable(text);
  const std::vector<std::string>& header = table.header;
  const std::size_t replicateColumn = IndexOf(header, "replicate");
  const std::size_t statusColumn = IndexOf(header, "status");
  const std::size_t seedColumn = IndexOf(header, "seed");
  const std::size_t messageColumn = std::min(IndexOf(header, "message"), header.size());
  std::vector<std::size_t> varied;
  for (std::size_t c = 1; c < replicateColumn; ++c) {
    if (FindField(header[c]) != nullptr) varied.push_back(c);
  }
  std::vector<std::string> statistics;
  for (std::size_t c = statusColumn + 1; c < messageColumn; ++c) statistics.push_back(header[c]);
  auto refuse = [&](const std::string& problem) {
    PrintProblem(io, "cannot plot " + source + ": " + problem);
    io.err << "Nothing was written.\n";
    return ExitFailure;
  };
  if (varied.empty() || varied.size() > 2) {
    std::vector<std::string> names;
    for (std::size_t c : varied) names.push_back(header[c]);
    return refuse("plot draws a table of one or two varied settings, and this one has " +
                  (varied.empty() ? std::string("none") : std::to_string(varied.size()) + " (" + Joined(names) + ")"));
  }
  std::vector<std::size_t> chosen;
  if (statistic) {
    const std::size_t c = IndexOf(header, *statistic);
    if (c <= statusColumn || c >= messageColumn) {
      return refuse("the table has no statistic " + *statistic + "; give --stat with one of " + Joined(statistics));
    }
    chosen.push_back(c);
  } else if (varied.size() == 1) {
    for (const char* name : {"meanFemale", "meanHerm", "meanMale", "meanAborted"}) {
      if (IndexOf(header, name) < messageColumn) chosen.push_back(IndexOf(header, name));
    }
  }
  if (chosen.empty() && !statistics.empty()) chosen.push_back(statusColumn + 1);
  if (chosen.empty()) return refuse("the table holds no statistics");

  // The values of every row that ran, and the settings of the refused ones.
  using Key = std::pair<double, double>;
  std::map<Key, std::vector<std::vector<double>>> values;  // per cell, per chosen statistic
  std::map<Key, bool> refused;
  std::string seed;
  std::size_t rowsRead = 0;
  for (const std::vector<std::string>& row : table.rows) {
    if (row.size() != header.size()) continue;
    const std::optional<double> x = NumberIn(row[varied[0]]);
    const std::optional<double> y = varied.size() == 2 ? NumberIn(row[varied[1]]) : std::optional<double>(0.0);
    if (!x || !y) continue;
    ++rowsRead;
    if (seed.empty() && seedColumn < row.size()) seed = row[seedColumn];
    const Key key{*x, *y};
    if (row[statusColumn] == "invalid") {
      refused[key] = true;
      continue;
    }
    if (row[statusColumn] != "ok") continue;
    std::vector<std::vector<double>>& cell = values[key];
    cell.resize(chosen.size());
    for (std::size_t s = 0; s < chosen.size(); ++s) {
      if (std::optional<double> value = NumberIn(row[chosen[s]])) cell[s].push_back(*value);
    }
  }
  if (rowsRead == 0) return refuse("the table has no rows");

  const std::filesystem::path target = PathFromUtf8(picture);
  std::optional<std::string> failure;
  if (varied.size() == 1) {
    SettingPlot plot;
    plot.setting = header[varied[0]];
    for (std::size_t s = 0; s < chosen.size(); ++s) {
      StatisticSeries series;
      series.name = header[chosen[s]];
      for (const auto& [key, cell] : values) {
        if (cell[s].empty()) continue;
        for (double value : cell[s]) series.pointX.push_back(key.first), series.pointY.push_back(value);
        const Spread spread = SpreadOf(cell[s]);
        series.x.push_back(key.first);
        series.mean.push_back(spread.mean);
        series.low.push_back(spread.mean - spread.ci95);
        series.high.push_back(spread.mean + spread.ci95);
      }
      plot.series.push_back(std::move(series));
    }
    for (const auto& [key, isRefused] : refused) {
      if (!values.contains(key)) plot.refusedX.push_back(key.first);
    }
    std::vector<std::string> names;
    for (std::size_t c : chosen) names.push_back(header[c]);
    failure = WriteSettingPicture(plot, target, size, PictureTitle(source, Joined(names) + " against " + plot.setting, seed));
  } else {
    HeatMapPlot plot;
    plot.xSetting = header[varied[0]];
    plot.ySetting = header[varied[1]];
    plot.statistic = header[chosen[0]];
    std::vector<Key> keys;
    for (const auto& [key, cell] : values) keys.push_back(key);
    for (const auto& [key, isRefused] : refused) keys.push_back(key);
    for (const Key& key : keys) plot.xs.push_back(key.first), plot.ys.push_back(key.second);
    for (std::vector<double>* axis : {&plot.xs, &plot.ys}) {
      std::sort(axis->begin(), axis->end());
      axis->erase(std::unique(axis->begin(), axis->end()), axis->end());
    }
    for (double y : plot.ys) {
      for (double x : plot.xs) {
        const auto found = values.find({x, y});
        plot.means.push_back(found != values.end() && !found->second[0].empty()
                                 ? std::optional<double>(SpreadOf(found->second[0]).mean)
                                 : std::nullopt);
        plot.refused.push_back(!plot.means.back() && refused.contains({x, y}));
      }
    }
    failure = WriteHeatMapPicture(
        plot, target, size,
        PictureTitle(source, plot.statistic + " over " + plot.xSetting + " and " + plot.ySetting +
                                 " (mean of the replicates)", seed));
  }
  if (failure) return PictureFailure(failure, picture, io);
  io.out << "Plotted " << rowsRead << (rowsRead == 1 ? " row" : " rows") << " of " << source << " into " << picture
         << ".\n";
  return ExitSuccess;
}

// The indices of a sensitivity table, output after output in the table's order;
// an empty cell is a missing index (NaN).
struct IndexRows {
  std::vector<std::string> outputs;
  std::vector<std::vector<std::vector<std::string>>> rows;  // per output: its rows
};

IndexRows IndexRowsOf(const PointTableText& table) {
  IndexRows result;
  for (const std::vector<std::string>& row : table.rows) {
    if (row.size() != table.header.size() || row.empty()) continue;
    const auto known = std::find(result.outputs.begin(), result.outputs.end(), row[0]);
    if (known == result.outputs.end()) {
      result.outputs.push_back(row[0]);
      result.rows.emplace_back();
    }
    result.rows[static_cast<std::size_t>(std::find(result.outputs.begin(), result.outputs.end(), row[0]) -
                                         result.outputs.begin())]
        .push_back(row);
  }
  return result;
}

double CellNumber(const std::vector<std::string>& row, const std::vector<std::string>& header, const char* column) {
  const std::size_t c = IndexOf(header, column);
  if (c >= row.size()) return NAN;
  return NumberIn(row[c]).value_or(NAN);
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

int PlotIndexTable(TableKind kind, const std::string& text, const TablePictureRequest& request, CliStreams& io) {
  const PointTableText table = ReadPointTable(text);
  const IndexRows indices = IndexRowsOf(table);
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
                         "; give --stat with one of " + Joined(indices.outputs));
    io.err << "Nothing was written.\n";
    return ExitFailure;
  }
  std::vector<std::string> names;
  for (std::size_t o : chosen) names.push_back(indices.outputs[o]);
  const std::filesystem::path target = PathFromUtf8(request.picture);
  std::optional<std::string> failure;
  std::size_t factors = 0;
  if (morris) {
    std::vector<MorrisPanel> panels;
    for (std::size_t o : chosen) {
      MorrisPanel panel;
      panel.statistic = indices.outputs[o];
      for (const std::vector<std::string>& row : indices.rows[o]) {
        panel.factors.push_back({row[1], CellNumber(row, table.header, "muStar"),
                                 CellNumber(row, table.header, "muStarLow"), CellNumber(row, table.header, "muStarHigh"),
                                 CellNumber(row, table.header, "sigma")});
      }
      if (!panels.empty()) InOrderOf(panels.front().factors, panel.factors);
      factors = std::max(factors, panel.factors.size());
      panels.push_back(std::move(panel));
    }
    failure = WriteMorrisPicture(panels, target, request.size,
                                 PictureTitle(request.source, "Morris screening of " + Joined(names) +
                                                                  ", mu* against sigma"));
  } else {
    std::vector<SobolPanel> panels;
    for (std::size_t o : chosen) {
      SobolPanel panel;
      panel.statistic = indices.outputs[o];
      panel.varies = false;
      for (const std::vector<std::string>& row : indices.rows[o]) {
        SobolFactor f{row[1],
                      CellNumber(row, table.header, "first"),
                      CellNumber(row, table.header, "firstLow"),
                      CellNumber(row, table.header, "firstHigh"),
                      CellNumber(row, table.header, "total"),
                      CellNumber(row, table.header, "totalLow"),
                      CellNumber(row, table.header, "totalHigh")};
        panel.varies = panel.varies || std::isfinite(f.first) || std::isfinite(f.total);
        panel.factors.push_back(std::move(f));
      }
      if (!panels.empty()) InOrderOf(panels.front().factors, panel.factors);
      factors = std::max(factors, panel.factors.size());
      panels.push_back(std::move(panel));
    }
    failure = WriteSobolPicture(panels, target, request.size,
                                PictureTitle(request.source, "Sobol indices of " + Joined(names) +
                                                                 ", first order (S1) and total (ST)"));
  }
  if (failure) return PictureFailure(failure, request.picture, io);
  io.out << "Plotted the " << (morris ? "Morris" : "Sobol") << " indices of " << factors
         << (factors == 1 ? " factor" : " factors") << " for " << chosen.size()
         << (chosen.size() == 1 ? " output" : " outputs") << " of " << request.source << " into " << request.picture
         << ".\n";
  return ExitSuccess;
}

// A per-cycle table: its runs in order, each a point, a replicate and its cycles.
struct CycleRun {
  std::int64_t point = 0, replicate = 0;
  std::vector<CycleResult> cycles;
};

std::optional<std::int64_t> WholeIn(const std::string& cell) {
  std::int64_t value = 0;
  const auto read = std::from_chars(cell.data(), cell.data() + cell.size(), value);
  if (cell.empty() || read.ec != std::errc() || read.ptr != cell.data() + cell.size()) return std::nullopt;
  return value;
}

// The runs, or why the table cannot be read: each row needs whole point,
// replicate and cycle numbers and four percentages, and each run's cycles go
// 1, 2, 3... in order, so that no cut or glued table passes for a run.
std::optional<std::string> ReadCycleRuns(const std::string& text, std::vector<CycleRun>& runs) {
  const CsvRead read = ReadCsv(text);
  if (read.openQuoteLine) return "line " + std::to_string(*read.openQuoteLine) + " leaves a quote open";
  bool header = false;
  for (const CsvRecord& record : read.records) {
    if (record.text.empty() || record.text[0] == '#') continue;
    if (!header) {
      header = true;
      continue;
    }
    const std::vector<std::string>& cells = record.cells;
    const std::string where = "line " + std::to_string(record.line);
    if (cells.size() != 7) return where + " has " + std::to_string(cells.size()) + " cells, not 7";
    const std::optional<std::int64_t> point = WholeIn(cells[0]), replicate = WholeIn(cells[1]), cycle = WholeIn(cells[2]);
    if (!point || !replicate || !cycle || *point < 1 || *replicate < 1) {
      return where + " does not start with a point, a replicate and a cycle number";
    }
    CycleResult row;
    double* values[] = {&row.female, &row.herm, &row.male, &row.aborted};
    for (std::size_t v = 0; v < 4; ++v) {
      const std::optional<double> value = NumberIn(cells[3 + v]);
      if (!value) return where + " has no number for " + (v == 0 ? "female" : v == 1 ? "herm" : v == 2 ? "male" : "aborted");
      *values[v] = *value;
    }
    if (runs.empty() || runs.back().point != *point || runs.back().replicate != *replicate) {
      runs.push_back({*point, *replicate, {}});
    }
    if (*cycle != static_cast<std::int64_t>(runs.back().cycles.size()) + 1) {
      return where + " is cycle " + cells[2] + " of point " + cells[0] + " replicate " + cells[1] + ", expected cycle " +
             std::to_string(runs.back().cycles.size() + 1);
    }
    runs.back().cycles.push_back(row);
  }
  if (runs.empty()) return "the table has no rows";
  return std::nullopt;
}

// The first and last point of the runs.
std::pair<std::int64_t, std::int64_t> PointsHeld(const std::vector<CycleRun>& runs) {
  std::int64_t first = runs.front().point, last = first;
  for (const CycleRun& run : runs) first = std::min(first, run.point), last = std::max(last, run.point);
  return {first, last};
}

std::string PointsHeldText(const std::vector<CycleRun>& runs) {
  const auto [first, last] = PointsHeld(runs);
  return first == last ? "point " + std::to_string(first)
                       : "points " + std::to_string(first) + " to " + std::to_string(last);
}

// The runs of the point, or a usage problem naming the points the table holds.
std::optional<std::string> ChoosePoint(std::vector<CycleRun>& runs, std::int64_t point, const std::string& source) {
  std::vector<CycleRun> chosen;
  for (CycleRun& run : runs) {
    if (run.point == point) chosen.push_back(std::move(run));
  }
  if (chosen.empty()) {
    return "--point " + std::to_string(point) + ": " + source + " holds " + PointsHeldText(runs) +
           "; give --point with one of them";
  }
  runs = std::move(chosen);
  return std::nullopt;
}

int PlotCycleTable(const std::string& text, const TablePictureRequest& request, CliStreams& io) {
  std::vector<CycleRun> runs;
  if (std::optional<std::string> problem = ReadCycleRuns(text, runs)) {
    PrintProblem(io, "cannot plot " + request.source + ": " + *problem);
    io.err << "Nothing was written.\n";
    return ExitFailure;
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

TableKind KindOfTable(const std::string& text) {
  const PointTableText table = ReadPointTable(text.substr(0, std::min<std::size_t>(text.size(), 4096)));
  const std::vector<std::string>& header = table.header;
  if (header.empty()) return TableKind::Other;
  if (header[0] == "point" && IndexOf(header, "replicate") < header.size() && IndexOf(header, "status") < header.size()) {
    return TableKind::Points;
  }
  if (header == std::vector<std::string>{"point", "replicate", "cycle", "female", "herm", "male", "aborted"}) {
    return TableKind::Cycles;
  }
  if (header == std::vector<std::string>{"output", "factor", "mu", "muStar", "muStarLow", "muStarHigh", "sigma",
                                         "effects"}) {
    return TableKind::Morris;
  }
  if (header == std::vector<std::string>{"output", "factor", "first", "firstLow", "firstHigh", "total", "totalLow",
                                         "totalHigh", "samples"}) {
    return TableKind::Sobol;
  }
  return TableKind::Other;
}

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
