// Pictures of sensitivity tables (Morris, Sobol) and of per-cycle tables,
// painted by hand in panels over value axes.
#include <QFontMetricsF>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "plot/PaintedPicture.h"
#include "plot/TablePicture.h"

namespace varnolt {

namespace {

const QColor FirstColour(0x21, 0x61, 0x9c);  // S1
const QColor TotalColour(0xe6, 0x7e, 0x22);  // ST

// Room for `count` panels under the title: side by side up to three, else in a
// near-square grid, filled row after row.
std::vector<QRectF> PanelAreas(const QRectF& below, std::size_t count) {
  std::vector<QRectF> areas;
  if (count == 0) return areas;
  const std::size_t columns = count <= 3 ? count : static_cast<std::size_t>(std::ceil(std::sqrt(double(count))));
  const std::size_t rows = (count + columns - 1) / columns;
  const double w = below.width() / double(columns), h = below.height() / double(rows);
  for (std::size_t i = 0; i < count; ++i) {
    areas.emplace_back(below.left() + double(i % columns) * w, below.top() + double(i / columns) * h, w, h);
  }
  return areas;
}

// The panel's own heading; answers the room left under it.
QRectF PaintPanelHeading(QPainter& painter, const QRectF& panel, const QString& heading, const QFont& font) {
  const double line = QFontMetricsF(font).height();
  QFont bold = font;
  bold.setBold(true);
  painter.save();
  painter.setFont(bold);
  painter.setPen(Qt::black);
  painter.drawText(QRectF(panel.left(), panel.top(), panel.width(), line), Qt::AlignHCenter, heading);
  painter.restore();
  return panel.adjusted(line / 2, 1.2 * line, -line / 2, -line / 4);
}

// A whisker from low to high at the same height (across) or place (up).
void PaintWhisker(QPainter& painter, QPointF from, QPointF to, double cap, bool across) {
  painter.drawLine(from, to);
  const QPointF tick = across ? QPointF(0, cap) : QPointF(cap, 0);
  painter.drawLine(from - tick, from + tick);
  painter.drawLine(to - tick, to + tick);
}

void PaintNoValues(QPainter& painter, const QRectF& room, const QString& text, const QFont& font) {
  painter.save();
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawRect(room.adjusted(0, 0, -1, -1));
  painter.drawText(room.adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, text);
  painter.restore();
}

double Finite(double value, double otherwise) { return std::isfinite(value) ? value : otherwise; }

void PaintMorrisPanel(QPainter& painter, const QRectF& panel, const MorrisPanel& morris, const QFont& font) {
  const QRectF room = PaintPanelHeading(painter, panel, QString::fromStdString(morris.statistic), font);
  const bool any = std::any_of(morris.factors.begin(), morris.factors.end(), [](const MorrisFactor& f) {
    return std::isfinite(f.muStar) && std::isfinite(f.sigma);
  });
  if (!any) {
    PaintNoValues(painter, room, QString::fromStdString(morris.statistic) +
                                     QStringLiteral(" has no value in these runs (no regular cycle): no indices"), font);
    return;
  }
  double xHigh = 0, yHigh = 0;
  for (const MorrisFactor& f : morris.factors) {
    xHigh = std::max({xHigh, Finite(f.muStar, 0), Finite(f.muStarHigh, 0)});
    yHigh = std::max(yHigh, Finite(f.sigma, 0));
  }
  // Room for the labels to the right of the rightmost factor.
  const ValueFrame frame(room, 0, xHigh > 0 ? xHigh * 1.15 : 1, 0, yHigh > 0 ? yHigh * 1.1 : 1, font);
  frame.Paint(painter, QStringLiteral("mu* (mean absolute effect, 95 % interval)"), QStringLiteral("sigma"));
  const QFontMetricsF metrics(font);
  const double line = metrics.height();
  painter.save();
  painter.setClipRect(frame.Plot().adjusted(-line, -line, line, line));
  painter.setFont(font);
  // sigma = mu*: above it the factor's effect changes much over the others (interactions).
  painter.setPen(QPen(QColor(0xaa, 0xaa, 0xaa), 1, Qt::DashLine));
  const double diagonal = std::min(xHigh > 0 ? xHigh * 1.15 : 1, yHigh > 0 ? yHigh * 1.1 : 1);
  painter.drawLine(frame.At(0, 0), frame.At(diagonal, diagonal));
  std::size_t index = 0;
  std::vector<QRectF> labels;
  for (const MorrisFactor& f : morris.factors) {
    const QColor tint = SeriesColour(index++);
    if (!std::isfinite(f.muStar) || !std::isfinite(f.sigma)) continue;
    painter.setPen(QPen(tint, 1.5));
    if (std::isfinite(f.muStarLow) && std::isfinite(f.muStarHigh)) {
      PaintWhisker(painter, frame.At(f.muStarLow, f.sigma), frame.At(f.muStarHigh, f.sigma), line / 4, true);
    }
    painter.setBrush(tint);
    const QPointF at = frame.At(f.muStar, f.sigma);
    painter.drawEllipse(at, line / 4, line / 4);
    // The name beside its point, to the left near the right edge, and moved up
    // (or down) past the names already placed, so that factors at the same
    // place stay readable.
    const QString name = QString::fromStdString(f.name);
    const double width = metrics.horizontalAdvance(name);
    QRectF box(at.x() + line / 3, at.y() - line * 1.1, width, line);
    if (box.right() > frame.Plot().right()) box.moveRight(at.x() - line / 3);
    if (box.top() < frame.Plot().top()) box.moveTop(at.y() + line / 4);
    const double step = box.top() > at.y() ? line : -line;
    for (int tries = 0; tries < 50; ++tries) {
      const bool overlaps = std::any_of(labels.begin(), labels.end(), [&](const QRectF& other) { return other.intersects(box); });
      if (!overlaps) break;
      box.translate(0, step);
    }
    labels.push_back(box);
    painter.setPen(tint.darker(130));
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, name);
  }
  painter.restore();
}

void PaintSobolPanel(QPainter& painter, const QRectF& panel, const SobolPanel& sobol, const QFont& font) {
  const QRectF room = PaintPanelHeading(painter, panel, QString::fromStdString(sobol.statistic), font);
  const double line = QFontMetricsF(font).height();
  if (!sobol.varies) {
    PaintNoValues(painter, room, QString::fromStdString(sobol.statistic) +
                                     QStringLiteral(" does not vary over this design (or has no value): no indices"), font);
    return;
  }
  double low = 0, high = 1;
  for (const SobolFactor& f : sobol.factors) {
    for (double v : {f.first, f.firstLow, f.total, f.totalLow}) low = std::min(low, Finite(v, 0));
    for (double v : {f.firstHigh, f.totalHigh, f.first, f.total}) high = std::max(high, Finite(v, 0));
  }
  const auto count = static_cast<double>(std::max<std::size_t>(1, sobol.factors.size()));
  const ValueFrame frame(room, 0, count, low, high * 1.05, font);
  QStringList names;
  for (const SobolFactor& f : sobol.factors) names << QString::fromStdString(f.name);
  frame.PaintCategories(painter, names, QStringLiteral("index (95 % interval)"));
  painter.save();
  painter.setPen(QPen(Qt::black, 1));
  painter.drawLine(frame.At(0, 0), frame.At(count, 0));
  const double slot = frame.X(1) - frame.X(0);
  const double bar = std::min(slot * 0.35, 4 * line);
  for (std::size_t i = 0; i < sobol.factors.size(); ++i) {
    const SobolFactor& f = sobol.factors[i];
    const double centre = frame.X(double(i) + 0.5);
    const struct {
      double value, low, high;
      QColor colour;
      double left;
    } bars[] = {{f.first, f.firstLow, f.firstHigh, FirstColour, centre - bar},
                {f.total, f.totalLow, f.totalHigh, TotalColour, centre}};
    for (const auto& b : bars) {
      if (!std::isfinite(b.value)) continue;
      const double top = frame.Y(std::max(b.value, 0.0)), bottom = frame.Y(std::min(b.value, 0.0));
      painter.fillRect(QRectF(b.left, top, bar, bottom - top), b.colour);
      if (std::isfinite(b.low) && std::isfinite(b.high)) {
        painter.setPen(QPen(Qt::black, 1.2));
        const double middle = b.left + bar / 2;
        PaintWhisker(painter, QPointF(middle, frame.Y(b.low)), QPointF(middle, frame.Y(b.high)), bar / 4, false);
      }
    }
  }
  painter.restore();
}

// The key of S1 and ST at the top right, under the title.
void PaintSobolKey(QPainter& painter, const QRectF& area, double top, const QFont& font) {
  const QFontMetricsF metrics(font);
  const double line = metrics.height();
  painter.save();
  painter.setFont(font);
  double x = area.right() - line;
  for (const auto& [name, colour] : {std::pair{QStringLiteral("ST (total)"), TotalColour},
                                     std::pair{QStringLiteral("S1 (first order)"), FirstColour}}) {
    x -= metrics.horizontalAdvance(name);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(x, top + line * 0.8), name);
    x -= 1.4 * line;
    painter.fillRect(QRectF(x, top + line * 0.1, line, line * 0.8), colour);
    x -= line;
  }
  painter.restore();
}

// The lowest and highest of each pixel column when the line has more points
// than columns, so that a long run draws quickly and keeps its peaks.
QPolygonF LinePoints(const ValueFrame& frame, const std::vector<double>& values) {
  QPolygonF points;
  const auto columns = static_cast<std::size_t>(std::max(1.0, frame.Plot().width()));
  if (values.size() <= 2 * columns) {
    for (std::size_t c = 0; c < values.size(); ++c) points << frame.At(double(c + 1), values[c]);
    return points;
  }
  const double perColumn = double(values.size()) / double(columns);
  for (std::size_t column = 0; column < columns; ++column) {
    const auto begin = static_cast<std::size_t>(double(column) * perColumn);
    const auto end = std::min(values.size(), static_cast<std::size_t>(double(column + 1) * perColumn));
    if (begin >= end) continue;
    const auto [low, high] = std::minmax_element(values.begin() + long(begin), values.begin() + long(end));
    const auto first = std::min(low, high), second = std::max(low, high);
    points << frame.At(double(first - values.begin() + 1), *first);
    if (second != first) points << frame.At(double(second - values.begin() + 1), *second);
  }
  return points;
}

}  // namespace

std::optional<std::string> WriteMorrisPicture(const std::vector<MorrisPanel>& panels,
                                              const std::filesystem::path& path, PictureSize size,
                                              const std::string& title) {
  if (!PictureFormatOf(path)) return "a picture's name must end in .png or .svg";
  EnsurePictureApplication();
  return SavePainted(path, size, title, [&](QPainter& painter, const QRectF& area) {
    painter.fillRect(area, Qt::white);
    const QFont font = PictureFont(area);
    const double top = PaintTitle(painter, area, QString::fromStdString(title));
    const QRectF below(area.left(), top, area.width(), area.bottom() - top);
    const std::vector<QRectF> areas = PanelAreas(below, panels.size());
    for (std::size_t i = 0; i < panels.size(); ++i) PaintMorrisPanel(painter, areas[i], panels[i], font);
  });
}

std::optional<std::string> WriteSobolPicture(const std::vector<SobolPanel>& panels, const std::filesystem::path& path,
                                             PictureSize size, const std::string& title) {
  if (!PictureFormatOf(path)) return "a picture's name must end in .png or .svg";
  EnsurePictureApplication();
  return SavePainted(path, size, title, [&](QPainter& painter, const QRectF& area) {
    painter.fillRect(area, Qt::white);
    const QFont font = PictureFont(area);
    const double line = QFontMetricsF(font).height();
    const double top = PaintTitle(painter, area, QString::fromStdString(title));
    PaintSobolKey(painter, area, top, font);
    const QRectF below(area.left(), top + 1.5 * line, area.width(), area.bottom() - top - 1.5 * line);
    const std::vector<QRectF> areas = PanelAreas(below, panels.size());
    for (std::size_t i = 0; i < panels.size(); ++i) PaintSobolPanel(painter, areas[i], panels[i], font);
  });
}

std::optional<std::string> WriteCycleLinesPicture(const CycleLinesPlot& plot, const std::filesystem::path& path,
                                                  PictureSize size, const std::string& title) {
  if (!PictureFormatOf(path)) return "a picture's name must end in .png or .svg";
  EnsurePictureApplication();
  return SavePainted(path, size, title, [&](QPainter& painter, const QRectF& area) {
    painter.fillRect(area, Qt::white);
    const QFont font = PictureFont(area);
    const QFontMetricsF metrics(font);
    const double line = metrics.height();
    const double top = PaintTitle(painter, area, QString::fromStdString(title));
    std::size_t cycles = 1;
    double low = INFINITY, high = -INFINITY;
    for (const CycleLine& l : plot.lines) {
      cycles = std::max(cycles, l.values.size());
      for (double v : l.values) low = std::min(low, v), high = std::max(high, v);
    }
    if (!std::isfinite(low)) low = 0, high = 1;
    const double pad = high > low ? (high - low) * 0.05 : 1;
    // The key: a legend up to twelve lines, else the colour scale's two ends.
    const bool legend = plot.lines.size() <= 12;
    double keyWidth = 0;
    if (legend) {
      for (const CycleLine& l : plot.lines) keyWidth = std::max(keyWidth, metrics.horizontalAdvance(QString::fromStdString(l.name)));
      keyWidth += 3 * line;
    } else {
      keyWidth = 3 * line + std::max(metrics.horizontalAdvance(QString::fromStdString(plot.lines.front().name)),
                                     metrics.horizontalAdvance(QString::fromStdString(plot.lines.back().name)));
    }
    const double keyLine = legend ? 0.0 : 1.2 * line;  // room for the mean's key above the plot
    const QRectF room(area.left(), top + keyLine, area.width() - keyWidth - line, area.bottom() - top - keyLine);
    const ValueFrame frame(room, 1, double(std::max<std::size_t>(cycles, 2)), std::max(0.0, low - pad), high + pad, font);
    frame.Paint(painter, QStringLiteral("cycle"), QString::fromStdString(plot.quantity));
    painter.save();
    painter.setClipRect(frame.Plot());
    // Many lines are drawn see-through, so that where they crowd shows, with
    // the mean of the runs over them.
    const double alpha = legend ? 1.0 : std::clamp(12.0 / double(plot.lines.size()), 0.04, 1.0);
    for (std::size_t i = 0; i < plot.lines.size(); ++i) {
      QColor colour =
          legend ? SeriesColour(i) : ScaleColour(double(i) / double(std::max<std::size_t>(1, plot.lines.size() - 1)));
      colour.setAlphaF(static_cast<float>(alpha));
      painter.setPen(QPen(colour, legend ? 1.5 : 1.0));
      painter.drawPolyline(LinePoints(frame, plot.lines[i].values));
    }
    std::vector<double> mean;
    if (!legend) {
      std::vector<std::size_t> count(cycles, 0);
      mean.assign(cycles, 0.0);
      for (const CycleLine& l : plot.lines) {
        for (std::size_t c = 0; c < l.values.size(); ++c) mean[c] += l.values[c], ++count[c];
      }
      for (std::size_t c = 0; c < cycles; ++c) mean[c] = count[c] > 0 ? mean[c] / double(count[c]) : 0.0;
      painter.setPen(QPen(Qt::black, 2));
      painter.drawPolyline(LinePoints(frame, mean));
    }
    painter.restore();
    painter.save();
    painter.setFont(font);
    const double keyLeft = frame.Plot().right() + line;
    if (legend) {
      for (std::size_t i = 0; i < plot.lines.size(); ++i) {
        const double y = frame.Plot().top() + double(i) * line * 1.3;
        painter.setPen(QPen(SeriesColour(i), 2));
        painter.drawLine(QPointF(keyLeft, y + line / 2), QPointF(keyLeft + 1.5 * line, y + line / 2));
        painter.setPen(Qt::black);
        painter.drawText(QPointF(keyLeft + 2 * line, y + line * 0.8), QString::fromStdString(plot.lines[i].name));
      }
    } else {
      const QRectF bar(keyLeft, frame.Plot().top(), line, frame.Plot().height());
      const int steps = 64;
      for (int s = 0; s < steps; ++s) {
        painter.fillRect(QRectF(bar.left(), bar.top() + s * bar.height() / steps, bar.width(), bar.height() / steps + 0.5),
                         ScaleColour((s + 0.5) / steps));
      }
      painter.setPen(Qt::black);
      painter.drawRect(bar);
      painter.drawText(QPointF(bar.right() + line / 2, bar.top() + line * 0.8),
                       QString::fromStdString(plot.lines.front().name));
      painter.drawText(QPointF(bar.right() + line / 2, bar.bottom()), QString::fromStdString(plot.lines.back().name));
      // The mean's key under the title, at the right.
      const QString meanName = QStringLiteral("mean of the runs");
      const double width = metrics.horizontalAdvance(meanName);
      const QPointF at(frame.Plot().right() - width - 2 * line, frame.Plot().top() - line * 0.6);
      painter.setPen(QPen(Qt::black, 2));
      painter.drawLine(at + QPointF(0, -line / 3), at + QPointF(1.5 * line, -line / 3));
      painter.drawText(at + QPointF(2 * line, 0), meanName);
    }
    painter.restore();
  });
}

}  // namespace varnolt
