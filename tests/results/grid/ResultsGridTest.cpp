// The results grid filled from model results: cell texts and column widths.
// Shape, states and font are checked through the real window in tests/app.
#include <QApplication>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "grid/GridCtrl.h"
#include "results/ResultsGrid.h"

namespace varnolt {

namespace {

QStringList RowTexts(const CGridCtrl& grid, int row) {
  QStringList texts;
  for (int column = 0; column < grid.ColumnTotal(); ++column) texts << grid.CellTextAt(row, column);
  return texts;
}

class ResultsGrid : public ::testing::Test {
 protected:
  ResultsGrid() {
    grid.resize(430, 240);
    grid.setFont(ResultsGridFont());
  }
  CGridCtrl grid;
};

TEST_F(ResultsGrid, RowIShowsCycleIWithPercentagesCutTowardZero) {
  std::vector<CycleResult> results(4);
  results[0] = {55, 55, 55, 55, 55};  // holds no data: never shown
  results[1] = {12.9, 0.0, 30.0, 57.1, 100.0};
  results[2] = {99.99, 0.01, 0.0, 0.0, 99.99999999};
  results[3] = {33.333333, 33.333333, 33.333333, 0.0, 99.999999};
  FillResultsGrid(grid, results);
  ASSERT_EQ(grid.RowTotal(), 4);
  EXPECT_EQ(RowTexts(grid, 0), (QStringList{"Cycle No.", "Female %", "Herm. % ", "Male %  ", "Abort % ", "Total % "}));
  EXPECT_EQ(RowTexts(grid, 1), (QStringList{"1", "12", "0", "30", "57", "100"}));
  EXPECT_EQ(RowTexts(grid, 2), (QStringList{"2", "99", "0", "0", "0", "99"}));
  EXPECT_EQ(RowTexts(grid, 3), (QStringList{"3", "33", "33", "33", "0", "99"}));

  // Values no run gives still show as a number, never as garbage.
  EXPECT_EQ(ShownPercent(-12.9), -12);
  EXPECT_EQ(ShownPercent(std::nan("")), 0);
  EXPECT_EQ(ShownPercent(1e300), INT_MAX);
  EXPECT_EQ(ShownPercent(-INFINITY), INT_MIN);
}

TEST_F(ResultsGrid, ColumnsSpanTheGridWhateverTheData) {
  auto cycles = [](int count, double female) {
    std::vector<CycleResult> results(count + 1);
    for (int c = 1; c <= count; ++c) results[c] = {female, 0.0, 0.0, 0.0, 100.0};
    return results;
  };
  auto widths = [this] {
    std::vector<int> all;
    for (int column = 0; column < grid.ColumnTotal(); ++column) all.push_back(grid.ColumnWidth(column));
    return all;
  };
  // Whatever the row count, the columns reach the right edge: also for the
  // counts whose rows fit only without the horizontal bar that the columns
  // call for before they are fitted.
  for (int count = 0; count <= 20; ++count) {
    FillResultsGrid(grid, cycles(count, 50.0));
    EXPECT_EQ(grid.TotalColumnsWidth(), grid.ClientRect().width()) << count << " cycles";
    EXPECT_FALSE(grid.HorizontalScrollBarShown()) << count << " cycles";
  }
  FillResultsGrid(grid, cycles(2, 50.0));
  EXPECT_FALSE(grid.VerticalScrollBarShown());

  // Many rows need the vertical bar; the columns fill the room beside it, so
  // no horizontal bar is needed.
  FillResultsGrid(grid, cycles(300, 50.0));
  const std::vector<int> narrowData = widths();
  EXPECT_TRUE(grid.VerticalScrollBarShown());
  EXPECT_FALSE(grid.HorizontalScrollBarShown());
  EXPECT_EQ(grid.TotalColumnsWidth(), grid.ClientRect().width());

  // Numbers far wider than any percentage leave the widths as they were.
  FillResultsGrid(grid, cycles(300, 1234567890.0));
  EXPECT_EQ(grid.CellTextAt(1, 1), "1234567890");
  EXPECT_EQ(widths(), narrowData);
}

}  // namespace

}  // namespace varnolt

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
