// CGridCtrl's mouse and keyboard: clicks and keys move the focus cell and
// select; the dividers in the header rows and columns are dragged to size and
// double-clicked to fit; header clicks select or sort; the owner hears of each.

#include "grid/GridCtrl.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QTimerEvent>

#include <algorithm>

namespace varnolt {

// ---- Qt's events, turned into the grid's own handlers ----

void CGridCtrl::mousePressEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if (event->button() == Qt::LeftButton) OnLeftButtonDown(point, event->modifiers());
  else if (event->button() == Qt::RightButton) rightButtonDown_ = true;
  event->accept();
}

void CGridCtrl::mouseMoveEvent(QMouseEvent* event) {
  OnMouseMove(event->position().toPoint(), (event->buttons() & Qt::LeftButton) != 0);
  event->accept();
}

void CGridCtrl::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if (event->button() == Qt::LeftButton) OnLeftButtonUp(point);
  else if (event->button() == Qt::RightButton) OnRightButtonUp(point);
  event->accept();
}

// The second press of a double click comes here instead of to the press.
void CGridCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) OnLeftButtonDoubleClick(event->position().toPoint());
  event->accept();
}

void CGridCtrl::keyPressEvent(QKeyEvent* event) {
  if (HandleKeyPress(event->key(), event->modifiers())) {
    event->accept();
    return;
  }
  // A typed character (Enter, Backspace and Space included) starts editing
  // the focus cell; Escape, Delete and, while the grid keeps it, Tab do not.
  const QList<uint> characters = event->text().toUcs4();
  const bool control = (event->modifiers() & Qt::ControlModifier) != 0;
  if (!characters.isEmpty() && !control && mouseMode_ == ModeIdle && !leftButtonDown_ && focusCell_.IsValid()) {
    const uint character = characters.first();
    if (character != 0x1B && character != 0x7F && !(character == '\t' && handleTabKey_)) {
      BeginCellEdit(focusCell_.row, focusCell_.column, QPoint(-1, -1), int(character));
      event->accept();
      return;
    }
  }
  QWidget::keyPressEvent(event);
}

// Tab stays in the grid while the focus cell has somewhere to go; at the
// grid's end (and without a focus cell) the dialog moves the focus on.
bool CGridCtrl::focusNextPrevChild(bool next) {
  if (handleTabKey_ && focusCell_.IsValid() && !(TabTarget(next) == focusCell_)) return false;
  return QWidget::focusNextPrevChild(next);
}

void CGridCtrl::timerEvent(QTimerEvent* event) {
  if (event->timerId() == autoScrollTimer_.timerId()) OnAutoScrollTimer();
  else QWidget::timerEvent(event);
}

// ---- Where the mouse is ----

QPoint CGridCtrl::PointInCell(CellId cell, QPoint point) {
  QPoint origin;
  if (!CellOriginOf(cell.row, cell.column, origin)) return QPoint(0, 0);
  return point - origin;
}

bool CGridCtrl::PointInTextOf(CellId cell, QPoint point) {
  CGridCellBase* item = CellAt(cell.row, cell.column);
  QRect rect;
  if (!item || !CellRectOf(cell.row, cell.column, rect) || !item->TextRectFor(rect)) return false;
  return rect.contains(point);
}

// Column dividers are grabbed in the fixed rows, row dividers in the fixed
// columns, within edgeGrabWidth pixels of an edge (the grid's own left and
// top edges excepted).
bool CGridCtrl::MouseOverEdge(Direction direction, QPoint point) {
  const Direction across = direction == Horizontal ? Vertical : Horizontal;
  if (Along(across, point) >= Extents(across).Sum(0, FixedCount(across))) return false;
  const CellId cell = CellUnderPoint(point, true);
  QPoint start;
  if (!CellOriginOf(cell.row, cell.column, start)) return false;
  const int index = direction == Horizontal ? cell.column : cell.row;
  const int offset = Along(direction, point) - Along(direction, start);
  return (offset < edgeGrabWidth_ && index != 0) || int(Extents(direction).At(index)) - offset < edgeGrabWidth_;
}

void CGridCtrl::TrackDividerUnder(QPoint point) {
  if (allowColumnResize_ && MouseOverEdge(Horizontal, point)) mouseMode_ = ModeOverColumnEdge;
  else if (allowRowResize_ && MouseOverEdge(Vertical, point)) mouseMode_ = ModeOverRowEdge;
  else mouseMode_ = ModeIdle;
  UpdateCursor(point);
}

void CGridCtrl::UpdateCursor(QPoint point) {
  Qt::CursorShape shape = Qt::ArrowCursor;
  switch (mouseMode_) {
    case ModeOverRowEdge:
    case ModeSizeRow: shape = Qt::SizeVerCursor; break;
    case ModeOverColumnEdge:
    case ModeSizeColumn: shape = Qt::SizeHorCursor; break;
    default:
      if (!virtualMode_) {
        const CellId cell = CellUnderPoint(point, true);
        if (CGridCellBase* item = CellAt(cell.row, cell.column); item && item->OnSetCursor()) return;
      }
      break;
  }
  if (cursor().shape() != shape) setCursor(shape);
}

void CGridCtrl::MoveTrackingLine(QRect line) {
  if (!trackingLine_.isNull()) update(trackingLine_);
  trackingLine_ = line;
  if (!trackingLine_.isNull()) update(trackingLine_);
}

// ---- The left button ----

void CGridCtrl::OnLeftButtonDown(QPoint point, Qt::KeyboardModifiers modifiers) {
  setFocus(Qt::MouseFocusReason);
  leftClickDownPoint_ = point;
  heldMousePoint_ = point;
  leftButtonDown_ = true;
  leftClickDownCell_ = CellUnderPoint(point, true);
  if (!IsValid(leftClickDownCell_.row, leftClickDownCell_.column)) {
    leftClickDownCell_ = CellId{};
    return;
  }
  const CellId cell = leftClickDownCell_;
  const bool control = (modifiers & Qt::ControlModifier) != 0;
  if (!(modifiers & Qt::ShiftModifier)) selectionStartCell_ = cell;
  else if (!selectionStartCell_.IsValid()) selectionStartCell_ = focusCell_;

  FinishEditing();
  if (CGridCellBase* item = CellAt(cell.row, cell.column)) item->HandlePress(PointInCell(cell, point));
  // A real press follows a move to the same point; make sure the divider
  // under it is known even when no move came first.
  if (mouseMode_ == ModeIdle || mouseMode_ == ModeOverColumnEdge || mouseMode_ == ModeOverRowEdge)
    TrackDividerUnder(point);

  if (cell == focusCell_ && !control && PointInTextOf(cell, point) && CellIsEditable(cell.row, cell.column)) {
    mouseMode_ = ModeEditPending;
    return;
  }
  const bool selected = CellIsSelected(cell.row, cell.column);
  if (selected && control) {
    // Ctrl-click on a selected cell takes it (or its row) out of the selection.
    MoveFocusTo(cell);
    if (listMode_) SelectRowsTo(cell, true, false);
    else SelectCellsTo(cell, true, false);
    return;
  }
  if (selected && dragAndDropEnabled_) {
    mouseMode_ = ModeDragPending;
  } else if (mouseMode_ != ModeOverColumnEdge && mouseMode_ != ModeOverRowEdge) {
    // A data cell takes the focus; a header click clears it.
    if (cell.row >= fixedRowCount_ && cell.column >= fixedColumnCount_) MoveFocusTo(cell);
    else MoveFocusTo(-1, -1);
  }

  if (mouseMode_ == ModeOverColumnEdge || mouseMode_ == ModeOverRowEdge) {
    BeginSizing(mouseMode_ == ModeOverColumnEdge ? Horizontal : Vertical, point);
  } else if (mouseMode_ != ModeDragPending) {
    SendMessageToParent(cell.row, cell.column, LVN_ITEMCHANGING);
    // Ctrl keeps what is selected and adds to it.
    previousSelectedCells_.clear();
    if (control) previousSelectedCells_ = selectedCells_;
    if (cell.row < fixedRowCount_) {
      OnFixedRowClick(cell);
    } else if (cell.column < fixedColumnCount_) {
      OnFixedColumnClick(cell);
    } else {
      mouseMode_ = listMode_ ? ModeSelectRow : ModeSelectCells;
      ExtendSelectionTo(cell);
      autoScrollTimer_.start(autoScrollInterval_, this);
    }
  }
  lastMousePoint_ = point;
}

// The column left of the divider (the row above it) is sized; a last column
// narrower than the grab range is sized from its right end. Hidden columns left
// of the divider are passed over unless they may be reopened.
void CGridCtrl::BeginSizing(Direction direction, QPoint point) {
  mouseMode_ = direction == Horizontal ? ModeSizeColumn : ModeSizeRow;
  int& index = direction == Horizontal ? leftClickDownCell_.column : leftClickDownCell_.row;
  const GridExtents& extents = Extents(direction);
  const int last = Count(direction) - 1;
  const bool reopenHidden = direction == Horizontal ? reopenHiddenColumns_ : reopenHiddenRows_;
  QPoint start;
  QRect visible;
  VisibleNonFixedRange(&visible);
  const int visibleEnd = direction == Horizontal ? visible.x() + visible.width() : visible.y() + visible.height();
  bool found = CellOriginOf(leftClickDownCell_.row, leftClickDownCell_.column, start);
  if (found && int(extents.At(last)) < edgeGrabWidth_ && std::abs(Along(direction, point) - visibleEnd) < edgeGrabWidth_)
    index = last;
  else if (found && Along(direction, point) - Along(direction, start) < edgeGrabWidth_)
    --index;
  if (!reopenHidden)
    while (index >= 0 && extents.At(index) == 0) --index;
  if (!found || index < 0 || !CellOriginOf(leftClickDownCell_.row, leftClickDownCell_.column, start)) {
    mouseMode_ = ModeIdle;
    return;
  }
  MoveTrackingLine(TrackingLineAt(direction, point));
}

QRect CGridCtrl::TrackingLineAt(Direction direction, QPoint point) const {
  const QRect client = ClientRect();
  return direction == Horizontal ? QRect(point.x(), 0, 2, client.height()) : QRect(0, point.y(), client.width(), 2);
}

// The new size is the release point's distance from the column's left edge
// (the row's top), down to 0 when hiding is allowed and to 1 when not.
void CGridCtrl::FinishSizing(Direction direction, QPoint point) {
  MoveTrackingLine(QRect());
  const CellId cell = leftClickDownCell_;
  QPoint start;
  if (point == leftClickDownPoint_ || !CellOriginOf(cell.row, cell.column, start)) return;
  const bool allowHide = direction == Horizontal ? allowColumnHide_ : allowRowHide_;
  const int size = std::max(Along(direction, point) - Along(direction, start), allowHide ? 0 : 1);
  if (direction == Horizontal) PutColumnWidth(cell.column, size);
  else PutRowHeight(cell.row, size);
  Invalidate();
}

// A double click on a divider fits the column left of it (the row above it),
// the nearest one shown.
void CGridCtrl::FitAtDivider(Direction direction, CellId cell, QPoint point) {
  QPoint start;
  if (!CellOriginOf(cell.row, cell.column, start)) return;
  int index = direction == Horizontal ? cell.column : cell.row;
  if (Along(direction, point) - Along(direction, start) < edgeGrabWidth_) --index;
  while (index >= 0 && Extents(direction).At(index) == 0) --index;
  if (index < 0) return;
  if (direction == Horizontal) FitColumnToText(index, autoSizeStyle_);
  else FitRowToText(index, autoSizeStyle_);
  Invalidate();
}

void CGridCtrl::OnMouseMove(QPoint point, bool leftButton) {
  (void)leftButton;
  if (leftButtonDown_) heldMousePoint_ = point;
  if (mouseMode_ != ModeDragging && !ClientRect().contains(point)) return;

  if (!leftButtonDown_ || mouseMode_ == ModeIdle) {
    TrackDividerUnder(point);
    if (mouseMode_ == ModeIdle) {
      const CellId cell = CellUnderPoint(point, true);
      if (CGridCellBase* item = CellAt(cell.row, cell.column)) item->HandleHover();
      if (!rightButtonDown_) OfferTitleTip(cell.row, cell.column);
    }
    lastMousePoint_ = point;
    return;
  }
  if (!leftClickDownCell_.IsValid()) {
    lastMousePoint_ = point;
    return;
  }

  switch (mouseMode_) {
    case ModeSelectColumn:
    case ModeSelectRow:
    case ModeSelectCells: {
      const CellId cell = CellUnderPoint(point, true);
      if (!cell.IsValid()) return;
      // Nothing to do until the mouse reaches another cell.
      if (cell == CellUnderPoint(lastMousePoint_, true) || cell == focusCell_) break;
      ExtendSelectionTo(cell);
      // Dragging along a header moves the focus with it, but a header press
      // alone leaves the focus cleared.
      const bool dataCell = cell.row >= fixedRowCount_ && cell.column >= fixedColumnCount_;
      const bool alongHeader = (mouseMode_ == ModeSelectColumn || mouseMode_ == ModeSelectRow) && !(cell == leftClickDownCell_);
      if (dataCell || alongHeader) MoveFocusTo(cell);
      break;
    }
    case ModeSizeColumn: MoveTrackingLine(TrackingLineAt(Horizontal, point)); break;
    case ModeSizeRow: MoveTrackingLine(TrackingLineAt(Vertical, point)); break;
    case ModeEditPending:
    case ModeDragPending:
      if ((point - leftClickDownPoint_).manhattanLength() >= QApplication::startDragDistance()) {
        mouseMode_ = ModeDragPending;
        StartDrag();
      }
      break;
    default: break;
  }
  lastMousePoint_ = point;
}

void CGridCtrl::OnLeftButtonUp(QPoint point) {
  leftButtonDown_ = false;
  autoScrollTimer_.stop();
  const CellId focus = focusCell_;
  const CellId down = leftClickDownCell_;

  switch (mouseMode_) {
    case ModeEditPending:
      BeginCellEdit(focus.row, focus.column, PointInCell(focus, point), EditStartedByMouse);
      break;
    case ModeDragPending:
      // A click on a selected cell that did not start a drag selects that cell alone.
      SendMessageToParent(down.row, down.column, LVN_ITEMCHANGING);
      previousSelectedCells_.clear();
      selectionStartCell_ = down;
      MoveFocusTo(down);
      mouseMode_ = listMode_ ? ModeSelectRow : ModeSelectCells;
      ExtendSelectionTo(down);
      SendMessageToParent(focusCell_.row, focusCell_.column, LVN_ITEMCHANGED);
      if (CGridCellBase* item = CellAt(down.row, down.column)) item->HandleClick(PointInCell(down, point));
      break;
    case ModeSizeColumn: FinishSizing(Horizontal, point); break;
    case ModeSizeRow: FinishSizing(Vertical, point); break;
    default:
      SendMessageToParent(focus.row, focus.column, LVN_ITEMCHANGED);
      if (CGridCellBase* item = CellAt(focus.row, focus.column)) item->HandleClick(PointInCell(focus, point));
      break;
  }
  mouseMode_ = ModeIdle;
  if (cursor().shape() != Qt::ArrowCursor) setCursor(Qt::ArrowCursor);

  if (!down.IsValid()) return;
  // Posted, as the desktop posts its WM_COMMAND: the owner hears of it once
  // the click's own handling is over.
  QMetaObject::invokeMethod(this, [this, down] { emit clicked(down.row, down.column); }, Qt::QueuedConnection);
  SendMessageToParent(down.row, down.column, NM_CLICK);
}

void CGridCtrl::OnLeftButtonDoubleClick(QPoint point) {
  const CellId cell = CellUnderPoint(point, true);
  if (!cell.IsValid()) return;
  // The release before a double click sets the mode back to idle; the
  // divider under the mouse is found again.
  if (mouseMode_ == ModeIdle) TrackDividerUnder(point);

  if (mouseMode_ == ModeOverColumnEdge || mouseMode_ == ModeOverRowEdge) {
    FitAtDivider(mouseMode_ == ModeOverColumnEdge ? Horizontal : Vertical, cell, point);
  } else if (mouseMode_ == ModeIdle) {
    const QPoint relative = PointInCell(cell, point);
    if (cell.row >= fixedRowCount_ && cell.column >= fixedColumnCount_ && PointInTextOf(cell, point))
      BeginCellEdit(cell.row, cell.column, relative, EditStartedByMouse);
    if (CGridCellBase* item = CellAt(cell.row, cell.column)) item->HandleDoubleClick(relative);
    SendMessageToParent(cell.row, cell.column, NM_DBLCLK);
  }
}

void CGridCtrl::OnFixedRowClick(CellId cell) {
  if (!IsValid(cell.row, cell.column)) return;
  if (sortOnHeaderClick_) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    SortRowsBy(cell.column, !(cell.column == sortColumn_ && sortAscending_));
    QApplication::restoreOverrideCursor();
    Invalidate();
  }
  if (fixedRowClickSelectsColumn_) {
    mouseMode_ = cell.column < fixedColumnCount_ ? ModeSelectAll : ModeSelectColumn;
    ExtendSelectionTo(cell);
  }
}

void CGridCtrl::OnFixedColumnClick(CellId cell) {
  if (!IsValid(cell.row, cell.column)) return;
  if (fixedColumnClickSelectsRow_) {
    mouseMode_ = cell.row < fixedRowCount_ ? ModeSelectAll : ModeSelectRow;
    ExtendSelectionTo(cell);
  }
}

// ---- The right button ----

void CGridCtrl::OnRightButtonUp(QPoint point) {
  rightButtonDown_ = false;
  FinishEditing();
  const CellId cell = CellUnderPoint(point, true);
  if (!cell.IsValid()) {
    SendMessageToParent(-1, -1, NM_RCLICK);
    return;
  }
  MoveFocusTo(-1, -1);
  MoveFocusTo(std::max(cell.row, fixedRowCount_), std::max(cell.column, fixedColumnCount_));
  if (CGridCellBase* item = CellAt(cell.row, cell.column)) item->HandleRightClick(PointInCell(cell, point));
  SendMessageToParent(cell.row, cell.column, NM_RCLICK);
}

// ---- Automatic scrolling and capture ----

// While the button is held outside the cells, the grid steps towards the
// mouse as if arrow keys were pressed, and the selection follows.
void CGridCtrl::OnAutoScrollTimer() {
  const QRect client = ClientRect();
  if (client.isEmpty()) return;
  const int fixedHeight = int(std::min<std::int64_t>(FixedRowsHeight(), client.height() - 1));
  const int fixedWidth = int(std::min<std::int64_t>(FixedColumnsWidth(), client.width() - 1));
  const QPoint held = heldMousePoint_;
  const int x = std::clamp(held.x(), 0, client.width() - 1), y = std::clamp(held.y(), 0, client.height() - 1);

  if (held.y() >= client.height()) {
    HandleKeyPress(Qt::Key_Down, Qt::NoModifier);
    ExtendSelectionTo(CellUnderPoint(QPoint(x, client.height() - 1), true));
  } else if (held.y() < fixedHeight) {
    HandleKeyPress(Qt::Key_Up, Qt::NoModifier);
    ExtendSelectionTo(CellUnderPoint(QPoint(x, fixedHeight + 1), true));
  }
  if (held.x() >= client.width()) {
    HandleKeyPress(Qt::Key_Right, Qt::NoModifier);
    ExtendSelectionTo(CellUnderPoint(QPoint(client.width() - 1, y), true));
  } else if (held.x() < fixedWidth) {
    HandleKeyPress(Qt::Key_Left, Qt::NoModifier);
    ExtendSelectionTo(CellUnderPoint(QPoint(fixedWidth + 1, y), true));
  }
}

// Another window took the mouse (a box opened, the window lost the
// activation): whatever the button was doing ends here, since its release
// will never come.
void CGridCtrl::OnCaptureLost() {
  autoScrollTimer_.stop();
  MoveTrackingLine(QRect());
  leftButtonDown_ = false;
  mouseMode_ = ModeIdle;
}

bool CGridCtrl::event(QEvent* event) {
  if ((event->type() == QEvent::UngrabMouse || event->type() == QEvent::WindowDeactivate) && leftButtonDown_)
    OnCaptureLost();
  return QWidget::event(event);
}

// ---- The keyboard ----

int CGridCtrl::NextShown(const GridExtents& extents, int from, int step, int first, int count) const {
  for (int index = from + step; index >= first && index < count; index += step)
    if (extents.At(index) > 0) return index;
  return from;
}

int CGridCtrl::ShownRowNear(int row, int step) const {
  if (row < fixedRowCount_ || row >= rowCount_ || rowHeights_.At(row) > 0) return row;
  int shown = NextShown(rowHeights_, row, step, fixedRowCount_, rowCount_);
  if (shown == row) shown = NextShown(rowHeights_, row, -step, fixedRowCount_, rowCount_);
  // Every row hidden: the focus stays where it was.
  return shown == row ? focusCell_.row : shown;
}

CellId CGridCtrl::TabTarget(bool forward, bool* wrapped) const {
  if (wrapped) *wrapped = false;
  CellId next = focusCell_;
  if (!next.IsValid()) return next;
  const int step = forward ? 1 : -1;
  const int column = NextShown(columnWidths_, next.column, step, fixedColumnCount_, columnCount_);
  if (column != next.column) return CellId{next.row, column};
  // At the row's end: the next row's first column, or the previous row's last.
  const int row = NextShown(rowHeights_, next.row, step, fixedRowCount_, rowCount_);
  const int edge = forward ? NextShown(columnWidths_, fixedColumnCount_ - 1, 1, fixedColumnCount_, columnCount_)
                           : NextShown(columnWidths_, columnCount_, -1, fixedColumnCount_, columnCount_);
  if (row == next.row || edge < fixedColumnCount_ || edge >= columnCount_) return focusCell_;
  if (wrapped) *wrapped = true;
  return CellId{row, edge};
}

bool CGridCtrl::HandleKeyPress(int key, Qt::KeyboardModifiers modifiers) {
  if (!focusCell_.IsValid()) return false;
  const bool control = (modifiers & Qt::ControlModifier) != 0;
  bool shift = (modifiers & Qt::ShiftModifier) != 0;
  if (key == Qt::Key_Backtab) {
    key = Qt::Key_Tab;
    shift = true;
  }
  if (control && key == Qt::Key_A) {
    HandleSelectAllCommand();
    return true;
  }
  // The clipboard keys, with the older Insert forms.
  if ((control && key == Qt::Key_C) || (control && key == Qt::Key_Insert)) {
    HandleCopyCommand();
    return true;
  }
  if ((control && key == Qt::Key_V) || (shift && key == Qt::Key_Insert)) {
    HandlePasteCommand();
    return true;
  }
  if (control && key == Qt::Key_X) {
    HandleCutCommand();
    return true;
  }

  CellId next = focusCell_;
  bool wrapped = false, scrolledAcross = false, scrolledDown = false;
  switch (key) {
    case Qt::Key_Delete: CutSelection(); return true;
    case Qt::Key_Down: next.row = NextShown(rowHeights_, next.row, 1, fixedRowCount_, rowCount_); break;
    case Qt::Key_Up: next.row = NextShown(rowHeights_, next.row, -1, fixedRowCount_, rowCount_); break;
    case Qt::Key_Right: next.column = NextShown(columnWidths_, next.column, 1, fixedColumnCount_, columnCount_); break;
    case Qt::Key_Left: next.column = NextShown(columnWidths_, next.column, -1, fixedColumnCount_, columnCount_); break;
    case Qt::Key_Tab:
      if (control) return false;  // Ctrl+Tab belongs to the dialog
      next = TabTarget(!shift, &wrapped);
      break;
    case Qt::Key_PageDown:
    case Qt::Key_PageUp: {
      // The focus travels as far as the page scrolled; when nothing scrolled,
      // to the first or last row.
      const bool down = key == Qt::Key_PageDown;
      const int before = TopLeftNonFixedCell().row;
      OnVScroll(down ? SB_PAGEDOWN : SB_PAGEUP);
      scrolledDown = true;
      const int moved = TopLeftNonFixedCell().row - before;
      if (moved != 0) next.row = std::clamp(next.row + moved, fixedRowCount_, rowCount_ - 1);
      else next.row = down ? rowCount_ - 1 : fixedRowCount_;
      // A row of height 0 cannot show the focus: on to the next shown row
      // the way the page went, or back to the nearest one before it.
      next.row = ShownRowNear(next.row, down ? 1 : -1);
      break;
    }
    case Qt::Key_Home:
      if (control) {
        OnVScroll(SB_TOP);
        scrolledDown = true;
        next.row = fixedRowCount_;
      }
      OnHScroll(SB_LEFT);
      scrolledAcross = true;
      next.column = fixedColumnCount_;
      while (next.column < columnCount_ - 1 && ColumnWidth(next.column) == 0) ++next.column;
      while (next.row < rowCount_ - 1 && RowHeight(next.row) == 0) ++next.row;
      break;
    case Qt::Key_End:
      if (control) {
        OnVScroll(SB_BOTTOM);
        scrolledDown = true;
        next.row = rowCount_ - 1;
      }
      OnHScroll(SB_RIGHT);
      scrolledAcross = true;
      next.column = columnCount_ - 1;
      while (next.column > fixedColumnCount_ && ColumnWidth(next.column) == 0) --next.column;
      while (next.row > fixedRowCount_ && RowHeight(next.row) == 0) --next.row;
      break;
    case Qt::Key_F2:
      BeginCellEdit(focusCell_.row, focusCell_.column, QPoint(-1, -1), EditStartedByMouse);
      return true;
    default:
      return false;
  }
  if (next == focusCell_) return true;

  // Moving by the keys selects the cell reached, or with Shift the range
  // from the selection start; not while the mouse is selecting.
  if (!leftButtonDown_) {
    const MouseMode mode = mouseMode_;
    previousSelectedCells_.clear();
    mouseMode_ = listMode_ ? ModeSelectRow : ModeSelectCells;
    if (!shift || key == Qt::Key_Tab) selectionStartCell_ = next;
    SendMessageToParent(next.row, next.column, LVN_ITEMCHANGING);
    ExtendSelectionTo(next);
    SendMessageToParent(next.row, next.column, LVN_ITEMCHANGED);
    mouseMode_ = mode;
  }
  MoveFocusTo(next);

  if (!CellIsVisible(next.row, next.column)) {
    switch (key) {
      case Qt::Key_Right: OnHScroll(SB_LINERIGHT); scrolledAcross = true; break;
      case Qt::Key_Left: OnHScroll(SB_LINELEFT); scrolledAcross = true; break;
      case Qt::Key_Down: OnVScroll(SB_LINEDOWN); scrolledDown = true; break;
      case Qt::Key_Up: OnVScroll(SB_LINEUP); scrolledDown = true; break;
      case Qt::Key_Tab:
        if (wrapped) {
          OnVScroll(shift ? SB_LINEUP : SB_LINEDOWN);
          OnHScroll(shift ? SB_RIGHT : SB_LEFT);
          scrolledDown = true;
        } else {
          OnHScroll(shift ? SB_LINELEFT : SB_LINERIGHT);
        }
        scrolledAcross = true;
        break;
      default: break;
    }
    ScrollCellIntoView(next.row, next.column);
    Invalidate();
  }
  ScrollCellIntoView(next.row, next.column);
  if (scrolledAcross) OnHScroll(SB_ENDSCROLL);
  if (scrolledDown) OnVScroll(SB_ENDSCROLL);
  return true;
}

}  // namespace varnolt
