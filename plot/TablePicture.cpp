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
#include "plot/CyclePlot.h"
#include "plot/PaintedPicture.h"
#include "plot/PlotPicture.h"

namespace varnolt {

namespace {

QLineSeries* LineOf(const std::vector<double>& x, const std::vector<double>& y) {
  auto* line = new QLineSeries;
  for (std::size_t i = 0; i < x.size(); ++i) line->append(x[i], y[i]);
  return line;
}

}  // namespace

namespace {

// Ticks at round values (1, 2 or 5 times a power of ten, counted from 0), the
// labels with as many decimals as the step needs: 28.3 and 28.4, never 28.281.
void RoundTicks(QValueAxis* axis, double low, double high, int ticks, double smallest) {
  const double step = RoundTickStep(low, high, ticks, smallest);
  axis->setTickType(QValueAxis::TicksDynamic);
  axis->setTickAnchor(0);
  axis->setTickInterval(step);
  const int decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
  axis->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
}

}  // namespace

std::optional<std::string> WriteSettingPicture(const SettingPlot& plot, const std::filesystem::path& path,
                                               PictureSize size, const std::string& title) {
  if (!PictureFormatOf(path)) return "a picture's name must end in .png or .svg";
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
    const QColor tint = SeriesColour(colour++);
    for (std::size_t i = 0; i < statistic.x.size(); ++i) {
      extend(statistic.x[i], statistic.low[i]);
      extend(statistic.x[i], statistic.high[i]);
    }
    for (std::size_t i = 0; i < statistic.pointX.size(); ++i) extend(statistic.pointX[i], statistic.pointY[i]);
    QLineSeries* const upper = LineOf(statistic.x, statistic.high);
    QLineSeries* const lower = LineOf(statistic.x, statistic.low);
    auto* band = new QAreaSeries(upper, lower);
    upper->setParent(band);  // an area series does not own its lines: they go with it
    lower->setParent(band);
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
  // Round ticks: whole values of the setting, round values of the statistic.
  RoundTicks(axisX, axisX->min(), axisX->max(), 8, 1);
  RoundTicks(axisY, axisY->min(), axisY->max(), 6, 0);
  view.resize(size.width, size.height);
  view.show();
  QCoreApplication::sendPostedEvents();
  chart->layout()->activate();
  ReportCutChartTexts(*view.scene());
  return SavePainted(path, size, title, [&view, chart](QPainter& painter, const QRectF& area) {
    view.scene()->render(&painter, area, chart->geometry());
  });
}

std::optional<std::string> WriteHeatMapPicture(const HeatMapPlot& plot, const std::filesystem::path& path,
                                               PictureSize size, const std::string& title) {
  if (!PictureFormatOf(path)) return "a picture's name must end in .png or .svg";
  EnsurePictureApplication();
  double low = INFINITY, high = -INFINITY;
  for (const std::optional<double>& mean : plot.means) {
    if (mean) low = std::min(low, *mean), high = std::max(high, *mean);
  }
  if (!std::isfinite(low)) low = 0, high = 1;
  const double span = high > low ? high - low : 1.0;
  return SavePainted(path, size, title, [&](QPainter& painter, const QRectF& area) {
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
    for (double y : plot.ys) labelWidth = std::max(labelWidth, metrics.horizontalAdvance(ValueLabel(y)));
    const double scaleWidth = 5 * line + metrics.horizontalAdvance(ValueLabel(high)) +
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
                       Qt::AlignHCenter | Qt::AlignTop, ValueLabel(plot.xs[c]));
    }
    const std::size_t yEvery = std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(1.5 * line / cellH)));
    for (std::size_t r = 0; r < plot.ys.size(); r += yEvery) {
      painter.drawText(QRectF(area.left(), grid.bottom() - (r + 1) * cellH, grid.left() - line / 2 - area.left(), cellH),
                       Qt::AlignRight | Qt::AlignVCenter, ValueLabel(plot.ys[r]));
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
    painter.drawText(QPointF(bar.right() + line / 2, bar.top() + line * 0.8), ValueLabel(high));
    painter.drawText(QPointF(bar.right() + line / 2, bar.bottom()), ValueLabel(low));
    painter.drawText(QPointF(bar.right() + line / 2, bar.center().y()), QString::fromStdString(plot.statistic));
    if (std::find(plot.refused.begin(), plot.refused.end(), true) != plot.refused.end()) {
      painter.drawText(QRectF(grid.left(), grid.bottom() + 2.7 * line, grid.width(), line), Qt::AlignHCenter,
                       QStringLiteral("grey cells with a cross: refused by a rule"));
    }
  });
}

}  // namespace varnolt
