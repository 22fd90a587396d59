#pragma once
// What the pictures painted by hand (heat maps, screening, indices, cycle lines)
// share: the file they go to, their colours, their fonts and their axes. Inside
// plot/ only.

#include <QColor>
#include <QFont>
#include <QGraphicsScene>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "plot/PictureFile.h"

namespace varnolt {

// Paints into a PNG or SVG of the given size and replaces the file at path; on
// failure answers why (a file already there is then left as it was).
std::optional<std::string> SavePainted(const std::filesystem::path& path, PictureSize size, const std::string& title,
                                       const std::function<void(QPainter&, const QRectF&)>& paint);

// While PictureBytes draws a picture on this thread, takes the picture's bytes
// in place of the file and answers true; the picture's writer then writes nothing.
bool CapturePicture(std::string_view bytes);

// A colour of the scale from low (0) to high (1): dark blue through green to yellow.
QColor ScaleColour(double t);

// The colours of distinct series, in turn.
QColor SeriesColour(std::size_t index);

// The text font of a painted picture, in proportion to its height.
QFont PictureFont(const QRectF& area);

// The title, wrapped, at the top of the area; answers its bottom.
double PaintTitle(QPainter& painter, const QRectF& area, const QString& title);

// A value axis pair over a plot rectangle: maps values to the painting, and
// paints round ticks, their labels, the frame and the axes' titles.
class ValueFrame {
 public:
  // `outer` holds the frame with its tick labels and titles.
  ValueFrame(const QRectF& outer, double xLow, double xHigh, double yLow, double yHigh, const QFont& font);
  QPointF At(double x, double y) const;
  double X(double x) const;
  double Y(double y) const;
  const QRectF& Plot() const { return plot_; }
  void Paint(QPainter& painter, const QString& xTitle, const QString& yTitle) const;
  // The same with a name under each whole step across (categories at 0.5, 1.5, ...)
  // instead of value ticks.
  void PaintCategories(QPainter& painter, const QStringList& names, const QString& yTitle) const;

 private:
  void PaintAxes(QPainter& painter, const QStringList* categories, const QString& xTitle, const QString& yTitle) const;

  QRectF plot_;
  double xLow_, xHigh_, yLow_, yHigh_;
  double labelWidth_ = 0;
  QFont font_;
};

// Reports every text of the chart's scene that Qt Charts cut short ("...").
void ReportCutChartTexts(const QGraphicsScene& scene);

// A value formatted for a label, in at most six significant digits.
QString ValueLabel(double value);

}  // namespace varnolt
