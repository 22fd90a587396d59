// The page templates as laid out on screen: sizes and places that are fixed,
// controls inside their pages, and no text cut off.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include "SheetDriver.h"
#include "platform/DialogUnits.h"
#include "resources/SettingControls.h"
#include "results/CycleAnalysis.h"

#include <set>
#include <string>

namespace varnolt {

using namespace control;

using PageLayout = SheetDriver;

namespace {
QRect Units(const CPropertyPage& page, int x, int y, int width, int height) {
  return DialogUnitsToPixels(QRect(x, y, width, height), page.BaseUnits());
}
}  // namespace

TEST_F(PageLayout, PagesHaveTheirTemplateSizesAndTheSheetFitsTheLargest) {
  QSize largest;
  for (int i = 0; i < sheet.GetPageCount(); ++i) {
    const DialogTemplate& dialog = sheet.GetPage(i)->Template();
    // The Experiments page is larger: its results need the room.
    const bool about = dialog.id == resource::IDD_ABOUT, experiments = dialog.id == resource::IDD_EXPERIMENTS;
    EXPECT_EQ(dialog.width, experiments ? 460 : about ? 301 : 300) << dialog.id;
    EXPECT_EQ(dialog.height, experiments ? 330 : about ? 202 : 201) << dialog.id;
    EXPECT_STREQ(dialog.fontName, "MS Sans Serif");
    EXPECT_EQ(dialog.fontPointSize, 8);
    largest = largest.expandedTo(sheet.GetPage(i)->PixelSize());
  }
  ChooseMenuCommand(resource::ID_ABOUT);
  sheet.resize(sheet.minimumSizeHint());
  QApplication::processEvents();
  EXPECT_EQ(sheet.pageAbout.Window()->size(), largest);
  EXPECT_GE(sheet.width(), largest.width());
  EXPECT_LT(sheet.width(), largest.width() + 60);
}

TEST_F(PageLayout, FixedPlacesAndSizesHold) {
  EXPECT_EQ(sheet.pageNum.GetDlgItem(kRunNotes)->width(), Units(sheet.pageNum, 0, 0, 270, 0).width());
  ClickTab(sheet.pageOutput);
  EXPECT_EQ(sheet.pageOutput.GetDlgItem(kOutputPath)->width(), Units(sheet.pageOutput, 0, 0, 246, 0).width());
  EXPECT_EQ(sheet.pageOutput.GetDlgItem(kBrowse)->size(), Units(sheet.pageOutput, 0, 0, 18, 14).size());
  EXPECT_EQ(qobject_cast<QPushButton*>(sheet.pageOutput.GetDlgItem(kBrowse))->text(), "...");
  ClickTab(sheet.pageSex);
  EXPECT_EQ(sheet.pageSex.GetDlgItem(kInitialNodeSex)->size(), Units(sheet.pageSex, 0, 0, 72, 48).size());
  ClickTab(sheet.pageResults);
  const CPropertyPage& run = sheet.pageResults;
  EXPECT_EQ(run.GetDlgItem(kRunNote)->geometry(), Units(run, 15, 11, 216, 18));
  EXPECT_EQ(run.GetDlgItem(kRun)->geometry(), Units(run, 241, 9, 50, 23));
  // The run page fills the area of the larger About page: the grid grows and
  // Copy results follows the bottom right corner.
  const QSize grown = run.Window()->size() - run.PixelSize();
  EXPECT_EQ(run.GetDlgItem(kGrid)->geometry(), Units(run, 7, 34, 286, 128).adjusted(0, 0, grown.width(), grown.height()));
  EXPECT_EQ(run.GetDlgItem(kCopyResults)->geometry(),
            Units(run, 233, 183, 60, 14).translated(grown.width(), grown.height()));
  EXPECT_EQ(qobject_cast<QPushButton*>(run.GetDlgItem(kRun))->text(), "&Run");
}

TEST_F(PageLayout, NoTextIsCutOffAndEveryControlLiesInsideItsPage) {
  for (int i = 0; i < sheet.GetPageCount(); ++i) {
    ClickTab(i);
    QWidget* window = sheet.GetPage(i)->Window();
    for (QWidget* control : window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      const QString what = sheet.GetPage(i)->Caption() + ": " + control->objectName();
      EXPECT_TRUE(window->rect().contains(control->geometry())) << what.toStdString();
      if (auto* label = qobject_cast<QLabel*>(control)) {
        EXPECT_LE(label->heightForWidth(label->width()), label->height()) << label->text().toStdString();
      } else if (qobject_cast<QCheckBox*>(control)) {
        EXPECT_LE(control->sizeHint().width(), control->width()) << what.toStdString();
      } else if (auto* button = qobject_cast<QPushButton*>(control)) {
        // Qt's buttons ask for a minimum width no text needs; the text must fit.
        const QString text = QString(button->text()).remove('&');
        EXPECT_LE(button->fontMetrics().horizontalAdvance(text) + 6, button->width()) << what.toStdString();
        EXPECT_LE(button->fontMetrics().height(), button->height()) << what.toStdString();
      }
    }
  }
}

TEST_F(PageLayout, PageTextsAreThoseOfTheProgram) {
  auto texts = [](const DialogTemplate& dialog) {
    QStringList all;
    for (const ControlTemplate& control : dialog.controls) all << QString::fromUtf8(control.text);
    return all;
  };
  const QStringList fronds = texts(FindDialogTemplate(resource::IDD_FRONDS));
  EXPECT_TRUE(fronds[0].contains("feedback loops and hence cycle frequency"));
  const QStringList thresholds = texts(FindDialogTemplate(resource::IDD_THRESHOLDS));
  EXPECT_TRUE(thresholds.contains("Abort (min. 1; max. 40):"));
  EXPECT_TRUE(thresholds.contains("Threshold Sums"));
}

// The window's table of setting controls against the settings' own table: each
// setting has one control of its kind on the template of its page, labelled as
// the settings table says, and no two settings share a control.
TEST(SettingControls, EachSettingHasItsControlOnItsPageWithItsLabel) {
  std::set<int> ids;
  for (const FieldInfo& field : RunSettingsFields()) {
    SCOPED_TRACE(field.name);
    const int id = resource::SettingControl(field.name);
    ASSERT_NE(id, 0);
    EXPECT_TRUE(ids.insert(id).second) << "shared control " << id;
    const DialogTemplate& page = FindDialogTemplate(resource::PageTemplate(field.page));
    EXPECT_STREQ(page.caption, SettingsPageTitle(field.page));
    const ControlTemplate* control = nullptr;
    bool labelled = false;
    for (const ControlTemplate& c : page.controls) {
      if (c.id == id) control = &c;
      if (c.kind == ControlKind::Label && std::string(c.text) == field.label) labelled = true;
    }
    ASSERT_NE(control, nullptr) << "not on the " << page.caption << " page";
    switch (field.control) {
      case SettingControl::CheckBox:
        EXPECT_EQ(control->kind, ControlKind::CheckBox);
        EXPECT_STREQ(control->text, field.label);
        break;
      case SettingControl::List:
        EXPECT_EQ(control->kind, ControlKind::ListBox);
        EXPECT_TRUE(labelled);
        break;
      case SettingControl::TextEdit:
      case SettingControl::NumberEdit:
        EXPECT_EQ(control->kind, ControlKind::Edit);
        EXPECT_EQ((control->styles & ControlStyle::Number) != 0, field.control == SettingControl::NumberEdit);
        EXPECT_TRUE(labelled);
        break;
    }
  }
  EXPECT_EQ(ids.size(), 27u);
  EXPECT_EQ(resource::SettingControl("nothing"), 0);
  EXPECT_EQ(resource::SettingControl("cycleCount"), 1001);
  EXPECT_EQ(resource::SettingControl("initialNodeSex"), 1032);
}

// The lines a run fills in, at their longest, in the window at its first and
// at its smallest size: wrapped, never cut, never under a button.
TEST_F(PageLayout, TheLongestRunAndPlotLinesFitTheirPlaces) {
  QTemporaryDir folder;
  ClickTab(sheet.pageOutput);
  TypeOver(Edit(sheet.pageOutput, kOutputPath), folder.filePath("report.dat"));
  ClickTab(sheet.pageNum);
  TypeOver(Edit(sheet.pageNum, kCycleCount), "150");
  PressRun();
  ASSERT_TRUE(sheet.lastRun.has_value());
  sheet.lastRun->settings.cycleCount = 1000000;
  sheet.lastRun->settings.palmCount = 100000;
  sheet.lastRun->outcome.seed = 4294967295u;
  sheet.lastRun->outcome.runSeconds = 99999.99;
  ++sheet.resultsVersion;
  CycleAnalysis widest;
  widest.firstCycle = 1000000;
  widest.lastCycle = 1000000;
  widest.period = 500000;
  widest.strength = 1.0;
  widest.meanFemale = widest.meanHerm = widest.meanMale = widest.meanAborted = 100.0;

  const auto fits = [](QWidget* widget) {
    auto* label = qobject_cast<QLabel*>(widget);
    return label && label->heightForWidth(label->width()) <= label->height();
  };
  for (const QSize size : {sheet.size(), sheet.minimumSize()}) {
    SCOPED_TRACE(size.width());
    sheet.resize(size);
    ClickTab(sheet.pageNum);
    ClickTab(sheet.pageResults);
    QWidget* lastRun = sheet.pageResults.GetDlgItem(kLastRun);
    ASSERT_TRUE(qobject_cast<QLabel*>(lastRun));
    EXPECT_TRUE(qobject_cast<QLabel*>(lastRun)->text().contains("1,000,000 cycles x 100,000 palms, seed 4294967295"));
    EXPECT_TRUE(fits(lastRun));
    EXPECT_FALSE(lastRun->geometry().intersects(sheet.pageResults.GetDlgItem(kCopyResults)->geometry()));

    ClickTab(sheet.pagePlot);
    auto* analysis = qobject_cast<QLabel*>(sheet.pagePlot.GetDlgItem(kAnalysis));
    auto* readout = qobject_cast<QLabel*>(sheet.pagePlot.GetDlgItem(kReadout));
    ASSERT_TRUE(analysis && readout);
    analysis->setText(QString::fromStdString(AnalysisLine(widest)));
    EXPECT_TRUE(readout->text().startsWith("Drag a rectangle to zoom")) << readout->text().toStdString();
    EXPECT_TRUE(fits(analysis)) << analysis->text().toStdString();
    EXPECT_TRUE(fits(readout));
    EXPECT_LE(analysis->geometry().bottom(), readout->geometry().top());
    EXPECT_LE(readout->geometry().bottom(), sheet.pagePlot.GetDlgItem(kResetZoom)->geometry().top());
  }
}

}  // namespace varnolt
