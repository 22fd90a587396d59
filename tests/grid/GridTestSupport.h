#pragma once
// Shapes the grid tests share.

#include <QApplication>
#include <QTest>

#include "grid/GridCtrl.h"

namespace varnolt {

// One fixed row and column; every row 20 pixels high, every column 50 wide.
inline void BuildUniformGrid(CGridCtrl& grid, int rows, int columns) {
  grid.DefaultCellFor(false, false)->SetHeight(20);
  grid.DefaultCellFor(false, true)->SetWidth(50);
  grid.SetRowTotal(rows);
  grid.SetColumnTotal(columns);
  grid.SetHeaderRowTotal(1);
  grid.SetHeaderColumnTotal(1);
}


// Shows the window and makes it the active one, so that focus changes and key
// presses reach it as they would on a desktop.
inline bool ShowActive(QWidget& window) {
  window.show();
  QApplication::setActiveWindow(&window);
  window.activateWindow();
  return QTest::qWaitForWindowActive(&window);
}

// Sets the texts of the non-fixed cells to "R<row>C<column>".
inline void FillRowColumnTexts(CGridCtrl& grid) {
  for (int row = grid.HeaderRowTotal(); row < grid.RowTotal(); ++row)
    for (int column = grid.HeaderColumnTotal(); column < grid.ColumnTotal(); ++column)
      grid.PutCellText(row, column, QStringLiteral("R%1C%2").arg(row).arg(column));
}

// Selects the cells by their state, as the mouse and keys would.
inline void SelectCells(CGridCtrl& grid, std::initializer_list<CellId> cells) {
  for (const CellId& cell : cells)
    grid.PutCellState(cell.row, cell.column, grid.CellStateAt(cell.row, cell.column) | CellStateSelected);
}

}  // namespace varnolt
