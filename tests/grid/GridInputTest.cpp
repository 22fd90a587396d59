// The grid under the mouse and the keyboard, driven through real Qt events on
// a shown grid.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "grid/GridCtrl.h"

#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <random>

namespace varnolt {

namespace {

// A shown grid of 20-pixel rows and 50-pixel columns, one fixed row and column,
// every cell holding "row:column", with every notification recorded.
class ShownGrid : public ::testing::Test {
 protected:
  void Show(int rows, int columns, QSize size = QSize(400, 300)) {
    BuildUniformGrid(grid, rows, columns);
    for (int row = 0; row < std::min(rows, 200); ++row)
      for (int column = 0; column < columns; ++column)
        grid.PutCellText(row, column, QStringLiteral("%1:%2").arg(row).arg(column));
    grid.SetOwnerCallback([this](GridNotification& note) {
      codes.push_back(note.code);
      return 0L;
    });
    window.resize(size);
    grid.setParent(&window);
    grid.setGeometry(0, 0, size.width(), size.height());
    window.show();
    QApplication::setActiveWindow(&window);
    QApplication::processEvents();
  }
  // The centre of a cell, in the grid's coordinates.
  QPoint At(int row, int column) {
    QRect rect;
    EXPECT_TRUE(grid.CellRectOf(row, column, rect)) << row << "," << column;
    return rect.center();
  }
  void Click(int row, int column, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseClick(&grid, Qt::LeftButton, modifiers, At(row, column));
  }
  // A double click as the platform delivers it: a click, then the second press as a double click.
  void DoubleClick(QPoint point) {
    QTest::mouseClick(&grid, Qt::LeftButton, {}, point);
    QTest::mouseDClick(&grid, Qt::LeftButton, {}, point);
    QTest::mouseRelease(&grid, Qt::LeftButton, {}, point);
  }
  void Key(int key, Qt::KeyboardModifiers modifiers = {}) { QTest::keyClick(&grid, Qt::Key(key), modifiers); }
  QPoint Origin(int row, int column) {
    QPoint origin;
    EXPECT_TRUE(grid.CellOriginOf(row, column, origin));
    return origin;
  }
  // The x of the divider right of a column (its grid line).
  int DividerRightOf(int column) { return Origin(0, column).x() + grid.ColumnWidth(column) - 1; }

  // Declared first so that it outlives the grid, whose last acts may still report.
  std::vector<int> codes;
  QWidget window;
  CGridCtrl grid;
};

}  // namespace

TEST_F(ShownGrid, WithSelectionOffClicksAndKeysMoveTheFocusAndSelectNothing) {
  Show(30, 6);
  grid.AllowSelection(false);
  Click(3, 2);
  EXPECT_EQ(grid.FocusedCell(), (CellId{3, 2}));
  EXPECT_TRUE(grid.CellAt(3, 2)->IsFocused());
  EXPECT_TRUE(grid.hasFocus());
  EXPECT_EQ(codes, (std::vector<int>{LVN_ITEMCHANGING, LVN_ITEMCHANGED, NM_CLICK}));
  Key(Qt::Key_Down, Qt::ShiftModifier);
  Key(Qt::Key_Right);
  EXPECT_EQ(grid.FocusedCell(), (CellId{4, 3}));
  EXPECT_FALSE(grid.CellAt(3, 2)->IsFocused());
  grid.PutCellState(5, 5, CellStateSelected);
  for (int row = 0; row < 30; ++row)
    for (int column = 0; column < 6; ++column) EXPECT_FALSE(grid.CellStateAt(row, column) & CellStateSelected);
  EXPECT_EQ(grid.SelectedCount(), 0);

  // A header click clears the focus and changes nothing else.
  Click(0, 3);
  EXPECT_EQ(grid.FocusedCell(), CellId{});
  EXPECT_EQ(grid.SortColumn(), -1);
  EXPECT_EQ(grid.CellTextAt(1, 3), QStringLiteral("1:3"));
}

TEST_F(ShownGrid, ArrowsSkipHiddenRowsAndColumnsAndNeverEnterTheHeaders) {
  Show(10, 6);
  grid.PutRowHeight(3, 0);
  grid.PutColumnWidth(3, 0);
  Click(2, 2);
  Key(Qt::Key_Down);
  Key(Qt::Key_Right);
  EXPECT_EQ(grid.FocusedCell(), (CellId{4, 4}));
  Key(Qt::Key_Up);
  Key(Qt::Key_Up);
  Key(Qt::Key_Up);
  Key(Qt::Key_Left);
  Key(Qt::Key_Left);
  Key(Qt::Key_Left);
  Key(Qt::Key_Left);
  EXPECT_EQ(grid.FocusedCell(), (CellId{1, 1}));
  Key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(grid.FocusedCell(), (CellId{1, 1}));
}

TEST_F(ShownGrid, PageDownAndCtrlEndTravelAHundredThousandRowsAtOnce) {
  Show(100001, 6);
  Click(1, 1);
  const int page = grid.VisibleNonFixedRange().maxRow;
  Key(Qt::Key_PageDown);
  const CellId afterPage = grid.FocusedCell();
  EXPECT_GT(afterPage.row, page - 2);
  EXPECT_EQ(afterPage.row, grid.TopLeftNonFixedCell().row);
  EXPECT_TRUE(grid.CellIsVisible(afterPage.row, 1));

  Key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(grid.FocusedCell(), (CellId{100000, 5}));
  EXPECT_EQ(grid.VisibleNonFixedRange().maxRow, 100000);
  QRect last;
  ASSERT_TRUE(grid.CellRectOf(100000, 5, last));
  EXPECT_LE(last.bottom(), grid.ClientRect().bottom());
  Key(Qt::Key_PageDown);  // nothing left to scroll: the last row
  EXPECT_EQ(grid.FocusedCell().row, 100000);
  Key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(grid.FocusedCell(), (CellId{1, 1}));
  EXPECT_EQ(grid.VerticalScrollPosition(), 0);
}

TEST_F(ShownGrid, PageKeysNeverLeaveTheFocusOnAHiddenRow) {
  Show(60, 4, QSize(400, 250));
  grid.PutRowHeight(15, 0);
  grid.MoveFocusTo(3, 2);
  // A page of 230 pixels moves the top row from 1 to 13 and the focus by as
  // much, onto row 15, which shows nothing: the focus goes on to row 16.
  Key(Qt::Key_PageDown);
  EXPECT_EQ(grid.TopLeftNonFixedCell().row, 13);
  EXPECT_EQ(grid.FocusedCell(), (CellId{16, 2}));
  EXPECT_TRUE(grid.CellIsVisible(16, 2));
  // Back up a page lands on row 4; hidden, the focus goes on up to row 3.
  grid.PutRowHeight(4, 0);
  grid.OnVScroll(CGridCtrl::SB_TOP);
  grid.MoveFocusTo(16, 2);
  grid.OnVScroll(CGridCtrl::SB_PAGEDOWN);
  ASSERT_EQ(grid.TopLeftNonFixedCell().row, 14);
  Key(Qt::Key_PageUp);
  EXPECT_EQ(grid.FocusedCell(), (CellId{3, 2}));

  // With nothing left to scroll the focus goes to the last row, or to the
  // first non-fixed row, passing over hidden ones there too.
  grid.PutRowHeight(59, 0);
  Key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(grid.FocusedCell().row, 58);
  grid.MoveFocusTo(40, 2);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(grid.FocusedCell().row, 58);
  grid.PutRowHeight(1, 0);
  Key(Qt::Key_Home, Qt::ControlModifier);
  grid.MoveFocusTo(6, 2);
  Key(Qt::Key_PageUp);
  EXPECT_EQ(grid.FocusedCell(), (CellId{2, 2}));
}

TEST_F(ShownGrid, PageUpWithNothingToScrollGoesToTheFirstRow) {
  Show(8, 4);  // every row fits: no scroll bar
  ASSERT_FALSE(grid.VerticalScrollBarShown());
  grid.MoveFocusTo(5, 2);
  Key(Qt::Key_PageUp);
  EXPECT_EQ(grid.FocusedCell(), (CellId{1, 2}));
  Key(Qt::Key_PageDown);
  EXPECT_EQ(grid.FocusedCell(), (CellId{7, 2}));
}

TEST_F(ShownGrid, MoveFocusToRaisesFixedRowsAndColumnsToTheFirstDataCell) {
  Show(10, 5);
  grid.MoveFocusTo(3, 0);
  EXPECT_EQ(grid.FocusedCell(), (CellId{3, 1}));
  grid.MoveFocusTo(0, 2);
  EXPECT_EQ(grid.FocusedCell(), (CellId{1, 2}));
  grid.MoveFocusTo(0, 0);
  EXPECT_EQ(grid.FocusedCell(), (CellId{1, 1}));
  EXPECT_FALSE(grid.CellAt(1, 0)->IsFocused());
  grid.MoveFocusTo(-1, -1);
  EXPECT_EQ(grid.FocusedCell(), CellId{});
}

TEST_F(ShownGrid, ShiftExtendsFromTheSelectionStartWhichTabAndPlainMovesReset) {
  Show(10, 5);
  // Shift with a click extends from the cell clicked before.
  Click(2, 1);
  Click(4, 3, Qt::ShiftModifier);
  EXPECT_EQ(grid.SelectedCellRange(), (CellRange{2, 1, 4, 3}));
  EXPECT_EQ(grid.SelectedCount(), 9);
  EXPECT_EQ(grid.SelectionStartCell(), (CellId{2, 1}));
  EXPECT_EQ(grid.FocusedCell(), (CellId{4, 3}));

  // Shift with Tab starts again at the cell it reaches, as Tab does.
  Click(3, 2);
  Key(Qt::Key_Down, Qt::ShiftModifier);
  ASSERT_EQ(grid.SelectedCellRange(), (CellRange{3, 2, 4, 2}));
  Key(Qt::Key_Tab, Qt::ShiftModifier);
  EXPECT_EQ(grid.FocusedCell(), (CellId{4, 1}));
  EXPECT_EQ(grid.SelectionStartCell(), (CellId{4, 1}));
  EXPECT_EQ(grid.SelectedCellRange(), (CellRange{4, 1, 4, 1}));
  Key(Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(grid.SelectedCellRange(), (CellRange{4, 1, 4, 2}));
}

TEST_F(ShownGrid, InListModeKeysAndClicksSelectWholeRows) {
  Show(10, 5);
  grid.SetListMode(true);
  Click(3, 2);
  EXPECT_EQ(grid.SelectedCellRange(), (CellRange{3, 1, 3, 4}));
  Key(Qt::Key_Down);
  EXPECT_EQ(grid.FocusedCell(), (CellId{4, 2}));
  EXPECT_EQ(grid.SelectedCellRange(), (CellRange{4, 1, 4, 4}));
  EXPECT_EQ(grid.SelectedCount(), 4);
  Key(Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(grid.SelectedCellRange(), (CellRange{4, 1, 5, 4}));
}

TEST_F(ShownGrid, TabWrapsRowsAndLeavesTheGridAtItsEnd) {
  auto* next = new QLineEdit(&window);
  next->setGeometry(0, 310, 100, 20);
  Show(3, 4, QSize(400, 300));
  window.resize(400, 340);
  Click(1, 3);
  Key(Qt::Key_Tab);
  EXPECT_EQ(grid.FocusedCell(), (CellId{2, 1}));
  Key(Qt::Key_Tab, Qt::ShiftModifier);
  EXPECT_EQ(grid.FocusedCell(), (CellId{1, 3}));
  Click(2, 3);
  Key(Qt::Key_Tab);
  EXPECT_EQ(grid.FocusedCell(), (CellId{2, 3}));
  EXPECT_TRUE(next->hasFocus());
}

TEST_F(ShownGrid, DraggingADividerSizesTheColumnDownToItsHideLimit) {
  Show(10, 5);
  const int divider = DividerRightOf(2), y = At(0, 2).y();
  QTest::mouseMove(&grid, QPoint(divider, y));
  EXPECT_EQ(grid.CurrentMouseMode(), CGridCtrl::ModeOverColumnEdge);
  EXPECT_EQ(grid.cursor().shape(), Qt::SizeHorCursor);
  // The new width is the release point's distance from the column's left edge.
  const int start = Origin(0, 2).x();
  QTest::mousePress(&grid, Qt::LeftButton, {}, QPoint(divider, y));
  QTest::mouseMove(&grid, QPoint(start + 80, y));
  QTest::mouseRelease(&grid, Qt::LeftButton, {}, QPoint(start + 80, y));
  EXPECT_EQ(grid.ColumnWidth(2), 80);
  EXPECT_EQ(grid.FocusedCell(), CellId{});

  // To the left of the column's start: hidden when allowed, one pixel when not.
  for (bool hide : {true, false}) {
    grid.PutColumnWidth(2, 50);
    grid.SetColumnHide(hide);
    QTest::mousePress(&grid, Qt::LeftButton, {}, QPoint(DividerRightOf(2), y));
    QTest::mouseRelease(&grid, Qt::LeftButton, {}, QPoint(start - 10, y));
    EXPECT_EQ(grid.ColumnWidth(2), hide ? 0 : 1);
  }
  // A row divider, in the fixed column.
  const QPoint rowDivider(10, Origin(2, 0).y() + 19);
  QTest::mousePress(&grid, Qt::LeftButton, {}, rowDivider);
  QTest::mouseRelease(&grid, Qt::LeftButton, {}, QPoint(10, Origin(2, 0).y() + 35));
  EXPECT_EQ(grid.RowHeight(2), 35);
}

TEST_F(ShownGrid, DoubleClickingADividerFitsTheColumnToItsWidestText) {
  Show(10, 5);
  const QString wide = QStringLiteral("a much wider text than the others");
  grid.PutCellText(6, 2, wide);
  DoubleClick(QPoint(DividerRightOf(2), At(0, 2).y()));
  const int margin = int(grid.CellAt(6, 2)->GetMargin());
  EXPECT_EQ(grid.ColumnWidth(2), QFontMetrics(grid.CurrentFont()).horizontalAdvance(wide) + 4 * margin);
  // On a cell: the owner hears of the double click.
  codes.clear();
  DoubleClick(At(4, 1));
  EXPECT_NE(std::find(codes.begin(), codes.end(), NM_DBLCLK), codes.end());
}

TEST_F(ShownGrid, DoubleClickingADividerPassesOverHiddenColumns) {
  Show(10, 5);
  const QString wide = QStringLiteral("a much wider text than the others");
  grid.PutCellText(6, 1, wide);
  grid.PutCellText(6, 2, wide + wide);
  grid.PutColumnWidth(2, 0);
  // Just right of the line where column 1 ends and hidden column 2 would be:
  // the column fitted is column 1, the nearest shown one.
  const int edge = Origin(0, 3).x();
  ASSERT_EQ(edge, Origin(0, 1).x() + 50);
  DoubleClick(QPoint(edge + 1, At(0, 3).y()));
  const int margin = int(grid.CellAt(6, 1)->GetMargin());
  EXPECT_EQ(grid.ColumnWidth(1), QFontMetrics(grid.CurrentFont()).horizontalAdvance(wide) + 4 * margin);
  EXPECT_EQ(grid.ColumnWidth(2), 0);
  EXPECT_EQ(grid.ColumnWidth(3), 50);
}

TEST_F(ShownGrid, ShiftArrowsAndCtrlClicksSelectRanges) {
  Show(10, 5);
  Click(2, 1);
  Key(Qt::Key_Down, Qt::ShiftModifier);
  Key(Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(grid.SelectedCellRange(), (CellRange{2, 1, 3, 2}));
  EXPECT_EQ(grid.SelectedCount(), 4);
  Click(6, 4, Qt::ControlModifier);
  EXPECT_EQ(grid.SelectedCount(), 5);
  Click(6, 4, Qt::ControlModifier);
  EXPECT_EQ(grid.SelectedCount(), 4);
  // A header click selects its column; the corner everything.
  Click(0, 3);
  EXPECT_EQ(grid.SelectedCellRange(), (CellRange{1, 3, 9, 3}));
  Click(0, 0);
  EXPECT_EQ(grid.SelectedCount(), 9 * 4);
  Click(5, 2);
  Key(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(grid.SelectedCount(), 9 * 4);
  grid.AllowSelection(false);
  EXPECT_EQ(grid.SelectedCount(), 0);
}

TEST_F(ShownGrid, RightClicksAndTheClickSignalReachTheOwner) {
  Show(10, 5);
  std::vector<CellId> clicked;
  QObject::connect(&grid, &CGridCtrl::clicked, [&](int row, int column) { clicked.push_back({row, column}); });
  Click(3, 3);
  EXPECT_TRUE(clicked.empty()) << "posted, not sent";
  QApplication::processEvents();
  EXPECT_EQ(clicked, std::vector<CellId>{(CellId{3, 3})});
  codes.clear();
  QTest::mouseClick(&grid, Qt::RightButton, {}, At(0, 2));
  EXPECT_EQ(codes, std::vector<int>{NM_RCLICK});
  EXPECT_EQ(grid.FocusedCell(), (CellId{1, 2}));
}

TEST_F(ShownGrid, HoldingTheButtonBelowTheGridScrollsDown) {
  Show(100, 3, QSize(300, 120));
  // The real timer is set far beyond the test's life; the test delivers the
  // ticks itself, so the outcome does not depend on the machine's speed.
  grid.SetAutoScrollInterval(60 * 60 * 1000);
  QTest::mousePress(&grid, Qt::LeftButton, {}, At(2, 1));
  QTest::mouseMove(&grid, QPoint(60, grid.height() + 20));
  ASSERT_TRUE(grid.AutoScrolling());
  const int timerId = grid.AutoScrollTimerId();
  ASSERT_NE(timerId, 0);
  EXPECT_EQ(grid.VerticalScrollPosition(), 0);
  for (int tick = 0; tick < 10; ++tick) {
    QTimerEvent event(timerId);
    QCoreApplication::sendEvent(&grid, &event);
  }
  EXPECT_TRUE(grid.AutoScrolling());
  QTest::mouseRelease(&grid, Qt::LeftButton, {}, QPoint(60, grid.height() + 20));
  EXPECT_FALSE(grid.AutoScrolling());
  EXPECT_GT(grid.VerticalScrollPosition(), 0);
  EXPECT_GT(grid.SelectedCellRange().maxRow, 2);
}

TEST(GridSorting, QuicksortMatchesStdSortBothWays) {
  CGridCtrl grid(10001, 2, 1, 0);
  std::mt19937 random(5);
  std::vector<QString> texts;
  for (int row = 1; row <= 10000; ++row) {
    texts.push_back(QString::number(random() % 5000));
    grid.PutCellText(row, 0, texts.back());
    grid.PutCellText(row, 1, QString::number(row));
  }
  const auto column = [&](int index) {
    std::vector<QString> shown;
    for (int row = 1; row <= 10000; ++row) shown.push_back(grid.CellTextAt(row, index));
    return shown;
  };
  const std::vector<QString> original = texts;
  ASSERT_TRUE(grid.SortRowsBy(0, true));
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(column(0), texts);
  ASSERT_TRUE(grid.SortRowsBy(0, false));
  std::reverse(texts.begin(), texts.end());
  EXPECT_EQ(column(0), texts);
  // Whole rows travel together.
  for (int row = 1; row <= 10000; row += 997)
    EXPECT_EQ(grid.CellTextAt(row, 0), original[std::size_t(grid.CellTextAt(row, 1).toInt() - 1)]);
  EXPECT_FALSE(grid.SortRowsBy(2, true));
}

TEST(GridSorting, RowsThatCompareEqualStayInPlaceAndRowsTakeTheirHeights) {
  CGridCtrl grid(7, 2, 1, 0);
  for (int row = 1; row < 7; ++row) {
    grid.PutCellText(row, 0, QStringLiteral("same"));
    grid.PutCellText(row, 1, QString::number(row));
  }
  for (bool ascending : {true, false}) {
    ASSERT_TRUE(grid.SortRowsBy(0, ascending));
    for (int row = 1; row < 7; ++row) EXPECT_EQ(grid.CellTextAt(row, 1), QString::number(row)) << ascending;
  }
  // A row keeps its height wherever the sort puts it.
  const char* fruit[] = {"", "pear", "apple", "fig", "date", "kiwi", "lime"};
  for (int row = 1; row < 7; ++row) {
    grid.PutCellText(row, 0, QString::fromLatin1(fruit[row]));
    grid.PutRowHeight(row, 10 + row);
  }
  ASSERT_TRUE(grid.SortRowsBy(0, true));
  const std::vector<std::pair<QString, int>> sorted = {
      {"apple", 12}, {"date", 14}, {"fig", 13}, {"kiwi", 15}, {"lime", 16}, {"pear", 11}};
  for (int row = 1; row < 7; ++row) {
    EXPECT_EQ(grid.CellTextAt(row, 0), sorted[std::size_t(row - 1)].first);
    EXPECT_EQ(grid.RowHeight(row), sorted[std::size_t(row - 1)].second) << row;
  }
}

TEST_F(ShownGrid, HeaderClicksSortWhenSwitchedOn) {
  Show(6, 3);
  const char* values[] = {"", "pear", "apple", "fig", "date", "kiwi"};
  for (int row = 1; row < 6; ++row) grid.PutCellText(row, 2, QString::fromLatin1(values[row]));
  grid.SetSortOnHeaderClick(true);
  Click(0, 2);
  EXPECT_EQ(grid.SortColumn(), 2);
  EXPECT_TRUE(grid.SortAscending());
  EXPECT_EQ(grid.CellTextAt(1, 2), QStringLiteral("apple"));
  Click(0, 2);
  EXPECT_FALSE(grid.SortAscending());
  EXPECT_EQ(grid.CellTextAt(1, 2), QStringLiteral("pear"));
}

TEST_F(ShownGrid, AWheelNotchOverEitherBarScrollsRowsNotPixels) {
  Show(200, 20, QSize(300, 200));
  grid.SetWheelLines(3);
  ASSERT_TRUE(grid.VerticalScrollBarShown() && grid.HorizontalScrollBarShown());
  for (QScrollBar* bar : {grid.VerticalScrollBar(), grid.HorizontalScrollBar()}) {
    grid.OnVScroll(CGridCtrl::SB_TOP);
    grid.OnHScroll(CGridCtrl::SB_LEFT);
    QWheelEvent event(QPointF(5, 5), bar->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(bar, &event);
    QApplication::processEvents();
    EXPECT_EQ(grid.VerticalScrollPosition(), 60) << bar->orientation();
    EXPECT_EQ(grid.HorizontalScrollPosition(), 0) << bar->orientation();
  }
}

TEST(GridScrolling, ADesktopWheelSettingOfNothingIsKept) {
  EXPECT_EQ(CGridCtrl::WheelLinesFromDesktop(0), 0);
  EXPECT_EQ(CGridCtrl::WheelLinesFromDesktop(5), 5);
  EXPECT_EQ(CGridCtrl::WheelLinesFromDesktop(-1), 3);
  CGridCtrl grid;
  grid.resize(200, 100);
  grid.SetWheelLines(0);
  BuildUniformGrid(grid, 50, 2);
  QWheelEvent event(QPointF(5, 30), QPointF(5, 30), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(&grid, &event);
  QApplication::processEvents();
  EXPECT_EQ(grid.VerticalScrollPosition(), 0);
}

}  // namespace varnolt
