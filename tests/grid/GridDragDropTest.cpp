// Dragging cells within a grid and dropping text onto it, through Qt's drag
// and drop events.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "grid/GridCtrl.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>

namespace varnolt {

namespace {

// Sends the events a drag over the target makes, as the platform would; the
// answer of the last one is the drop's result.
Qt::DropAction DragOnto(QWidget& target, const QMimeData& data, QPoint point, Qt::KeyboardModifiers modifiers) {
  const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
  QDragEnterEvent enter(point, actions, &data, Qt::LeftButton, modifiers);
  QApplication::sendEvent(&target, &enter);
  if (!enter.isAccepted()) return Qt::IgnoreAction;
  QDragMoveEvent move(point, actions, &data, Qt::LeftButton, modifiers);
  QApplication::sendEvent(&target, &move);
  if (!move.isAccepted()) {
    QDragLeaveEvent leave;
    QApplication::sendEvent(&target, &leave);
    return Qt::IgnoreAction;
  }
  QDropEvent drop(QPointF(point), actions, &data, Qt::LeftButton, modifiers);
  QApplication::sendEvent(&target, &drop);
  return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

// A grid whose drag loop drops onto a chosen widget at a chosen point.
class DraggingGrid : public CGridCtrl {
 public:
  QWidget* target = this;
  QPoint dropPoint;
  Qt::KeyboardModifiers modifiers = Qt::NoModifier;

 protected:
  Qt::DropAction RunDragLoop(QMimeData* data) override {
    const std::unique_ptr<QMimeData> owned(data);
    return DragOnto(*target, *data, dropPoint, modifiers);
  }
};

class GridDragDrop : public ::testing::Test {
 protected:
  GridDragDrop() {
    for (CGridCtrl* grid : {static_cast<CGridCtrl*>(&source), &other}) {
      BuildUniformGrid(*grid, 6, 5);
      FillRowColumnTexts(*grid);
      grid->EnableDragAndDrop(true);
      grid->resize(300, 200);
    }
  }
  QPoint CentreOf(CGridCtrl& grid, int row, int column) {
    QRect rect;
    grid.CellRectOf(row, column, rect);
    return rect.center();
  }
  DraggingGrid source;
  CGridCtrl other;
};

TEST_F(GridDragDrop, ADragWithoutCtrlMovesTheCells) {
  SelectCells(source, {{1, 1}, {1, 2}});
  source.dropPoint = CentreOf(source, 4, 2);
  ASSERT_TRUE(source.StartDrag());
  EXPECT_EQ(source.CellTextAt(4, 2), "R1C1");
  EXPECT_EQ(source.CellTextAt(4, 3), "R1C2");
  EXPECT_EQ(source.CellTextAt(1, 1), "");
  EXPECT_EQ(source.CellTextAt(1, 2), "");
  EXPECT_EQ(source.SelectedCount(), 0);
  EXPECT_FALSE(source.CellStateAt(4, 2) & CellStateDropHighlighted);
}

TEST_F(GridDragDrop, ADragWithCtrlCopiesTheCells) {
  SelectCells(source, {{2, 1}});
  source.dropPoint = CentreOf(source, 5, 4);
  source.modifiers = Qt::ControlModifier;
  ASSERT_TRUE(source.StartDrag());
  EXPECT_EQ(source.CellTextAt(5, 4), "R2C1");
  EXPECT_EQ(source.CellTextAt(2, 1), "R2C1");
}

// Moving a block one column to the right overlaps where it came from; the
// cells the drop filled keep the moved text.
TEST_F(GridDragDrop, AMoveOntoItselfKeepsWhatTheDropWrote) {
  SelectCells(source, {{1, 1}, {1, 2}});
  source.dropPoint = CentreOf(source, 1, 2);
  ASSERT_TRUE(source.StartDrag());
  EXPECT_EQ(source.CellTextAt(1, 1), "");
  EXPECT_EQ(source.CellTextAt(1, 2), "R1C1");
  EXPECT_EQ(source.CellTextAt(1, 3), "R1C2");
}

TEST_F(GridDragDrop, AMoveIntoAnotherGridEmptiesTheSource) {
  SelectCells(source, {{3, 3}});
  source.target = &other;
  source.dropPoint = CentreOf(other, 2, 2);
  int begins = 0;
  source.SetOwnerCallback([&](GridNotification& note) {
    if (note.code == LVN_BEGINDRAG && note.row == 3 && note.column == 3) ++begins;
    return 0L;
  });
  ASSERT_TRUE(source.StartDrag());
  EXPECT_EQ(begins, 1);
  EXPECT_EQ(other.CellTextAt(2, 2), "R3C3");
  EXPECT_EQ(source.CellTextAt(3, 3), "");
}

TEST_F(GridDragDrop, NoDragWithoutSelectionOrWithDragAndDropOff) {
  EXPECT_FALSE(source.StartDrag());
  SelectCells(source, {{1, 1}});
  source.EnableDragAndDrop(false);
  EXPECT_FALSE(source.StartDrag());
  EXPECT_EQ(source.CellTextAt(1, 1), "R1C1");
}

TEST_F(GridDragDrop, TextFromAnotherProgramLandsWhereItIsDropped) {
  QMimeData data;
  data.setText(QStringLiteral("x\ty\nz"));
  EXPECT_EQ(DragOnto(other, data, CentreOf(other, 3, 2), Qt::NoModifier), Qt::MoveAction);
  EXPECT_EQ(other.CellTextAt(3, 2), "x");
  EXPECT_EQ(other.CellTextAt(3, 3), "y");
  EXPECT_EQ(other.CellTextAt(4, 2), "z");
  EXPECT_EQ(DragOnto(other, data, CentreOf(other, 1, 1), Qt::ControlModifier), Qt::CopyAction);
}

TEST_F(GridDragDrop, TheCellUnderTheDragIsMarkedUntilTheDragLeaves) {
  QMimeData data;
  data.setText(QStringLiteral("x"));
  const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
  QDragEnterEvent enter(CentreOf(other, 2, 2), actions, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&other, &enter);
  EXPECT_TRUE(other.CellStateAt(2, 2) & CellStateDropHighlighted);
  QDragMoveEvent move(CentreOf(other, 3, 1), actions, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&other, &move);
  EXPECT_FALSE(other.CellStateAt(2, 2) & CellStateDropHighlighted);
  EXPECT_TRUE(other.CellStateAt(3, 1) & CellStateDropHighlighted);
  EXPECT_EQ(other.DropCell(), (CellId{3, 1}));
  // Over a header cell the mark goes.
  QDragMoveEvent overHeader(CentreOf(other, 0, 2), actions, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&other, &overHeader);
  EXPECT_FALSE(overHeader.isAccepted());
  EXPECT_FALSE(other.CellStateAt(3, 1) & CellStateDropHighlighted);
  QApplication::sendEvent(&other, &move);
  QDragLeaveEvent leave;
  QApplication::sendEvent(&other, &leave);
  EXPECT_FALSE(other.CellStateAt(3, 1) & CellStateDropHighlighted);
}

TEST_F(GridDragDrop, DropsAreRefusedOnReadOnlyCellsNonEditableGridsAndWithoutText) {
  QMimeData data;
  data.setText(QStringLiteral("x"));
  other.PutCellState(2, 2, other.CellStateAt(2, 2) | CellStateReadOnly);
  EXPECT_EQ(DragOnto(other, data, CentreOf(other, 2, 2), Qt::NoModifier), Qt::IgnoreAction);
  EXPECT_EQ(other.CellTextAt(2, 2), "R2C2");
  other.SetEditable(false);
  EXPECT_EQ(DragOnto(other, data, CentreOf(other, 3, 3), Qt::NoModifier), Qt::IgnoreAction);
  EXPECT_EQ(other.CellTextAt(3, 3), "R3C3");
  other.SetEditable(true);
  QMimeData image;
  image.setData(QStringLiteral("image/png"), QByteArray("png"));
  EXPECT_EQ(DragOnto(other, image, CentreOf(other, 3, 3), Qt::NoModifier), Qt::IgnoreAction);
  other.EnableDragAndDrop(false);
  EXPECT_EQ(DragOnto(other, data, CentreOf(other, 3, 3), Qt::NoModifier), Qt::IgnoreAction);
  EXPECT_EQ(other.CellTextAt(3, 3), "R3C3");
}

}  // namespace

namespace {

TEST_F(GridDragDrop, PressingOnASelectedCellAndMovingStartsTheDrag) {
  EXPECT_TRUE(ShowActive(source));
  SelectCells(source, {{2, 2}});
  source.dropPoint = CentreOf(source, 5, 3);
  const QPoint from = CentreOf(source, 2, 2);
  QTest::mousePress(&source, Qt::LeftButton, Qt::NoModifier, from);
  EXPECT_EQ(source.CurrentMouseMode(), CGridCtrl::ModeDragPending);
  QTest::mouseMove(&source, from + QPoint(QApplication::startDragDistance() + 2, 0));
  EXPECT_EQ(source.CellTextAt(5, 3), "R2C2");
  EXPECT_EQ(source.CellTextAt(2, 2), "");
  EXPECT_EQ(source.CurrentMouseMode(), CGridCtrl::ModeIdle);
}

}  // namespace

}  // namespace varnolt
