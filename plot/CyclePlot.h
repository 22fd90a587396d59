#pragma once
// The plot of a run: % female, hermaphrodite, male and aborted against the
// cycle, at full precision. The view decimates each series to its pixel columns
// (the lowest and highest value of each), so runs of 100,000 cycles draw as fast
// as short ones, and redoes it whenever the visible range or the size changes.
// Interaction: drag a rectangle to zoom in, drag with the right or middle button
// (or the arrow keys) to pan, Home or ResetZoom() to see everything again; a
// click on a legend entry hides or shows its series.

#include <QPointF>
#include <QSize>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <span>
#include <vector>

#include "model/FloweringModel.h"

#ifdef VARNOLT_WITHOUT_CHARTS
// A build without Qt Charts: the view keeps the cycles it is given and says, in
// place of the plot, that this build cannot draw it.
#include <QLabel>
using CyclePlotBase = QLabel;
#else
#include <QChartView>
using CyclePlotBase = QChartView;
#endif

class QAreaSeries;
class QFont;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace varnolt {

class CyclePlotView : public CyclePlotBase {
  Q_OBJECT

 public:
  explicit CyclePlotView(QWidget* parent = nullptr);
  ~CyclePlotView() override;

  // Plots these cycles (cycles[0] is cycle 1) over the whole range; none clears
  // the plot.
  void SetCycles(std::span<const CycleResult> cycles);
  std::size_t CycleTotal() const { return cycles_.size(); }

  // The title above the chart (shown on one line); empty for none.
  void SetTitle(const QString& title);
  QString Title() const { return title_; }

  // Another run's cycles kept for comparison: drawn faintly behind this run's
  // series in their colours, with one legend entry named `name` that hides or
  // shows them all. None clears them.
  void SetKept(std::span<const CycleResult> cycles, const QString& name);
  std::size_t KeptTotal() const { return kept_.size(); }
  std::vector<QLineSeries*> KeptSeries() const { return keptSeries_; }
  // The series that stands for the kept run in the legend (it has no points).
  QLineSeries* KeptLegend() const { return keptLegend_; }

  // Observed percentages (a census) drawn as points over the lines, each in the
  // colour of its series: female, hermaphrodite, male, aborted, as (cycle,
  // percent). Series without points get no legend entry; all empty removes them.
  using Observed = std::array<std::vector<QPointF>, 4>;
  void SetObserved(const Observed& observed);
  std::vector<QScatterSeries*> ObservedSeries() const { return observedSeries_; }

  // Spans of cycles (first, last) drawn as grey bands behind the lines, such
  // as census cycles held out of a fit; one legend entry named `name` stands
  // for them all. None removes them.
  void SetShaded(const std::vector<std::pair<double, double>>& spans, const QString& name);
  std::size_t ShadedTotal() const { return shadedSeries_.size(); }

  // Residuals (cycle, simulated minus observed) per series, drawn by
  // SavePicture in a panel of their own beneath the plot. All empty: no panel.
  void SetResiduals(const Observed& residuals);
  // SavePicture draws the residuals' panel alone, over the whole picture.
  void SetResidualsOnly(bool only) { residualsOnly_ = only; }

  // The whole run in view again.
  void ResetZoom();
  // Shows cycles first to last.
  void SetVisibleCycles(double first, double last);
  // The visible cycles, first to last (fractions when zoomed).
  double VisibleFirst() const;
  double VisibleLast() const;

  // The four series: female, hermaphrodite, male, aborted.
  std::vector<QLineSeries*> Series() const { return series_; }
  // What the mouse points at: "Cycle 120: female 31.25 %, ...", or empty outside
  // the plot.
  QString ReadoutAt(QPoint viewPosition) const;

  // A copy of this plot as it stands (range, hidden series) drawn into a file
  // at the given size, with `title` above it; answers why it failed, or empty.
  QString SavePicture(const QString& path, QSize size, const QString& title) const;

 signals:
  void Readout(const QString& text);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void BuildChart();
  void ConnectLegend();
  // Refills the series with the points that show in the visible range.
  void Decimate();
  void ScrollBy(QPointF pixels);

  // The kept run's lines (and its legend entry) are hidden or shown together.
  void ShowKept(bool visible);

  std::vector<CycleResult> cycles_;
  std::vector<QLineSeries*> series_;
  QString title_;
  std::vector<CycleResult> kept_;
  std::vector<QLineSeries*> keptSeries_;
  QLineSeries* keptLegend_ = nullptr;
  Observed observed_;
  std::vector<QScatterSeries*> observedSeries_;
  std::vector<std::pair<double, double>> shaded_;
  QString shadedName_;
  std::vector<QAreaSeries*> shadedSeries_;
  Observed residuals_;
  bool residualsOnly_ = false;
  QValueAxis* axisX_ = nullptr;
  QValueAxis* axisY_ = nullptr;
#ifdef VARNOLT_WITHOUT_CHARTS
  double visibleFirst_ = 1;
  double visibleLast_ = 2;
#endif
  bool panning_ = false;
  QPoint lastPan_;
};

// The points of one series that show at `columns` pixel columns over cycles
// first to last: all of them when they fit, else the lowest and the highest of
// each column in the order they occur, plus one point beyond each end so the
// line reaches the edges. `value` picks the series from a row.
std::vector<QPointF> DecimatedPoints(std::span<const CycleResult> cycles, double CycleResult::*value,
                                     double first, double last, int columns);

// The title broken into lines at its spaces and line breaks, each no wider
// than `width` in the font (a single word wider than that keeps a line of its own).
QStringList TitleLines(const QString& title, const QFont& font, int width);

// The step between round ticks (1, 2 or 5 times a power of ten, never below
// `smallest`) that gives about `ticks` of them from minimum to maximum.
double RoundTickStep(double minimum, double maximum, int ticks, double smallest);

}  // namespace varnolt
