// A build without the window toolkit: the runner knows the picture options but
// cannot draw.
#include "plot/PlotPicture.h"

std::optional<std::string> ParsePictureSize(const std::string& text, PictureSize& size) {
  const std::size_t x = text.find_first_of("xX");
  try {
    if (x != std::string::npos) {
      size = {std::stoi(text.substr(0, x)), std::stoi(text.substr(x + 1))};
      return std::nullopt;
    }
  } catch (const std::exception&) {
  }
  return "\"" + text + "\" is no picture size: give it as WIDTHxHEIGHT, for example 1600x900";
}

std::optional<PictureFormat> PictureFormatOf(const std::filesystem::path& path) {
  if (path.extension() == ".png") return PictureFormat::Png;
  if (path.extension() == ".svg") return PictureFormat::Svg;
  return std::nullopt;
}

std::optional<std::string> WritePlotPicture(std::span<const CycleResult>, const std::filesystem::path&,
                                            PictureSize) {
  return "this varnolt-cli was built without the window toolkit and cannot draw pictures";
}

std::optional<std::string> WriteFitPicture(const FitPicture&, const std::filesystem::path&, PictureSize) {
  return "this varnolt-cli was built without the window toolkit and cannot draw pictures";
}
