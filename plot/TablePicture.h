#pragma once
// Pictures of an experiment's table (a sweep or a batch design), PNG or SVG: a
// statistic against one varied setting, or a heat map over two. Plain C++ so that
// the runner can include it; the drawing renders offscreen and needs no display.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "plot/PictureFile.h"

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

// Morris screening of one statistic: each factor's mu* (with its 95 % interval)
// against its sigma, both per whole range of the factor.
struct MorrisPlot {
  std::string statistic;
  std::vector<std::string> factors;
  std::vector<double> muStar, muStarLow, muStarHigh, sigma;  // per factor; NaN when it has no effects
};

// The offscreen application the runner's pictures are drawn in, made once.
void EnsurePictureApplication();

// Replace the file at path with the picture, titled `title`; on failure answer why
// (a file already there is then left as it was).
std::optional<std::string> WriteSettingPicture(const SettingPlot& plot, const std::filesystem::path& path,
                                               PictureSize size, const std::string& title);
std::optional<std::string> WriteHeatMapPicture(const HeatMapPlot& plot, const std::filesystem::path& path,
                                               PictureSize size, const std::string& title);
std::optional<std::string> WriteMorrisPicture(const MorrisPlot& plot, const std::filesystem::path& path,
                                              PictureSize size, const std::string& title);

// The same pictures as the bytes of a PNG or SVG file, for a window that shows
// them; on failure answers why.
std::optional<std::string> SettingPictureBytes(const SettingPlot& plot, PictureFormat format, PictureSize size,
                                               const std::string& title, std::string& bytes);
std::optional<std::string> HeatMapPictureBytes(const HeatMapPlot& plot, PictureFormat format, PictureSize size,
                                               const std::string& title, std::string& bytes);
std::optional<std::string> MorrisPictureBytes(const MorrisPlot& plot, PictureFormat format, PictureSize size,
                                              const std::string& title, std::string& bytes);
