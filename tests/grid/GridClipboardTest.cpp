// The grid's cells as text on the clipboard, and text pasted into the grid.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "grid/GridCtrl.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace varnolt {

namespace {

class GridClipboard : public ::testing::Test {
 protected:
  GridClipboard() {
    BuildUniformGrid(grid, 6, 5);
    FillRowColumnTexts(grid);
    grid.resize(300, 200);
  }
  static std::unique_ptr<QMimeData> Text(const QString& text) {
    auto data = std::make_unique<QMimeData>();
    data->setText(text);
    return data;
  }
  QString ClipboardText() const { return QGuiApplication::clipboard()->text(); }
  CGridCtrl grid;
};

TEST_F(GridClipboard, CopyGivesRowsOfTabSeparatedCellsWithoutAFinalLineFeed) {
  SelectCells(grid, {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}, {2, 3}});
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  grid.HandleCopyCommand();
  EXPECT_EQ(ClipboardText(), "R1C1\tR1C2\tR1C3\nR2C1\tR2C2\tR2C3");

  // Unselected cells inside the range give empty fields.
  grid.ClearSelection();
  SelectCells(grid, {{1, 1}, {2, 3}});
  grid.HandleCopyCommand();
  EXPECT_EQ(ClipboardText(), "R1C1\t\t\n\t\tR2C3");

  // Hidden rows and columns give nothing, not even a separator.
  grid.ClearSelection();
  SelectCells(grid, {{1, 1}, {1, 2}, {2, 1}, {2, 2}, {3, 1}, {3, 2}});
  grid.PutRowHeight(2, 0);
  grid.PutColumnWidth(2, 0);
  grid.HandleCopyCommand();
  EXPECT_EQ(ClipboardText(), "R1C1\nR3C1");
}

TEST_F(GridClipboard, CopyWithoutSelectionLeavesTheClipboardAlone) {
  QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
  EXPECT_EQ(grid.SelectionAsText(), nullptr);
  grid.HandleCopyCommand();
  grid.HandleCutCommand();
  EXPECT_EQ(ClipboardText(), "kept");
  EXPECT_FALSE(grid.CanCopy());
  EXPECT_FALSE(grid.CanCut());
}

TEST_F(GridClipboard, PasteSplitsAtLineFeedsTabsAndCommasAndTrimsFields) {
  ASSERT_TRUE(grid.PasteTextAt(1, 1, Text("1,2\r\n3\t4").get(), true));
  EXPECT_EQ(grid.CellTextAt(1, 1), "1");
  EXPECT_EQ(grid.CellTextAt(1, 2), "2");
  EXPECT_EQ(grid.CellTextAt(2, 1), "3");
  EXPECT_EQ(grid.CellTextAt(2, 2), "4");
  EXPECT_EQ(grid.CellTextAt(1, 3), "R1C3");
  EXPECT_EQ(grid.CellTextAt(3, 1), "R3C1");
  EXPECT_TRUE(grid.CellStateAt(2, 2) & CellStateModified);
  EXPECT_TRUE(grid.IsModified());
  // The pasted block becomes the selection.
  EXPECT_EQ(grid.SelectedCellRange(), (CellRange{1, 1, 2, 2}));
  EXPECT_EQ(grid.SelectedCount(), 4);
}

TEST_F(GridClipboard, PastePastTheLastRowAndColumnDropsTheRest) {
  ASSERT_TRUE(grid.PasteTextAt(5, 3, Text("a\tb\tc\td\ne\tf").get(), false));
  EXPECT_EQ(grid.CellTextAt(5, 3), "a");
  EXPECT_EQ(grid.CellTextAt(5, 4), "b");
  EXPECT_EQ(grid.SelectedCount(), 0);
}

TEST_F(GridClipboard, PasteSkipsHiddenRowsAndColumns) {
  grid.PutRowHeight(2, 0);
  grid.PutColumnWidth(2, 0);
  ASSERT_TRUE(grid.PasteTextAt(1, 1, Text("a\tb\nc\td").get(), false));
  EXPECT_EQ(grid.CellTextAt(1, 1), "a");
  EXPECT_EQ(grid.CellTextAt(1, 3), "b");
  EXPECT_EQ(grid.CellTextAt(3, 1), "c");
  EXPECT_EQ(grid.CellTextAt(3, 3), "d");
  EXPECT_EQ(grid.CellTextAt(2, 1), "R2C1");
  EXPECT_EQ(grid.CellTextAt(1, 2), "R1C2");
}

// A spreadsheet ends its copied rows with a line break; the empty line after
// it must not empty the cell below the pasted block.
TEST_F(GridClipboard, TheLineBreakAfterTheLastRowEmptiesNoCell) {
  ASSERT_TRUE(grid.PasteTextAt(1, 1, Text("x\ty\r\n").get(), true));
  EXPECT_EQ(grid.CellTextAt(1, 1), "x");
  EXPECT_EQ(grid.CellTextAt(2, 1), "R2C1");
  EXPECT_EQ(grid.SelectedCellRange(), (CellRange{1, 1, 1, 2}));
}

TEST_F(GridClipboard, PasteIsRefusedWhereNothingMayBeEdited) {
  grid.PutCellState(1, 1, grid.CellStateAt(1, 1) | CellStateReadOnly);
  EXPECT_FALSE(grid.PasteTextAt(1, 1, Text("x").get(), false));
  EXPECT_FALSE(grid.PasteTextAt(9, 1, Text("x").get(), false));
  QMimeData noText;
  noText.setData(QStringLiteral("application/octet-stream"), QByteArray("x"));
  EXPECT_FALSE(grid.PasteTextAt(2, 2, &noText, false));
  // A read-only cell that the pasted block covers keeps its text.
  grid.PutCellState(2, 2, grid.CellStateAt(2, 2) | CellStateReadOnly);
  EXPECT_TRUE(grid.PasteTextAt(2, 1, Text("a,b,c").get(), false));
  EXPECT_EQ(grid.CellTextAt(2, 1), "a");
  EXPECT_EQ(grid.CellTextAt(2, 2), "R2C2");
  EXPECT_EQ(grid.CellTextAt(2, 3), "c");
  grid.SetEditable(false);
  EXPECT_FALSE(grid.PasteTextAt(3, 1, Text("x").get(), false));
  EXPECT_EQ(grid.CellTextAt(3, 1), "R3C1");
}

TEST_F(GridClipboard, CutCopiesThenEmptiesTheSelectedCellsOnlyWhenEditable) {
  SelectCells(grid, {{1, 1}, {1, 2}});
  grid.SetEditable(false);
  EXPECT_FALSE(grid.CanCut());
  QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
  grid.HandleCutCommand();
  EXPECT_EQ(ClipboardText(), "kept");
  EXPECT_EQ(grid.CellTextAt(1, 1), "R1C1");

  grid.SetEditable(true);
  EXPECT_TRUE(grid.CanCut());
  grid.HandleCutCommand();
  EXPECT_EQ(ClipboardText(), "R1C1\tR1C2");
  EXPECT_EQ(grid.CellTextAt(1, 1), "");
  EXPECT_EQ(grid.CellTextAt(1, 2), "");
  EXPECT_EQ(grid.CellTextAt(1, 3), "R1C3");
}

TEST_F(GridClipboard, PasteCommandTargetsTheSelectionThenTheFocusThenTheFirstVisibleCell) {
  QGuiApplication::clipboard()->setText(QStringLiteral("p"));
  grid.HandlePasteCommand();
  EXPECT_EQ(grid.CellTextAt(1, 1), "p");

  grid.ClearSelection();
  SelectCells(grid, {{3, 2}, {4, 3}});
  grid.HandlePasteCommand();
  EXPECT_EQ(grid.CellTextAt(3, 2), "p");
  EXPECT_EQ(grid.SelectedCellRange(), (CellRange{3, 2, 3, 2}));
}

TEST_F(GridClipboard, SelectAllTakesEveryNonFixedCellWhenSelectionIsOn) {
  std::vector<int> codes;
  grid.SetOwnerCallback([&](GridNotification& note) {
    codes.push_back(note.code);
    return 0L;
  });
  EXPECT_TRUE(grid.CanSelectAll());
  grid.HandleSelectAllCommand();
  EXPECT_EQ(grid.SelectedCellRange(), (CellRange{1, 1, 5, 4}));
  EXPECT_EQ(grid.SelectedCount(), 20);
  EXPECT_EQ(codes, (std::vector<int>{LVN_ITEMCHANGING, LVN_ITEMCHANGED}));

  grid.AllowSelection(false);
  EXPECT_FALSE(grid.CanSelectAll());
  grid.HandleSelectAllCommand();
  EXPECT_EQ(grid.SelectedCount(), 0);
}

TEST_F(GridClipboard, VirtualGridAnnouncesTheRangeItCopies) {
  CGridCtrl virtualGrid;
  virtualGrid.SetVirtualMode(true);
  BuildUniformGrid(virtualGrid, 4, 4);
  std::vector<CellRange> hints;
  virtualGrid.SetCellDataCallback([](GridDisplayInfo& info, std::intptr_t) {
    info.text = QStringLiteral("%1.%2").arg(info.row).arg(info.column);
    return true;
  });
  virtualGrid.SetOwnerCallback([&](GridNotification& note) {
    if (note.code == LVN_ODCACHEHINT) hints.push_back(note.cacheRange);
    return 0L;
  });
  SelectCells(virtualGrid, {{1, 1}, {2, 2}});
  const std::unique_ptr<QMimeData> data = virtualGrid.SelectionAsText();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->text(), "1.1\t\n\t2.2");
  EXPECT_EQ(hints, (std::vector<CellRange>{{1, 1, 2, 2}, {-1, -1, -1, -1}}));
}

}  // namespace

namespace {

// The clipboard through the grid's keys, on a shown grid.
class GridClipboardKeys : public GridClipboard {
 protected:
  GridClipboardKeys() {
    EXPECT_TRUE(ShowActive(grid));
    QRect cell;
    grid.CellRectOf(1, 1, cell);
    QTest::mouseClick(&grid, Qt::LeftButton, Qt::NoModifier, cell.center());
  }
};

TEST_F(GridClipboardKeys, ShiftArrowsSelectAndCtrlCCopiesThenCtrlVPastes) {
  QTest::keyClick(&grid, Qt::Key_Right, Qt::ShiftModifier);
  QTest::keyClick(&grid, Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(ClipboardText(), "R1C1\tR1C2\nR2C1\tR2C2");

  QGuiApplication::clipboard()->setText(QStringLiteral("a\tb"));
  QTest::keyClick(&grid, Qt::Key_Insert, Qt::ControlModifier);
  EXPECT_EQ(ClipboardText(), "R1C1\tR1C2\nR2C1\tR2C2");

  QTest::keyClick(&grid, Qt::Key_Down);  // the focus and a one-cell selection at (3, 2)
  EXPECT_TRUE(grid.CanPaste());
  QTest::keyClick(&grid, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(grid.CellTextAt(3, 2), "R1C1");
  EXPECT_EQ(grid.CellTextAt(4, 3), "R2C2");
  EXPECT_EQ(grid.SelectedCellRange(), (CellRange{3, 2, 4, 3}));

  QGuiApplication::clipboard()->setText(QStringLiteral("s"));
  QTest::keyClick(&grid, Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(grid.CellTextAt(3, 2), "s");
}

TEST_F(GridClipboardKeys, CtrlXCutsDeleteEmptiesAndCtrlASelectsAll) {
  QTest::keyClick(&grid, Qt::Key_Right, Qt::ShiftModifier);
  QTest::keyClick(&grid, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(ClipboardText(), "R1C1\tR1C2");
  EXPECT_EQ(grid.CellTextAt(1, 1), "");
  EXPECT_EQ(grid.CellTextAt(1, 2), "");
  QTest::keyClick(&grid, Qt::Key_Down);
  QTest::keyClick(&grid, Qt::Key_Delete);
  EXPECT_EQ(grid.CellTextAt(2, 2), "");
  QTest::keyClick(&grid, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(grid.SelectedCount(), 20);
}

}  // namespace

}  // namespace varnolt
