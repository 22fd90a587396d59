// The plot view of a build without Qt Charts: it keeps what it is given, so the
// pages work as they do with the plot, and shows a line saying that this build
// cannot draw the plot. Pictures of it are refused with the same reason.
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <algorithm>

#include "plot/CyclePlot.h"

namespace varnolt {

namespace {
const char* const NoPlot = "This build of VARNOLT has no Qt Charts and cannot draw the plot.";
}

CyclePlotView::CyclePlotView(QWidget* parent) : QLabel(parent) {
  setAlignment(Qt::AlignCenter);
  setWordWrap(true);
  setFocusPolicy(Qt::StrongFocus);
  setText(QString::fromUtf8(NoPlot));
}

CyclePlotView::~CyclePlotView() = default;

void CyclePlotView::BuildChart() {}
void CyclePlotView::ConnectLegend() {}
void CyclePlotView::Decimate() {}
void CyclePlotView::ScrollBy(QPointF) {}
void CyclePlotView::ShowKept(bool) {}

void CyclePlotView::SetCycles(std::span<const CycleResult> cycles) {
  cycles_.assign(cycles.begin(), cycles.end());
  ResetZoom();
}

void CyclePlotView::SetTitle(const QString& title) { title_ = title; }

void CyclePlotView::SetKept(std::span<const CycleResult> cycles, const QString&) {
  kept_.assign(cycles.begin(), cycles.end());
}

void CyclePlotView::SetObserved(const Observed& observed) { observed_ = observed; }

void CyclePlotView::SetShaded(const std::vector<std::pair<double, double>>& spans, const QString& name) {
  shaded_ = spans;
  shadedName_ = name;
}

void CyclePlotView::SetResiduals(const Observed& residuals) { residuals_ = residuals; }

void CyclePlotView::ResetZoom() { SetVisibleCycles(1, std::max<double>(static_cast<double>(cycles_.size()), 2)); }

void CyclePlotView::SetVisibleCycles(double first, double last) {
  visibleFirst_ = first;
  visibleLast_ = last;
}

double CyclePlotView::VisibleFirst() const { return visibleFirst_; }
double CyclePlotView::VisibleLast() const { return visibleLast_; }

QString CyclePlotView::ReadoutAt(QPoint) const { return {}; }

QString CyclePlotView::SavePicture(const QString&, QSize, const QString&) const {
  return QStringLiteral("this build of VARNOLT has no Qt Charts and cannot draw pictures");
}

void CyclePlotView::resizeEvent(QResizeEvent* event) { QLabel::resizeEvent(event); }
void CyclePlotView::mousePressEvent(QMouseEvent* event) { QLabel::mousePressEvent(event); }
void CyclePlotView::mouseMoveEvent(QMouseEvent* event) { QLabel::mouseMoveEvent(event); }
void CyclePlotView::mouseReleaseEvent(QMouseEvent* event) { QLabel::mouseReleaseEvent(event); }
void CyclePlotView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Home) {
    ResetZoom();
    event->accept();
    return;
  }
  QLabel::keyPressEvent(event);
}
void CyclePlotView::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  emit Readout(QString());
}

}  // namespace varnolt
