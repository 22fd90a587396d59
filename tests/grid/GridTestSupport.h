#pragma once
// Shapes the grid tests share.

#include "grid/GridCtrl.h"

// One fixed row and column; every row 20 pixels high, every column 50 wide.
inline void BuildUniformGrid(CGridCtrl& grid, int rows, int columns) {
  grid.DefaultCellFor(false, false)->SetHeight(20);
  grid.DefaultCellFor(false, true)->SetWidth(50);
  grid.SetRowTotal(rows);
  grid.SetColumnTotal(columns);
  grid.SetHeaderRowTotal(1);
  grid.SetHeaderColumnTotal(1);
}
