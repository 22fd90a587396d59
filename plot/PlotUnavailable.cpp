// A build without the window toolkit: the runner knows the picture options but
// cannot draw.
#include "plot/PlotPicture.h"
#include "plot/TablePicture.h"

namespace {
const char* const CannotDraw = "this varnolt-cli was built without the window toolkit and cannot draw pictures";
}

void EnsurePictureApplication() {}

std::optional<std::string> WriteSettingPicture(const SettingPlot&, const std::filesystem::path&, PictureSize,
                                               const std::string&) {
  return CannotDraw;
}

std::optional<std::string> WriteHeatMapPicture(const HeatMapPlot&, const std::filesystem::path&, PictureSize,
                                               const std::string&) {
  return CannotDraw;
}

std::optional<std::string> WritePlotPicture(std::span<const CycleResult>, const std::filesystem::path&,
                                            PictureSize) {
  return CannotDraw;
}

std::optional<std::string> WriteMorrisPicture(const MorrisPlot&, const std::filesystem::path&, PictureSize,
                                              const std::string&) {
  return CannotDraw;
}

std::optional<std::string> SettingPictureBytes(const SettingPlot&, PictureFormat, PictureSize, const std::string&,
                                               std::string&) {
  return CannotDraw;
}

std::optional<std::string> HeatMapPictureBytes(const HeatMapPlot&, PictureFormat, PictureSize, const std::string&,
                                               std::string&) {
  return CannotDraw;
}

std::optional<std::string> MorrisPictureBytes(const MorrisPlot&, PictureFormat, PictureSize, const std::string&,
                                              std::string&) {
  return CannotDraw;
}
