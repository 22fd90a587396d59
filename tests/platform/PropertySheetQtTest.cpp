// The framework layer on pages of its own: data exchange rules, notifications,
// the page protocol of the sheet, the tabs and the prompts seam.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "platform/Controls.h"
#include "platform/PageTabs.h"
#include "platform/PropertyPage.h"
#include "platform/PropertySheet.h"
#include "platform/RecordingPrompts.h"

namespace varnolt {

namespace {

const DialogTemplate kTemplate{
    900, "Test", 200, 100, "MS Sans Serif", 8,
    {
        {10, ControlKind::Edit, "", 5, 5, 60, 14, ControlStyle::Number},
        {11, ControlKind::Edit, "", 5, 25, 60, 14},
        {12, ControlKind::Edit, "", 5, 45, 60, 14},
        {13, ControlKind::CheckBox, "Box", 80, 5, 60, 10},
        {14, ControlKind::ListBox, "", 80, 20, 60, 40},
        {15, ControlKind::Custom, "Grid", 5, 65, 100, 30, ControlStyle::TabStop, "SomeClass"},
    }};
const DialogTemplate kWideTemplate{901, "Wide", 260, 120, "MS Sans Serif", 8, {}};

struct Values {
  std::int32_t first = 1, second = 2;
  std::string text = "text";
  std::int32_t box = 0, line = 0;
};

class TestPage : public CPropertyPage {
 public:
  explicit TestPage(const DialogTemplate& dialog = kTemplate) : CPropertyPage(dialog) {
    OnNotification(Notification::EditChange, 10, 12, [this] { ++changes; });
    OnNotification(Notification::ButtonClicked, 13, [this] { ++clicks; });
    OnNotification(Notification::ListSelectionChange, 14, [this] { ++selections; });
  }
  bool OnInitDialog() override {
    const bool result = CPropertyPage::OnInitDialog();
    if (GetDlgItem(14)) {
      for (const char* line : {"a", "b", "c"}) ListAddString(14, line);
      ListSetCurSel(14, values.line);
    }
    return result;
  }
  bool OnSetActive() override {
    ++activations;
    return CPropertyPage::OnSetActive();
  }
  QLineEdit* Edit(int id) { return qobject_cast<QLineEdit*>(GetDlgItem(id)); }

  Values values;
  int changes = 0, clicks = 0, selections = 0, activations = 0;

 protected:
  void DoDataExchange(CDataExchange* dx) override {
    if (Template().id != kTemplate.id) return;
    DDX_Text(dx, 10, values.first);
    DDX_Text(dx, 11, values.second);
    DDX_Text(dx, 12, values.text);
    DDX_Check(dx, 13, values.box);
    DDX_LBIndex(dx, 14, values.line);
  }
};

class Framework : public ::testing::Test {
 protected:
  Framework() : scope(prompts) {
    sheet.AddPage(&page);
    sheet.AddPage(&other);
    sheet.AddPage(&wide);
    sheet.Create();
    sheet.show();
  }
  RecordingPrompts prompts;
  ScopedPrompts scope;
  TestPage page, other, wide{kWideTemplate};
  CPropertySheet sheet{QStringLiteral("Sheet")};
};

TEST_F(Framework, WritesShowValuesAndRaiseNoNotifications) {
  EXPECT_EQ(page.Edit(10)->text(), "1");
  EXPECT_EQ(page.Edit(12)->text(), "text");
  page.values = {-7, 2147483647, "other", 1, 2};
  EXPECT_TRUE(page.UpdateData(false));
  EXPECT_EQ(page.Edit(10)->text(), "-7");
  EXPECT_EQ(page.Edit(11)->text(), "2147483647");
  EXPECT_TRUE(qobject_cast<QCheckBox*>(page.GetDlgItem(13))->isChecked());
  EXPECT_EQ(qobject_cast<QListWidget*>(page.GetDlgItem(14))->currentRow(), 2);
  EXPECT_EQ(page.changes + page.clicks + page.selections, 0);
}

TEST_F(Framework, LongTextsGoThroughAnEditWhole) {
  const std::string notes(100000, 'n');
  page.values.text = notes;
  ASSERT_TRUE(page.UpdateData(false));
  ASSERT_TRUE(page.UpdateData(true));
  EXPECT_EQ(page.values.text, notes);
}

TEST_F(Framework, AWriteLeavesAnEditAloneWhenItShowsTheValueAlready) {
  QLineEdit* edit = page.Edit(12);
  edit->setText("unchanged");
  page.values.text = "unchanged";
  edit->setCursorPosition(3);
  QSignalSpy changed(edit, &QLineEdit::textChanged);
  page.UpdateData(false);
  EXPECT_EQ(changed.count(), 0);
  EXPECT_EQ(edit->cursorPosition(), 3);
  // "007" reads as 7 but is not the text 7 is written as.
  page.Edit(10)->setText("007");
  page.values.first = 7;
  page.UpdateData(false);
  EXPECT_EQ(page.Edit(10)->text(), "7");
}

TEST_F(Framework, AFailedReadStopsTheExchangeAtTheBadEdit) {
  page.Edit(10)->setText("41x");
  page.Edit(11)->setText("abc");
  page.Edit(12)->setText("new");
  EXPECT_FALSE(page.UpdateData(true));
  EXPECT_EQ(page.values.first, 41);
  EXPECT_EQ(page.values.second, 2);
  EXPECT_EQ(page.values.text, "text");
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].request.text, "Please enter an integer.");
  EXPECT_EQ(prompts.messages[0].request.caption, "Sheet Test");
  EXPECT_EQ(prompts.messages[0].owner, page.Window());
  EXPECT_EQ(page.Edit(11)->selectedText(), "abc");
  EXPECT_FALSE(page.IsExchanging());
}

TEST_F(Framework, ANumberBeyondThe32BitRangeIsRefused) {
  page.Edit(10)->setText("4294967297");
  EXPECT_FALSE(page.UpdateData(true));
  EXPECT_EQ(page.values.first, 1);
}

TEST_F(Framework, CheckBoxAndListReadAndWriteRules) {
  auto* box = qobject_cast<QCheckBox*>(page.GetDlgItem(13));
  auto* list = qobject_cast<QListWidget*>(page.GetDlgItem(14));
  page.values.box = -3;
  page.values.line = 3;
  page.UpdateData(false);
  EXPECT_EQ(page.values.box, 0);
  EXPECT_FALSE(box->isChecked());
  EXPECT_TRUE(list->selectedItems().isEmpty());
  page.UpdateData(true);
  EXPECT_EQ(page.values.line, -1);

  page.values.box = 2;
  page.UpdateData(false);
  EXPECT_EQ(box->checkState(), Qt::PartiallyChecked);
  page.UpdateData(true);
  EXPECT_EQ(page.values.box, 2);
  box->click();  // the user's click ends the third state
  page.UpdateData(true);
  EXPECT_EQ(page.values.box, 1);
  box->click();
  page.UpdateData(true);
  EXPECT_EQ(page.values.box, 0);
  EXPECT_FALSE(box->isTristate());
}

TEST_F(Framework, UserChangesNotifyThePage) {
  QTest::keyClicks(page.Edit(11), "5");
  EXPECT_EQ(page.changes, 1);
  qobject_cast<QCheckBox*>(page.GetDlgItem(13))->click();
  EXPECT_EQ(page.clicks, 1);
  auto* list = qobject_cast<QListWidget*>(page.GetDlgItem(14));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
  EXPECT_EQ(page.selections, 1);
  page.ListSetCurSel(14, 2);  // from code: no notification
  EXPECT_EQ(page.selections, 1);
}

TEST_F(Framework, AListLineOnceSelectedCannotBeClearedByTheUser) {
  auto* list = qobject_cast<QListWidget*>(page.GetDlgItem(14));
  const QPoint belowTheLines(5, list->viewport()->height() - 3);
  ASSERT_FALSE(list->itemAt(belowTheLines));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, belowTheLines);
  page.UpdateData(true);
  EXPECT_EQ(page.values.line, 0);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    list->visualItemRect(list->item(0)).center());
  page.UpdateData(true);
  EXPECT_EQ(page.values.line, 0);
  EXPECT_EQ(page.selections, 0);

  // A value outside the list selects nothing; the user's first choice notifies.
  page.values.line = 7;
  page.UpdateData(false);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    list->visualItemRect(list->item(2)).center());
  EXPECT_EQ(page.selections, 1);
  page.UpdateData(true);
  EXPECT_EQ(page.values.line, 2);
}

TEST_F(Framework, DigitsOnlyEditsRefuseOtherTypedCharacters) {
  QTest::keyClicks(page.Edit(10), "-1a2 3.");
  EXPECT_EQ(page.Edit(10)->text(), "1123");
  QTest::keyClicks(page.Edit(11), "-1a");
  EXPECT_EQ(page.Edit(11)->text(), "2-1a");
  QTest::keyClick(page.Edit(10), Qt::Key_Backspace);
  EXPECT_EQ(page.Edit(10)->text(), "112");
  EXPECT_TRUE(DigitsOnlyFilter::AdmitsTyped("0123456789"));
  EXPECT_FALSE(DigitsOnlyFilter::AdmitsTyped(QString::fromUtf8("\u0663")));  // an Arabic-Indic three
}

TEST_F(Framework, LeavingAPageNeedsAGoodReadAndEnteringItWritesAgain) {
  page.Edit(10)->setText("");
  EXPECT_FALSE(sheet.SetActivePage(1));
  EXPECT_EQ(sheet.GetActivePage(), &page);
  EXPECT_EQ(sheet.Tabs()->CurrentIndex(), 0);
  EXPECT_FALSE(other.IsCreated());

  page.Edit(10)->setText("8");
  EXPECT_TRUE(sheet.SetActivePage(&other));
  EXPECT_TRUE(other.IsCreated());
  EXPECT_EQ(page.values.first, 8);
  page.values.first = 9;  // changed while hidden
  EXPECT_TRUE(sheet.SetActivePage(0));
  EXPECT_EQ(page.Edit(10)->text(), "9");
  EXPECT_EQ(page.activations, 2);
  EXPECT_FALSE(sheet.SetActivePage(7));
}

TEST_F(Framework, TheSheetFitsItsLargestPage) {
  sheet.SetActivePage(&wide);
  EXPECT_EQ(wide.Window()->size(), wide.PixelSize());
  EXPECT_GT(wide.PixelSize().width(), page.PixelSize().width());
  EXPECT_GE(sheet.width(), wide.PixelSize().width());
  const DialogBaseUnits base = wide.BaseUnits();
  EXPECT_EQ(wide.PixelSize(), QSize((260 * base.x + 2) / 4, (120 * base.y + 4) / 8));
}

TEST_F(Framework, AReplacedControlTakesThePlaceAndIdentifier) {
  QWidget* placeholder = page.GetDlgItem(15);
  ASSERT_NE(placeholder, nullptr);
  EXPECT_EQ(placeholder->property("windowClass").toString(), "SomeClass");
  const QRect place = placeholder->geometry();
  auto* grid = new QPushButton("grid");
  EXPECT_EQ(page.ReplaceControl(15, grid), grid);
  EXPECT_EQ(page.GetDlgItem(15), grid);
  EXPECT_EQ(grid->geometry(), place);
  EXPECT_EQ(ControlId(grid), 15);
  EXPECT_EQ(grid->parentWidget(), page.Window());
  EXPECT_EQ(page.ReplaceControl(99, new QWidget(page.Window())), nullptr);
}

TEST_F(Framework, CloseAndEscape) {
  // Without a keyboard filter of its own a sheet closes on Escape, like any dialog.
  QTest::keyClick(page.Edit(11), Qt::Key_Escape);
  EXPECT_FALSE(sheet.isVisible());
}

TEST(PageTabsTest, TabsWrapIntoEvenRowsWithTheCurrentRowNextToThePage) {
  PageTabs tabs;
  for (int i = 0; i < 11; ++i) tabs.AddTab(QStringLiteral("Caption number %1").arg(i));
  tabs.SetStripWidth(400);
  ASSERT_GT(tabs.RowCount(), 1);
  int lowest = 0;
  for (int i = 0; i < tabs.Count(); ++i) {
    EXPECT_TRUE(tabs.rect().contains(tabs.TabRect(i))) << i;
    EXPECT_EQ(tabs.TabAt(tabs.TabRect(i).center()), i);
    lowest = std::max(lowest, tabs.TabRect(i).bottom());
  }
  for (int current : {0, 5, 10}) {
    tabs.SetCurrentIndex(current);
    EXPECT_EQ(tabs.TabRect(current).bottom(), lowest) << current;
  }
  // Rows are filled evenly: none holds fewer than half the tabs of another.
  tabs.SetStripWidth(400);
  std::map<int, int> perRow;
  for (int i = 0; i < tabs.Count(); ++i) ++perRow[tabs.TabRect(i).top()];
  for (auto [top, count] : perRow) EXPECT_GE(count * 2, 11 / tabs.RowCount()) << top;
}

TEST(PageTabsTest, AClickOnlyAsksForTheTab) {
  PageTabs tabs;
  tabs.AddTab("One");
  tabs.AddTab("Two");
  tabs.SetStripWidth(300);
  EXPECT_EQ(tabs.RowCount(), 1);
  QSignalSpy asked(&tabs, &PageTabs::TabClicked);
  QTest::mouseClick(&tabs, Qt::LeftButton, {}, tabs.TabRect(1).center());
  ASSERT_EQ(asked.count(), 1);
  EXPECT_EQ(asked[0][0].toInt(), 1);
  EXPECT_EQ(tabs.CurrentIndex(), 0);
}

TEST(PromptsTest, FileFiltersBecomeQtNameFilters) {
#ifdef Q_OS_WIN
  const QString allFiles = "All files (*.*)";
#else
  const QString allFiles = "All files (*)";  // "*.*" would hide names without a dot
#endif
  EXPECT_EQ(FileDialogNameFilters("VARNOLT files (*.dat)|*.dat|All files (*.*)|*.*|"),
            QStringList({"VARNOLT files (*.dat)", allFiles}));
  EXPECT_EQ(FileDialogNameFilters("Text|*.txt;*.csv||"), QStringList({"Text (*.txt *.csv)"}));
  EXPECT_TRUE(FileDialogNameFilters("").isEmpty());
}

TEST(PromptsTest, RecordingPromptsAnswerInOrderAndCountWhatWasNotScripted) {
  RecordingPrompts prompts;
  prompts.AnswerNextMessage(MessageAnswer::No);
  EXPECT_EQ(prompts.Message(nullptr, {"Save?", "Question", MessageIcon::Question, MessageButtons::YesNoCancel}),
            MessageAnswer::No);
  EXPECT_EQ(prompts.Message(nullptr, {"Again?", "Question", MessageIcon::Question, MessageButtons::YesNoCancel}),
            MessageAnswer::Cancel);
  EXPECT_EQ(prompts.Message(nullptr, {"Done", "Done", MessageIcon::Information, MessageButtons::Ok}),
            MessageAnswer::Ok);
  EXPECT_EQ(prompts.ChooseFile(nullptr, {}), std::nullopt);
  EXPECT_EQ(prompts.unscripted, 3);
  EXPECT_EQ(prompts.MessageTexts(), QStringList({"Save?", "Again?", "Done"}));
  EXPECT_TRUE(prompts.AllScriptedAnswersUsed());
}

}  // namespace

namespace {

// Two texts without identifiers that follow the bottom edge, and a drop-down list.
const DialogTemplate kFollowTemplate{
    902, "Follow", 200, 100, "MS Sans Serif", 8,
    {
        {IDC_STATIC, ControlKind::Label, "one", 5, 80, 40, 9, ControlStyle::FollowBottom},
        {IDC_STATIC, ControlKind::Label, "two", 60, 80, 40, 9, ControlStyle::FollowBottom | ControlStyle::FollowRight},
        {20, ControlKind::ComboBox, "", 5, 5, 60, 14, ControlStyle::TabStop},
    }};

class FollowPage : public CPropertyPage {
 public:
  FollowPage() : CPropertyPage(kFollowTemplate) {
    OnNotification(Notification::ListSelectionChange, 20, [this] { ++choices; });
  }
  int choices = 0;
};

}  // namespace

TEST(PageLayoutTest, TextsWithoutIdentifiersFollowTheEdgesEachFromItsOwnPlace) {
  RecordingPrompts prompts;
  ScopedPrompts scope(prompts);
  FollowPage page;
  CPropertySheet sheet{QStringLiteral("Sheet")};
  sheet.AddPage(&page);
  sheet.Create();
  sheet.show();
  QList<QLabel*> labels = page.Window()->findChildren<QLabel*>();
  ASSERT_EQ(labels.size(), 2);
  std::sort(labels.begin(), labels.end(), [](QLabel* a, QLabel* b) { return a->text() < b->text(); });
  const QRect one = labels[0]->geometry(), two = labels[1]->geometry();
  const QSize before = page.Window()->size();
  sheet.resize(sheet.size() + QSize(120, 80));
  QCoreApplication::sendPostedEvents();
  const QSize grown = page.Window()->size() - before;
  ASSERT_GT(grown.height(), 0);
  ASSERT_GT(grown.width(), 0);
  EXPECT_EQ(labels[0]->geometry(), one.translated(0, grown.height()));
  EXPECT_EQ(labels[1]->geometry(), two.translated(grown.width(), grown.height()));
  EXPECT_NE(labels[0]->geometry(), labels[1]->geometry());
}

TEST(PageLayoutTest, ADropDownListNotifiesTheUsersChoiceOnly) {
  RecordingPrompts prompts;
  ScopedPrompts scope(prompts);
  FollowPage page;
  CPropertySheet sheet{QStringLiteral("Sheet")};
  sheet.AddPage(&page);
  sheet.Create();
  sheet.show();
  auto* list = qobject_cast<QComboBox*>(page.GetDlgItem(20));
  ASSERT_NE(list, nullptr);
  EXPECT_FALSE(list->isEditable());
  list->addItems({"a", "b", "c"});
  list->setCurrentIndex(2);  // from code: no notification
  EXPECT_EQ(page.choices, 0);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Up);  // the user moves to the line above
  EXPECT_EQ(list->currentIndex(), 1);
  EXPECT_EQ(page.choices, 1);
}

}  // namespace varnolt
