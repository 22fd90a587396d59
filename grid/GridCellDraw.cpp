// How a cell draws and measures itself.

#include "grid/GridCellBase.h"

#include "grid/GridCtrl.h"
#include "grid/GridDefaultCell.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

#include <algorithm>

namespace varnolt {

int QtTextFlagsFor(std::uint32_t format) {
  int flags = 0;
  if (format & DT_RIGHT) flags |= Qt::AlignRight;
  else if (format & DT_CENTER) flags |= Qt::AlignHCenter;
  else flags |= Qt::AlignLeft;
  // Vertical placement only applies to single-line text, as on the desktop.
  if (format & DT_SINGLELINE) {
    flags |= Qt::TextSingleLine;
    if (format & DT_BOTTOM) flags |= Qt::AlignBottom;
    else if (format & DT_VCENTER) flags |= Qt::AlignVCenter;
    else flags |= Qt::AlignTop;
  } else {
    flags |= Qt::AlignTop;
    if (format & DT_WORDBREAK) flags |= Qt::TextWordWrap;
  }
  if (format & DT_EXPANDTABS) flags |= Qt::TextExpandTabs;
  if (format & DT_NOCLIP) flags |= Qt::TextDontClip;
  return flags;
}

namespace {

// A rectangle with exclusive right and bottom edges, as the grid lays cells out.
QRect FromEdges(int left, int top, int right, int bottom) { return QRect(left, top, right - left, bottom - top); }

QColor Resolve(GridColour colour, const QColor& fallback) {
  return colour == CLR_DEFAULT ? fallback : QColorFrom(colour);
}

bool IsVertical(const GridFont* font) {
  return font && (font->escapement == 900 || font->escapement == -900);
}

// Draws the text as the desktop's DrawText would with the given format.
void DrawFormattedText(QPainter& painter, QRect rect, const QString& text, std::uint32_t format,
                       const GridFont* font) {
  if (text.isEmpty() || rect.width() <= 0 || rect.height() <= 0) return;
  const int flags = QtTextFlagsFor(format);
  QString shown = text;
  const bool oneLine = (format & DT_SINGLELINE) || !text.contains(QLatin1Char('\n'));
  if (oneLine && (format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS))) {
    const Qt::TextElideMode mode = (format & DT_PATH_ELLIPSIS) ? Qt::ElideMiddle : Qt::ElideRight;
    const bool vertical = IsVertical(font);
    shown = painter.fontMetrics().elidedText(text, mode, vertical ? rect.height() : rect.width(),
                                             (format & DT_SINGLELINE) ? Qt::TextSingleLine : 0);
  }
  if (!IsVertical(font)) {
    painter.drawText(rect, flags, shown);
    return;
  }
  // Vertical text runs up (escapement 900) or down (-900) the cell.
  painter.save();
  if (font->escapement == 900) {
    painter.translate(rect.left(), rect.bottom() + 1);
    painter.rotate(-90);
  } else {
    painter.translate(rect.right() + 1, rect.top());
    painter.rotate(90);
  }
  painter.drawText(QRect(0, 0, rect.height(), rect.width()), flags, shown);
  painter.restore();
}

// The sort arrow of a header cell, drawn with a shadow and a highlight side.
void DrawSortArrow(QPainter& painter, const QRect& box, bool ascending, const QPalette& palette) {
  const int left = box.left(), top = box.top(), size = box.width();
  const QPoint apexUp(left + size / 2, top), baseLeftUp(left, top + size), baseRightUp(left + size, top + size);
  const QPoint apexDown(left + size / 2, top + size), topLeft(left, top), topRight(left + size, top);
  QPen shadow(palette.color(QPalette::Dark), 0), highlight(palette.color(QPalette::Light), 0);
  if (ascending) {
    painter.setPen(shadow);
    painter.drawLine(apexUp, baseLeftUp);
    painter.setPen(highlight);
    painter.drawLine(baseLeftUp, baseRightUp);
    painter.drawLine(baseRightUp, apexUp);
  } else {
    painter.setPen(shadow);
    painter.drawLine(topRight, topLeft);
    painter.drawLine(topLeft, apexDown);
    painter.setPen(highlight);
    painter.drawLine(apexDown, topRight);
  }
}

}  // namespace

bool CGridCellBase::DrawCell(QPainter& painter, int row, int column, QRect rect, bool eraseBackground,
                             bool printing) {
  CGridCtrl* grid = GetGrid();
  if (!grid) return false;
  CGridDefaultCell* defaultCell = DefaultCellFor();
  if (!defaultCell) return false;
  if (rect.width() <= 0 || rect.height() <= 0) return false;

  // rect holds the cell's pixels; edges are tracked the way the layout gives
  // them, right and bottom exclusive.
  int left = rect.left(), top = rect.top(), right = rect.left() + rect.width(), bottom = rect.top() + rect.height();
  const QPalette& palette = grid->palette();
  const bool fixed = IsFixed();

  painter.save();
  painter.setBackgroundMode(Qt::TransparentMode);
  QColor textColour = Resolve(GetTextColour() != CLR_DEFAULT ? GetTextColour() : defaultCell->GetTextColour(),
                              palette.color(fixed ? QPalette::ButtonText : QPalette::Text));
  bool fill = eraseBackground;
  QColor backColour;
  if (GetBackColour() != CLR_DEFAULT) {
    backColour = QColorFrom(GetBackColour());
    fill = true;
  } else {
    backColour = Resolve(defaultCell->GetBackColour(), palette.color(fixed ? QPalette::Button : QPalette::Base));
  }

  if (IsFocused() || IsDropMarked()) {
    if (IsSelected()) {
      backColour = palette.color(QPalette::Highlight);
      textColour = palette.color(QPalette::HighlightedText);
      fill = true;
    }
    if (fill) painter.fillRect(FromEdges(left, top, right + 1, bottom + 1), backColour);
    if (grid->OutlineFocusCell()) {
      // Inside the grid lines when there are any, over them otherwise.
      const int extra = grid->GridLinesShown() == CGridCtrl::GridLinesNone ? 1 : 0;
      painter.setPen(QPen(textColour, 0));
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(FromEdges(left, top, right + extra - 1, bottom + extra - 1));
    }
    top += 1;
    right -= 1;
    bottom -= 1;
  } else if (IsSelected()) {
    painter.fillRect(FromEdges(left, top, right + 1, bottom + 1), palette.color(QPalette::Highlight));
    textColour = palette.color(QPalette::HighlightedText);
  } else if (fill) {
    painter.fillRect(FromEdges(left, top, right + 1, bottom + 1), backColour);
  }

  if (fixed && grid->GridLinesShown() != CGridCtrl::GridLinesNone) {
    const CellId focus = grid->FocusedCell();
    if (grid->HighlightFocusHeaders() && focus.IsValid() && (focus.row == row || focus.column == column)) {
      // Sunken: dark along the top and left, light along the bottom and right.
      painter.setPen(QPen(palette.color(QPalette::Shadow), 0));
      painter.drawLine(left, top, right - 1, top);
      painter.drawLine(left, top, left, bottom - 1);
      painter.setPen(QPen(palette.color(QPalette::Midlight), 0));
      painter.drawLine(left, bottom - 1, right - 1, bottom - 1);
      painter.drawLine(right - 1, top, right - 1, bottom - 1);
    } else {
      // Raised: light along the top and left, dark along the right and bottom,
      // the dark edge on the pixel that a grid line takes in the data area.
      painter.setPen(QPen(palette.color(QPalette::Light), 0));
      painter.drawLine(left, top, right - 1, top);
      painter.drawLine(left, top, left, bottom - 1);
      painter.setPen(QPen(palette.color(QPalette::Shadow), 0));
      painter.drawLine(right, top, right, bottom);
      painter.drawLine(left, bottom, right, bottom);
    }
    left += 1;
    top += 1;
    right -= 1;
    bottom -= 1;
  }

  if (!printing) painter.setFont(GetFontObject());
  const int margin = int(GetMargin());
  left += margin;
  right -= margin;

  if (grid->HasImageList() && GetImage() >= 0 && GetImage() < int(grid->ImageList().size())) {
    const QPixmap& image = grid->ImageList()[std::size_t(GetImage())];
    if (image.width() <= right - left + 2 * margin && image.height() <= bottom - top)
      painter.drawPixmap(left, top, image);
  }

  if (row == 0 && column == grid->SortColumn()) {
    const QFontMetrics metrics = painter.fontMetrics();
    const int size = std::min(metrics.boundingRect(QStringLiteral("M")).height() - 4, bottom - top - 4);
    const bool vertical = IsVertical(GetFont());
    if (size > 0 && size + 4 <= right - left) {
      QRect box;
      if (vertical) box = QRect(left + (right - left - size) / 2, top + 2, size, size);
      else box = QRect(right - size - 2, top + (bottom - top - size) / 2, size, size);
      DrawSortArrow(painter, box, grid->SortAscending(), palette);
      if (!vertical) right = box.left() - 2;
    }
  }

  QRect textRect = FromEdges(left, top, right, bottom);
  TextRectFor(textRect);
  painter.setPen(textColour);
  DrawFormattedText(painter, textRect, GetText(), GetFormat() | DT_NOPREFIX, GetFont());
  painter.restore();
  return true;
}

bool CGridCellBase::TextRectFor(QRect& rect) {
  CGridCtrl* grid = GetGrid();
  if (grid && grid->HasImageList() && GetImage() >= 0 && GetImage() < int(grid->ImageList().size())) {
    const int shift = grid->ImageList()[std::size_t(GetImage())].width() + int(GetMargin());
    rect.setLeft(rect.left() + shift);
  }
  return true;
}

QSize CGridCellBase::TextExtentFor(const QString& text, QPaintDevice* device) {
  CGridDefaultCell* defaultCell = DefaultCellFor();
  if (!defaultCell) return QSize();
  if (!device) device = GetGrid();
  if (text.isEmpty() || !device) return QSize(defaultCell->GetWidth(), defaultCell->GetHeight());

  const QFontMetrics metrics(GetFontObject(), device);
  const std::uint32_t format = GetFormat();
  QSize size;
  if ((format & DT_SINGLELINE) || !(format & DT_WORDBREAK)) {
    size = QSize(metrics.horizontalAdvance(text), metrics.height());
  } else {
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) widest = std::max(widest, metrics.horizontalAdvance(line));
    const QRect bounds = metrics.boundingRect(QRect(0, 0, widest + 1, 0), QtTextFlagsFor(format), text);
    size = QSize(widest, bounds.height());
  }
  // Qt fonts have no overhang of their own beyond the advance.
  const int margin = int(GetMargin());
  size.rwidth() += 4 * margin;
  size.rheight() += 2 * margin;
  if (IsVertical(GetFont())) size = QSize(size.height(), size.width() + 4 * margin);
  return size;
}

QSize CGridCellBase::CellExtentFor(QPaintDevice* device) {
  QSize size = TextExtentFor(GetText(), device);
  CGridCtrl* grid = GetGrid();
  if (grid && grid->HasImageList() && GetImage() >= 0 && GetImage() < int(grid->ImageList().size())) {
    const QPixmap& image = grid->ImageList()[std::size_t(GetImage())];
    size.rwidth() += image.width();
    size.setHeight(std::max(size.height(), image.height()));
  }
  return size;
}

}  // namespace varnolt
