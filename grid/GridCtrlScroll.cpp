// CGridCtrl's scrolling: when the scroll bars show, scrolling by line, page,
// thumb and wheel, and scrolling a cell into view.

#include "grid/GridCtrl.h"

#include <QMetaObject>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>
#include <climits>

namespace varnolt {

namespace {
// Qt scroll bars count in int; a larger range is shown in coarser steps.
constexpr std::int64_t kLargestBarRange = INT_MAX / 2;
}  // namespace

void CGridCtrl::ResetScrollBars() {
  topLeftCell_.row = -1;
  if (!allowDraw_) return;

  // The client area as if no bar were shown: the whole widget.
  const int barExtent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  const std::int64_t fullWidth = width(), fullHeight = height();
  const std::int64_t fixedWidth = FixedColumnsWidth(), fixedHeight = FixedRowsHeight();
  const std::int64_t scrollingHeight = rowHeights_.Sum(fixedRowCount_, rowCount_);
  const std::int64_t scrollingWidth = columnWidths_.Sum(fixedColumnCount_, columnCount_);

  bool vertical = false, horizontal = false;
  if (fullHeight - fixedHeight > 0 && fullWidth - fixedWidth > 0) {
    vertical = RowsOverflow(fullHeight);
    const std::int64_t roomWidth = fullWidth - (vertical ? barExtent : 0);
    horizontal = roomWidth - fixedWidth < scrollingWidth;
    // The horizontal bar takes height from the rows; when that hides the last
    // of them, they need the vertical bar after all.
    if (horizontal && !vertical) vertical = RowsOverflow(fullHeight - barExtent);
  }
  scrollBarsShown_ = (horizontal ? 1 : 0) | (vertical ? 2 : 0);
  verticalScrollMax_ = vertical ? scrollingHeight - 1 : 0;
  horizontalScrollMax_ = horizontal ? scrollingWidth - 1 : 0;
  PlaceScrollBars();

  const QRect client = ClientRect();
  const std::int64_t page[2] = {std::max<std::int64_t>(0, client.width() - fixedWidth),
                                std::max<std::int64_t>(0, client.height() - fixedHeight)};
  updatingBars_ = true;
  for (Direction direction : {Horizontal, Vertical}) {
    const std::int64_t limit = ScrollLimit(direction);
    scrollUnit_[direction] = limit > kLargestBarRange ? (limit + kLargestBarRange - 1) / kLargestBarRange : 1;
    const std::int64_t unit = scrollUnit_[direction];
    scrollPosition_[direction] = std::clamp<std::int64_t>(scrollPosition_[direction], 0, limit);
    QScrollBar* bar = bars_[direction];
    bar->setRange(0, int(limit / unit));
    bar->setPageStep(std::max(1, int(std::min<std::int64_t>(page[direction] / unit, INT_MAX))));
    bar->setValue(int(scrollPosition_[direction] / unit));
  }
  updatingBars_ = false;
  topLeftCell_.row = -1;
}

bool CGridCtrl::RowsOverflow(std::int64_t clientHeight) const {
  return clientHeight - FixedRowsHeight() < rowHeights_.Sum(fixedRowCount_, rowCount_);
}

std::int64_t CGridCtrl::ScrollLimit(Direction direction) const {
  const std::int64_t maximum = direction == Vertical ? verticalScrollMax_ : horizontalScrollMax_;
  const bool shown = direction == Vertical ? VerticalScrollBarShown() : HorizontalScrollBarShown();
  if (!shown) return 0;
  const QRect client = ClientRect();
  const std::int64_t page = direction == Vertical ? client.height() - FixedRowsHeight()
                                                  : client.width() - FixedColumnsWidth();
  return std::max<std::int64_t>(0, maximum + 1 - std::max<std::int64_t>(page, 0));
}

void CGridCtrl::PlaceScrollBars() {
  QScrollBar* vertical = bars_[Vertical];
  QScrollBar* horizontal = bars_[Horizontal];
  const int barExtent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  const bool showVertical = VerticalScrollBarShown(), showHorizontal = HorizontalScrollBarShown();
  if (showVertical)
    vertical->setGeometry(width() - barExtent, 0, barExtent, height() - (showHorizontal ? barExtent : 0));
  if (showHorizontal)
    horizontal->setGeometry(0, height() - barExtent, width() - (showVertical ? barExtent : 0), barExtent);
  vertical->setVisible(showVertical);
  horizontal->setVisible(showHorizontal);
}

void CGridCtrl::SetScrollPosition(Direction direction, std::int64_t position) {
  scrollPosition_[direction] = position;
  topLeftCell_.row = -1;
  updatingBars_ = true;
  bars_[direction]->setSliderPosition(int(position / scrollUnit_[direction]));
  updatingBars_ = false;
}

void CGridCtrl::OnVScroll(ScrollCode code, std::int64_t position) { Scroll(Vertical, code, position); }
void CGridCtrl::OnHScroll(ScrollCode code, std::int64_t position) { Scroll(Horizontal, code, position); }

void CGridCtrl::Scroll(Direction direction, ScrollCode code, std::int64_t position) {
  // An editor would stay behind over another cell; the edit ends, keeping its text.
  if (code != SB_ENDSCROLL) FinishEditing();
  const GridExtents& extents = Extents(direction);
  const int fixed = FixedCount(direction), count = Count(direction);
  const std::int64_t current = scrollPosition_[direction], limit = ScrollLimit(direction);
  const CellId topLeft = TopLeftNonFixedCell();
  const int first = direction == Vertical ? topLeft.row : topLeft.column;
  const QRect client = ClientRect();
  const std::int64_t page = direction == Vertical ? client.height() - FixedRowsHeight()
                                                  : client.width() - FixedColumnsWidth();
  std::int64_t target = current;
  bool wholeWindow = false;
  switch (code) {
    case SB_LINEUP:
      if (current > 0) {
        int index = first - 1;
        while (index >= fixed && extents.At(index) == 0) --index;
        target = index >= fixed ? std::max<std::int64_t>(0, current - extents.At(index)) : 0;
      }
      break;
    case SB_LINEDOWN:
      if (current < limit) {
        int index = first;
        while (index < count && extents.At(index) == 0) ++index;
        if (index < count) target = std::min(limit, current + extents.At(index));
      }
      break;
    case SB_PAGEUP:
      target = std::clamp<std::int64_t>(current - std::max<std::int64_t>(page, 0), 0, limit);
      break;
    case SB_PAGEDOWN:
      target = std::clamp<std::int64_t>(current + std::max<std::int64_t>(page, 0), 0, limit);
      break;
    case SB_TOP:
      target = 0;
      wholeWindow = true;
      break;
    case SB_BOTTOM:
      target = limit;
      wholeWindow = true;
      break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
      target = std::clamp<std::int64_t>(position, 0, limit);
      break;
    case SB_ENDSCROLL:
      break;
  }
  if (target == current) return;
  SetScrollPosition(direction, target);
  if (wholeWindow) {
    Invalidate();
  } else if (direction == Vertical) {
    const int fixedHeight = int(std::min<std::int64_t>(FixedRowsHeight(), client.height()));
    InvalidateRect(QRect(0, fixedHeight, client.width(), client.height() - fixedHeight));
  } else {
    const int fixedWidth = int(std::min<std::int64_t>(FixedColumnsWidth(), client.width()));
    InvalidateRect(QRect(fixedWidth, 0, client.width() - fixedWidth, client.height()));
  }
}

void CGridCtrl::OnScrollBarAction(Direction direction, int action) {
  if (updatingBars_) return;
  ScrollCode code;
  std::int64_t position = 0;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: code = SB_LINEDOWN; break;
    case QAbstractSlider::SliderSingleStepSub: code = SB_LINEUP; break;
    case QAbstractSlider::SliderPageStepAdd: code = SB_PAGEDOWN; break;
    case QAbstractSlider::SliderPageStepSub: code = SB_PAGEUP; break;
    case QAbstractSlider::SliderToMinimum: code = SB_TOP; break;
    case QAbstractSlider::SliderToMaximum: code = SB_BOTTOM; break;
    case QAbstractSlider::SliderMove:
      code = SB_THUMBTRACK;
      position = std::int64_t(bars_[direction]->sliderPosition()) * scrollUnit_[direction];
      break;
    default: return;
  }
  if (direction == Vertical) OnVScroll(code, position);
  else OnHScroll(code, position);
  // The bar moves by rows and columns, not by its own steps.
  updatingBars_ = true;
  bars_[direction]->setSliderPosition(int(scrollPosition_[direction] / scrollUnit_[direction]));
  updatingBars_ = false;
}

void CGridCtrl::OnScrollBarValue(Direction direction, int value) {
  if (updatingBars_) return;
  if (value == int(scrollPosition_[direction] / scrollUnit_[direction])) return;
  const std::int64_t position = std::int64_t(value) * scrollUnit_[direction];
  if (direction == Vertical) OnVScroll(SB_THUMBPOSITION, position);
  else OnHScroll(SB_THUMBPOSITION, position);
}

void CGridCtrl::PostVerticalScroll(ScrollCode code) {
  QMetaObject::invokeMethod(this, [this, code] { OnVScroll(code); }, Qt::QueuedConnection);
}

void CGridCtrl::wheelEvent(QWheelEvent* event) {
  // Whole notches of 120; the rest of a fine-grained (touchpad) turn is kept
  // for the next event rather than lost.
  wheelRemainder_ += event->angleDelta().y();
  const int notches = wheelRemainder_ / 120;
  wheelRemainder_ %= 120;
  event->accept();
  if (notches == 0) return;
  if (wheelLines_ == -1) {
    for (int i = 0; i < std::abs(notches); ++i) PostVerticalScroll(notches > 0 ? SB_PAGEUP : SB_PAGEDOWN);
    return;
  }
  const int lines = wheelLines_ * (notches * 120) / -120;
  for (int i = 0; i < std::abs(lines); ++i) PostVerticalScroll(lines < 0 ? SB_LINEUP : SB_LINEDOWN);
}

void CGridCtrl::ScrollCellIntoView(int row, int column) {
  if (!allowDraw_ || !IsValid(row, column)) return;
  const CellRange visible = VisibleNonFixedRange();
  if (column >= fixedColumnCount_) {
    if (column > visible.maxColumn) {
      for (int c = visible.maxColumn + 1; c <= column; ++c)
        if (columnWidths_.At(c) != 0) OnHScroll(SB_LINERIGHT);
    } else if (column < visible.minColumn) {
      for (int c = column; c < visible.minColumn; ++c)
        if (columnWidths_.At(c) != 0) OnHScroll(SB_LINELEFT);
    }
  }
  if (row >= fixedRowCount_) {
    if (row > visible.maxRow) {
      for (int r = visible.maxRow + 1; r <= row; ++r)
        if (rowHeights_.At(r) != 0) OnVScroll(SB_LINEDOWN);
    } else if (row < visible.minRow) {
      for (int r = row; r < visible.minRow; ++r)
        if (rowHeights_.At(r) != 0) OnVScroll(SB_LINEUP);
    }
  }
  // A cell that is still cut off at the right or bottom edge comes in one more
  // line at a time, as long as it does not slide under the fixed cells.
  QRect rect;
  const QRect client = ClientRect();
  while (CellRectOf(row, column, rect) && rect.x() + rect.width() > client.width() &&
         rect.x() > FixedColumnsWidth()) {
    const std::int64_t before = scrollPosition_[Horizontal];
    OnHScroll(SB_LINERIGHT);
    if (scrollPosition_[Horizontal] == before) break;
  }
  while (CellRectOf(row, column, rect) && rect.y() + rect.height() > client.height() &&
         rect.y() > FixedRowsHeight()) {
    const std::int64_t before = scrollPosition_[Vertical];
    OnVScroll(SB_LINEDOWN);
    if (scrollPosition_[Vertical] == before) break;
  }
}

}  // namespace varnolt
