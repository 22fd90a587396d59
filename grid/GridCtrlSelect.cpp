// CGridCtrl's focus cell, selected ranges and row sorting.

#include "grid/GridCtrl.h"

#include <algorithm>
#include <climits>

namespace varnolt {

CellId CGridCtrl::MoveFocusTo(int row, int column) {
  CellId cell{row, column};
  if (cell == focusCell_) return focusCell_;
  // The focus never rests on a fixed cell.
  if (cell.row != -1 && cell.row < fixedRowCount_) cell.row = fixedRowCount_;
  if (cell.column != -1 && cell.column < fixedColumnCount_) cell.column = fixedColumnCount_;
  if (!IsValid(cell.row, cell.column)) cell = CellId{};

  const CellId old = focusCell_;
  focusCell_ = cell;
  const auto mark = [this](CellId id, bool focused) {
    if (!virtualMode_) {
      if (CGridCellBase* item = CellAt(id.row, id.column))
        item->SetState(focused ? item->GetState() | CellStateFocused : item->GetState() & ~CellStateFocused);
    }
    InvalidateCellRect(id.row, id.column);
  };
  if (IsValid(old.row, old.column)) {
    mark(old, false);
    InvalidateHeadersOf(old.row, old.column, old.row != cell.row, old.column != cell.column);
  }
  if (cell.IsValid()) {
    mark(cell, true);
    InvalidateHeadersOf(cell.row, cell.column, old.row != cell.row, old.column != cell.column);
  }
  return old;
}

// The header cells in the focus cell's row and column are drawn sunken, so
// they change with it.
void CGridCtrl::InvalidateHeadersOf(int row, int column, bool rowChanged, bool columnChanged) {
  if (!highlightFocusHeaders_) return;
  if (columnChanged)
    for (int fixedRow = 0; fixedRow < fixedRowCount_; ++fixedRow) InvalidateCellRect(fixedRow, column);
  if (rowChanged)
    for (int fixedColumn = 0; fixedColumn < fixedColumnCount_; ++fixedColumn) InvalidateCellRect(row, fixedColumn);
}

CellRange CGridCtrl::SelectedCellRange() const {
  if (selectedCells_.empty()) return CellRange{};
  CellRange range{INT_MAX, INT_MAX, -1, -1};
  for (const auto& [key, id] : selectedCells_) {
    range.minRow = std::min(range.minRow, id.row);
    range.minColumn = std::min(range.minColumn, id.column);
    range.maxRow = std::max(range.maxRow, id.row);
    range.maxColumn = std::max(range.maxColumn, id.column);
  }
  return range;
}

void CGridCtrl::SelectCellRange(int minRow, int minColumn, int maxRow, int maxColumn, bool forceRedraw,
                                bool selectCells) {
  if (!selectionEnabled_) return;
  // Qt repaints at leisure either way; forceRedraw only matters to the desktop.
  (void)forceRedraw;
  const auto raise = [](int& index, int fixed) {
    if (index >= 0 && index < fixed) index = fixed;
  };
  raise(minRow, fixedRowCount_);
  raise(maxRow, fixedRowCount_);
  raise(minColumn, fixedColumnCount_);
  raise(maxColumn, fixedColumnCount_);
  const CellRange range{minRow, minColumn, maxRow, maxColumn};
  const CellRange visible = VisibleNonFixedRange();
  const auto setSelected = [&](int row, int column, bool selected) {
    const std::uint32_t state = CellStateAt(row, column);
    PutCellState(row, column, selected ? state | CellStateSelected : state & ~CellStateSelected);
    if (visible.Contains(row, column)) InvalidateCellRect(row, column);
  };

  if (selectCells) {
    // Everything selected before goes, then the cells a Ctrl-click keeps come back.
    std::vector<CellId> before;
    before.reserve(selectedCells_.size());
    for (const auto& [key, id] : selectedCells_) before.push_back(id);
    for (const CellId& id : before) {
      if (!IsValid(id.row, id.column)) {
        selectedCells_.erase(SelectionKey(id.row, id.column));
        continue;
      }
      const std::uint32_t state = CellStateAt(id.row, id.column);
      PutCellState(id.row, id.column, state & ~CellStateSelected);
      if (!range.Contains(id.row, id.column) && visible.Contains(id.row, id.column))
        InvalidateCellRect(id.row, id.column);
    }
    if (minRow >= 0 && minColumn >= 0 && maxRow >= 0 && maxColumn >= 0) {
      for (const auto& [key, id] : previousSelectedCells_)
        if (IsValid(id.row, id.column)) setSelected(id.row, id.column, true);
    }
  }

  if (!range.IsValid() || maxRow >= rowCount_ || maxColumn >= columnCount_) return;
  for (int row = minRow; row <= maxRow; ++row)
    for (int column = minColumn; column <= maxColumn; ++column)
      if (CellIsSelected(row, column) != selectCells) setSelected(row, column, selectCells);
}

void CGridCtrl::SelectEverything() {
  if (!selectionEnabled_) return;
  SelectCellRange(fixedRowCount_, fixedColumnCount_, rowCount_ - 1, columnCount_ - 1);
}

// The start of a selection made by dragging or with Shift held; the cell
// itself when none is set.
static CellId StartOr(CellId start, CellId cell) { return start.IsValid() ? start : cell; }

void CGridCtrl::SelectColumnsTo(CellId cell, bool forceRedraw, bool selectCells) {
  if (!selectionEnabled_ || cell.column < fixedColumnCount_ || !IsValid(cell.row, cell.column)) return;
  const CellId start = StartOr(selectionStartCell_, cell);
  SelectCellRange(fixedRowCount_, std::min(start.column, cell.column), rowCount_ - 1,
                  std::max(start.column, cell.column), forceRedraw, selectCells);
}

void CGridCtrl::SelectRowsTo(CellId cell, bool forceRedraw, bool selectCells) {
  if (!selectionEnabled_ || cell.row < fixedRowCount_ || !IsValid(cell.row, cell.column)) return;
  const CellId start = StartOr(selectionStartCell_, cell);
  SelectCellRange(std::min(start.row, cell.row), fixedColumnCount_, std::max(start.row, cell.row),
                  columnCount_ - 1, forceRedraw, selectCells);
}

void CGridCtrl::SelectCellsTo(CellId cell, bool forceRedraw, bool selectCells) {
  if (!selectionEnabled_ || cell.row < fixedRowCount_ || cell.column < fixedColumnCount_ ||
      !IsValid(cell.row, cell.column))
    return;
  const CellId start = StartOr(selectionStartCell_, cell);
  SelectCellRange(std::min(start.row, cell.row), std::min(start.column, cell.column), std::max(start.row, cell.row),
                  std::max(start.column, cell.column), forceRedraw, selectCells);
}

void CGridCtrl::ExtendSelectionTo(CellId cell) {
  if (!selectionEnabled_) return;
  switch (mouseMode_) {
    case ModeSelectAll: SelectEverything(); break;
    case ModeSelectColumn: SelectColumnsTo(cell); break;
    case ModeSelectRow: SelectRowsTo(cell); break;
    case ModeSelectCells: SelectCellsTo(cell); break;
    default: break;
  }
}

void CGridCtrl::HandleSelectAllCommand() {
  SendMessageToParent(leftClickDownCell_.row, leftClickDownCell_.column, LVN_ITEMCHANGING);
  SelectEverything();
  SendMessageToParent(focusCell_.row, focusCell_.column, LVN_ITEMCHANGED);
}

bool CGridCtrl::CellIsEditable(int row, int column) const {
  const CGridCellBase* cell = CellAt(row, column);
  return editable_ && cell && !cell->IsReadOnly();
}

void CGridCtrl::CutSelection() {
  if (!editable_) return;
  std::vector<CellId> cells;
  for (const auto& [key, id] : selectedCells_) cells.push_back(id);
  for (const CellId& id : cells)
    if (CellIsEditable(id.row, id.column)) PutCellText(id.row, id.column, QString());
  Invalidate();
}

bool CGridCtrl::SortRowsBy(int column, bool ascending, std::intptr_t value) {
  if (column < 0 || column >= columnCount_ || virtualMode_) return false;
  // An open edit ends first, or its text would land in whatever row moved under it.
  FinishEditing();
  if (sortColumn_ >= 0) InvalidateCellRect(0, sortColumn_);
  InvalidateCellRect(0, column);
  sortColumn_ = column;
  sortAscending_ = ascending;
  previousSelectedCells_.clear();
  DeselectAllCells(true);
  MoveFocusTo(-1, -1);
  if (rowCount_ - fixedRowCount_ > 1) SortRange(column, ascending, value, fixedRowCount_, rowCount_ - 1);
  Invalidate();
  return true;
}

int CGridCtrl::CompareCells(const CGridCellBase* first, const CGridCellBase* second, std::intptr_t value) const {
  if (compareFunction_) return compareFunction_(first, second, value);
  if (!first || !second) return 0;
  return QString::compare(first->GetText(), second->GetText(), Qt::CaseSensitive);
}

void CGridCtrl::SwapRows(int first, int second) {
  std::swap(rows_[std::size_t(first)], rows_[std::size_t(second)]);
  const unsigned height = rowHeights_.At(first);
  rowHeights_.Set(first, rowHeights_.At(second));
  rowHeights_.Set(second, height);
}

// A plain quicksort (equal rows may change places): the pivot is the cell in the middle row, and it travels with
// its row as rows are exchanged.
void CGridCtrl::SortRange(int column, bool ascending, std::intptr_t value, int low, int high) {
  while (low < high) {
    const CGridCellBase* pivot = CellAt((low + high) / 2, column);
    const auto before = [&](int row) {
      const int order = CompareCells(CellAt(row, column), pivot, value);
      return ascending ? order < 0 : order > 0;
    };
    const auto after = [&](int row) {
      const int order = CompareCells(CellAt(row, column), pivot, value);
      return ascending ? order > 0 : order < 0;
    };
    int i = low, j = high;
    while (i <= j) {
      while (i < high && before(i)) ++i;
      while (j > low && after(j)) --j;
      if (i <= j) {
        if (CompareCells(CellAt(i, column), CellAt(j, column), value) != 0) SwapRows(i, j);
        ++i;
        --j;
      }
    }
    // The smaller part by recursion, the larger by the loop: the depth stays
    // logarithmic whatever the data.
    if (j - low < high - i) {
      if (low < j) SortRange(column, ascending, value, low, j);
      low = i;
    } else {
      if (i < high) SortRange(column, ascending, value, i, high);
      high = j;
    }
  }
}

}  // namespace varnolt
