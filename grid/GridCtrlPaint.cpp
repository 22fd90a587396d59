// CGridCtrl's painting: background, cells in their order, grid lines. Only the
// cells on screen are visited, however many rows the grid holds.

#include "grid/GridCtrl.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace varnolt {

namespace {

// A run of visible rows or columns: index, start and size of each.
struct Span {
  int index;
  int start;
  int size;
};

std::vector<Span> Spans(const GridExtents& extents, int first, int last, int start, int limit) {
  std::vector<Span> spans;
  for (int index = first; index <= last && start < limit; ++index) {
    const int size = int(extents.At(index));
    spans.push_back(Span{index, start, size});
    start += size;
  }
  return spans;
}

QColor BackColourOf(const CGridCtrl& grid, const CGridDefaultCell* cell, bool fixed) {
  const GridColour colour = cell->GetBackColour();
  return colour == CLR_DEFAULT ? grid.FallbackBackColour(fixed) : QColorFrom(colour);
}

}  // namespace

void CGridCtrl::paintEvent(QPaintEvent* event) {
  if (!allowDraw_) return;
  const QRect client = ClientRect();
  const QRect exposed = event->rect() & client;
  QPainter painter(this);
  if (!exposed.isEmpty()) {
    if (doubleBuffer_) {
      const qreal ratio = devicePixelRatioF();
      const QSize size = client.size() * ratio;
      if (paintBuffer_.size() != size) {
        paintBuffer_ = QPixmap(size);
        paintBuffer_.setDevicePixelRatio(ratio);
      }
      {
        QPainter buffer(&paintBuffer_);
        buffer.setClipRect(exposed);
        OnDraw(buffer);
      }
      painter.drawPixmap(QRectF(exposed), paintBuffer_,
                         QRectF(QPointF(exposed.topLeft()) * ratio, QSizeF(exposed.size()) * ratio));
    } else {
      painter.setClipRect(exposed);
      OnDraw(painter);
      painter.setClipping(false);
    }
  }
  // The line that follows a divider being dragged, inverted over the cells.
  if (!trackingLine_.isNull()) {
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    painter.fillRect(trackingLine_ & client, Qt::white);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  }
  // The square where the two scroll bars meet.
  if (VerticalScrollBarShown() && HorizontalScrollBarShown())
    painter.fillRect(QRect(client.width(), client.height(), width() - client.width(), height() - client.height()),
                     palette().color(QPalette::Window));
}

void CGridCtrl::OnDraw(QPainter& painter) {
  if (!allowDraw_) return;
  const QRect client = ClientRect();
  const CellRange visible = VisibleNonFixedRange(nullptr, true);
  if (virtualMode_) SendCacheHint(visible);
  painter.save();
  EraseBackground(painter, client, visible);
  DrawCells(painter, client, visible);
  DrawGridLines(painter, client, visible);
  painter.restore();
  if (virtualMode_) SendCacheHint(CellRange{});
}

void CGridCtrl::EraseBackground(QPainter& painter, const QRect& client, const CellRange& visible) {
  const int fixedWidth = int(std::min<std::int64_t>(FixedColumnsWidth(), client.width()));
  const int fixedHeight = int(std::min<std::int64_t>(FixedRowsHeight(), client.height()));
  const int right = int(std::min<std::int64_t>(
      client.width(), fixedWidth + columnWidths_.Sum(visible.minColumn, visible.maxColumn + 1)));
  const int bottom = int(std::min<std::int64_t>(
      client.height(), fixedHeight + rowHeights_.Sum(visible.minRow, visible.maxRow + 1)));

  // Outside the cells: the grid's own background.
  const QColor outside = QColorFrom(gridBackColour_);
  painter.fillRect(QRect(right, 0, client.width() - right, client.height()), outside);
  painter.fillRect(QRect(0, bottom, right, client.height() - bottom), outside);
  // The fixed areas and the data area in their default cells' colours.
  painter.fillRect(QRect(0, 0, fixedWidth, fixedHeight), BackColourOf(*this, &defaultFixedRowColumnCell_, true));
  painter.fillRect(QRect(0, fixedHeight, fixedWidth, bottom - fixedHeight),
                   BackColourOf(*this, &defaultFixedColumnCell_, true));
  painter.fillRect(QRect(fixedWidth, 0, right - fixedWidth, fixedHeight),
                   BackColourOf(*this, &defaultFixedRowCell_, true));
  painter.fillRect(QRect(fixedWidth, fixedHeight, right - fixedWidth, bottom - fixedHeight),
                   BackColourOf(*this, &defaultCell_, false));
}

void CGridCtrl::DrawCells(QPainter& painter, const QRect& client, const CellRange& visible) {
  const int fixedWidth = int(std::min<std::int64_t>(FixedColumnsWidth(), client.width()));
  const int fixedHeight = int(std::min<std::int64_t>(FixedRowsHeight(), client.height()));
  const std::vector<Span> fixedColumns = Spans(columnWidths_, 0, fixedColumnCount_ - 1, 0, client.width());
  const std::vector<Span> fixedRows = Spans(rowHeights_, 0, fixedRowCount_ - 1, 0, client.height());
  const std::vector<Span> columns = Spans(columnWidths_, visible.minColumn, visible.maxColumn, fixedWidth, client.width());
  const std::vector<Span> rows = Spans(rowHeights_, visible.minRow, visible.maxRow, fixedHeight, client.height());
  const QRect clip = painter.hasClipping() ? painter.clipBoundingRect().toAlignedRect() : client;

  const auto drawAll = [&](const std::vector<Span>& rowSpans, const std::vector<Span>& columnSpans) {
    for (const Span& row : rowSpans) {
      if (row.size == 0) continue;
      if (row.start >= clip.bottom() + 1 || row.start + row.size <= clip.top()) continue;
      for (const Span& column : columnSpans) {
        if (column.size == 0) continue;
        if (column.start >= clip.right() + 1 || column.start + column.size <= clip.left()) continue;
        if (CGridCellBase* cell = CellAt(row.index, column.index))
          cell->Draw(painter, row.index, column.index, QRect(column.start, row.start, column.size - 1, row.size - 1), false);
      }
    }
  };
  drawAll(fixedRows, fixedColumns);
  drawAll(rows, fixedColumns);
  drawAll(fixedRows, columns);
  drawAll(rows, columns);
}

void CGridCtrl::DrawGridLines(QPainter& painter, const QRect& client, const CellRange& visible) {
  if (gridLines_ == GridLinesNone) return;
  const int fixedWidth = int(std::min<std::int64_t>(FixedColumnsWidth(), client.width()));
  const int fixedHeight = int(std::min<std::int64_t>(FixedRowsHeight(), client.height()));
  const std::vector<Span> columns = Spans(columnWidths_, visible.minColumn, visible.maxColumn, fixedWidth, client.width());
  const std::vector<Span> rows = Spans(rowHeights_, visible.minRow, visible.maxRow, fixedHeight, client.height());
  const int right = columns.empty() ? fixedWidth : std::min(client.width(), columns.back().start + columns.back().size);
  const int bottom = rows.empty() ? fixedHeight : std::min(client.height(), rows.back().start + rows.back().size);
  painter.setPen(QPen(QColorFrom(gridLineColour_), 0, Qt::SolidLine));
  if (gridLines_ & GridLinesVertical) {
    for (const Span& column : columns)
      if (column.size > 0 && bottom > fixedHeight)
        painter.drawLine(column.start + column.size - 1, fixedHeight, column.start + column.size - 1, bottom - 1);
  }
  if (gridLines_ & GridLinesHorizontal) {
    for (const Span& row : rows)
      if (row.size > 0 && right > fixedWidth)
        painter.drawLine(fixedWidth, row.start + row.size - 1, right - 1, row.start + row.size - 1);
  }
}

void CGridCtrl::RepaintCell(int row, int column) { InvalidateCellRect(row, column); }

void CGridCtrl::InvalidateCellRect(int row, int column) {
  if (!allowDraw_ || !IsValid(row, column) || !CellIsVisible(row, column)) return;
  QRect rect;
  if (!CellRectOf(row, column, rect)) return;
  update(rect.adjusted(0, 0, 1, 1));
}

}  // namespace varnolt
