#include "plot/CyclePlot.h"

#include <QAreaSeries>
#include <QBuffer>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QImage>
#include <QImageWriter>
#include <QKeyEvent>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QValueAxis>
#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/FileError.h"
#include "platform/FileIO.h"
#include "plot/PaintedPicture.h"
#include "plot/PlotPicture.h"

namespace varnolt {

namespace {

struct SeriesKind {
  const char* name;
  double CycleResult::*value;
  QColor color;
};
const SeriesKind SeriesKinds[] = {
    {"Female", &CycleResult::female, QColor(196, 40, 40)},
    {"Hermaphrodite", &CycleResult::herm, QColor(140, 70, 180)},
    {"Male", &CycleResult::male, QColor(30, 100, 200)},
    {"Aborted", &CycleResult::aborted, QColor(120, 120, 120)},
};

// The legend entry of a hidden series stays, greyed, so it can be clicked back.
void ShowMarkerState(QLegendMarker* marker) {
  const qreal alpha = marker->series()->isVisible() ? 1.0 : 0.35;
  QColor label = marker->labelBrush().color();
  label.setAlphaF(alpha);
  marker->setLabelBrush(label);
  QColor pen = marker->pen().color();
  pen.setAlphaF(alpha);
  marker->setPen(QPen(pen));
  QColor brush = marker->brush().color();
  brush.setAlphaF(alpha);
  marker->setBrush(brush);
}

}  // namespace

QStringList TitleLines(const QString& title, const QFont& font, int width) {
  const QFontMetricsF metrics(font);
  QStringList lines;
  for (const QString& paragraph : title.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    QString line;
    for (const QString& word : paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
      const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
      if (!line.isEmpty() && metrics.horizontalAdvance(longer) > width) {
        lines << line;
        line = word;
      } else {
        line = longer;
      }
    }
    if (!line.isEmpty()) lines << line;
  }
  return lines;
}

double RoundTickStep(double minimum, double maximum, int ticks, double smallest) {
  const double span = std::max(maximum - minimum, smallest);
  const double rough = span / std::max(ticks, 1);
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power;
  for (double factor : {1.0, 2.0, 5.0, 10.0}) {
    step = factor * power;
    if (step >= rough * (1 - 1e-9)) break;
  }
  return std::max(step, smallest);
}

namespace {

// Ticks at round values (1, 2 or 5 times a power of ten, counted from 0), so
// that zooming keeps round cycle numbers and round percentages; the labels
// show as many decimals as the step needs.
void UseRoundTicks(QValueAxis* axis, double minimum, double maximum, int ticks, double smallest) {
  const double step = RoundTickStep(minimum, maximum, ticks, smallest);
  axis->setTickAnchor(0);
  axis->setTickInterval(step);
  const int decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
  axis->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
}

// About eight ticks across the cycles (whole ones); up the percentages one
// every 40 pixels or so, at most six, since the chart elides labels that
// stand closer than their height.
void UseCycleTicks(QValueAxis* axis, double minimum, double maximum) { UseRoundTicks(axis, minimum, maximum, 8, 1.0); }
void UsePercentTicks(QValueAxis* axis, double minimum, double maximum, double height) {
  const int ticks = height > 0 ? std::clamp(static_cast<int>(height / 40), 2, 6) : 6;
  UseRoundTicks(axis, minimum, maximum, ticks, 0.01);
}

}  // namespace

std::vector<QPointF> DecimatedPoints(std::span<const CycleResult> cycles, double CycleResult::*value,
                                     double first, double last, int columns) {
  std::vector<QPointF> points;
  const auto total = static_cast<long long>(cycles.size());
  if (total == 0 || !(last >= first)) return points;
  const long long low = std::clamp(static_cast<long long>(std::floor(first)), 1LL, total);
  const long long high = std::clamp(static_cast<long long>(std::ceil(last)), 1LL, total);
  auto point = [&](long long cycle) { return QPointF(static_cast<double>(cycle), cycles[cycle - 1].*value); };
  columns = std::max(columns, 1);
  if (high - low + 1 <= 2LL * columns) {
    for (long long c = low; c <= high; ++c) points.push_back(point(c));
    return points;
  }
  // Each column keeps its lowest and highest point, in the order they occur;
  // cycles beyond either end fall in a column of their own.
  const double width = (last - first) / columns;
  long long column = LLONG_MIN, lowest = 0, highest = 0;
  auto flush = [&] {
    if (column == LLONG_MIN) return;
    points.push_back(point(std::min(lowest, highest)));
    if (lowest != highest) points.push_back(point(std::max(lowest, highest)));
  };
  for (long long c = low; c <= high; ++c) {
    const long long at = std::clamp(static_cast<long long>(std::floor((c - first) / width)), -1LL,
                                    static_cast<long long>(columns));
    if (at != column) {
      flush();
      column = at;
      lowest = highest = c;
      continue;
    }
    if (cycles[c - 1].*value < cycles[lowest - 1].*value) lowest = c;
    if (cycles[c - 1].*value > cycles[highest - 1].*value) highest = c;
  }
  flush();
  return points;
}

CyclePlotView::CyclePlotView(QWidget* parent) : QChartView(parent) {
  BuildChart();
  setRenderHint(QPainter::Antialiasing);
  setRubberBand(QChartView::RectangleRubberBand);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
}

CyclePlotView::~CyclePlotView() = default;

void CyclePlotView::BuildChart() {
  auto* chart = new QChart;
  chart->legend()->setAlignment(Qt::AlignBottom);
  chart->setMargins(QMargins(4, 4, 4, 4));
  axisX_ = new QValueAxis;
  axisX_->setTitleText(QStringLiteral("Cycle"));
  axisX_->setLabelFormat(QStringLiteral("%.0f"));
  axisY_ = new QValueAxis;
  axisY_->setTitleText(QStringLiteral("% of palms"));
  axisY_->setLabelFormat(QStringLiteral("%.0f"));
  axisY_->setTickType(QValueAxis::TicksDynamic);
  UsePercentTicks(axisY_, 0, 100, 0);
  axisY_->setRange(0, 100);
  chart->addAxis(axisX_, Qt::AlignBottom);
  chart->addAxis(axisY_, Qt::AlignLeft);
  // The kept run's lines come first, so that this run's are drawn over them.
  for (const SeriesKind& kind : SeriesKinds) {
    auto* series = new QLineSeries;
    series->setName(QString::fromUtf8(kind.name) + QStringLiteral(" (kept)"));
    QColor faint = kind.color;
    faint.setAlpha(80);
    series->setPen(QPen(faint, 1.2));
    chart->addSeries(series);
    series->attachAxis(axisX_);
    series->attachAxis(axisY_);
    series->setVisible(false);
    keptSeries_.push_back(series);
  }
  for (const SeriesKind& kind : SeriesKinds) {
    auto* series = new QLineSeries;
    series->setName(QString::fromUtf8(kind.name));
    series->setPen(QPen(kind.color, 1.5));
    chart->addSeries(series);
    series->attachAxis(axisX_);
    series->attachAxis(axisY_);
    series_.push_back(series);
  }
  keptLegend_ = new QLineSeries;
  keptLegend_->setPen(QPen(QColor(150, 150, 150, 150), 3));
  chart->addSeries(keptLegend_);
  keptLegend_->attachAxis(axisX_);
  keptLegend_->attachAxis(axisY_);
  keptLegend_->setVisible(false);
  for (QLineSeries* series : keptSeries_) chart->legend()->markers(series).front()->setVisible(false);
  chart->legend()->markers(keptLegend_).front()->setVisible(false);
  // The view gives up the chart it had (the empty one it starts with) without
  // deleting it: that one is deleted here, as nothing else would.
  QChart* const previous = this->chart();
  setChart(chart);
  delete previous;
  axisX_->setTickType(QValueAxis::TicksDynamic);
  connect(axisX_, &QValueAxis::rangeChanged, this, [this](qreal minimum, qreal maximum) {
    UseCycleTicks(axisX_, minimum, maximum);
    Decimate();
  });
  // A zoom or pan moves the percentages too; their ticks stay round.
  connect(axisY_, &QValueAxis::rangeChanged, this,
          [this](qreal minimum, qreal maximum) {
            UsePercentTicks(axisY_, minimum, maximum, this->chart()->plotArea().height());
          });
  connect(chart, &QChart::plotAreaChanged, this, [this](const QRectF& area) {
    UsePercentTicks(axisY_, axisY_->min(), axisY_->max(), area.height());
    Decimate();
  });
  ConnectLegend();
  ResetZoom();
}

void CyclePlotView::ConnectLegend() {
  for (QLegendMarker* marker : chart()->legend()->markers()) {
    if (marker->series() == keptLegend_) {
      connect(marker, &QLegendMarker::clicked, this, [this] { ShowKept(!keptSeries_.front()->isVisible()); });
      continue;
    }
    if (std::find(keptSeries_.begin(), keptSeries_.end(), marker->series()) != keptSeries_.end()) continue;
    connect(marker, &QLegendMarker::clicked, this, [this, marker] {
      marker->series()->setVisible(!marker->series()->isVisible());
      marker->setVisible(true);  // hiding a series hides its entry too
      ShowMarkerState(marker);
      Decimate();
    });
  }
}

void CyclePlotView::SetCycles(std::span<const CycleResult> cycles) {
  cycles_.assign(cycles.begin(), cycles.end());
  ResetZoom();
  Decimate();
}

void CyclePlotView::SetTitle(const QString& title) {
  title_ = title;
  chart()->setTitle(title.toHtmlEscaped());
}

void CyclePlotView::SetKept(std::span<const CycleResult> cycles, const QString& name) {
  kept_.assign(cycles.begin(), cycles.end());
  keptLegend_->setName(name);
  ShowKept(!kept_.empty());
  QLegendMarker* marker = chart()->legend()->markers(keptLegend_).front();
  marker->setVisible(!kept_.empty());
}

void CyclePlotView::ShowKept(bool visible) {
  for (QLineSeries* series : keptSeries_) {
    series->setVisible(visible && !kept_.empty());
    chart()->legend()->markers(series).front()->setVisible(false);
  }
  // The legend entry stays while a run is kept, greyed while its lines are hidden.
  keptLegend_->setVisible(true);
  QLegendMarker* marker = chart()->legend()->markers(keptLegend_).front();
  marker->setVisible(!kept_.empty());
  QColor label = marker->labelBrush().color();
  label.setAlphaF(visible ? 1.0 : 0.35);
  marker->setLabelBrush(label);
  Decimate();
}

void CyclePlotView::SetObserved(const Observed& observed) {
  observed_ = observed;
  for (QScatterSeries* series : observedSeries_) {
    chart()->removeSeries(series);
    delete series;
  }
  observedSeries_.clear();
  // The legend keeps one entry per state, so that its words fit beside the
  // chart: a state's points come and go with its line.
  for (std::size_t i = 0; i < observed.size(); ++i) {
    if (observed[i].empty()) continue;
    auto* series = new QScatterSeries;
    series->setName(QString::fromUtf8(SeriesKinds[i].name) + QStringLiteral(" (observed)"));
    series->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    series->setMarkerSize(7);
    series->setColor(SeriesKinds[i].color.lighter(115));
    series->setBorderColor(SeriesKinds[i].color.darker(130));
    series->replace(QList<QPointF>(observed[i].begin(), observed[i].end()));
    chart()->addSeries(series);
    series->attachAxis(axisX_);
    series->attachAxis(axisY_);
    series->setVisible(series_[i]->isVisible());
    observedSeries_.push_back(series);
    for (QLegendMarker* marker : chart()->legend()->markers(series)) marker->setVisible(false);
    for (QLegendMarker* marker : chart()->legend()->markers(series_[i])) {
      connect(marker, &QLegendMarker::clicked, series, [series, line = series_[i]] { series->setVisible(line->isVisible()); });
    }
  }
}

void CyclePlotView::SetShaded(const std::vector<std::pair<double, double>>& spans, const QString& name) {
  shaded_ = spans;
  shadedName_ = name;
  for (QAreaSeries* series : shadedSeries_) {
    chart()->removeSeries(series);
    delete series;
  }
  shadedSeries_.clear();
  for (const auto& [first, last] : spans) {
    auto* upper = new QLineSeries;
    auto* lower = new QLineSeries;
    upper->append({QPointF(first - 0.5, 100.0), QPointF(last + 0.5, 100.0)});
    lower->append({QPointF(first - 0.5, 0.0), QPointF(last + 0.5, 0.0)});
    auto* band = new QAreaSeries(upper, lower);
    upper->setParent(band);
    lower->setParent(band);
    band->setName(name);
    band->setColor(QColor(0, 0, 0, 28));
    band->setBorderColor(QColor(0, 0, 0, 0));
    chart()->addSeries(band);
    band->attachAxis(axisX_);
    band->attachAxis(axisY_);
    const bool legend = shadedSeries_.empty();  // one entry for every band
    for (QLegendMarker* marker : chart()->legend()->markers(band)) marker->setVisible(legend);
    shadedSeries_.push_back(band);
  }
}

void CyclePlotView::SetResiduals(const Observed& residuals) { residuals_ = residuals; }

namespace {

// The residual panel of a picture: each series's residuals as points in its
// colour about a zero line, over the same cycles as the plot above, with the
// same grey bands.
std::unique_ptr<QChartView> ResidualPanel(const CyclePlotView::Observed& residuals,
                                          const std::vector<std::pair<double, double>>& shaded, double first,
                                          double last, QSize size, const QRectF& plotArea) {
  auto view = std::make_unique<QChartView>();
  view->setAttribute(Qt::WA_DontShowOnScreen);
  auto* chart = new QChart;
  view->setChart(chart);
  chart->legend()->hide();
  // In lines of whole words no wider than the picture, as the plot's title.
  QStringList lines = TitleLines(QStringLiteral("Residuals: simulated minus observed, in percentage points"),
                                 chart->titleFont(), size.width() * 3 / 4 - 40);
  for (QString& line : lines) line = line.toHtmlEscaped();
  chart->setTitle(lines.join(QStringLiteral("<br>")));
  auto* axisX = new QValueAxis;
  auto* axisY = new QValueAxis;
  chart->addAxis(axisX, Qt::AlignBottom);
  chart->addAxis(axisY, Qt::AlignLeft);
  double largest = 1.0;
  for (const auto& points : residuals) {
    for (const QPointF& point : points) largest = std::max(largest, std::abs(point.y()));
  }
  const double step = RoundTickStep(-largest, largest, 4, 0.01);
  const double reach = std::ceil(largest / step) * step;
  for (const auto& [from, to] : shaded) {
    auto* upper = new QLineSeries;
    auto* lower = new QLineSeries;
    upper->append({QPointF(from - 0.5, reach), QPointF(to + 0.5, reach)});
    lower->append({QPointF(from - 0.5, -reach), QPointF(to + 0.5, -reach)});
    auto* band = new QAreaSeries(upper, lower);
    upper->setParent(band);
    lower->setParent(band);
    band->setColor(QColor(0, 0, 0, 28));
    band->setBorderColor(QColor(0, 0, 0, 0));
    chart->addSeries(band);
    band->attachAxis(axisX);
    band->attachAxis(axisY);
  }
  auto* zero = new QLineSeries;
  zero->append({QPointF(first, 0.0), QPointF(last, 0.0)});
  zero->setPen(QPen(QColor(90, 90, 90), 1));
  chart->addSeries(zero);
  zero->attachAxis(axisX);
  zero->attachAxis(axisY);
  for (std::size_t i = 0; i < residuals.size(); ++i) {
    if (residuals[i].empty()) continue;
    auto* series = new QScatterSeries;
    series->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    series->setMarkerSize(5);
    series->setColor(SeriesKinds[i].color.lighter(115));
    series->setBorderColor(SeriesKinds[i].color.darker(130));
    series->replace(QList<QPointF>(residuals[i].begin(), residuals[i].end()));
    chart->addSeries(series);
    series->attachAxis(axisX);
    series->attachAxis(axisY);
  }
  axisX->setTickType(QValueAxis::TicksDynamic);
  axisY->setTickType(QValueAxis::TicksDynamic);
  axisX->setRange(first, last);
  UseCycleTicks(axisX, first, last);
  axisY->setRange(-reach, reach);
  UseRoundTicks(axisY, -reach, reach, 4, 0.01);
  // Alone, the panel names its own cycles.
  if (plotArea.isEmpty()) axisX->setTitleText(QStringLiteral("Cycle"));
  view->resize(size);
  view->show();
  QCoreApplication::sendPostedEvents();
  chart->layout()->activate();
  // The cycles line up with the plot's above, if any.
  const QRectF own = chart->plotArea();
  // Moved by the chart's margins, so that its axes' labels move with it.
  if (!plotArea.isEmpty()) {
    QMargins margins = chart->margins();
    margins.setLeft(margins.left() + static_cast<int>(std::lround(plotArea.left() - own.left())));
    margins.setRight(margins.right() + static_cast<int>(std::lround(own.right() - plotArea.right())));
    chart->setMargins(margins);
  }
  QCoreApplication::sendPostedEvents();
  chart->layout()->activate();
  return view;
}

}  // namespace

void CyclePlotView::ResetZoom() {
  chart()->zoomReset();
  axisY_->setRange(0, 100);
  SetVisibleCycles(1, std::max<double>(static_cast<double>(cycles_.size()), 2));
}

void CyclePlotView::SetVisibleCycles(double first, double last) {
  // The ticks first: the axis lays out its ticks for the new range at once, and
  // a step left from a short range would ask for one per cycle.
  UseCycleTicks(axisX_, first, last);
  axisX_->setRange(first, last);
}

double CyclePlotView::VisibleFirst() const { return axisX_->min(); }
double CyclePlotView::VisibleLast() const { return axisX_->max(); }

void CyclePlotView::Decimate() {
  const int columns = std::max(1, static_cast<int>(chart()->plotArea().width()));
  for (std::size_t i = 0; i < series_.size(); ++i) {
    if (!series_[i]->isVisible() && !series_[i]->points().isEmpty()) continue;
    const std::vector<QPointF> points =
        DecimatedPoints(cycles_, SeriesKinds[i].value, axisX_->min(), axisX_->max(), columns);
    series_[i]->replace(QList<QPointF>(points.begin(), points.end()));
  }
  for (std::size_t i = 0; i < keptSeries_.size(); ++i) {
    if (!keptSeries_[i]->isVisible() && !keptSeries_[i]->points().isEmpty() && !kept_.empty()) continue;
    const std::vector<QPointF> points =
        DecimatedPoints(kept_, SeriesKinds[i].value, axisX_->min(), axisX_->max(), columns);
    keptSeries_[i]->replace(QList<QPointF>(points.begin(), points.end()));
  }
}

QString CyclePlotView::ReadoutAt(QPoint viewPosition) const {
  const QPointF scenePosition = mapToScene(viewPosition);
  const QPointF chartPosition = chart()->mapFromScene(scenePosition);
  if (cycles_.empty() || !chart()->plotArea().contains(chartPosition)) return {};
  const QPointF value = chart()->mapToValue(chartPosition, series_.front());
  const long long cycle = std::llround(value.x());
  if (cycle < 1 || cycle > static_cast<long long>(cycles_.size())) return {};
  const CycleResult& row = cycles_[cycle - 1];
  // Six significant digits, as the report gives them: 56.8, not the 56.800000000000004 a sum of shares can hold.
  auto number = [](double v) { return QString::number(v, 'g', 6); };
  return QStringLiteral("Cycle %1: female %2 %, hermaphrodite %3 %, male %4 %, aborted %5 %")
      .arg(cycle)
      .arg(number(row.female), number(row.herm), number(row.male), number(row.aborted));
}

void CyclePlotView::ScrollBy(QPointF pixels) { chart()->scroll(pixels.x(), pixels.y()); }

void CyclePlotView::resizeEvent(QResizeEvent* event) {
  QChartView::resizeEvent(event);
  Decimate();
}

void CyclePlotView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) {
    panning_ = true;
    lastPan_ = event->position().toPoint();
    setCursor(Qt::ClosedHandCursor);
    event->accept();
    return;
  }
  QChartView::mousePressEvent(event);
}

void CyclePlotView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint position = event->position().toPoint();
  if (panning_) {
    const QPoint delta = position - lastPan_;
    lastPan_ = position;
    ScrollBy(QPointF(-delta.x(), delta.y()));
    event->accept();
  } else {
    QChartView::mouseMoveEvent(event);
  }
  emit Readout(ReadoutAt(position));
}

void CyclePlotView::mouseReleaseEvent(QMouseEvent* event) {
  if (panning_ && (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton)) {
    panning_ = false;
    unsetCursor();
    event->accept();
    return;
  }
  QChartView::mouseReleaseEvent(event);
}

void CyclePlotView::keyPressEvent(QKeyEvent* event) {
  const QRectF area = chart()->plotArea();
  switch (event->key()) {
    case Qt::Key_Left: ScrollBy({-area.width() / 10, 0}); break;
    case Qt::Key_Right: ScrollBy({area.width() / 10, 0}); break;
    case Qt::Key_Up: ScrollBy({0, area.height() / 10}); break;
    case Qt::Key_Down: ScrollBy({0, -area.height() / 10}); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: chart()->zoomIn(); break;
    case Qt::Key_Minus: chart()->zoomOut(); break;
    case Qt::Key_Home: ResetZoom(); break;
    default: QChartView::keyPressEvent(event); return;
  }
  event->accept();
}

void CyclePlotView::leaveEvent(QEvent* event) {
  QChartView::leaveEvent(event);
  emit Readout(QString());
}

QString CyclePlotView::SavePicture(const QString& path, QSize size, const QString& title) const {
  const std::filesystem::path target = PathFromUtf8(path.toStdString());
  const std::optional<PictureFormat> format = PictureFormatOf(target);
  if (!format) return QStringLiteral("a picture's name must end in .png or .svg");

  // A view of its own at the picture's size, so the window's plot keeps its
  // size and the picture is decimated to its own width.
  CyclePlotView copy;
  copy.setAttribute(Qt::WA_DontShowOnScreen);
  copy.cycles_ = cycles_;
  for (std::size_t i = 0; i < series_.size(); ++i) copy.series_[i]->setVisible(series_[i]->isVisible());
  copy.SetObserved(observed_);
  for (std::size_t i = 0; i < observedSeries_.size(); ++i) {
    copy.observedSeries_[i]->setVisible(observedSeries_[i]->isVisible());
  }
  for (QLegendMarker* marker : copy.chart()->legend()->markers()) {
    const auto among = [marker](const auto& list) {
      return std::find(list.begin(), list.end(), marker->series()) != list.end();
    };
    if (marker->series() == copy.keptLegend_ || among(copy.keptSeries_) || among(copy.observedSeries_)) continue;
    marker->setVisible(true);
    ShowMarkerState(marker);
  }
  copy.SetKept(kept_, keptLegend_->name());
  copy.ShowKept(!kept_.empty() && keptSeries_.front()->isVisible());
  copy.SetShaded(shaded_, shadedName_);
  // With residuals, the plot takes the top of the picture and their panel the rest.
  const bool panel = std::any_of(residuals_.begin(), residuals_.end(), [](const auto& points) { return !points.empty(); });
  const bool alone = panel && residualsOnly_;
  const QSize plotSize(size.width(), panel && !alone ? size.height() * 7 / 10 : size.height());
  copy.resize(plotSize);
  copy.show();
  copy.SetVisibleCycles(axisX_->min(), axisX_->max());
  copy.axisY_->setRange(axisY_->min(), axisY_->max());
  QCoreApplication::sendPostedEvents();
  copy.chart()->layout()->activate();
  // The chart would cut a long title mid-word at the picture's edge; it gets
  // lines of whole words no wider than the plot instead (a title is rich text).
  QStringList lines = TitleLines(title, copy.chart()->titleFont(), int(copy.chart()->plotArea().width()));
  for (QString& line : lines) line = line.toHtmlEscaped();
  copy.chart()->setTitle(lines.join(QStringLiteral("<br>")));
  copy.chart()->layout()->activate();
  copy.Decimate();
  if (!alone) ReportCutChartTexts(*copy.scene());
  std::unique_ptr<QChartView> residualPanel;
  const QRectF plotArea(QPointF(0, 0), QSizeF(plotSize));
  const QRectF panelArea = alone ? QRectF(QPointF(0, 0), QSizeF(size))
                                 : QRectF(QPointF(0, plotSize.height()),
                                          QSizeF(size.width(), size.height() - plotSize.height()));
  if (panel) {
    residualPanel = ResidualPanel(residuals_, shaded_, copy.axisX_->min(), copy.axisX_->max(),
                                  panelArea.size().toSize(), alone ? QRectF() : copy.chart()->plotArea());
    ReportCutChartTexts(*residualPanel->scene());
  }
  const auto render = [&](QPainter& painter) {
    if (!alone) copy.scene()->render(&painter, plotArea, copy.chart()->geometry());
    if (residualPanel) residualPanel->scene()->render(&painter, panelArea, residualPanel->chart()->geometry());
  };

  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  const QRectF area(QPointF(0, 0), QSizeF(size));
  if (*format == PictureFormat::Svg) {
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setViewBox(area);
    svg.setTitle(QStringLiteral("VARNOLT flowering cycles"));
    // The generator writes the description into the XML as it is: notes with
    // "&" or "<" would make a file no SVG viewer opens.
    svg.setDescription(title.toHtmlEscaped());
    QPainter painter(&svg);
    render(painter);
  } else {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
      QPainter painter(&image);
      painter.setRenderHint(QPainter::Antialiasing);
      render(painter);
    }
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) return writer.errorString();
  }
  buffer.close();
  const QByteArray& bytes = buffer.data();
  if (CapturePicture(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) return {};
  if (const std::optional<FileError> error =
          ReplaceFileContents(target, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
    return QString::fromStdString(FileErrorText(*error));
  }
  return {};
}

}  // namespace varnolt
