#include "cli/TablePictures.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>

#include "cli/Messages.h"
#include "experiments/Experiments.h"
#include "platform/CsvText.h"
#include "platform/FileIO.h"
#include "plot/TablePicture.h"
#include "settings/RunSettings.h"

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

bool IsPointTable(const std::string& text) {
  const PointTableText table = ReadPointTable(text.substr(0, std::min<std::size_t>(text.size(), 4096)));
  return !table.header.empty() && table.header[0] == "point" &&
         IndexOf(table.header, "replicate") < table.header.size() &&
         IndexOf(table.header, "status") < table.header.size();
}

int PlotPointTable(const std::string& text, const std::string& source, const std::string& picture, PictureSize size,
                   const std::optional<std::string>& statistic, CliStreams& io) {
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

  std::string title = std::filesystem::path(PathFromUtf8(source)).filename().string() + ": ";
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
    title += Joined(names) + " against " + plot.setting;
    if (!seed.empty()) title += ", seed " + seed;
    failure = WriteSettingPicture(plot, target, size, title);
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
    title += plot.statistic + " over " + plot.xSetting + " and " + plot.ySetting + " (mean of the replicates)";
    if (!seed.empty()) title += ", seed " + seed;
    failure = WriteHeatMapPicture(plot, target, size, title);
  }
  if (failure) {
    PrintProblem(io, "cannot write the picture to " + picture + ": " + RunnerText(WithTypedPath(*failure, picture)));
    io.err << "Any earlier file there is unchanged.\n";
    return ExitFailure;
  }
  io.out << "Plotted " << rowsRead << (rowsRead == 1 ? " row" : " rows") << " of " << source << " into " << picture
         << ".\n";
  return ExitSuccess;
}
