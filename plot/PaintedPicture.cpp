#include "plot/PaintedPicture.h"

#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>

#include <QBuffer>
#include <QFontMetricsF>
#include <QImage>
#include <QImageWriter>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>

#include "platform/FileError.h"
#include "platform/FileIO.h"
#include "plot/CyclePlot.h"
#include "plot/TablePicture.h"

namespace varnolt {

namespace {

// Where SavePainted puts a picture while PictureBytes draws one on this thread.
thread_local std::string* capturedBytes = nullptr;

}  // namespace

std::optional<std::string> PictureBytes(
    const std::function<std::optional<std::string>(const std::filesystem::path&)>& write, PictureFormat format,
    std::string& bytes) {
  bytes.clear();
  std::string* const outer = capturedBytes;
  capturedBytes = &bytes;
  std::optional<std::string> failure;
  try {
    failure = write(format == PictureFormat::Svg ? "picture.svg" : "picture.png");
  } catch (...) {
    capturedBytes = outer;
    throw;
  }
  capturedBytes = outer;
  return failure;
}

bool CapturePicture(std::string_view bytes) {
  if (capturedBytes == nullptr) return false;
  capturedBytes->assign(bytes);
  return true;
}

std::optional<std::string> SavePainted(const std::filesystem::path& path, PictureSize size, const std::string& title,
                                       const std::function<void(QPainter&, const QRectF&)>& paint) {
  const std::optional<PictureFormat> format = PictureFormatOf(path);
  if (!format) return "a picture's name must end in .png or .svg";
  const QSize pixels(size.width, size.height);
  const QRectF area(QPointF(0, 0), QSizeF(pixels));
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  if (*format == PictureFormat::Svg) {
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(pixels);
    svg.setViewBox(area);
    svg.setTitle(QStringLiteral("VARNOLT experiment"));
    // Written into the XML as it is: a "&" or "<" in the notes would spoil the file.
    svg.setDescription(QString::fromStdString(title).toHtmlEscaped());
    QPainter painter(&svg);
    paint(painter, area);
  } else {
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
      QPainter painter(&image);
      painter.setRenderHint(QPainter::Antialiasing);
      paint(painter, area);
    }
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) return writer.errorString().toStdString();
  }
  buffer.close();
  const QByteArray& bytes = buffer.data();
  if (CapturePicture(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) return std::nullopt;
  if (const std::optional<FileError> error =
          ReplaceFileContents(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
    return FileErrorText(*error);
  }
  return std::nullopt;
}

QColor ScaleColour(double t) {
  t = std::clamp(t, 0.0, 1.0);
  const QColor stops[] = {QColor(0x44, 0x01, 0x54), QColor(0x3b, 0x52, 0x8b), QColor(0x21, 0x90, 0x8c),
                          QColor(0x5d, 0xc8, 0x63), QColor(0xfd, 0xe7, 0x25)};
  const double at = t * 4;
  const int i = std::min(3, static_cast<int>(at));
  const double f = at - i;
  return QColor::fromRgbF(static_cast<float>(stops[i].redF() * (1 - f) + stops[i + 1].redF() * f),
                          static_cast<float>(stops[i].greenF() * (1 - f) + stops[i + 1].greenF() * f),
                          static_cast<float>(stops[i].blueF() * (1 - f) + stops[i + 1].blueF() * f));
}

QColor SeriesColour(std::size_t index) {
  // Twelve that stay apart, so that a legend of up to twelve lines tells each.
  static const QColor colours[] = {QColor(0xc0, 0x39, 0x2b), QColor(0x88, 0x4e, 0xa0), QColor(0x21, 0x61, 0x9c),
                                   QColor(0x7f, 0x8c, 0x8d), QColor(0x27, 0xae, 0x60), QColor(0xd3, 0x54, 0x00),
                                   QColor(0x17, 0xbe, 0xcf), QColor(0xe3, 0x77, 0xc2), QColor(0x8c, 0x56, 0x4b),
                                   QColor(0xbc, 0xbd, 0x22), QColor(0x1f, 0x3a, 0x5f), QColor(0xff, 0x7f, 0x0e)};
  return colours[index % std::size(colours)];
}

QFont PictureFont(const QRectF& area) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(std::max(10, static_cast<int>(std::min(area.height(), area.width() * 0.75) / 50)));
  return font;
}

double PaintTitle(QPainter& painter, const QRectF& area, const QString& title) {
  QFont font = PictureFont(area);
  font.setPixelSize(font.pixelSize() + 2);
  const QFontMetricsF metrics(font);
  const double line = metrics.height();
  const QStringList lines = TitleLines(title, font, static_cast<int>(area.width() - 2 * line));
  painter.save();
  painter.setFont(font);
  painter.setPen(Qt::black);
  double y = area.top() + line / 2;
  for (const QString& text : lines) {
    painter.drawText(QRectF(area.left() + line, y, area.width() - 2 * line, line), Qt::AlignHCenter | Qt::AlignTop,
                     text);
    y += line;
  }
  painter.restore();
  return y + line / 2;
}

QString ValueLabel(double value) {
  if (std::abs(value) < 1e-12) value = 0;  // no "-0" or "1e-17" at a tick meant as zero
  return QString::number(value, 'g', 6);
}

namespace {

// Round ticks from low to high, about `count` of them.
std::vector<double> TicksOver(double low, double high, int count) {
  const double step = RoundTickStep(low, high, count, 1e-12);
  std::vector<double> ticks;
  for (double t = std::ceil(low / step - 1e-9) * step; t <= high + step * 1e-9; t += step) ticks.push_back(t);
  return ticks;
}

}  // namespace

ValueFrame::ValueFrame(const QRectF& outer, double xLow, double xHigh, double yLow, double yHigh, const QFont& font)
    : xLow_(xLow), xHigh_(xHigh > xLow ? xHigh : xLow + 1), yLow_(yLow), yHigh_(yHigh > yLow ? yHigh : yLow + 1),
      font_(font) {
  const QFontMetricsF metrics(font);
  const double line = metrics.height();
  double labelWidth = 0;
  for (double t : TicksOver(yLow_, yHigh_, 6)) labelWidth = std::max(labelWidth, metrics.horizontalAdvance(ValueLabel(t)));
  labelWidth_ = labelWidth;
  plot_ = QRectF(outer.left() + 1.5 * line + labelWidth + line / 2, outer.top() + line / 2,
                 outer.width() - 2 * line - labelWidth - line, outer.height() - 3 * line);
}

double ValueFrame::X(double x) const { return plot_.left() + (x - xLow_) / (xHigh_ - xLow_) * plot_.width(); }
double ValueFrame::Y(double y) const { return plot_.bottom() - (y - yLow_) / (yHigh_ - yLow_) * plot_.height(); }
QPointF ValueFrame::At(double x, double y) const { return {X(x), Y(y)}; }

void ValueFrame::Paint(QPainter& painter, const QString& xTitle, const QString& yTitle) const {
  PaintAxes(painter, nullptr, xTitle, yTitle);
}

void ValueFrame::PaintCategories(QPainter& painter, const QStringList& names, const QString& yTitle) const {
  PaintAxes(painter, &names, QString(), yTitle);
}

void ValueFrame::PaintAxes(QPainter& painter, const QStringList* categories, const QString& xTitle,
                           const QString& yTitle) const {
  painter.save();
  painter.setFont(font_);
  const QFontMetricsF metrics(font_);
  const double line = metrics.height();
  const QPen grid(QColor(0xdd, 0xdd, 0xdd), 1);
  const QPen ink(Qt::black, 1);
  const int xCount = std::clamp(static_cast<int>(plot_.width() / (6 * line)), 2, 10);
  const int yCount = std::clamp(static_cast<int>(plot_.height() / (3 * line)), 2, 8);
  if (categories != nullptr) {
    // Every name while they fit, else every n-th, elided to its room.
    const double room = plot_.width() / std::max<qsizetype>(1, categories->size());
    qsizetype every = 1;
    while (every < categories->size() && room * every < 3 * line) ++every;
    painter.setPen(ink);
    for (qsizetype i = 0; i < categories->size(); i += every) {
      const QString name = metrics.elidedText((*categories)[i], Qt::ElideRight, room * every - line / 4);
      if (name != (*categories)[i]) ReportCutText(name.toStdString());
      painter.drawText(QRectF(X(i + 0.5) - room * every / 2, plot_.bottom() + line / 4, room * every, line),
                       Qt::AlignHCenter | Qt::AlignTop, name);
    }
  }
  for (double t : categories != nullptr ? std::vector<double>{} : TicksOver(xLow_, xHigh_, xCount)) {
    painter.setPen(grid);
    painter.drawLine(QPointF(X(t), plot_.top()), QPointF(X(t), plot_.bottom()));
    painter.setPen(ink);
    painter.drawText(QRectF(X(t) - 4 * line, plot_.bottom() + line / 4, 8 * line, line), Qt::AlignHCenter | Qt::AlignTop,
                     ValueLabel(t));
  }
  for (double t : TicksOver(yLow_, yHigh_, yCount)) {
    painter.setPen(grid);
    painter.drawLine(QPointF(plot_.left(), Y(t)), QPointF(plot_.right(), Y(t)));
    painter.setPen(ink);
    painter.drawText(QRectF(plot_.left() - 10 * line, Y(t) - line / 2, 10 * line - line / 3, line),
                     Qt::AlignRight | Qt::AlignVCenter, ValueLabel(t));
  }
  painter.setPen(ink);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(plot_);
  painter.drawText(QRectF(plot_.left(), plot_.bottom() + 1.3 * line, plot_.width(), line), Qt::AlignHCenter, xTitle);
  painter.translate(plot_.left() - labelWidth_ - line / 2, plot_.center().y());
  painter.rotate(-90);
  painter.drawText(QRectF(-plot_.height() / 2, -line, plot_.height(), line * 1.2), Qt::AlignHCenter, yTitle);
  painter.restore();
}

void ReportCutChartTexts(const QGraphicsScene& scene) {
  for (QGraphicsItem* item : scene.items()) {
    if (!item->isVisible()) continue;
    QString text;
    if (auto* rich = dynamic_cast<QGraphicsTextItem*>(item)) text = rich->toPlainText();
    if (auto* simple = dynamic_cast<QGraphicsSimpleTextItem*>(item)) text = simple->text();
    if (text.contains(QStringLiteral("...")) || text.contains(QChar(0x2026))) ReportCutText(text.toStdString());
  }
}

}  // namespace varnolt
