// The results grid filled from model results: its shape, texts, states and
// column widths.
#include <QApplication>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "grid/GridCtrl.h"
#include "results/ResultsGrid.h"

namespace {

const QStringList Headers{"Cycle No.", "Female %", "Herm. % ", "Male %  ", "Abort % ", "Total % "};

QStringList RowTexts(const CGridCtrl& grid, int row) {
  QStringList texts;
  for (int column = 0; column < grid.ColumnTotal(); ++column) texts << grid.CellTextAt(row, column);
  return texts;
}

std::vector<int> ColumnWidths(const CGridCtrl& grid) {
  std::vector<int> widths;
  for (int column = 0; column < grid.ColumnTotal(); ++column) widths.push_back(grid.ColumnWidth(column));
  return widths;
}

// Rows 1 to cycles, row c holding c + 0.5 in every field; row 0 stays zero.
std::vector<CycleResult> Cycles(int cycles) {
  std::vector<CycleResult> results(cycles + 1);
  for (int c = 1; c <= cycles; ++c) results[c] = {c + 0.5, c + 0.5, c + 0.5, c + 0.5, c + 0.5};
  return results;
}

class ResultsGrid : public ::testing::Test {
 protected:
  ResultsGrid() {
    grid.resize(430, 240);
    grid.setFont(ResultsGridFont());
  }
  CGridCtrl grid;
};

TEST_F(ResultsGrid, WithoutResultsOnlyTheHeaderRowIsShown) {
  FillResultsGrid(grid, {});
  EXPECT_EQ(grid.RowTotal(), 1);
  EXPECT_EQ(grid.ColumnTotal(), 6);
  EXPECT_EQ(grid.HeaderRowTotal(), 1);
  EXPECT_EQ(grid.HeaderColumnTotal(), 1);
  EXPECT_EQ(RowTexts(grid, 0), Headers);
  EXPECT_EQ(grid.CellTextAt(0, 3).size(), 8);  // "Male %  " keeps both blanks
}

TEST_F(ResultsGrid, RowIShowsCycleIAndRowZeroOfTheResultsIsNotShown) {
  std::vector<CycleResult> results(4);
  results[0] = {55, 55, 55, 55, 55};
  results[1] = {12.9, 0.0, 30.0, 57.1, 100.0};
  results[2] = {99.99, 0.01, 0.0, 0.0, 99.99999999};
  results[3] = {33.333333, 33.333333, 33.333333, 0.0, 99.999999};
  FillResultsGrid(grid, results);
  ASSERT_EQ(grid.RowTotal(), 4);
  EXPECT_EQ(RowTexts(grid, 0), Headers);
  EXPECT_EQ(RowTexts(grid, 1), (QStringList{"1", "12", "0", "30", "57", "100"}));
  EXPECT_EQ(RowTexts(grid, 2), (QStringList{"2", "99", "0", "0", "0", "99"}));
  EXPECT_EQ(RowTexts(grid, 3), (QStringList{"3", "33", "33", "33", "0", "99"}));
}

TEST_F(ResultsGrid, PercentagesAreCutTowardZeroWhateverTheyHold) {
  EXPECT_EQ(ShownPercent(12.9), 12);
  EXPECT_EQ(ShownPercent(99.99), 99);
  EXPECT_EQ(ShownPercent(-0.7), 0);
  EXPECT_EQ(ShownPercent(-12.9), -12);
  EXPECT_EQ(ShownPercent(std::nan("")), 0);
  EXPECT_EQ(ShownPercent(1e300), INT_MAX);
  EXPECT_EQ(ShownPercent(-std::numeric_limits<double>::infinity()), INT_MIN);
}

TEST_F(ResultsGrid, EveryCellIsReadOnlyAndNothingCanBeSelected) {
  FillResultsGrid(grid, Cycles(5));
  grid.AllowSelection(false);
  for (int row = 0; row < grid.RowTotal(); ++row) {
    for (int column = 0; column < grid.ColumnTotal(); ++column) {
      EXPECT_TRUE(grid.CellStateAt(row, column) & CellStateReadOnly) << row << "," << column;
      EXPECT_TRUE(grid.CellAt(row, column)->IsReadOnly());
    }
  }
  EXPECT_EQ(grid.SelectedCount(), 0);
}

TEST_F(ResultsGrid, ARefillReplacesEveryRow) {
  FillResultsGrid(grid, Cycles(100));
  ASSERT_EQ(grid.RowTotal(), 101);
  EXPECT_EQ(RowTexts(grid, 100), (QStringList{"100", "100", "100", "100", "100", "100"}));
  FillResultsGrid(grid, Cycles(3));
  EXPECT_EQ(grid.RowTotal(), 4);
  EXPECT_EQ(RowTexts(grid, 3), (QStringList{"3", "3", "3", "3", "3", "3"}));
  EXPECT_FALSE(grid.IsValid(4, 0));
  FillResultsGrid(grid, {});
  EXPECT_EQ(grid.RowTotal(), 1);
  EXPECT_EQ(RowTexts(grid, 0), Headers);
}

TEST_F(ResultsGrid, ColumnsSpanTheGridAndDoNotDependOnTheData) {
  FillResultsGrid(grid, Cycles(2));
  EXPECT_FALSE(grid.VerticalScrollBarShown());
  EXPECT_EQ(grid.TotalColumnsWidth(), grid.ClientRect().width());

  // Many rows need the vertical bar; the columns fill the room beside it, and
  // no horizontal bar is needed.
  FillResultsGrid(grid, Cycles(300));
  const std::vector<int> narrowData = ColumnWidths(grid);
  EXPECT_TRUE(grid.VerticalScrollBarShown());
  EXPECT_FALSE(grid.HorizontalScrollBarShown());
  EXPECT_EQ(grid.TotalColumnsWidth(), grid.ClientRect().width());

  // Numbers far wider than any percentage leave the widths as they were.
  std::vector<CycleResult> wide = Cycles(300);
  for (CycleResult& row : wide) row.female = 1234567890.0;
  FillResultsGrid(grid, wide);
  EXPECT_EQ(grid.CellTextAt(1, 1), "1234567890");
  EXPECT_EQ(ColumnWidths(grid), narrowData);
}

TEST(ResultsGridFont, IsArialElevenPixelsNormal) {
  const QFont font = ResultsGridFont();
  EXPECT_EQ(font.family(), "Arial");
  EXPECT_EQ(font.pixelSize(), 11);
  EXPECT_EQ(font.weight(), QFont::Normal);
  EXPECT_FALSE(font.italic());
  EXPECT_FALSE(font.underline());
  EXPECT_FALSE(font.strikeOut());
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
