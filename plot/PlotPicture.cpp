#include "plot/PlotPicture.h"

#include <QApplication>
#include <algorithm>
#include <clocale>

#include "platform/FileError.h"
#include "plot/CyclePlot.h"
#include "plot/TablePicture.h"
#include "results/CycleAnalysis.h"

namespace varnolt {

namespace {

// The runner has no window of its own: pictures are drawn on the offscreen
// platform, with Qt's chatter about it kept off the runner's output.
void EnsureApplication() {
  if (QApplication::instance()) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) fprintf(stderr, "varnolt-cli: %s\n", qPrintable(message));
  });
  static int argc = 1;
  static char name[] = "varnolt-cli";
  static char* argv[] = {name, nullptr};
  static QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");  // QApplication takes the user's locale
}

}  // namespace

void EnsurePictureApplication() { EnsureApplication(); }

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
  CyclePlotView::Observed residuals;
  for (std::size_t s = 0; s < residuals.size(); ++s) {
    for (const auto& [cycle, residual] : picture.residuals[s]) residuals[s].push_back(QPointF(cycle, residual));
  }
  view.SetResiduals(residuals);
  view.SetResidualsOnly(picture.residualsOnly);
  view.SetShaded(picture.heldOut, QStringLiteral("held out of the fit"));
  // From the census's first cycle: the cycles before it were not observed.
  double first = 0;
  for (const auto& series : picture.observed) {
    for (const auto& point : series) first = first == 0 ? point.first : std::min(first, point.first);
  }
  if (first > 1 && first < static_cast<double>(picture.cycles.size())) {
    view.SetVisibleCycles(first, static_cast<double>(picture.cycles.size()));
  }
  const QString failure = view.SavePicture(QString::fromStdString(PathToUtf8(path)), QSize(size.width, size.height),
                                           QString::fromStdString(picture.title));
  if (!failure.isEmpty()) return failure.toStdString();
  return std::nullopt;
}

std::optional<std::string> DrawingProblem() { return std::nullopt; }

}  // namespace varnolt
