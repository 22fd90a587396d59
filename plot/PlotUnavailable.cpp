// A build without the window toolkit: the runner knows the picture options but
// cannot draw.
#include "plot/PlotPicture.h"

std::optional<std::string> WritePlotPicture(std::span<const CycleResult>, const std::filesystem::path&,
                                            PictureSize) {
  return "this varnolt-cli was built without the window toolkit and cannot draw pictures";
}

std::optional<std::string> WriteFitPicture(const FitPicture&, const std::filesystem::path&, PictureSize) {
  return "this varnolt-cli was built without the window toolkit and cannot draw pictures";
}
