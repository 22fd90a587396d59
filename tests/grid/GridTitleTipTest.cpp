// The title tip: the whole text of a cut-off cell, shown over the cell.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "grid/GridCtrl.h"
#include "grid/GridTitleTip.h"

#include <QFontMetrics>
#include <QTest>

namespace varnolt {

namespace {

class GridTitleTip : public ::testing::Test {
 protected:
  GridTitleTip() {
    BuildUniformGrid(grid, 5, 4);
    grid.PutCellText(1, 1, QStringLiteral("a text far too long for fifty pixels"));
    grid.PutCellText(1, 2, QStringLiteral("ab"));
    grid.resize(300, 200);
    EXPECT_TRUE(ShowActive(grid));
    grid.setFocus();
  }
  bool TipShown() const { return grid.TitleTip() && grid.TitleTip()->isVisible(); }
  CGridCtrl grid;
};

TEST_F(GridTitleTip, ACutOffTextShowsPaddedAtTheCellsTopLeft) {
  grid.OfferTitleTip(1, 1);
  ASSERT_TRUE(TipShown());
  CTitleTip* tip = grid.TitleTip();
  QRect cell;
  ASSERT_TRUE(grid.CellRectOf(1, 1, cell));
  EXPECT_EQ(tip->ShownText(), " a text far too long for fifty pixels ");
  EXPECT_EQ(tip->geometry().topLeft(), grid.mapToGlobal(cell.topLeft()));
  EXPECT_EQ(tip->height(), cell.height());
  EXPECT_EQ(tip->width(), QFontMetrics(grid.CellAt(1, 1)->GetFontObject(), &grid).horizontalAdvance(tip->ShownText()));
  // The tip never takes the focus.
  EXPECT_EQ(QApplication::focusWidget(), &grid);
}

TEST_F(GridTitleTip, ATextThatFitsShowsNoTip) {
  grid.OfferTitleTip(1, 2);
  EXPECT_FALSE(TipShown());
  grid.OfferTitleTip(1, 3);  // empty text
  EXPECT_FALSE(TipShown());
  grid.EnableTitleTips(false);
  grid.OfferTitleTip(1, 1);
  EXPECT_FALSE(TipShown());
}

TEST_F(GridTitleTip, ATextExactlyAsWideAsItsCellShowsNoTip) {
  const QString text = grid.CellTextAt(1, 1);
  const int padded = QFontMetrics(grid.CellAt(1, 1)->GetFontObject(), &grid).horizontalAdvance(' ' + text + ' ');
  // The column width that gives the cell's text rectangle exactly the padded width.
  const auto textWidth = [&] {
    QRect rect;
    EXPECT_TRUE(grid.CellRectOf(1, 1, rect));
    EXPECT_TRUE(grid.CellAt(1, 1)->TipRectFor(rect));
    return rect.width();
  };
  grid.PutColumnWidth(1, grid.ColumnWidth(1) + padded - textWidth());
  ASSERT_EQ(textWidth(), padded);
  grid.OfferTitleTip(1, 1);
  EXPECT_FALSE(TipShown());
  // One pixel less and the text is cut off.
  grid.PutColumnWidth(1, grid.ColumnWidth(1) - 1);
  grid.OfferTitleTip(1, 1);
  EXPECT_TRUE(TipShown());
}

TEST_F(GridTitleTip, AKeyAPressOrAMoveOutOfTheCellHidesTheTip) {
  grid.OfferTitleTip(1, 1);
  ASSERT_TRUE(TipShown());
  QTest::keyClick(&grid, Qt::Key_Shift);
  EXPECT_FALSE(TipShown());

  grid.OfferTitleTip(1, 1);
  ASSERT_TRUE(TipShown());
  QRect cell;
  grid.CellRectOf(1, 1, cell);
  QTest::mouseMove(&grid, cell.center());
  EXPECT_TRUE(TipShown());
  QTest::mouseMove(&grid, cell.center() + QPoint(0, 60));
  EXPECT_FALSE(TipShown());

  grid.OfferTitleTip(1, 1);
  ASSERT_TRUE(TipShown());
  QTest::mousePress(&grid, Qt::LeftButton, Qt::NoModifier, cell.center());
  EXPECT_FALSE(TipShown());
  QTest::mouseRelease(&grid, Qt::LeftButton, Qt::NoModifier, cell.center());
}

}  // namespace

namespace {

TEST_F(GridTitleTip, RestingTheMouseOnACutOffCellShowsTheTip) {
  QRect cell;
  grid.CellRectOf(1, 2, cell);
  QTest::mouseMove(&grid, cell.center());
  EXPECT_FALSE(TipShown());
  grid.CellRectOf(1, 1, cell);
  QTest::mouseMove(&grid, cell.center());
  EXPECT_TRUE(TipShown());
  // Not over a cell being edited.
  QTest::mouseMove(&grid, cell.center() + QPoint(0, 60));
  EXPECT_FALSE(TipShown());
  grid.BeginCellEdit(1, 1, QPoint(), CGridCtrl::EditStartedByMouse);
  QTest::mouseMove(&grid, cell.center());
  EXPECT_FALSE(TipShown());
}

}  // namespace

}  // namespace varnolt
