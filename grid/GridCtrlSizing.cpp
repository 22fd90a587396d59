// CGridCtrl's geometry: where cells lie on screen, row and column sizes, and
// fitting columns and rows to their text or to the window.

#include "grid/GridCtrl.h"

#include <QScrollBar>

#include <algorithm>
#include <climits>

namespace varnolt {

namespace {
int ClampToInt(std::int64_t value) {
  return int(std::clamp<std::int64_t>(value, INT_MIN / 2, INT_MAX / 2));
}
}  // namespace

int CGridCtrl::RowHeight(int row) const {
  return row >= 0 && row < rowCount_ ? int(rowHeights_.At(row)) : -1;
}

int CGridCtrl::ColumnWidth(int column) const {
  return column >= 0 && column < columnCount_ ? int(columnWidths_.At(column)) : -1;
}

bool CGridCtrl::PutRowHeight(int row, int height) {
  if (row < 0 || row >= rowCount_ || height < 0) return false;
  rowHeights_.Set(row, unsigned(height));
  ResetScrollBars();
  Invalidate();
  return true;
}

bool CGridCtrl::PutColumnWidth(int column, int width) {
  if (column < 0 || column >= columnCount_ || width < 0) return false;
  columnWidths_.Set(column, unsigned(width));
  ResetScrollBars();
  Invalidate();
  return true;
}

QRect CGridCtrl::ClientRect() const {
  int width = this->width(), height = this->height();
  if (VerticalScrollBarShown()) width -= bars_[Vertical]->width();
  if (HorizontalScrollBarShown()) height -= bars_[Horizontal]->height();
  return QRect(0, 0, std::max(width, 0), std::max(height, 0));
}

CellId CGridCtrl::TopLeftNonFixedCell(bool forceRecalculation) {
  if (!forceRecalculation && topLeftCell_.row >= 0 && topLeftCell_.column >= 0) return topLeftCell_;
  // The first column whose predecessors fill the scroll position: a partly
  // scrolled column counts as scrolled away.
  topLeftCell_.column = columnWidths_.IndexAfterDistance(fixedColumnCount_, scrollPosition_[Horizontal], columnCount_ - 1);
  topLeftCell_.row = rowHeights_.IndexAfterDistance(fixedRowCount_, scrollPosition_[Vertical], rowCount_ - 1);
  return topLeftCell_;
}

CellRange CGridCtrl::VisibleNonFixedRange(QRect* visibleRect, bool forceRecalculation) {
  const QRect client = ClientRect();
  const CellId topLeft = TopLeftNonFixedCell(forceRecalculation);
  const std::int64_t fixedWidth = FixedColumnsWidth(), fixedHeight = FixedRowsHeight();

  // The last row and column that start inside the client area.
  const auto lastStarting = [](const GridExtents& extents, int first, int count, std::int64_t room) {
    if (first >= count) return first - 1;
    const std::int64_t start = extents.Offset(first);
    const int index = extents.IndexAt(start + std::max<std::int64_t>(room, 1) - 1);
    return std::clamp(index, first, count - 1);
  };
  CellRange range;
  range.minRow = topLeft.row;
  range.minColumn = topLeft.column;
  range.maxRow = lastStarting(rowHeights_, topLeft.row, rowCount_, client.height() - fixedHeight);
  range.maxColumn = lastStarting(columnWidths_, topLeft.column, columnCount_, client.width() - fixedWidth);
  if (visibleRect) {
    const std::int64_t right = fixedWidth + columnWidths_.Sum(range.minColumn, range.maxColumn + 1);
    const std::int64_t bottom = fixedHeight + rowHeights_.Sum(range.minRow, range.maxRow + 1);
    *visibleRect = QRect(0, 0, int(std::min<std::int64_t>(right, client.width())),
                         int(std::min<std::int64_t>(bottom, client.height())));
  }
  return range;
}

bool CGridCtrl::CellOriginOf(int row, int column, QPoint& origin) {
  if (!IsValid(row, column)) return false;
  const CellId topLeft = TopLeftNonFixedCell();
  if (column >= fixedColumnCount_ && column < topLeft.column) return false;
  if (row >= fixedRowCount_ && row < topLeft.row) return false;
  const std::int64_t x = column < fixedColumnCount_ ? columnWidths_.Sum(0, column)
                                                    : FixedColumnsWidth() + columnWidths_.Sum(topLeft.column, column);
  const std::int64_t y = row < fixedRowCount_ ? rowHeights_.Sum(0, row)
                                              : FixedRowsHeight() + rowHeights_.Sum(topLeft.row, row);
  origin = QPoint(ClampToInt(x), ClampToInt(y));
  return true;
}

bool CGridCtrl::CellRectOf(int row, int column, QRect& rect) {
  QPoint origin;
  if (!CellOriginOf(row, column, origin)) return false;
  // Ends one pixel before the next cell: that pixel is the grid line's.
  rect = QRect(origin.x(), origin.y(), ColumnWidth(column) - 1, RowHeight(row) - 1);
  return true;
}

CellId CGridCtrl::CellUnderPoint(QPoint point, bool allowFixed) {
  const QRect client = ClientRect();
  if (!client.contains(point)) return CellId{};
  const CellId topLeft = TopLeftNonFixedCell();
  const std::int64_t fixedWidth = FixedColumnsWidth(), fixedHeight = FixedRowsHeight();
  CellId cell;
  cell.column = point.x() < fixedWidth
                    ? columnWidths_.IndexAt(point.x())
                    : columnWidths_.IndexAt(columnWidths_.Offset(topLeft.column) + (point.x() - fixedWidth));
  cell.row = point.y() < fixedHeight ? rowHeights_.IndexAt(point.y())
                                     : rowHeights_.IndexAt(rowHeights_.Offset(topLeft.row) + (point.y() - fixedHeight));
  if (!IsValid(cell.row, cell.column)) return CellId{};
  if (!allowFixed && (cell.row < fixedRowCount_ || cell.column < fixedColumnCount_)) return CellId{};
  return cell;
}

bool CGridCtrl::CellIsVisible(int row, int column) {
  QRect rect;
  if (!CellRectOf(row, column, rect)) return false;
  const QRect client = ClientRect();
  return rect.x() < client.width() && rect.y() < client.height();
}

bool CGridCtrl::FitColumnToText(int column, unsigned style, bool resetScrollBars) {
  if (column < 0 || column >= columnCount_ || columnWidths_.At(column) == 0) return false;
  if (style == 0) style = autoSizeStyle_;
  const int first = (style & 1) ? 0 : fixedRowCount_;
  const int last = (style & 2) ? rowCount_ : fixedRowCount_;
  if (virtualMode_) SendCacheHint(CellRange{first, column, last - 1, column});
  int width = -1;
  for (int row = first; row < last; ++row)
    if (CGridCellBase* cell = CellAt(row, column)) width = std::max(width, cell->CellExtentFor(this).width());
  if (virtualMode_) SendCacheHint(CellRange{});
  // Nothing measured leaves the column as it was rather than hiding it.
  if (width < 0) return false;
  columnWidths_.Set(column, unsigned(width));
  if (resetScrollBars) ResetScrollBars();
  Invalidate();
  return true;
}

bool CGridCtrl::FitRowToText(int row, unsigned style, bool resetScrollBars) {
  if (row < 0 || row >= rowCount_ || rowHeights_.At(row) == 0) return false;
  if (style == 0) style = autoSizeStyle_;
  const int first = (style & 1) ? 0 : fixedColumnCount_;
  const int last = (style & 2) ? columnCount_ : fixedColumnCount_;
  if (virtualMode_) SendCacheHint(CellRange{row, first, row, last - 1});
  int height = -1;
  for (int column = first; column < last; ++column)
    if (CGridCellBase* cell = CellAt(row, column)) height = std::max(height, cell->CellExtentFor(this).height());
  if (virtualMode_) SendCacheHint(CellRange{});
  if (height < 0) return false;
  rowHeights_.Set(row, unsigned(height));
  if (resetScrollBars) ResetScrollBars();
  Invalidate();
  return true;
}

void CGridCtrl::FitColumnsToClient(bool expandFixed) {
  const int first = expandFixed ? 0 : fixedColumnCount_;
  if (first >= columnCount_) return;
  if (HorizontalScrollBarShown()) {
    bars_[Horizontal]->hide();
    scrollBarsShown_ &= ~1;
    // A vertical bar shown only for the rows the horizontal one covered goes
    // with it, or the columns would be fitted a bar's width short.
    if (VerticalScrollBarShown() && !RowsOverflow(height())) {
      bars_[Vertical]->hide();
      scrollBarsShown_ &= ~2;
    }
  }
  int count = 0;
  for (int column = first; column < columnCount_; ++column)
    if (columnWidths_.At(column) != 0) ++count;
  if (count == 0) return;

  const std::int64_t spare = ClientRect().width() - TotalColumnsWidth();
  const std::int64_t share = spare / count;
  // A column that would shrink to nothing or below keeps one pixel, so it is
  // neither hidden nor given a width that wraps around.
  const auto resize = [this](int column, std::int64_t change) {
    const std::int64_t width = std::max<std::int64_t>(1, std::int64_t(columnWidths_.At(column)) + change);
    columnWidths_.Set(column, unsigned(std::min<std::int64_t>(width, INT_MAX)));
  };
  for (int column = first; column < columnCount_; ++column)
    if (columnWidths_.At(column) != 0) resize(column, share);
  // The remainder goes one pixel at a time from the first column on; a hidden
  // column in that stretch uses up its turn.
  const std::int64_t remainder = spare > 0 ? spare % count : (-spare) % count;
  for (int column = first; column < columnCount_ && column - first < remainder; ++column)
    if (columnWidths_.At(column) != 0) resize(column, spare > 0 ? 1 : -1);

  Invalidate();
  ResetScrollBars();
}

}  // namespace varnolt
