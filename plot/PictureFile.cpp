#include "plot/PictureFile.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "platform/WholeNumbers.h"

namespace varnolt {

namespace {

std::optional<int> ReadSide(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  const std::optional<int> side = ReadWholeNumber<int>(text);
  if (!side || *side < MinPictureSide || *side > MaxPictureSide) return std::nullopt;
  return side;
}

}  // namespace

std::optional<std::string> ParsePictureSize(const std::string& text, PictureSize& size) {
  const std::size_t x = text.find_first_of("xX");
  const std::optional<int> width = x == std::string::npos ? std::nullopt : ReadSide(std::string_view(text).substr(0, x));
  const std::optional<int> height = x == std::string::npos ? std::nullopt : ReadSide(std::string_view(text).substr(x + 1));
  if (!width || !height) {
    return "\"" + text + "\" is no picture size: give it as WIDTHxHEIGHT in pixels, each from " +
           std::to_string(MinPictureSide) + " to " + std::to_string(MaxPictureSide) + ", for example 1600x900";
  }
  size = {*width, *height};
  return std::nullopt;
}

std::optional<PictureFormat> PictureFormatOf(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".png") return PictureFormat::Png;
  if (extension == ".svg") return PictureFormat::Svg;
  return std::nullopt;
}

namespace {
thread_local std::function<void(const std::string&)> cutTextWatcher;
}  // namespace

void WatchCutTexts(std::function<void(const std::string& text)> watcher) { cutTextWatcher = std::move(watcher); }

void ReportCutText(const std::string& text) {
  if (cutTextWatcher) cutTextWatcher(text);
}

}  // namespace varnolt
