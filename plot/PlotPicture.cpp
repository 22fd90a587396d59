#include "plot/PlotPicture.h"

#include <QApplication>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <clocale>

#include "platform/FileError.h"
#include "plot/CyclePlot.h"
#include "results/CycleAnalysis.h"

namespace {

// The runner has no window of its own: pictures are drawn on the offscreen
// platform, with Qt's chatter about it kept off the runner's output.
void EnsureApplication() {
  if (QApplication::instance()) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) fprintf(stderr, "%s\n", qPrintable(message));
  });
  static int argc = 1;
  static char name[] = "varnolt-cli";
  static char* argv[] = {name, nullptr};
  static QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");  // QApplication takes the user's locale
}

std::optional<int> ReadSide(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  int value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::string> ParsePictureSize(const std::string& text, PictureSize& size) {
  const std::string problem = "\"" + text + "\" is no picture size: give it as WIDTHxHEIGHT in pixels, each from " +
                              std::to_string(MinPictureSide) + " to " + std::to_string(MaxPictureSide) +
                              ", for example 1600x900";
  const std::size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return problem;
  const std::optional<int> width = ReadSide(std::string_view(text).substr(0, x));
  const std::optional<int> height = ReadSide(std::string_view(text).substr(x + 1));
  auto fits = [](std::optional<int> side) { return side && *side >= MinPictureSide && *side <= MaxPictureSide; };
  if (!fits(width) || !fits(height)) return problem;
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

std::optional<std::string> WritePlotPicture(std::span<const CycleResult> cycles, const std::filesystem::path& path,
                                            PictureSize size) {
  if (!PictureFormatOf(path)) return "a picture's name must end in .png or .svg";
  EnsureApplication();
  CyclePlotView view;
  view.SetCycles(cycles);
  const QString name = QString::fromStdString(PathToUtf8(path));
  const QString failure =
      view.SavePicture(name, QSize(size.width, size.height), QString::fromStdString(AnalysisLine(AnalyseCycles(cycles))));
  if (!failure.isEmpty()) return failure.toStdString();
  return std::nullopt;
}

std::optional<std::string> WriteFitPicture(const FitPicture& picture, const std::filesystem::path& path,
                                           PictureSize size) {
  if (!PictureFormatOf(path)) return "a picture's name must end in .png or .svg";
  EnsureApplication();
  CyclePlotView view;
  view.SetCycles(picture.cycles);
  CyclePlotView::Observed observed;
  for (std::size_t s = 0; s < observed.size(); ++s) {
    for (const auto& [cycle, percent] : picture.observed[s]) observed[s].push_back(QPointF(cycle, percent));
  }
  view.SetObserved(observed);
  const QString failure = view.SavePicture(QString::fromStdString(PathToUtf8(path)), QSize(size.width, size.height),
                                           QString::fromStdString(picture.title));
  if (!failure.isEmpty()) return failure.toStdString();
  return std::nullopt;
}
