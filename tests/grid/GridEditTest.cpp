// Editing a cell in place, through real key presses on a shown grid.
#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "grid/GridCtrl.h"
#include "grid/GridInPlaceEdit.h"

#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

namespace varnolt {

namespace {

// A cell that refuses every text.
class RefusingCell : public CGridCell {
 public:
  bool AcceptEditText(const QString&) override { return false; }
};

class GridEdit : public ::testing::Test {
 protected:
  GridEdit() {
    auto* layout = new QVBoxLayout(&dialog);
    grid = new CGridCtrl(0, 0, 0, 0, &dialog);
    other = new QLineEdit(&dialog);
    layout->addWidget(grid);
    layout->addWidget(other);
    BuildUniformGrid(*grid, 8, 5);
    FillRowColumnTexts(*grid);
    grid->SetModified(false);
    grid->SetOwnerCallback([this](GridNotification& note) {
      codes.push_back(note.code);
      if (note.code == LVN_ENDLABELEDIT) endTexts.push_back(grid->CellTextAt(note.row, note.column));
      if (note.code == LVN_BEGINLABELEDIT) return beginReply;
      if (note.code == LVN_ENDLABELEDIT) return endReply;
      return 0L;
    });
    dialog.resize(320, 260);
    EXPECT_TRUE(ShowActive(dialog));
    grid->setFocus();
  }
  // The editor now open, if any; closed ones linger hidden until deleted.
  CInPlaceEdit* Editor() const {
    for (CInPlaceEdit* editor : grid->findChildren<CInPlaceEdit*>())
      if (!editor->isHidden()) return editor;
    return nullptr;
  }
  void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, Qt::Key(key), modifiers);
  }
  int Count(int code) const { return int(std::count(codes.begin(), codes.end(), code)); }

  // What the owner records is declared before the dialog, so that it
  // outlives the grid even when a test ends with an editor open.
  std::vector<int> codes;
  QStringList endTexts;
  long beginReply = 0;
  long endReply = 0;
  QDialog dialog;
  CGridCtrl* grid;
  QLineEdit* other;
};

TEST_F(GridEdit, ATypedCharacterReplacesTheTextAndEnterKeepsIt) {
  grid->BeginCellEdit(2, 3, QPoint(), 'x');
  ASSERT_NE(Editor(), nullptr);
  EXPECT_TRUE(grid->CellAt(2, 3)->IsEditing());
  EXPECT_EQ(QApplication::focusWidget(), Editor());
  QTest::keyClicks(Editor(), "yz");
  Press(Qt::Key_Return);
  EXPECT_EQ(grid->CellTextAt(2, 3), "xyz");
  EXPECT_TRUE(grid->CellStateAt(2, 3) & CellStateModified);
  EXPECT_TRUE(grid->IsModified());
  EXPECT_FALSE(grid->CellAt(2, 3)->IsEditing());
  EXPECT_EQ(endTexts, QStringList{"xyz"});
  EXPECT_EQ(QApplication::focusWidget(), grid);
  // The editor deletes itself, and the cell does not keep a dangling pointer.
  QPointer<CInPlaceEdit> editor = grid->findChild<CInPlaceEdit*>();
  ASSERT_FALSE(editor.isNull());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(editor.isNull());
  EXPECT_EQ(grid->CellAt(2, 3)->GetEditWindow(), nullptr);
}

TEST_F(GridEdit, TheStartingKeyPlacesTheCaret) {
  // From the mouse or F2: the caret after the text, typing appends.
  grid->BeginCellEdit(1, 1, QPoint(), CGridCtrl::EditStartedByMouse);
  ASSERT_NE(Editor(), nullptr);
  EXPECT_FALSE(Editor()->hasSelectedText());
  QTest::keyClicks(Editor(), "!");
  Press(Qt::Key_Return);
  EXPECT_EQ(grid->CellTextAt(1, 1), "R1C1!");

  // Backspace takes off the last character.
  grid->BeginCellEdit(1, 2, QPoint(), Qt::Key_Backspace);
  Press(Qt::Key_Return);
  EXPECT_EQ(grid->CellTextAt(1, 2), "R1C");

  // An arrow selects the whole text; a character typed then replaces it.
  grid->BeginCellEdit(1, 3, QPoint(), Qt::Key_Right);
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Editor()->selectedText(), "R1C3");
  Press(Qt::Key_Escape);

  // Punctuation is typed like any other character, '%' included.
  grid->BeginCellEdit(1, 4, QPoint(), '%');
  Press(Qt::Key_Return);
  EXPECT_EQ(grid->CellTextAt(1, 4), "%");
}

TEST_F(GridEdit, EscapePutsTheOldTextBackAndLeavesTheModifiedFlagAlone) {
  grid->BeginCellEdit(3, 1, QPoint(), CGridCtrl::EditStartedByMouse);
  ASSERT_NE(Editor(), nullptr);
  QTest::keyClicks(Editor(), "abc");
  Press(Qt::Key_Escape);
  EXPECT_EQ(grid->CellTextAt(3, 1), "R3C1");
  EXPECT_FALSE(grid->CellStateAt(3, 1) & CellStateModified);
  EXPECT_FALSE(grid->IsModified());
  EXPECT_EQ(Count(LVN_ENDLABELEDIT), 0);
  EXPECT_FALSE(grid->CellAt(3, 1)->IsEditing());
}

TEST_F(GridEdit, AVetoOfTheOwnerOrTheCellPutsTheOldTextBack) {
  endReply = -1;
  grid->BeginCellEdit(2, 2, QPoint(), 'n');
  Press(Qt::Key_Return);
  EXPECT_EQ(endTexts, QStringList{"n"});  // the owner saw the new text before refusing it
  EXPECT_EQ(grid->CellTextAt(2, 2), "R2C2");
  EXPECT_FALSE(grid->CellStateAt(2, 2) & CellStateModified);
  EXPECT_FALSE(grid->IsModified());

  endReply = 0;
  grid->SetCellClass<RefusingCell>();
  grid->SetRowTotal(9);
  grid->PutCellText(8, 1, QStringLiteral("old"));
  grid->SetModified(false);
  grid->BeginCellEdit(8, 1, QPoint(), 'n');
  Press(Qt::Key_Return);
  EXPECT_EQ(grid->CellTextAt(8, 1), "old");
  EXPECT_FALSE(grid->IsModified());
  EXPECT_EQ(endTexts.size(), 1);  // the owner is not asked about a refused text
}

TEST_F(GridEdit, NoEditorOpensOnAReadOnlyCellANonEditableGridOrABeginVeto) {
  grid->PutCellState(1, 1, grid->CellStateAt(1, 1) | CellStateReadOnly);
  grid->BeginCellEdit(1, 1, QPoint(), 'x');
  EXPECT_EQ(Editor(), nullptr);
  grid->SetEditable(false);
  grid->BeginCellEdit(2, 1, QPoint(), 'x');
  EXPECT_EQ(Editor(), nullptr);
  grid->SetEditable(true);
  beginReply = -1;
  grid->BeginCellEdit(2, 1, QPoint(), 'x');
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(grid->CellTextAt(2, 1), "R2C1");
}

TEST_F(GridEdit, EnterAndEscapeNeverReachTheDialog) {
  auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
  ok->setDefault(true);
  QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
  grid->BeginCellEdit(1, 1, QPoint(), 'a');
  Press(Qt::Key_Escape);
  EXPECT_TRUE(dialog.isVisible());
  grid->BeginCellEdit(1, 1, QPoint(), 'a');
  Press(Qt::Key_Enter);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), 0);
  EXPECT_EQ(grid->CellTextAt(1, 1), "a");
}

TEST_F(GridEdit, LosingTheFocusEndsTheEditOnce) {
  grid->BeginCellEdit(4, 2, QPoint(), 'q');
  other->setFocus();
  EXPECT_EQ(Count(LVN_ENDLABELEDIT), 1);
  EXPECT_EQ(grid->CellTextAt(4, 2), "q");
  EXPECT_EQ(Editor(), nullptr);
  grid->FinishEditing();
  grid->setFocus();
  EXPECT_EQ(Count(LVN_ENDLABELEDIT), 1);
}

TEST_F(GridEdit, ScrollingEndsTheEditKeepingItsText) {
  grid->BeginCellEdit(2, 1, QPoint(), 's');
  ASSERT_NE(Editor(), nullptr);
  grid->OnVScroll(CGridCtrl::SB_LINEDOWN);
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(grid->CellTextAt(2, 1), "s");
}

TEST_F(GridEdit, TheEditorWidensWhileTypingUpToTheGridsRightEdge) {
  grid->BeginCellEdit(1, 1, QPoint(), CGridCtrl::EditStartedByMouse);
  ASSERT_NE(Editor(), nullptr);
  const int startWidth = Editor()->width();
  QTest::keyClicks(Editor(), " and a good deal more");
  ASSERT_NE(Editor(), nullptr);
  EXPECT_GT(Editor()->width(), startWidth);
  QTest::keyClicks(Editor(), " and then much, much more than any grid is wide");
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Editor()->geometry().right(), grid->ClientRect().right());
  Press(Qt::Key_Escape);
}

TEST_F(GridEdit, ArrowsMoveInsideTheTextWhenTheEditStartedFromTheMouse) {
  grid->BeginCellEdit(1, 1, QPoint(), CGridCtrl::EditStartedByMouse);
  Press(Qt::Key_Left);
  ASSERT_NE(Editor(), nullptr);
  EXPECT_TRUE(grid->CellAt(1, 1)->IsEditing());
  QTest::keyClicks(Editor(), "-");
  Press(Qt::Key_Return);
  EXPECT_EQ(grid->CellTextAt(1, 1), "R1C-1");
}

TEST_F(GridEdit, DestroyingTheGridWithAnOpenEditorReportsNothing) {
  auto* lone = new CGridCtrl(3, 3, 1, 1, &dialog);
  lone->setGeometry(0, 0, 200, 100);
  lone->show();
  int ends = 0;
  lone->SetOwnerCallback([&](GridNotification& note) {
    if (note.code == LVN_ENDLABELEDIT) ++ends;
    return 0L;
  });
  lone->BeginCellEdit(1, 1, QPoint(), 'z');
  QPointer<CInPlaceEdit> editor = lone->findChild<CInPlaceEdit*>();
  ASSERT_FALSE(editor.isNull());
  ASSERT_TRUE(editor->hasFocus());
  delete lone;
  EXPECT_TRUE(editor.isNull());
  EXPECT_EQ(ends, 0);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QApplication::processEvents();
  EXPECT_EQ(ends, 0);
}

// A window destroyed with an edit open, its owner's records going first (as
// a page's members go before the widgets it holds): nothing reaches them.
TEST(GridEditLifetime, AWindowDestroyedDuringAnEditCallsNobody) {
  bool ownerGone = false;
  int callsAfterOwnerWent = 0;
  {
    QDialog window;
    auto* grid = new CGridCtrl(0, 0, 0, 0, &window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(grid);
    BuildUniformGrid(*grid, 5, 4);
    FillRowColumnTexts(*grid);
    grid->SetOwnerCallback([&](GridNotification&) {
      if (ownerGone) ++callsAfterOwnerWent;
      return 0L;
    });
    window.resize(300, 200);
    ASSERT_TRUE(ShowActive(window));
    grid->BeginCellEdit(2, 2, QPoint(), 'w');
    ASSERT_NE(grid->findChild<CInPlaceEdit*>(), nullptr);
    ownerGone = true;
  }
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QApplication::processEvents();
  EXPECT_EQ(callsAfterOwnerWent, 0);
}

TEST_F(GridEdit, HidingTheGridOrItsWindowDropsTheEdit) {
  grid->BeginCellEdit(2, 2, QPoint(), 'h');
  QPointer<CInPlaceEdit> editor = Editor();
  ASSERT_FALSE(editor.isNull());
  grid->hide();
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_FALSE(grid->CellAt(2, 2)->IsEditing());
  EXPECT_EQ(grid->CellAt(2, 2)->GetEditWindow(), nullptr);
  EXPECT_EQ(grid->CellTextAt(2, 2), "R2C2");
  EXPECT_EQ(Count(LVN_ENDLABELEDIT), 0);
  // The hidden editor no longer has the keyboard.
  EXPECT_NE(QApplication::focusWidget(), editor.data());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(editor.isNull());

  grid->show();
  grid->setFocus();
  grid->BeginCellEdit(3, 3, QPoint(), 'w');
  ASSERT_NE(Editor(), nullptr);
  dialog.hide();
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_FALSE(grid->CellAt(3, 3)->IsEditing());
  EXPECT_EQ(grid->CellTextAt(3, 3), "R3C3");
  EXPECT_EQ(Count(LVN_ENDLABELEDIT), 0);
  EXPECT_FALSE(grid->IsModified());
}

TEST_F(GridEdit, ClearingOrShrinkingTheGridDropsTheEdit) {
  grid->BeginCellEdit(2, 2, QPoint(), 'c');
  ASSERT_NE(Editor(), nullptr);
  grid->RemoveAllCells();
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(QApplication::focusWidget(), grid);
  // Filled again, the cell at the same place is a new one: the old edit
  // must not land in it.
  BuildUniformGrid(*grid, 8, 5);
  FillRowColumnTexts(*grid);
  other->setFocus();
  grid->setFocus();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(grid->CellTextAt(2, 2), "R2C2");
  EXPECT_EQ(Count(LVN_ENDLABELEDIT), 0);

  // Rows or columns taken away under the editor do the same; an editor on a
  // cell that stays is left alone.
  grid->BeginCellEdit(6, 1, QPoint(), 'r');
  ASSERT_NE(Editor(), nullptr);
  grid->SetRowTotal(5);
  EXPECT_EQ(Editor(), nullptr);
  grid->BeginCellEdit(2, 4, QPoint(), 'k');
  ASSERT_NE(Editor(), nullptr);
  grid->SetColumnTotal(4);
  EXPECT_EQ(Editor(), nullptr);
  grid->BeginCellEdit(1, 1, QPoint(), 's');
  ASSERT_NE(Editor(), nullptr);
  grid->SetRowTotal(4);
  grid->SetColumnTotal(3);
  ASSERT_NE(Editor(), nullptr);
  Press(Qt::Key_Return);
  EXPECT_EQ(grid->CellTextAt(1, 1), "s");
  EXPECT_EQ(Count(LVN_ENDLABELEDIT), 1);
}

TEST_F(GridEdit, SortingEndsTheEditBeforeRowsMove) {
  grid->BeginCellEdit(2, 1, QPoint(), 'a');
  ASSERT_NE(Editor(), nullptr);
  ASSERT_TRUE(grid->SortRowsBy(1, false));
  EXPECT_EQ(Editor(), nullptr);
  // "a" comes after every "R..." text in character codes: descending, its row goes first.
  EXPECT_EQ(grid->CellTextAt(1, 1), "a");
  EXPECT_EQ(grid->CellTextAt(1, 2), "R2C2");
}

}  // namespace

namespace {

// Editing started and ended by the grid's own keys and mouse.
class GridEditByInput : public GridEdit {
 protected:
  GridEditByInput() {
    QRect cell;
    grid->CellRectOf(2, 2, cell);
    QTest::mouseClick(grid, Qt::LeftButton, Qt::NoModifier, cell.center());
    QCoreApplication::sendPostedEvents();
  }
  QPoint CentreOf(int row, int column) {
    QRect cell;
    grid->CellRectOf(row, column, cell);
    return cell.center();
  }
};

TEST_F(GridEditByInput, F2OrATypedCharacterOpensTheEditorOnTheFocusCell) {
  ASSERT_EQ(grid->FocusedCell(), (CellId{2, 2}));
  QTest::keyClick(grid, Qt::Key_F2);
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Editor()->Row(), 2);
  EXPECT_FALSE(Editor()->hasSelectedText());
  Press(Qt::Key_Return);
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(grid->FocusedCell(), (CellId{2, 2}));  // Enter stays on the cell

  QTest::keyClicks(grid, "7x");
  ASSERT_NE(Editor(), nullptr);
  Press(Qt::Key_Return);
  EXPECT_EQ(grid->CellTextAt(2, 2), "7x");
}

TEST_F(GridEditByInput, AClickOnTheFocusCellOrADoubleClickOpensTheEditor) {
  QTest::mouseClick(grid, Qt::LeftButton, Qt::NoModifier, CentreOf(2, 2));
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Editor()->Column(), 2);
  Press(Qt::Key_Escape);
  QTest::mouseDClick(grid, Qt::LeftButton, Qt::NoModifier, CentreOf(4, 3));
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Editor()->Row(), 4);
  EXPECT_EQ(Editor()->Column(), 3);
  Press(Qt::Key_Escape);
  // A click elsewhere ends an open edit, keeping its text.
  QTest::keyClick(grid, Qt::Key_F2);
  ASSERT_NE(Editor(), nullptr);
  QTest::keyClicks(Editor(), "+");
  QTest::mouseClick(grid, Qt::LeftButton, Qt::NoModifier, CentreOf(6, 1));
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(grid->CellTextAt(2, 2), "R2C2+");
}

TEST_F(GridEditByInput, TabAtARowsEndMovesTheEditorToTheNextRow) {
  QTest::mouseClick(grid, Qt::LeftButton, Qt::NoModifier, CentreOf(3, 4));
  QTest::keyClick(grid, 'a');
  ASSERT_NE(Editor(), nullptr);
  Press(Qt::Key_Tab);
  EXPECT_EQ(grid->CellTextAt(3, 4), "a");
  EXPECT_EQ(grid->FocusedCell(), (CellId{4, 1}));
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Editor()->Row(), 4);
  EXPECT_EQ(Editor()->Column(), 1);
  EXPECT_EQ(Editor()->selectedText(), "R4C1");  // the key that moved it selects the text
  // An arrow leaves the cell when the edit was started by a key.
  Press(Qt::Key_Down);
  EXPECT_EQ(grid->FocusedCell(), (CellId{5, 1}));
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Editor()->Row(), 5);
  Press(Qt::Key_Escape);
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(grid->CellTextAt(4, 1), "R4C1");
}

TEST_F(GridEditByInput, NoEditorOpensOnAReadOnlyFocusCell) {
  grid->PutCellState(2, 2, grid->CellStateAt(2, 2) | CellStateReadOnly);
  QTest::keyClick(grid, Qt::Key_F2);
  QTest::keyClick(grid, 'x');
  QTest::mouseDClick(grid, Qt::LeftButton, Qt::NoModifier, CentreOf(2, 2));
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(grid->CellTextAt(2, 2), "R2C2");
}

}  // namespace

}  // namespace varnolt
