// CGridCtrl's cell model: the shape of the table, the cells' contents and
// states, the modified flags and the set of selected cells.

#include "grid/GridCtrl.h"

#include <new>

namespace varnolt {

std::uint64_t CGridCtrl::SelectionKey(int row, int column) {
  return (std::uint64_t(std::uint32_t(column)) << 32) | std::uint32_t(row);
}

bool CGridCtrl::SetRowTotal(int rows) {
  if (rows < 0) return false;
  if (rows == rowCount_) return true;
  if (rows < fixedRowCount_) fixedRowCount_ = rows;
  topLeftCell_.column = -1;
  if (focusCell_.row >= rows) ClearFocusCell();
  DropEditors(rows, columnCount_);

  bool result = true;
  if (rows < rowCount_ && !virtualMode_) {
    for (int row = rows; row < rowCount_; ++row)
      for (int column = 0; column < columnCount_; ++column) FreeCell(row, column);
    rows_.resize(std::size_t(rows));
    rowCount_ = rows;
  }
  try {
    rowHeights_.Resize(rows, unsigned(defaultCell_.GetHeight()));
    if (virtualMode_) {
      rowCount_ = rows;
    } else {
      rows_.reserve(std::size_t(rows));
      while (rowCount_ < rows) {
        const int row = rowCount_;
        std::vector<std::unique_ptr<CGridCellBase>> cells(static_cast<std::size_t>(columnCount_));
        for (int column = 0; column < columnCount_; ++column) cells[std::size_t(column)] = MakeCell(row, column);
        rows_.push_back(std::move(cells));
        ++rowCount_;
      }
    }
  } catch (const std::bad_alloc&) {
    // Keep what was completed.
    result = false;
    rows_.resize(std::size_t(rowCount_));
    rowHeights_.Resize(rowCount_);
  }

  SetModified(true, -1, -1);
  ResetScrollBars();
  Invalidate();
  return result;
}

bool CGridCtrl::SetColumnTotal(int columns) {
  if (columns < 0) return false;
  if (columns == columnCount_) return true;
  if (columns < fixedColumnCount_) fixedColumnCount_ = columns;
  topLeftCell_.column = -1;
  if (focusCell_.column >= columns) ClearFocusCell();
  DropEditors(rowCount_, columns);

  const int old = columnCount_;
  if (columns < old && !virtualMode_) {
    for (int row = 0; row < rowCount_; ++row)
      for (int column = columns; column < old; ++column) FreeCell(row, column);
  }
  bool result = true;
  try {
    // New columns are as wide as the fixed-column default cell.
    columnWidths_.Resize(columns, unsigned(defaultFixedColumnCell_.GetWidth()));
    if (!virtualMode_) {
      for (int row = 0; row < rowCount_; ++row) {
        auto& cells = rows_[std::size_t(row)];
        cells.resize(std::size_t(columns));
        for (int column = old; column < columns; ++column) cells[std::size_t(column)] = MakeCell(row, column);
      }
    }
    columnCount_ = columns;
  } catch (const std::bad_alloc&) {
    // Back to the columns there were, so every row keeps one cell per column.
    result = false;
    columnWidths_.Resize(old);
    for (auto& cells : rows_) cells.resize(std::size_t(old));
  }

  SetModified(true, -1, -1);
  ResetScrollBars();
  Invalidate();
  return result;
}

bool CGridCtrl::SetHeaderRowTotal(int fixedRows) {
  if (fixedRows < 0) return false;
  if (fixedRows == fixedRowCount_) return true;
  ClearSelection();
  topLeftCell_.column = -1;
  if (rowCount_ < fixedRows && !SetRowTotal(fixedRows)) return false;
  if (focusCell_.row < fixedRows) ClearFocusCell();

  const int old = fixedRowCount_;
  if (!virtualMode_) {
    if (fixedRows > old) {
      for (int row = old; row < fixedRows; ++row)
        for (int column = 0; column < columnCount_; ++column) {
          PutCellState(row, column, CellStateAt(row, column) | CellStateFixed | CellStateFixedRow);
          ClearCellColours(row, column);
        }
    } else {
      for (int row = fixedRows; row < old; ++row)
        for (int column = 0; column < columnCount_; ++column) {
          if (column < fixedColumnCount_) {
            PutCellState(row, column, CellStateAt(row, column) & ~CellStateFixedRow);
          } else {
            PutCellState(row, column, CellStateAt(row, column) & ~(CellStateFixed | CellStateFixedRow));
            ClearCellColours(row, column);
          }
        }
    }
  }
  fixedRowCount_ = fixedRows;
  // The fixed part changed size, and with it the part that scrolls.
  ResetScrollBars();
  Invalidate();
  return true;
}

bool CGridCtrl::SetHeaderColumnTotal(int fixedColumns) {
  if (fixedColumns < 0) return false;
  if (fixedColumns == fixedColumnCount_) return true;
  if (columnCount_ < fixedColumns && !SetColumnTotal(fixedColumns)) return false;
  if (focusCell_.column < fixedColumns) ClearFocusCell();
  ClearSelection();
  topLeftCell_.column = -1;

  const int old = fixedColumnCount_;
  if (!virtualMode_) {
    if (fixedColumns > old) {
      for (int row = 0; row < rowCount_; ++row)
        for (int column = old; column < fixedColumns; ++column) {
          PutCellState(row, column, CellStateAt(row, column) | CellStateFixed | CellStateFixedColumn);
          ClearCellColours(row, column);
        }
    } else {
      for (int row = 0; row < rowCount_; ++row)
        for (int column = fixedColumns; column < old; ++column) {
          if (row < fixedRowCount_) {
            PutCellState(row, column, CellStateAt(row, column) & ~CellStateFixedColumn);
          } else {
            PutCellState(row, column, CellStateAt(row, column) & ~(CellStateFixed | CellStateFixedColumn));
            ClearCellColours(row, column);
          }
        }
    }
  }
  fixedColumnCount_ = fixedColumns;
  ResetScrollBars();
  Invalidate();
  return true;
}

// A cell that joins or leaves the fixed part takes its colours from the default
// cell of its new kind.
void CGridCtrl::ClearCellColours(int row, int column) {
  if (CGridCellBase* cell = CellAt(row, column)) {
    cell->SetBackColour(CLR_DEFAULT);
    cell->SetTextColour(CLR_DEFAULT);
  }
}

bool CGridCtrl::RemoveAllCells() {
  DropEditors(0, 0);
  previousSelectedCells_.clear();
  DeselectAllCells(false);
  ClearFocusCell();
  if (!virtualMode_) {
    for (int row = 0; row < rowCount_; ++row)
      for (int column = 0; column < columnCount_; ++column) FreeCell(row, column);
    rows_.clear();
  }
  columnWidths_.Clear();
  rowHeights_.Clear();
  focusCell_ = CellId{};
  rowCount_ = fixedRowCount_ = columnCount_ = fixedColumnCount_ = 0;
  topLeftCell_.column = -1;
  ResetScrollBars();
  SetModified(true, -1, -1);
  Invalidate();
  return true;
}

CGridCellBase* CGridCtrl::CellAt(int row, int column) const {
  if (!IsValid(row, column)) return nullptr;
  if (virtualMode_) return VirtualCellAt(row, column);
  return rows_[std::size_t(row)][std::size_t(column)].get();
}

CGridCellBase* CGridCtrl::VirtualCellAt(int row, int column) const {
  const bool fixedRow = row < fixedRowCount_, fixedColumn = column < fixedColumnCount_;
  const CGridDefaultCell* defaultCell = DefaultCellFor(fixedRow, fixedColumn);
  GridDisplayInfo info;
  info.row = row;
  info.column = column;
  info.mask = 0xFFFFFFFFu;
  info.state = 0;
  info.format = defaultCell->GetFormat();
  info.textColour = defaultCell->GetTextColour();
  info.backColour = defaultCell->GetBackColour();
  info.image = defaultCell->GetImage();
  info.data = defaultCell->GetData();
  if (const GridFont* font = defaultCell->GetFont()) info.font = *font;
  info.margin = defaultCell->GetMargin();
  if (selectedCells_.count(SelectionKey(row, column))) info.state |= CellStateSelected;
  if (fixedRow) info.state |= CellStateFixed | CellStateFixedRow;
  if (fixedColumn) info.state |= CellStateFixed | CellStateFixedColumn;
  if (focusCell_ == CellId{row, column}) info.state |= CellStateFocused;

  if (cellDataCallback_) {
    cellDataCallback_(info, cellDataCallerValue_);
  } else if (ownerCallback_) {
    GridNotification notification;
    notification.code = LVN_GETDISPINFO;
    notification.row = row;
    notification.column = column;
    notification.displayInfo = &info;
    ownerCallback_(notification);
  }

  if (!virtualCell_) virtualCell_ = std::make_unique<CGridCell>();
  CGridCell& cell = *virtualCell_;
  cell.SetGrid(const_cast<CGridCtrl*>(this));
  cell.SetState(info.state);
  cell.SetFormat(info.format);
  cell.SetTextColour(info.textColour);
  cell.SetBackColour(info.backColour);
  cell.SetImage(info.image);
  cell.SetData(info.data);
  cell.SetFont(&info.font);
  cell.SetMargin(info.margin);
  cell.SetText(info.text);
  return &cell;
}

void CGridCtrl::SetVirtualMode(bool on) {
  if (on == virtualMode_) return;
  // Stored cells and a virtual grid cannot be mixed: start from nothing.
  RemoveAllCells();
  virtualMode_ = on;
  virtualCell_.reset();
}

void CGridCtrl::SetCellDataCallback(GridCellDataCallback callback, std::intptr_t callerValue) {
  cellDataCallback_ = std::move(callback);
  cellDataCallerValue_ = callerValue;
}

bool CGridCtrl::PutCellText(int row, int column, const QString& text) {
  if (virtualMode_) return false;
  CGridCellBase* cell = CellAt(row, column);
  if (!cell) return false;
  cell->SetText(text);
  SetModified(true, row, column);
  return true;
}

QString CGridCtrl::CellTextAt(int row, int column) const {
  const CGridCellBase* cell = CellAt(row, column);
  return cell ? cell->GetText() : QString();
}

std::uint32_t CGridCtrl::CellStateAt(int row, int column) const {
  const CGridCellBase* cell = CellAt(row, column);
  return cell ? cell->GetState() : 0;
}

bool CGridCtrl::PutCellState(int row, int column, std::uint32_t state) {
  // A position outside the grid must not leave a key behind.
  if (!IsValid(row, column)) return false;
  // With selection switched off no cell is ever selected.
  if (!selectionEnabled_) state &= ~CellStateSelected;
  const bool selected = CellIsSelected(row, column);
  const std::uint64_t key = SelectionKey(row, column);
  if (selected && !(state & CellStateSelected)) selectedCells_.erase(key);
  else if (!selected && (state & CellStateSelected)) selectedCells_[key] = CellId{row, column};
  if (virtualMode_) return false;
  CGridCellBase* cell = CellAt(row, column);
  if (!cell) return false;
  cell->SetState(state);
  return true;
}

bool CGridCtrl::CellIsSelected(int row, int column) const {
  if (virtualMode_) return selectionEnabled_ && selectedCells_.count(SelectionKey(row, column)) != 0;
  if (!selectionEnabled_) return false;
  const CGridCellBase* cell = CellAt(row, column);
  return cell && cell->IsSelected();
}

void CGridCtrl::SetModified(bool modified, int row, int column) {
  if (column < 0 || column == sortColumn_) {
    // The rows are no longer known to be in order.
    if (sortColumn_ >= 0) InvalidateCellRect(0, sortColumn_);
    sortColumn_ = -1;
  }
  if (row < 0 || column < 0) {
    modified_ = modified;
  } else if (modified) {
    PutCellState(row, column, CellStateAt(row, column) | CellStateModified);
    modified_ = true;
  } else {
    PutCellState(row, column, CellStateAt(row, column) & ~CellStateModified);
  }
  if (!modified_ && !virtualMode_) {
    for (auto& cells : rows_)
      for (auto& cell : cells)
        if (cell && cell->IsModified()) cell->SetState(cell->GetState() & ~CellStateModified);
  }
}

std::unique_ptr<CGridCellBase> CGridCtrl::MakeCell(int row, int column) {
  if (!cellClass_) return nullptr;
  std::unique_ptr<CGridCellBase> cell;
  try {
    cell = cellClass_();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (!cell) return nullptr;
  cell->SetGrid(this);
  cell->SetPosition(row, column);
  std::uint32_t state = cell->GetState();
  if (column < fixedColumnCount_) state |= CellStateFixed | CellStateFixedColumn;
  if (row < fixedRowCount_) state |= CellStateFixed | CellStateFixedRow;
  cell->SetState(state);
  if (const CGridDefaultCell* defaultCell = cell->DefaultCellFor()) cell->SetFormat(defaultCell->GetFormat());
  return cell;
}

void CGridCtrl::FreeCell(int row, int column) {
  if (!IsValid(row, column)) return;
  PutCellState(row, column, 0);
  if (!virtualMode_) rows_[std::size_t(row)][std::size_t(column)].reset();
}

void CGridCtrl::AllowSelection(bool enable) {
  ClearSelection();
  selectionEnabled_ = enable;
  ClearSelection();
}

void CGridCtrl::ClearSelection() {
  previousSelectedCells_.clear();
  DeselectAllCells(true);
  ClearFocusCell();
}

void CGridCtrl::DeselectAllCells(bool forceRedraw) {
  for (const auto& [key, id] : selectedCells_) {
    if (!virtualMode_) {
      if (CGridCellBase* cell = CellAt(id.row, id.column)) cell->SetState(cell->GetState() & ~CellStateSelected);
    }
    if (forceRedraw) InvalidateCellRect(id.row, id.column);
  }
  selectedCells_.clear();
}

void CGridCtrl::ClearFocusCell() {
  if (focusCell_.IsValid() && !virtualMode_) {
    if (CGridCellBase* cell = CellAt(focusCell_.row, focusCell_.column)) {
      cell->SetState(cell->GetState() & ~CellStateFocused);
      InvalidateCellRect(focusCell_.row, focusCell_.column);
    }
  }
  focusCell_ = CellId{};
}

}  // namespace varnolt
