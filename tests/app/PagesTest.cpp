// The input pages, driven through the window: what they show, what they store
// when left, what the user can type, and when the settings count as modified.
#include "SheetDriver.h"

namespace varnolt {

using namespace control;

using InputPages = SheetDriver;

TEST_F(InputPages, TrendAmplitudeOfTwoPointFiveIsStoredAndShownAsTwo) {
  ClickTab(sheet.pageTrend);
  ClickBox(Check(sheet.pageTrend, kTrendCycles));
  TypeOver(Edit(sheet.pageTrend, kTrendAmplitude), "2.5");
  ClickTab(sheet.pageOutput);
  EXPECT_EQ(Current(), &sheet.pageOutput);
  EXPECT_EQ(sheet.settings.trendAmplitude, 2);
  ClickTab(sheet.pageTrend);
  EXPECT_EQ(Edit(sheet.pageTrend, kTrendAmplitude)->text(), "2");
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(InputPages, AnEmptyDigitsOnlyEditCannotBeLeft) {
  QLineEdit* cycles = Edit(sheet.pageNum, kCycleCount);
  TypeOver(cycles, "");
  TypeOver(Edit(sheet.pageNum, kPalmCount), "25");
  ClickTab(sheet.pageTh);

  EXPECT_EQ(Current(), &sheet.pageNum);
  EXPECT_EQ(sheet.Tabs()->CurrentIndex(), 0);
  ASSERT_EQ(prompts.messages.size(), 1u);
  const MessageRequest& box = prompts.messages[0].request;
  EXPECT_EQ(box.text, "Please enter an integer.");
  EXPECT_EQ(box.caption, "VARNOLT");
  EXPECT_EQ(box.buttons, MessageButtons::Ok);
  EXPECT_EQ(box.icon, MessageIcon::Warning);
  EXPECT_EQ(QApplication::focusWidget(), cycles);
  // The exchange stopped at the bad edit: the later palm count was not read.
  EXPECT_EQ(sheet.settings.cycleCount, 100);
  EXPECT_EQ(sheet.settings.palmCount, 10);

  TypeOver(cycles, "50");
  ClickTab(sheet.pageTh);
  EXPECT_EQ(Current(), &sheet.pageTh);
  EXPECT_EQ(sheet.settings.cycleCount, 50);
  EXPECT_EQ(sheet.settings.palmCount, 25);
}

TEST_F(InputPages, TextWithALeadingNumberReadsAsThatNumber) {
  TypeOver(Edit(sheet.pageNum, kPalmCount), "12");
  Edit(sheet.pageNum, kPalmCount)->setText(" 12abc");  // pasted: typing would refuse the letters
  ClickTab(sheet.pageFronds);
  EXPECT_EQ(sheet.settings.palmCount, 12);
  ClickTab(sheet.pageNum);
  EXPECT_EQ(Edit(sheet.pageNum, kPalmCount)->text(), "12");
}

TEST_F(InputPages, ABadEditGetsTheFocusInExchangeOrderAndEarlierValuesAreKept) {
  ClickTab(sheet.pageFronds);
  TypeOver(Edit(sheet.pageFronds, kSexStressFirstFrond), "");    // exchanged fourth
  TypeOver(Edit(sheet.pageFronds, kAbortStressLastFrond), "");   // exchanged third
  TypeOver(Edit(sheet.pageFronds, kAbortionFrond), "12");        // exchanged first
  TypeOver(Edit(sheet.pageFronds, kSexStageStartFrond), "-30");  // exchanged last
  ClickTab(sheet.pageNum);

  EXPECT_EQ(Current(), &sheet.pageFronds);
  EXPECT_EQ(QApplication::focusWidget(), Edit(sheet.pageFronds, kAbortStressLastFrond));
  EXPECT_EQ(sheet.settings.abortionFrond, 12);
  EXPECT_EQ(sheet.settings.sexStageStartFrond, -28);
}

TEST_F(InputPages, TheBadTextIsSelectedForTypingOver) {
  TypeOver(Edit(sheet.pageNum, kRunNotes), "notes");
  Edit(sheet.pageNum, kPalmCount)->setText("x9");
  ClickTab(sheet.pageFronds);
  EXPECT_EQ(Edit(sheet.pageNum, kPalmCount)->selectedText(), "x9");
  EXPECT_EQ(sheet.settings.runNotes, "VARNOLT Simulation Run");  // read after the bad edit
}

TEST_F(InputPages, MinusSignsAreTypedOnlyIntoTheSexStageFronds) {
  ClickTab(sheet.pageFronds);
  TypeOver(Edit(sheet.pageFronds, kSexStressFirstFrond), "-15a");
  EXPECT_EQ(Edit(sheet.pageFronds, kSexStressFirstFrond)->text(), "15");
  TypeOver(Edit(sheet.pageFronds, kSexStageStartFrond), "-30");
  TypeOver(Edit(sheet.pageFronds, kSexStageEndFrond), "-2");
  ClickTab(sheet.pageNum);
  EXPECT_EQ(sheet.settings.sexStressFirstFrond, 15);
  EXPECT_EQ(sheet.settings.sexStageStartFrond, -30);
  EXPECT_EQ(sheet.settings.sexStageEndFrond, -2);
}

TEST_F(InputPages, ANegativeValueFromAFileShowsInADigitsOnlyEditAndCanBeEdited) {
  sheet.settings.abortionFrond = -5;
  ClickTab(sheet.pageFronds);
  QLineEdit* edit = Edit(sheet.pageFronds, kAbortionFrond);
  EXPECT_EQ(edit->text(), "-5");
  edit->setFocus();
  edit->end(false);
  QTest::keyClicks(edit, "0");
  EXPECT_EQ(edit->text(), "-50");
}

TEST_F(InputPages, UntickingATreatmentGreysItsEditsAndTickingBringsTheValuesBack) {
  ClickTab(sheet.pageLeaf);
  QLineEdit* cycle = Edit(sheet.pageLeaf, kLeafPruneCycle);
  QLineEdit* stress = Edit(sheet.pageLeaf, kPruneStress);
  EXPECT_FALSE(cycle->isEnabled());
  EXPECT_FALSE(stress->isEnabled());

  ClickBox(Check(sheet.pageLeaf, kLeafPruning));
  EXPECT_TRUE(cycle->isEnabled());
  EXPECT_EQ(sheet.settings.leafPruning, 1);
  TypeOver(cycle, "40");
  TypeOver(stress, "3");

  ClickBox(Check(sheet.pageLeaf, kLeafPruning));
  EXPECT_FALSE(cycle->isEnabled());
  EXPECT_FALSE(stress->isEnabled());
  EXPECT_EQ(sheet.settings.leafPruning, 0);
  EXPECT_EQ(sheet.settings.leafPruneCycle, 40);
  EXPECT_EQ(sheet.settings.pruneStress, 3);

  ClickTab(sheet.pageIrrig);
  ClickTab(sheet.pageLeaf);
  ClickBox(Check(sheet.pageLeaf, kLeafPruning));
  EXPECT_TRUE(cycle->isEnabled());
  EXPECT_EQ(cycle->text(), "40");
  EXPECT_EQ(stress->text(), "3");
}

TEST_F(InputPages, EachTreatmentSwitchesItsOwnEdits) {
  struct Case {
    CPropertyPage& page;
    int box;
    std::vector<int> edits;
  };
  std::vector<Case> cases = {{sheet.pageLeaf, kLeafPruning, {kLeafPruneCycle, kPruneStress}},
                             {sheet.pageTrend, kTrendCycles, {kTrendAmplitude}},
                             {sheet.pageIrrig, kIrrigation, {kIrrigationStart, kIrrigationEnd}},
                             {sheet.pageFlower, kFlowerPruning, {kFlowerPruneStart, kFlowerPruneEnd}}};
  sheet.settings.irrigation = 1;  // as a settings file may leave it
  for (Case& c : cases) {
    ClickTab(c.page);
    const bool on = c.box == kIrrigation;
    EXPECT_EQ(Check(c.page, c.box)->isChecked(), on) << c.box;
    for (int id : c.edits) EXPECT_EQ(Edit(c.page, id)->isEnabled(), on) << id;
    ClickBox(Check(c.page, c.box));
    for (int id : c.edits) EXPECT_EQ(Edit(c.page, id)->isEnabled(), !on) << id;
  }
}

TEST_F(InputPages, FlowerPruningReadsItsEndBeforeItsSwitch) {
  ClickTab(sheet.pageFlower);
  QLineEdit* end = Edit(sheet.pageFlower, kFlowerPruneEnd);
  end->setText("");
  ClickBox(Check(sheet.pageFlower, kFlowerPruning));
  // The read stopped at the end edit: the switch kept its old value and the
  // edits follow it, though the box now shows a tick.
  EXPECT_EQ(prompts.MessageTexts(), QStringList{"Please enter an integer."});
  EXPECT_EQ(sheet.settings.flowerPruning, 0);
  EXPECT_FALSE(Edit(sheet.pageFlower, kFlowerPruneStart)->isEnabled());
  EXPECT_EQ(sheet.settingsModified, 1);
}

TEST_F(InputPages, CheckBoxValuesFromAFileAreShownOrReset) {
  sheet.settings.trendCycles = 7;  // no check box state: becomes 0
  sheet.settings.irrigation = 2;   // the third state: kept, and counts as on
  ClickTab(sheet.pageTrend);
  EXPECT_EQ(sheet.settings.trendCycles, 0);
  EXPECT_FALSE(Check(sheet.pageTrend, kTrendCycles)->isChecked());
  ClickTab(sheet.pageIrrig);
  EXPECT_EQ(Check(sheet.pageIrrig, kIrrigation)->checkState(), Qt::PartiallyChecked);
  EXPECT_TRUE(Edit(sheet.pageIrrig, kIrrigationStart)->isEnabled());
  ClickTab(sheet.pageFlower);
  EXPECT_EQ(sheet.settings.irrigation, 2);
  ClickTab(sheet.pageIrrig);
  ClickBox(Check(sheet.pageIrrig, kIrrigation));
  EXPECT_EQ(sheet.settings.irrigation, 1);
  ClickBox(Check(sheet.pageIrrig, kIrrigation));
  EXPECT_EQ(sheet.settings.irrigation, 0);
  EXPECT_FALSE(Edit(sheet.pageIrrig, kIrrigationStart)->isEnabled());
}

TEST_F(InputPages, FirstNodeSexListsTheFourStatesWithAbortedSelected) {
  ClickTab(sheet.pageSex);
  QListWidget* list = List(sheet.pageSex, kInitialNodeSex);
  ASSERT_EQ(list->count(), 4);
  QStringList lines;
  for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
  EXPECT_EQ(lines, QStringList({"Aborted", "Male", "Mixed", "Female"}));
  ASSERT_EQ(list->selectedItems().size(), 1);
  EXPECT_EQ(list->row(list->selectedItems()[0]), 0);

  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(3)).center());
  EXPECT_EQ(sheet.settingsModified, 1);
  ClickTab(sheet.pageNum);
  EXPECT_EQ(sheet.settings.initialNodeSex, 3);
}

TEST_F(InputPages, AFirstNodeSexOutsideTheListSelectsNoLineAndIsStoredAsMinusOne) {
  sheet.settings.initialNodeSex = 7;
  ClickTab(sheet.pageSex);
  EXPECT_TRUE(List(sheet.pageSex, kInitialNodeSex)->selectedItems().isEmpty());
  ClickTab(sheet.pageNum);
  EXPECT_EQ(sheet.settings.initialNodeSex, -1);
  EXPECT_EQ(sheet.settingsModified, 0);
}

TEST_F(InputPages, ShowingPagesNeverMarksTheSettingsModified) {
  // Values unlike the defaults, as after a file was read, so every control changes.
  ClickTab(sheet.pageAbout);
  sheet.settings.cycleCount = 300;
  sheet.settings.trendCycles = 1;
  sheet.settings.trendAmplitude = 4;
  sheet.settings.initialNodeSex = 2;
  sheet.settings.outputPath = "elsewhere.dat";
  for (int round = 0; round < 2; ++round) {
    for (int i = sheet.GetPageCount() - 1; i >= 0; --i) ClickTab(i);
  }
  ChooseMenuCommand(resource::ID_ABOUT);
  EXPECT_EQ(sheet.settingsModified, 0);
  EXPECT_EQ(Edit(sheet.pageNum, kCycleCount)->text(), "300");
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(InputPages, TypingMarksTheSettingsModified) {
  struct Case {
    CPropertyPage& page;
    int edit;
  };
  for (Case c : {Case{sheet.pageNum, kRunNotes}, Case{sheet.pageFronds, kSexStageEndFrond},
                 Case{sheet.pageTh, kRandomPercent}, Case{sheet.pageOutput, kOutputPath}}) {
    ClickTab(c.page);
    sheet.settingsModified = 0;
    QTest::keyClicks(Edit(c.page, c.edit), "5");
    EXPECT_EQ(sheet.settingsModified, 1) << c.edit;
  }
}

TEST_F(InputPages, BrowseStoresTheChosenFileAndMarksModified) {
  ClickTab(sheet.pageOutput);
  TypeOver(Edit(sheet.pageOutput, kOutputPath), "typed.dat");
  sheet.settingsModified = 0;
  prompts.AnswerNextFile(QStringLiteral("/data/runs/palms.dat"));
  QTest::mouseClick(sheet.pageOutput.GetDlgItem(kBrowse), Qt::LeftButton);

  ASSERT_EQ(prompts.files.size(), 1u);
  const FileDialogRequest& dialog = prompts.files[0].request;
  EXPECT_EQ(dialog.mode, FileDialogMode::Save);
  EXPECT_EQ(dialog.filter, "VARNOLT files (*.dat)|*.dat|All files (*.*)|*.*|");
  EXPECT_EQ(dialog.defaultExtension, "dat");
  EXPECT_EQ(dialog.initialName, "typed.dat");  // the edit was read first
  EXPECT_TRUE(dialog.overwritePrompt);
  EXPECT_EQ(sheet.settings.outputPath, "/data/runs/palms.dat");
  EXPECT_EQ(Edit(sheet.pageOutput, kOutputPath)->text(), "/data/runs/palms.dat");
  EXPECT_EQ(sheet.settingsModified, 1);
}

TEST_F(InputPages, CancellingBrowseChangesNothing) {
  ClickTab(sheet.pageOutput);
  prompts.AnswerNextFile(std::nullopt);
  QTest::mouseClick(sheet.pageOutput.GetDlgItem(kBrowse), Qt::LeftButton);
  EXPECT_EQ(prompts.files.size(), 1u);
  EXPECT_EQ(sheet.settings.outputPath, "output.dat");
  EXPECT_EQ(Edit(sheet.pageOutput, kOutputPath)->text(), "output.dat");
  EXPECT_EQ(sheet.settingsModified, 0);
}

TEST_F(InputPages, EveryPageShowsItsDefaults) {
  struct Expect {
    CPropertyPage& page;
    int edit;
    const char* text;
  };
  const Expect expected[] = {
      {sheet.pageFronds, kSexStressFirstFrond, "20"},  {sheet.pageFronds, kSexStressLastFrond, "29"},
      {sheet.pageFronds, kAbortStressFirstFrond, "20"}, {sheet.pageFronds, kAbortStressLastFrond, "25"},
      {sheet.pageFronds, kSexStageStartFrond, "-28"},   {sheet.pageFronds, kSexStageEndFrond, "-4"},
      {sheet.pageFronds, kAbortionFrond, "10"},         {sheet.pageTh, kFemaleThreshold, "16"},
      {sheet.pageTh, kMaleThreshold, "17"},             {sheet.pageTh, kAbortThreshold, "24"},
      {sheet.pageTh, kRandomPercent, "25"},             {sheet.pageLeaf, kLeafPruneCycle, "0"},
      {sheet.pageLeaf, kPruneStress, "0"},              {sheet.pageTrend, kTrendAmplitude, "0"},
      {sheet.pageIrrig, kIrrigationStart, "0"},         {sheet.pageIrrig, kIrrigationEnd, "0"},
      {sheet.pageFlower, kFlowerPruneStart, "0"},       {sheet.pageFlower, kFlowerPruneEnd, "0"},
      {sheet.pageOutput, kOutputPath, "output.dat"},
  };
  for (const Expect& e : expected) {
    ClickTab(e.page);
    EXPECT_EQ(Edit(e.page, e.edit)->text(), e.text) << e.edit;
  }
  EXPECT_EQ(sheet.settings, StartupDefaults());
}

}  // namespace varnolt
