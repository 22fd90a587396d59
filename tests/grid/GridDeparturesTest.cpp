// The places where the grid does on purpose what the desktop grid it models
// does not (docs/grid-control.md lists them with their reasons).
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "grid/GridCtrl.h"
#include "grid/GridInPlaceEdit.h"

#include <QMimeData>
#include <QTest>

namespace varnolt {

namespace {

class GridDepartures : public ::testing::Test {
 protected:
  GridDepartures() {
    BuildUniformGrid(grid, 8, 5);
    FillRowColumnTexts(grid);
    grid.resize(300, 220);
    EXPECT_TRUE(ShowActive(grid));
    grid.setFocus();
  }
  QPoint CentreOf(int row, int column) {
    QRect rect;
    EXPECT_TRUE(grid.CellRectOf(row, column, rect));
    return rect.center();
  }
  void MakeReadOnly(int row, int column) {
    grid.PutCellState(row, column, grid.CellStateAt(row, column) | CellStateReadOnly);
  }
  CInPlaceEdit* Editor() const {
    for (CInPlaceEdit* editor : grid.findChildren<CInPlaceEdit*>())
      if (!editor->isHidden()) return editor;
    return nullptr;
  }
  CGridCtrl grid;
};

TEST_F(GridDepartures, DeleteCutAndPasteLeaveReadOnlyCellsAlone) {
  MakeReadOnly(2, 2);
  SelectCells(grid, {{2, 1}, {2, 2}, {2, 3}});
  grid.MoveFocusTo(2, 1);
  QTest::keyClick(&grid, Qt::Key_Delete);
  EXPECT_EQ(grid.CellTextAt(2, 1), "");
  EXPECT_EQ(grid.CellTextAt(2, 2), "R2C2");
  EXPECT_EQ(grid.CellTextAt(2, 3), "");

  FillRowColumnTexts(grid);
  grid.HandleCutCommand();
  EXPECT_EQ(grid.CellTextAt(2, 2), "R2C2");
  EXPECT_EQ(grid.CellTextAt(2, 3), "");

  QMimeData text;
  text.setText(QStringLiteral("a\tb\tc"));
  ASSERT_TRUE(grid.PasteTextAt(2, 1, &text, false));
  EXPECT_EQ(grid.CellTextAt(2, 1), "a");
  EXPECT_EQ(grid.CellTextAt(2, 2), "R2C2");
  EXPECT_EQ(grid.CellTextAt(2, 3), "c");
}

TEST_F(GridDepartures, AClickOnASelectedCellMovesTheFocusThere) {
  QTest::mouseClick(&grid, Qt::LeftButton, Qt::NoModifier, CentreOf(2, 1));
  QTest::mouseClick(&grid, Qt::LeftButton, Qt::ShiftModifier, CentreOf(4, 3));
  ASSERT_EQ(grid.SelectedCount(), 9);
  QTest::mouseClick(&grid, Qt::LeftButton, Qt::NoModifier, CentreOf(3, 2));
  EXPECT_EQ(grid.FocusedCell(), (CellId{3, 2}));
  EXPECT_EQ(grid.SelectedCount(), 1);
}

TEST_F(GridDepartures, WithDragAndDropAClickWithoutADragSelectsThatCell) {
  grid.EnableDragAndDrop(true);
  QTest::mouseClick(&grid, Qt::LeftButton, Qt::NoModifier, CentreOf(2, 1));
  QTest::mouseClick(&grid, Qt::LeftButton, Qt::ShiftModifier, CentreOf(4, 3));
  ASSERT_EQ(grid.SelectedCount(), 9);
  QTest::mousePress(&grid, Qt::LeftButton, Qt::NoModifier, CentreOf(3, 3));
  EXPECT_EQ(grid.CurrentMouseMode(), CGridCtrl::ModeDragPending);
  QTest::mouseRelease(&grid, Qt::LeftButton, Qt::NoModifier, CentreOf(3, 3));
  EXPECT_EQ(grid.SelectedCellRange(), (CellRange{3, 3, 3, 3}));
  EXPECT_EQ(grid.FocusedCell(), (CellId{3, 3}));
}

TEST(GridDepartureSorting, TextsCompareByTheirUtf16Units) {
  CGridCtrl grid(4, 1, 1, 0);
  // U+1F600 is stored as the surrogates D83D DE00: below U+FF21 in UTF-16
  // units, above it as a code point or in UTF-8 bytes.
  const QString face = QString::fromUcs4(U"\U0001F600"), wide = QStringLiteral("\uFF21");
  grid.PutCellText(1, 0, wide);
  grid.PutCellText(2, 0, face);
  grid.PutCellText(3, 0, QStringLiteral("a"));
  ASSERT_TRUE(grid.SortRowsBy(0, true));
  EXPECT_EQ(grid.CellTextAt(1, 0), "a");
  EXPECT_EQ(grid.CellTextAt(2, 0), face);
  EXPECT_EQ(grid.CellTextAt(3, 0), wide);
}

TEST_F(GridDepartures, AKeyThatCannotMoveTheFocusDoesNotReopenTheEditor) {
  grid.MoveFocusTo(7, 2);
  grid.BeginCellEdit(7, 2, QPoint(), 'x');
  ASSERT_NE(Editor(), nullptr);
  QTest::keyClick(Editor(), Qt::Key_Down);  // the last row: nowhere to go
  EXPECT_EQ(grid.CellTextAt(7, 2), "x");
  EXPECT_EQ(grid.FocusedCell(), (CellId{7, 2}));
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(QApplication::focusWidget(), &grid);
}

TEST_F(GridDepartures, ACellThatRefusesItsTextTellsTheOwnerNothing) {
  class RefusingCell : public CGridCell {
   public:
    bool AcceptEditText(const QString&) override { return false; }
  };
  int ends = 0;
  grid.SetOwnerCallback([&](GridNotification& note) {
    if (note.code == LVN_ENDLABELEDIT) ++ends;
    return 0L;
  });
  grid.SetCellClass<RefusingCell>();
  grid.SetRowTotal(9);
  grid.PutCellText(8, 1, QStringLiteral("old"));
  grid.BeginCellEdit(8, 1, QPoint(), 'n');
  ASSERT_NE(Editor(), nullptr);
  QTest::keyClick(Editor(), Qt::Key_Return);
  EXPECT_EQ(grid.CellTextAt(8, 1), "old");
  EXPECT_EQ(ends, 0);
}

TEST_F(GridDepartures, AVirtualGridOpensNoEditor) {
  grid.SetVirtualMode(true);
  BuildUniformGrid(grid, 5, 4);
  grid.MoveFocusTo(2, 2);
  grid.BeginCellEdit(2, 2, QPoint(), 'v');
  EXPECT_EQ(Editor(), nullptr);
  QTest::keyClick(&grid, Qt::Key_F2);
  EXPECT_EQ(Editor(), nullptr);
}

TEST(GridDepartureSizing, FittingAColumnWithNothingToMeasureKeepsItsWidth) {
  CGridCtrl grid(4, 3, 0, 0);
  grid.PutColumnWidth(1, 70);
  // Style 1 measures the fixed rows only, and there are none.
  EXPECT_FALSE(grid.FitColumnToText(1, 1));
  EXPECT_EQ(grid.ColumnWidth(1), 70);
  EXPECT_FALSE(grid.FitRowToText(2, 1));
  EXPECT_GT(grid.RowHeight(2), 0);
}

}  // namespace

}  // namespace varnolt
