#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "grid/GridCtrl.h"

#include <QApplication>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

namespace varnolt {

namespace {

// A grid that records every scroll request it gets.
class RecordingGrid : public CGridCtrl {
 public:
  RecordingGrid() = default;
  std::vector<ScrollCode> vertical, horizontal;
  void OnVScroll(ScrollCode code, std::int64_t position = 0) override {
    vertical.push_back(code);
    CGridCtrl::OnVScroll(code, position);
  }
  void OnHScroll(ScrollCode code, std::int64_t position = 0) override {
    horizontal.push_back(code);
    CGridCtrl::OnHScroll(code, position);
  }
};

void Build(CGridCtrl& grid, int rows, int columns) { BuildUniformGrid(grid, rows, columns); }

void Resize(CGridCtrl& grid, int width, int height) {
  grid.resize(width, height);
  QApplication::processEvents();
}

int BarExtent(const CGridCtrl& grid) {
  return grid.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &grid);
}

void Wheel(CGridCtrl& grid, int delta) {
  QWheelEvent event(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(&grid, &event);
}

using Bars = std::pair<bool, bool>;  // horizontal, vertical
Bars Shown(const CGridCtrl& grid) { return {grid.HorizontalScrollBarShown(), grid.VerticalScrollBarShown()}; }

}  // namespace

TEST(GridScrollBars, ShowExactlyWhenTheCellsDoNotFit) {
  CGridCtrl grid;
  Build(grid, 11, 4);  // 20 + 10 x 20 high, 50 + 3 x 50 wide
  grid.show();
  const int bar = BarExtent(grid);

  Resize(grid, 200, 220);
  EXPECT_EQ(Shown(grid), Bars(false, false));
  EXPECT_EQ(grid.ClientRect(), QRect(0, 0, 200, 220));

  // One pixel short in height: the vertical bar, whose width then leaves the
  // columns one bar short.
  Resize(grid, 200, 219);
  EXPECT_EQ(Shown(grid), Bars(true, true));
  Resize(grid, 200 + bar, 219);
  EXPECT_EQ(Shown(grid), Bars(false, true));
  EXPECT_EQ(grid.VerticalScrollLimit(), 200 - (219 - 20));
  EXPECT_FALSE(grid.HorizontalScrollBar()->isVisible());
  EXPECT_TRUE(grid.VerticalScrollBar()->isVisible());

  // One pixel short in width: the horizontal bar; it takes height from rows
  // that only just fitted, so they need the vertical bar too.
  Resize(grid, 199, 220 + bar);
  EXPECT_EQ(Shown(grid), Bars(true, false));
  EXPECT_EQ(grid.HorizontalScrollLimit(), 1);
  Resize(grid, 199, 220);
  EXPECT_EQ(Shown(grid), Bars(true, true));

  // Fixed cells filling the window leave nothing to scroll.
  grid.SetHeaderRowTotal(11);
  Resize(grid, 100, 100);
  EXPECT_EQ(Shown(grid), Bars(false, false));
}

TEST(GridScrolling, LinesFollowRowHeightsAndSkipHiddenRows) {
  RecordingGrid grid;
  Build(grid, 31, 3);
  grid.PutRowHeight(3, 0);
  grid.PutRowHeight(4, 40);
  grid.show();
  Resize(grid, 300, 120);
  ASSERT_TRUE(grid.VerticalScrollBarShown());

  EXPECT_EQ(grid.TopLeftNonFixedCell(), (CellId{1, 1}));
  const auto expectAt = [&](std::int64_t position, int topRow) {
    EXPECT_EQ(grid.VerticalScrollPosition(), position);
    EXPECT_EQ(grid.TopLeftNonFixedCell().row, topRow);
  };
  grid.OnVScroll(CGridCtrl::SB_LINEDOWN);
  expectAt(20, 2);
  grid.OnVScroll(CGridCtrl::SB_LINEDOWN);
  expectAt(40, 3);
  grid.OnVScroll(CGridCtrl::SB_LINEDOWN);  // past the hidden row 3, by row 4's 40 pixels
  expectAt(80, 5);
  grid.OnVScroll(CGridCtrl::SB_LINEUP);
  expectAt(40, 3);
  grid.OnVScroll(CGridCtrl::SB_LINEUP);
  expectAt(20, 2);
  // A partly scrolled row counts as scrolled away.
  grid.OnVScroll(CGridCtrl::SB_THUMBTRACK, 25);
  expectAt(25, 3);

  const std::int64_t page = grid.ClientRect().height() - 20;
  grid.OnVScroll(CGridCtrl::SB_TOP);
  grid.OnVScroll(CGridCtrl::SB_PAGEDOWN);
  EXPECT_EQ(grid.VerticalScrollPosition(), page);
  grid.OnVScroll(CGridCtrl::SB_BOTTOM);
  EXPECT_EQ(grid.VerticalScrollPosition(), grid.VerticalScrollLimit());
  grid.OnVScroll(CGridCtrl::SB_LINEDOWN);
  EXPECT_EQ(grid.VerticalScrollPosition(), grid.VerticalScrollLimit());
  // At the bottom the last row is on screen.
  EXPECT_EQ(grid.VisibleNonFixedRange().maxRow, 30);
  EXPECT_TRUE(grid.CellIsVisible(30, 1));

  // The scroll bar's own buttons step by rows too.
  grid.OnVScroll(CGridCtrl::SB_TOP);
  grid.VerticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(grid.VerticalScrollPosition(), 20);
  EXPECT_EQ(grid.VerticalScrollBar()->value(), 20);
}

TEST(GridScrolling, AWheelNotchPostsTheDesktopsLineCount) {
  RecordingGrid grid;
  Build(grid, 200, 3);
  grid.show();
  Resize(grid, 300, 200);
  grid.SetWheelLines(3);
  grid.OnVScroll(CGridCtrl::SB_THUMBPOSITION, 400);
  grid.vertical.clear();

  Wheel(grid, 120);  // one notch away from the user: up
  EXPECT_TRUE(grid.vertical.empty()) << "posted, not sent";
  QApplication::processEvents();
  EXPECT_EQ(grid.vertical, std::vector<CGridCtrl::ScrollCode>(3, CGridCtrl::SB_LINEUP));
  EXPECT_EQ(grid.VerticalScrollPosition(), 340);

  grid.vertical.clear();
  Wheel(grid, -240);
  QApplication::processEvents();
  EXPECT_EQ(grid.vertical, std::vector<CGridCtrl::ScrollCode>(6, CGridCtrl::SB_LINEDOWN));

  // Fine-grained turns add up to whole notches.
  grid.vertical.clear();
  Wheel(grid, 60);
  QApplication::processEvents();
  EXPECT_TRUE(grid.vertical.empty());
  Wheel(grid, 60);
  QApplication::processEvents();
  EXPECT_EQ(grid.vertical.size(), 3u);

  // Page scrolling: one page per notch.
  grid.vertical.clear();
  grid.SetWheelLines(-1);
  Wheel(grid, 120);
  QApplication::processEvents();
  EXPECT_EQ(grid.vertical, std::vector<CGridCtrl::ScrollCode>{CGridCtrl::SB_PAGEUP});
}

TEST(GridScrolling, ACellScrollsIntoViewPassingOverHiddenRows) {
  RecordingGrid grid;
  Build(grid, 41, 4);
  grid.PutRowHeight(12, 0);
  grid.PutRowHeight(13, 0);
  grid.show();
  Resize(grid, 200 + BarExtent(grid), 220);
  ASSERT_EQ(grid.VisibleNonFixedRange(), (CellRange{1, 1, 10, 3}));

  // Rows 11, 14 and 15 take one line each; the hidden ones none.
  grid.ScrollCellIntoView(15, 2);
  EXPECT_EQ(grid.vertical, std::vector<CGridCtrl::ScrollCode>(3, CGridCtrl::SB_LINEDOWN));
  EXPECT_TRUE(grid.horizontal.empty());
  EXPECT_TRUE(grid.CellIsVisible(15, 2));
  EXPECT_EQ(grid.TopLeftNonFixedCell().row, 4);

  grid.vertical.clear();
  grid.ScrollCellIntoView(2, 1);
  EXPECT_EQ(grid.vertical, std::vector<CGridCtrl::ScrollCode>(2, CGridCtrl::SB_LINEUP));
  EXPECT_EQ(grid.TopLeftNonFixedCell().row, 2);
}

TEST(GridGeometry, HiddenRowsAndColumnsTakeNoSpace) {
  CGridCtrl grid;
  Build(grid, 10, 5);
  grid.PutColumnWidth(2, 0);
  grid.PutRowHeight(3, 0);
  grid.show();
  Resize(grid, 400, 300);
  QRect before, hidden, after;
  ASSERT_TRUE(grid.CellRectOf(4, 1, before));
  ASSERT_TRUE(grid.CellRectOf(4, 2, hidden));
  ASSERT_TRUE(grid.CellRectOf(4, 3, after));
  EXPECT_EQ(after.x(), before.x() + 50);
  EXPECT_EQ(hidden.x(), after.x());
  ASSERT_TRUE(grid.CellRectOf(4, 1, after));
  ASSERT_TRUE(grid.CellRectOf(2, 1, before));
  EXPECT_EQ(after.y(), before.y() + 20);
  // The point where they would be finds the next cell instead.
  EXPECT_EQ(grid.CellUnderPoint(QPoint(after.x() + 50, before.y() + 20 + 1)), (CellId{4, 3}));
  EXPECT_EQ(grid.CellUnderPoint(QPoint(5, 5)), CellId{});
  EXPECT_EQ(grid.CellUnderPoint(QPoint(5, 5), true), (CellId{0, 0}));
  // The columns' total leaves the hidden one out.
  EXPECT_EQ(grid.TotalColumnsWidth(), 4 * 50);
}

}  // namespace varnolt
