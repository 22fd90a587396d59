// The main window as a whole: what it shows at start, its menu, the keys that
// must not close it, and how it ends.
#include <QMenu>
#include <QMenuBar>

#include "SheetDriver.h"

namespace varnolt {

using namespace control;

using MainWindow = SheetDriver;

TEST_F(MainWindow, StartsOnTheSizePageUntitledAndUnmodified) {
  EXPECT_EQ(sheet.windowTitle(), "[New] - VARNOLT");
  EXPECT_EQ(Current(), &sheet.pageNum);
  EXPECT_EQ(sheet.GetActiveIndex(), 0);
  EXPECT_EQ(sheet.settingsModified, 0);
  EXPECT_TRUE(sheet.settingsPath.isEmpty());
  EXPECT_EQ(sheet.settings, StartupDefaults());

  const QStringList expected = {"Size",         "Frond Numbers",       "First node sex", "Stress thresholds",
                                "Leaf pruning", "Annual trend cycles", "Irrigation",     "Flower pruning",
                                "Output file",  "RUN MODEL",           "Plot",           "Experiments",
                                "About"};
  QStringList captions;
  for (int i = 0; i < sheet.Tabs()->Count(); ++i) captions << sheet.Tabs()->TabText(i);
  EXPECT_EQ(captions, expected);

  for (int button : {IDOK, IDCANCEL, ID_APPLY_NOW, IDHELP}) {
    ASSERT_NE(sheet.GetDlgItem(button), nullptr);
    EXPECT_FALSE(sheet.GetDlgItem(button)->isVisible()) << button;
  }
  EXPECT_FALSE(sheet.windowIcon().isNull());
  EXPECT_TRUE(sheet.windowFlags() & Qt::WindowMinimizeButtonHint);
  // The first page shows its defaults.
  EXPECT_EQ(Edit(sheet.pageNum, kCycleCount)->text(), "100");
  EXPECT_EQ(Edit(sheet.pageNum, kPalmCount)->text(), "10");
  EXPECT_EQ(Edit(sheet.pageNum, kRunNotes)->text(), "VARNOLT Simulation Run");
}

TEST_F(MainWindow, EveryTabIsVisibleAndClickable) {
  for (int i = sheet.GetPageCount() - 1; i >= 0; --i) {
    EXPECT_TRUE(sheet.Tabs()->rect().contains(sheet.Tabs()->TabRect(i))) << i;
    ClickTab(i);
    EXPECT_EQ(sheet.GetActiveIndex(), i);
    EXPECT_TRUE(sheet.GetPage(i)->Window()->isVisible());
  }
}

TEST_F(MainWindow, PagesAreBuiltWhenFirstShown) {
  EXPECT_TRUE(sheet.pageNum.IsCreated());
  EXPECT_FALSE(sheet.pageFronds.IsCreated());
  EXPECT_EQ(sheet.pageFronds.GetDlgItem(kSexStressFirstFrond), nullptr);
  ClickTab(sheet.pageFronds);
  EXPECT_TRUE(sheet.pageFronds.IsCreated());
  EXPECT_EQ(Edit(sheet.pageFronds, kSexStageStartFrond)->text(), "-28");
  EXPECT_FALSE(sheet.pageAbout.IsCreated());
}

TEST_F(MainWindow, MenuBarHoldsFileCommandsAndAboutAsACommand) {
  QMenuBar* bar = sheet.findChild<QMenuBar*>();
  ASSERT_NE(bar, nullptr);
  const QList<QAction*> top = bar->actions();
  ASSERT_EQ(top.size(), 2);
  EXPECT_EQ(top[0]->text(), "&File");
  ASSERT_NE(top[0]->menu(), nullptr);
  EXPECT_EQ(top[1]->text(), "&About");
  EXPECT_EQ(top[1]->menu(), nullptr);

  QStringList items;
  for (QAction* action : top[0]->menu()->actions()) items << (action->isSeparator() ? "-" : action->text());
  EXPECT_EQ(items, QStringList({"&New", "&Open...", "-", "&Save", "Save &As...", "-", "&Run", "-", "E&xit"}));
  for (int id : {resource::ID_FILE_NEW, resource::ID_FILE_OPEN, resource::ID_FILE_SAVE, resource::ID_FILE_EXIT}) {
    EXPECT_FALSE(sheet.FindMenuCommand(id)->icon().isNull()) << id;
  }
  EXPECT_TRUE(sheet.FindMenuCommand(resource::ID_FILE_SAVE_AS)->icon().isNull());
  EXPECT_EQ(sheet.FindMenuCommand(resource::ID_FILE_NEW)->shortcut(), QKeySequence(QKeySequence::New));
}

TEST_F(MainWindow, AboutCommandSelectsTheLastTab) {
  ChooseMenuCommand(resource::ID_ABOUT);
  EXPECT_EQ(sheet.GetActiveIndex(), 12);
  EXPECT_EQ(Current(), &sheet.pageAbout);
  EXPECT_EQ(sheet.Tabs()->CurrentIndex(), 12);
  EXPECT_EQ(sheet.pageAbout.Window()->palette().color(QPalette::Window), QColor(Qt::white));
}

TEST_F(MainWindow, AboutCommandIsRefusedWhileThePageHoldsBadText) {
  TypeOver(Edit(sheet.pageNum, kPalmCount), "");
  ChooseMenuCommand(resource::ID_ABOUT);
  EXPECT_EQ(Current(), &sheet.pageNum);
  EXPECT_EQ(prompts.MessageTexts(), QStringList{"Please enter an integer."});
}

TEST_F(MainWindow, EnterAndEscapeNeverCloseIt) {
  QLineEdit* notes = Edit(sheet.pageNum, kRunNotes);
  notes->setFocus();
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    QTest::keyClick(notes, key);
    QTest::keyClick(&sheet, key);
    EXPECT_TRUE(sheet.isVisible()) << key;
  }
  ClickTab(sheet.pageResults);
  QWidget* run = sheet.pageResults.GetDlgItem(kRun);
  run->setFocus();
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
    QTest::keyClick(run, key);
    QTest::keyClick(sheet.pageResults.GetDlgItem(kGrid), key);
    EXPECT_TRUE(sheet.isVisible()) << key;
  }
  EXPECT_EQ(sheet.result(), 0);
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(MainWindow, ControlKeyTabMovesBetweenPages) {
  QLineEdit* notes = Edit(sheet.pageNum, kRunNotes);
  QTest::keyClick(notes, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(Current(), &sheet.pageFronds);
  QTest::keyClick(Edit(sheet.pageFronds, kAbortionFrond), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Current(), &sheet.pageNum);
}

TEST_F(MainWindow, ExitEndsTheProgram) {
  ChooseMenuCommand(resource::ID_FILE_EXIT);
  EXPECT_FALSE(sheet.isVisible());
}

TEST_F(MainWindow, CloseBoxEndsTheProgram) {
  EXPECT_TRUE(sheet.close());
  EXPECT_FALSE(sheet.isVisible());
}

}  // namespace varnolt
