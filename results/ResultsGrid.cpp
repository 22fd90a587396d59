#include "results/ResultsGrid.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "grid/GridCtrl.h"

namespace varnolt {

namespace {

void AddReadOnly(CGridCtrl& grid, int row, int column) {
  grid.PutCellState(row, column, grid.CellStateAt(row, column) | CellStateReadOnly);
}

}  // namespace

QFont ResultsGridFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(11);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  font.setUnderline(false);
  font.setStrikeOut(false);
  return font;
}

int ShownPercent(double percent) {
  if (std::isnan(percent)) return 0;
  const double whole = std::trunc(percent);
  if (whole <= double(INT_MIN)) return INT_MIN;
  if (whole >= double(INT_MAX)) return INT_MAX;
  return static_cast<int>(whole);
}

void FillResultsGrid(CGridCtrl& grid, std::span<const CycleResult> results) {
  const int rows = static_cast<int>(std::min<std::size_t>(results.size(), INT_MAX));

  grid.RemoveAllCells();
  grid.SetRowTotal(rows);
  grid.SetColumnTotal(ResultsGridColumnCount);
  grid.SetHeaderRowTotal(1);  // also makes the header row when there are no results
  grid.SetHeaderColumnTotal(1);

  for (int column = 0; column < ResultsGridColumnCount; ++column) {
    grid.PutCellText(0, column, QString::fromLatin1(ResultsGridHeaders[column]));
  }
  grid.FitColumnsToClient(true);
  for (int column = 0; column < ResultsGridColumnCount; ++column) AddReadOnly(grid, 0, column);

  // A grid that could not take every row shows as many as it holds.
  const int shown = std::min(rows, grid.RowTotal());
  for (int row = 1; row < shown; ++row) {
    const CycleResult& result = results[row];
    const int values[ResultsGridColumnCount] = {row,
                                                ShownPercent(result.female),
                                                ShownPercent(result.herm),
                                                ShownPercent(result.male),
                                                ShownPercent(result.aborted),
                                                ShownPercent(result.total)};
    for (int column = 0; column < ResultsGridColumnCount; ++column) {
      grid.PutCellText(row, column, QString::number(values[column]));
      AddReadOnly(grid, row, column);
    }
  }
}

}  // namespace varnolt
