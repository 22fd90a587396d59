#pragma once
// What names a picture file and its size, read the same way by the window's
// Plot page and the runner's --plot-size, with or without the drawing toolkit.
// Plain C++.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace varnolt {

struct PictureSize {
  int width = 1600;
  int height = 900;
};
inline constexpr int MinPictureSide = 100;
inline constexpr int MaxPictureSide = 20000;

// "WxH" (also "W x H", or with a capital X), each side a whole number from 100
// to 20,000 pixels. On bad text answers what is wrong and leaves size as it was.
std::optional<std::string> ParsePictureSize(const std::string& text, PictureSize& size);

// The picture's format, by the file's extension (.png or .svg, any case); nothing
// for another extension.
enum class PictureFormat { Png, Svg };
std::optional<PictureFormat> PictureFormatOf(const std::filesystem::path& path);

// Texts a picture drawn on this thread had to cut short for want of room
// ("Herm..."): while a watcher is set, each is handed to it, so that the
// places pictures are shown in can be checked for room. None stops watching.
void WatchCutTexts(std::function<void(const std::string& text)> watcher);
void ReportCutText(const std::string& text);

}  // namespace varnolt
