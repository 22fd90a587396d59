#include "plot/TablePicture.h"

#include <QAreaSeries>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QGraphicsLayout>
#include <QImage>
#include <QImageWriter>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <functional>

#include "platform/FileError.h"
#include "platform/FileIO.h"
#include "plot/PlotPicture.h"

namespace {

const QColor SeriesColours[] = {QColor(0xc0, 0x39, 0x2b), QColor(0x88, 0x4e, 0xa0), QColor(0x21, 0x61, 0x9c),
                                QColor(0x7f, 0x8c, 0x8d), QColor(0x27, 0xae, 0x60), QColor(0xd3, 0x54, 0x00)};

// Paints into a PNG or SVG of the given size: the file's bytes.
std::optional<std::string> Painted(PictureFormat format, PictureSize size, const std::string& title,
                                   const std::function<void(QPainter&, const QRectF&)>& paint, std::string& bytes) {
  const QSize pixels(size.width, size.height);
  const QRectF area(QPointF(0, 0), QSizeF(pixels));
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  if (format == PictureFormat::Svg) {
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(pixels);
    svg.setViewBox(area);
    svg.setTitle(QStringLiteral("VARNOLT experiment"));
    // Written into the XML as it is: a "&" or "<" would spoil the file.
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
  bytes.assign(buffer.data().constData(), static_cast<std::size_t>(buffer.data().size()));
  return std::nullopt;
}

// A picture drawn by `draw` (into bytes) replaces the file at path.
std::optional<std::string> WritePicture(
    const std::filesystem::path& path,
    const std::function<std::optional<std::string>(PictureFormat, std::string&)>& draw) {
  const std::optional<PictureFormat> format = PictureFormatOf(path);
  if (!format) return "a picture's name must end in .png or .svg";
  std::string bytes;
  if (std::optional<std::string> failure = draw(*format, bytes)) return failure;
  if (const std::optional<FileError> error = ReplaceFileContents(path, bytes)) return FileErrorText(*error);
  return std::nullopt;
}

// A chart laid out at the picture's size, rendered into its bytes.
std::optional<std::string> ChartPainted(QChartView& view, PictureFormat format, PictureSize size,
                                        const std::string& title, std::string& bytes) {
  QChart* chart = view.chart();
  view.resize(size.width, size.height);
  view.show();
  QCoreApplication::sendPostedEvents();
  chart->layout()->activate();
  return Painted(format, size, title, [&view, chart](QPainter& painter, const QRectF& area) {
    view.scene()->render(&painter, area, chart->geometry());
  }, bytes);
}

QLineSeries* LineOf(const std::vector<double>& x, const std::vector<double>& y) {
  auto* line = new QLineSeries;
  for (std::size_t i = 0; i < x.size(); ++i) line->append(x[i], y[i]);
  return line;
}

// A colour of the scale from low (0) to high (1): dark blue through green to yellow.
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

QString Label(double value) { return QString::number(value, 'g', 6); }

}  // namespace

std::optional<std::string> WriteSettingPicture(const SettingPlot& plot, const std::filesystem::path& path,
                                               PictureSize size, const std::string& title) {
  return WritePicture(path, [&](PictureFormat format, std::string& bytes) {
    return SettingPictureBytes(plot, format, size, title, bytes);
  });
}

std::optional<std::string> SettingPictureBytes(const SettingPlot& plot, PictureFormat format, PictureSize size,
                                               const std::string& title, std::string& bytes) {
  EnsurePictureApplication();
  QChartView view;
  view.setAttribute(Qt::WA_DontShowOnScreen);
  view.setRenderHint(QPainter::Antialiasing);
  QChart* chart = view.chart();
  chart->setTitle(QString::fromStdString(title).toHtmlEscaped());
  chart->setAnimationOptions(QChart::NoAnimation);
  auto* axisX = new QValueAxis;
  auto* axisY = new QValueAxis;
  axisX->setTitleText(QString::fromStdString(plot.setting));
  axisY->setTitleText(plot.series.size() == 1 ? QString::fromStdString(plot.series[0].name)
                                               : QStringLiteral("value"));
  chart->addAxis(axisX, Qt::AlignBottom);
  chart->addAxis(axisY, Qt::AlignLeft);
  double xMin = INFINITY, xMax = -INFINITY, yMin = INFINITY, yMax = -INFINITY;
  auto extend = [&](double x, double y) {
    xMin = std::min(xMin, x), xMax = std::max(xMax, x), yMin = std::min(yMin, y), yMax = std::max(yMax, y);
  };
  std::size_t colour = 0;
  for (const StatisticSeries& statistic : plot.series) {
    const QColor tint = SeriesColours[colour++ % std::size(SeriesColours)];
    for (std::size_t i = 0; i < statistic.x.size(); ++i) {
      extend(statistic.x[i], statistic.low[i]);
      extend(statistic.x[i], statistic.high[i]);
    }
    for (std::size_t i = 0; i < statistic.pointX.size(); ++i) extend(statistic.pointX[i], statistic.pointY[i]);
    auto* band = new QAreaSeries(LineOf(statistic.x, statistic.high), LineOf(statistic.x, statistic.low));
    band->setName(QString::fromStdString(statistic.name + " 95 % interval"));
    QColor fill = tint;
    fill.setAlphaF(0.2f);
    band->setBrush(fill);
    band->setPen(Qt::NoPen);
    auto* mean = LineOf(statistic.x, statistic.mean);
    mean->setName(QString::fromStdString(statistic.name + " (mean)"));
    mean->setPen(QPen(tint, 2));
    auto* replicates = new QScatterSeries;
    replicates->setName(QString::fromStdString(statistic.name + " replicates"));
    replicates->setMarkerSize(6);
    replicates->setColor(tint);
    replicates->setBorderColor(tint);
    for (std::size_t i = 0; i < statistic.pointX.size(); ++i) replicates->append(statistic.pointX[i], statistic.pointY[i]);
    for (QAbstractSeries* series : std::initializer_list<QAbstractSeries*>{band, mean, replicates}) {
      chart->addSeries(series);
      series->attachAxis(axisX);
      series->attachAxis(axisY);
    }
    for (QLegendMarker* marker : chart->legend()->markers(band)) marker->setVisible(false);
    for (QLegendMarker* marker : chart->legend()->markers(replicates)) marker->setVisible(false);
  }
  for (double x : plot.refusedX) extend(x, std::isfinite(yMin) ? yMin : 0.0);
  if (!std::isfinite(xMin)) xMin = 0, xMax = 1, yMin = 0, yMax = 1;
  if (xMax == xMin) xMin -= 1, xMax += 1;
  if (yMax == yMin) yMin -= 1, yMax += 1;
  const double pad = (yMax - yMin) * 0.05;
  axisX->setRange(xMin, xMax);
  axisY->setRange(yMin - pad, yMax + pad);
  if (!plot.refusedX.empty()) {
    auto* refused = new QScatterSeries;
    refused->setName(QStringLiteral("refused by a rule"));
    refused->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    refused->setMarkerSize(9);
    refused->setColor(Qt::black);
    for (double x : plot.refusedX) refused->append(x, yMin - pad);
    chart->addSeries(refused);
    refused->attachAxis(axisX);
    refused->attachAxis(axisY);
  }
  axisX->applyNiceNumbers();
  return ChartPainted(view, format, size, title, bytes);
}

std::optional<std::string> WriteHeatMapPicture(const HeatMapPlot& plot, const std::filesystem::path& path,
                                               PictureSize size, const std::string& title) {
  return WritePicture(path, [&](PictureFormat format, std::string& bytes) {
    return HeatMapPictureBytes(plot, format, size, title, bytes);
  });
}

std::optional<std::string> HeatMapPictureBytes(const HeatMapPlot& plot, PictureFormat format, PictureSize size,
                                               const std::string& title, std::string& bytes) {
  EnsurePictureApplication();
  double low = INFINITY, high = -INFINITY;
  for (const std::optional<double>& mean : plot.means) {
    if (mean) low = std::min(low, *mean), high = std::max(high, *mean);
  }
  if (!std::isfinite(low)) low = 0, high = 1;
  const double span = high > low ? high - low : 1.0;
  return Painted(format, size, title, [&](QPainter& painter, const QRectF& area) {
    painter.fillRect(area, Qt::white);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(std::max(10, static_cast<int>(area.height() / 50)));
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const double line = metrics.height();
    const QRectF titleBox(area.left() + line, area.top() + line / 2, area.width() - 2 * line, 2.5 * line);
    painter.setPen(Qt::black);
    painter.drawText(titleBox, Qt::AlignCenter | Qt::TextWordWrap, QString::fromStdString(title));
    double labelWidth = 0;
    for (double y : plot.ys) labelWidth = std::max(labelWidth, metrics.horizontalAdvance(Label(y)));
    const double scaleWidth = 5 * line + metrics.horizontalAdvance(Label(high)) +
                              metrics.horizontalAdvance(QString::fromStdString(plot.statistic));
    const QRectF grid(area.left() + labelWidth + 3 * line, titleBox.bottom() + line,
                      area.width() - labelWidth - 5 * line - scaleWidth, area.height() - titleBox.bottom() - 5 * line);
    const double cellW = grid.width() / std::max<std::size_t>(1, plot.xs.size());
    const double cellH = grid.height() / std::max<std::size_t>(1, plot.ys.size());
    for (std::size_t r = 0; r < plot.ys.size(); ++r) {
      for (std::size_t c = 0; c < plot.xs.size(); ++c) {
        const std::size_t i = r * plot.xs.size() + c;
        // The first value of y at the bottom, as on an axis.
        const QRectF cell(grid.left() + c * cellW, grid.bottom() - (r + 1) * cellH, cellW, cellH);
        if (plot.means[i]) {
          // a little over the cell, so that no seam shows between neighbours
          painter.fillRect(cell.adjusted(0, -0.5, 0.5, 0), ScaleColour((*plot.means[i] - low) / span));
        } else if (plot.refused[i]) {
          painter.fillRect(cell, QColor(0xee, 0xee, 0xee));
          painter.setPen(QPen(QColor(0x55, 0x55, 0x55), 1.5));
          const QRectF mark = cell.adjusted(cellW * 0.3, cellH * 0.3, -cellW * 0.3, -cellH * 0.3);
          painter.drawLine(mark.topLeft(), mark.bottomRight());
          painter.drawLine(mark.topRight(), mark.bottomLeft());
        }
      }
    }
    painter.setPen(Qt::black);
    painter.drawRect(grid);
    // Axis labels: every value while they fit, else every n-th.
    const std::size_t xEvery = std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(4 * line / cellW)));
    for (std::size_t c = 0; c < plot.xs.size(); c += xEvery) {
      painter.drawText(QRectF(grid.left() + c * cellW - line, grid.bottom() + line / 4, cellW + 2 * line, line),
                       Qt::AlignHCenter | Qt::AlignTop, Label(plot.xs[c]));
    }
    const std::size_t yEvery = std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(1.5 * line / cellH)));
    for (std::size_t r = 0; r < plot.ys.size(); r += yEvery) {
      painter.drawText(QRectF(area.left(), grid.bottom() - (r + 1) * cellH, grid.left() - line / 2 - area.left(), cellH),
                       Qt::AlignRight | Qt::AlignVCenter, Label(plot.ys[r]));
    }
    painter.drawText(QRectF(grid.left(), grid.bottom() + 1.5 * line, grid.width(), line), Qt::AlignHCenter,
                     QString::fromStdString(plot.xSetting));
    painter.save();
    painter.translate(area.left() + line, grid.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-grid.height() / 2, -line / 2, grid.height(), line * 1.2), Qt::AlignHCenter,
                     QString::fromStdString(plot.ySetting));
    painter.restore();
    // The colour scale, with the statistic's lowest and highest mean.
    const QRectF bar(grid.right() + 2 * line, grid.top(), 1.5 * line, grid.height());
    const int steps = 64;
    for (int s = 0; s < steps; ++s) {
      painter.fillRect(QRectF(bar.left(), bar.bottom() - (s + 1) * bar.height() / steps, bar.width(),
                              bar.height() / steps + 0.5),
                       ScaleColour((s + 0.5) / steps));
    }
    painter.drawRect(bar);
    painter.drawText(QPointF(bar.right() + line / 2, bar.top() + line * 0.8), Label(high));
    painter.drawText(QPointF(bar.right() + line / 2, bar.bottom()), Label(low));
    painter.drawText(QPointF(bar.right() + line / 2, bar.center().y()), QString::fromStdString(plot.statistic));
    if (std::find(plot.refused.begin(), plot.refused.end(), true) != plot.refused.end()) {
      painter.drawText(QRectF(grid.left(), grid.bottom() + 2.7 * line, grid.width(), line), Qt::AlignHCenter,
                       QStringLiteral("grey cells with a cross: refused by a rule"));
    }
  }, bytes);
}

std::optional<std::string> WriteMorrisPicture(const MorrisPlot& plot, const std::filesystem::path& path,
                                              PictureSize size, const std::string& title) {
  return WritePicture(path, [&](PictureFormat format, std::string& bytes) {
    return MorrisPictureBytes(plot, format, size, title, bytes);
  });
}

std::optional<std::string> MorrisPictureBytes(const MorrisPlot& plot, PictureFormat format, PictureSize size,
                                              const std::string& title, std::string& bytes) {
  EnsurePictureApplication();
  QChartView view;
  view.setAttribute(Qt::WA_DontShowOnScreen);
  view.setRenderHint(QPainter::Antialiasing);
  QChart* chart = view.chart();
  chart->setTitle(QString::fromStdString(title).toHtmlEscaped());
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->legend()->setAlignment(Qt::AlignRight);
  auto* axisX = new QValueAxis;
  auto* axisY = new QValueAxis;
  axisX->setTitleText(QString::fromStdString("mu* of " + plot.statistic + " (per whole range)"));
  axisY->setTitleText(QStringLiteral("sigma"));
  chart->addAxis(axisX, Qt::AlignBottom);
  chart->addAxis(axisY, Qt::AlignLeft);
  double xMax = 0, yMax = 0;
  for (std::size_t f = 0; f < plot.factors.size(); ++f) {
    if (std::isnan(plot.muStar[f]) || std::isnan(plot.sigma[f])) continue;
    xMax = std::max({xMax, plot.muStar[f], std::isnan(plot.muStarHigh[f]) ? 0.0 : plot.muStarHigh[f]});
    yMax = std::max(yMax, plot.sigma[f]);
  }
  if (xMax <= 0) xMax = 1;
  if (yMax <= 0) yMax = 1;
  // sigma = mu*: above it a factor acts mostly through interactions or bends.
  auto* diagonal = new QLineSeries;
  diagonal->setName(QStringLiteral("sigma = mu*"));
  diagonal->setPen(QPen(QColor(0x99, 0x99, 0x99), 1, Qt::DashLine));
  const double reach = std::max(xMax, yMax) * 1.1;
  diagonal->append(0, 0);
  diagonal->append(reach, reach);
  chart->addSeries(diagonal);
  diagonal->attachAxis(axisX);
  diagonal->attachAxis(axisY);
  for (std::size_t f = 0; f < plot.factors.size(); ++f) {
    if (std::isnan(plot.muStar[f]) || std::isnan(plot.sigma[f])) continue;
    const QColor tint = SeriesColours[f % std::size(SeriesColours)];
    if (!std::isnan(plot.muStarLow[f]) && !std::isnan(plot.muStarHigh[f])) {
      auto* interval = new QLineSeries;
      interval->append(plot.muStarLow[f], plot.sigma[f]);
      interval->append(plot.muStarHigh[f], plot.sigma[f]);
      interval->setPen(QPen(tint, 2));
      chart->addSeries(interval);
      interval->attachAxis(axisX);
      interval->attachAxis(axisY);
      for (QLegendMarker* marker : chart->legend()->markers(interval)) marker->setVisible(false);
    }
    auto* point = new QScatterSeries;
    point->setName(QString::fromStdString(plot.factors[f]));
    point->setMarkerSize(10);
    point->setColor(tint);
    point->setBorderColor(tint.darker(130));
    point->append(plot.muStar[f], plot.sigma[f]);
    point->setPointLabelsVisible(true);
    point->setPointLabelsFormat(QString::fromStdString(plot.factors[f]));
    point->setPointLabelsClipping(false);
    chart->addSeries(point);
    point->attachAxis(axisX);
    point->attachAxis(axisY);
  }
  axisX->setRange(0, xMax * 1.15);
  axisY->setRange(0, yMax * 1.15);
  axisX->applyNiceNumbers();
  axisY->applyNiceNumbers();
  return ChartPainted(view, format, size, title, bytes);
}
