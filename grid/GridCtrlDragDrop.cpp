// CGridCtrl: dragging the selected cells out as text, and text dragged in from
// this grid, another grid or another program landing where it is dropped.

#include "grid/GridCtrl.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>

#include <algorithm>

namespace varnolt {

namespace {
Qt::DropAction ActionFor(Qt::KeyboardModifiers modifiers) {
  return (modifiers & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction;
}
}  // namespace

void CGridCtrl::EnableDragAndDrop(bool on) {
  dragAndDropEnabled_ = on;
  setAcceptDrops(on);
}

bool CGridCtrl::StartDrag() {
  if (!dragAndDropEnabled_) return false;
  std::unique_ptr<QMimeData> data = SelectionAsText();
  if (!data) return false;
  const CellRange range = SelectedCellRange();
  SendMessageToParent(range.minRow, range.minColumn, LVN_BEGINDRAG);

  // The cells dragged are remembered before the drop can change the selection.
  dragSourceCells_.clear();
  for (const auto& [key, cell] : selectedCells_) dragSourceCells_.push_back(cell);
  cellsWrittenByDrop_.clear();
  // The drag loop takes the mouse; its release never reaches the grid.
  mouseMode_ = ModeDragging;
  leftButtonDown_ = false;
  draggingOut_ = true;
  const Qt::DropAction result = RunDragLoop(data.release());
  draggingOut_ = false;
  mouseMode_ = ModeIdle;

  if (result == Qt::MoveAction && editable_) {
    // A move empties the cells it took the text from, but not those a drop
    // on this grid has just filled.
    std::vector<CellId> emptied;
    for (const CellId& cell : dragSourceCells_)
      if (std::find(cellsWrittenByDrop_.begin(), cellsWrittenByDrop_.end(), cell) == cellsWrittenByDrop_.end())
        emptied.push_back(cell);
    ClearCellTexts(emptied);
  }
  dragSourceCells_.clear();
  cellsWrittenByDrop_.clear();
  return true;
}

Qt::DropAction CGridCtrl::RunDragLoop(QMimeData* data) {
  auto* drag = new QDrag(this);
  drag->setMimeData(data);
  return drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
}

void CGridCtrl::SetDropCell(CellId cell) {
  if (cell == dropCell_) return;
  if (IsValid(dropCell_.row, dropCell_.column)) {
    PutCellState(dropCell_.row, dropCell_.column,
                 CellStateAt(dropCell_.row, dropCell_.column) & ~CellStateDropHighlighted);
    RepaintCell(dropCell_.row, dropCell_.column);
  }
  dropCell_ = cell;
  if (IsValid(cell.row, cell.column)) {
    PutCellState(cell.row, cell.column, CellStateAt(cell.row, cell.column) | CellStateDropHighlighted);
    RepaintCell(cell.row, cell.column);
  }
}

bool CGridCtrl::CellTakesDrop(CellId cell) const {
  if (!editable_ || !IsValid(cell.row, cell.column)) return false;
  const CGridCellBase* target = CellAt(cell.row, cell.column);
  return target && !target->IsReadOnly();
}

void CGridCtrl::dragEnterEvent(QDragEnterEvent* event) {
  if (!dragAndDropEnabled_ || !event->mimeData()->hasText()) {
    event->ignore();
    return;
  }
  // Accepting the enter keeps the moves coming; each move decides whether
  // the cell under the mouse takes the drop.
  event->accept();
  const CellId cell = CellUnderPoint(event->position().toPoint());
  if (CellTakesDrop(cell)) {
    SetDropCell(cell);
    event->setDropAction(ActionFor(event->modifiers()));
  } else {
    SetDropCell(CellId{});
    event->setDropAction(Qt::IgnoreAction);
  }
}

void CGridCtrl::dragMoveEvent(QDragMoveEvent* event) {
  if (!dragAndDropEnabled_ || !editable_ || !event->mimeData()->hasText()) {
    event->ignore();
    return;
  }
  const CellId cell = CellUnderPoint(event->position().toPoint());
  if (!cell.IsValid()) {
    SetDropCell(CellId{});
    event->ignore();
    return;
  }
  if (!CellTakesDrop(cell)) {
    event->ignore();
    return;
  }
  SetDropCell(cell);
  event->setDropAction(ActionFor(event->modifiers()));
  event->accept();
}

void CGridCtrl::dragLeaveEvent(QDragLeaveEvent* event) {
  SetDropCell(CellId{});
  event->accept();
}

void CGridCtrl::dropEvent(QDropEvent* event) {
  mouseMode_ = ModeIdle;
  const CellId cell = CellUnderPoint(event->position().toPoint());
  SetDropCell(CellId{});
  if (!dragAndDropEnabled_ || !CellTakesDrop(cell) || !event->mimeData()->hasText()) {
    event->ignore();
    return;
  }
  std::vector<CellId>* written = draggingOut_ ? &cellsWrittenByDrop_ : nullptr;
  if (!PasteText(cell.row, cell.column, event->mimeData(), false, written)) {
    event->ignore();
    return;
  }
  event->setDropAction(ActionFor(event->modifiers()));
  event->accept();
}

}  // namespace varnolt
