// A build without the window toolkit, or without Qt Charts: the runner (and the
// window) know the picture options but cannot draw.
#include "plot/PlotPicture.h"
#include "plot/TablePicture.h"

namespace varnolt {

namespace {
#ifdef VARNOLT_WITHOUT_CHARTS
const char* const CannotDraw = "this build of VARNOLT has no Qt Charts and cannot draw pictures";
#else
const char* const CannotDraw = "this varnolt-cli was built without the window toolkit and cannot draw pictures";
#endif
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

std::optional<std::string> WriteMorrisPicture(const std::vector<MorrisPanel>&, const std::filesystem::path&,
                                              PictureSize, const std::string&) {
  return CannotDraw;
}

std::optional<std::string> WriteSobolPicture(const std::vector<SobolPanel>&, const std::filesystem::path&,
                                             PictureSize, const std::string&) {
  return CannotDraw;
}

std::optional<std::string> WriteCycleLinesPicture(const CycleLinesPlot&, const std::filesystem::path&, PictureSize,
                                                  const std::string&) {
  return CannotDraw;
}

std::optional<std::string> WriteFitPicture(const FitPicture&, const std::filesystem::path&, PictureSize) {
  return CannotDraw;
}

std::optional<std::string> PictureBytes(const std::function<std::optional<std::string>(const std::filesystem::path&)>&,
                                        PictureFormat, std::string&) {
  return CannotDraw;
}

std::optional<std::string> DrawingProblem() { return CannotDraw; }

}  // namespace varnolt
