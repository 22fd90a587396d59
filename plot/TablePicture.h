#pragma once
// Pictures of the tables the experiments write, PNG or SVG: a statistic against
// one varied setting, a heat map over two, Morris screening (mu* against sigma),
// Sobol indices (bars per factor) and the cycles of a per-cycle table. The plots
// are plain records, so that any caller (the runner, the window) fills them from
// its own reading of a table. Plain C++ so that the runner can include it; the
// drawing renders offscreen and needs no display.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "plot/PictureFile.h"

namespace varnolt {

// One statistic against the varied setting: every replicate's value as a point,
// and per setting value the replicates' mean with its 95 % interval as a band.
struct StatisticSeries {
  std::string name;
  std::vector<double> pointX, pointY;          // the replicates
  std::vector<double> x, mean, low, high;      // per setting value, in order of x
};

struct SettingPlot {
  std::string setting;                   // the horizontal axis
  std::vector<StatisticSeries> series;   // drawn on one vertical axis
  std::vector<double> refusedX;          // setting values whose runs a rule refused
};

// A statistic over two varied settings: the replicates' mean of each cell, or a
// cell a rule refused (marked), or a cell with no value (left empty).
struct HeatMapPlot {
  std::string xSetting, ySetting, statistic;
  std::vector<double> xs, ys;                // the settings' values, in order
  std::vector<std::optional<double>> means;  // xs.size() * ys.size(), row y, column x
  std::vector<bool> refused;                 // the same cells
};

// Morris screening of one output: per factor its mu* with the 95 % interval, and
// sigma. Drawn as mu* across, sigma up, each factor labelled.
struct MorrisFactor {
  std::string name;
  double muStar = 0.0, muStarLow = 0.0, muStarHigh = 0.0, sigma = 0.0;
};
struct MorrisPanel {
  std::string statistic;
  std::vector<MorrisFactor> factors;
};

// Sobol indices of one output: per factor the first-order (S1) and total (ST)
// index with their 95 % intervals; an output that does not vary has none.
struct SobolFactor {
  std::string name;
  double first = 0.0, firstLow = 0.0, firstHigh = 0.0;
  double total = 0.0, totalLow = 0.0, totalHigh = 0.0;
};
struct SobolPanel {
  std::string statistic;
  bool varies = true;  // false: the output does not vary, and has no indices
  std::vector<SobolFactor> factors;
};

// Series of a per-cycle table, each a run's values cycle after cycle (values[0]
// is cycle 1), drawn on one axis.
struct CycleLine {
  std::string name;  // "point 3", "point 3 replicate 2"
  std::vector<double> values;
};
struct CycleLinesPlot {
  std::string quantity;  // the vertical axis: "% female"
  std::vector<CycleLine> lines;
};

// The offscreen application the runner's pictures are drawn in, made once.
void EnsurePictureApplication();

// Replace the file at path with the picture, titled `title`; on failure answer why
// (a file already there is then left as it was).
std::optional<std::string> WriteSettingPicture(const SettingPlot& plot, const std::filesystem::path& path,
                                               PictureSize size, const std::string& title);
std::optional<std::string> WriteHeatMapPicture(const HeatMapPlot& plot, const std::filesystem::path& path,
                                               PictureSize size, const std::string& title);
// One panel per output, side by side (in rows when there are many).
std::optional<std::string> WriteMorrisPicture(const std::vector<MorrisPanel>& panels,
                                              const std::filesystem::path& path, PictureSize size,
                                              const std::string& title);
std::optional<std::string> WriteSobolPicture(const std::vector<SobolPanel>& panels, const std::filesystem::path& path,
                                             PictureSize size, const std::string& title);
// Many lines are told apart by a colour scale from the first to the last; up to
// twelve by a legend.
std::optional<std::string> WriteCycleLinesPicture(const CycleLinesPlot& plot, const std::filesystem::path& path,
                                                  PictureSize size, const std::string& title);

// Draws a picture as one of the Write...Picture calls above does, `write`
// making that call with the path it is given, but hands the bytes of the PNG or
// SVG back instead of writing a file: the window shows the runner's pictures so.
std::optional<std::string> PictureBytes(
    const std::function<std::optional<std::string>(const std::filesystem::path&)>& write, PictureFormat format,
    std::string& bytes);

}  // namespace varnolt
