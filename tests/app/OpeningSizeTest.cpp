// The window at the size it opens at: large enough for every page's texts,
// legends and summaries, which Qt's own text metrics must find whole after a
// run, a kept run, a sweep, a screening and a fit.
#include <QComboBox>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QLabel>
#include <QProcess>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>

#include "SheetDriver.h"
#include "plot/CyclePlot.h"
#include "plot/PictureFile.h"

namespace varnolt {

using namespace control;

TEST(OpeningSize, ThreeQuartersOfASmallScreenAtMostAndNeverLessThanTheContent) {
  EXPECT_EQ(OpeningWindowSize(QSize(1920, 1080), QSize(650, 520)), QSize(1000, 700));
  EXPECT_EQ(OpeningWindowSize(QSize(1280, 900), QSize(650, 520)), QSize(960, 675));
  EXPECT_EQ(OpeningWindowSize(QSize(1280, 1024), QSize(650, 520)), QSize(960, 700));
  // A small screen, or a large scale: the content decides.
  EXPECT_EQ(OpeningWindowSize(QSize(640, 450), QSize(650, 520)), QSize(650, 520));
  EXPECT_EQ(OpeningWindowSize(QSize(1920, 1080), QSize(1200, 520)), QSize(1200, 700));
}

namespace {

// Every text a page shows that is cut, elided or wrapped past its place: labels
// (wrapped within their width), buttons, check boxes, the lists' current lines,
// and every text the charts draw (Qt Charts elides with "...").
QStringList CutTexts(QWidget* page) {
  QStringList cut;
  for (QWidget* control : page->findChildren<QWidget*>()) {
    if (!control->isVisibleTo(page)) continue;
    if (auto* label = qobject_cast<QLabel*>(control)) {
      if (label->text().isEmpty()) continue;
      const bool fits = label->wordWrap()
                            ? label->heightForWidth(label->contentsRect().width()) <= label->contentsRect().height()
                            : label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width();
      if (!fits) cut << QStringLiteral("label: ") + label->text();
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
      const QString text = QString(button->text()).remove(QLatin1Char('&'));
      if (button->fontMetrics().horizontalAdvance(text) + 6 > button->width()) cut << QStringLiteral("button: ") + text;
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
      QStyleOptionComboBox option;
      option.initFrom(combo);
      const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
      if (combo->fontMetrics().horizontalAdvance(combo->currentText()) > field.width()) {
        cut << QStringLiteral("list: ") + combo->currentText();
      }
    } else if (auto* chart = qobject_cast<QChartView*>(control)) {
      for (QGraphicsItem* item : chart->scene()->items()) {
        if (!item->isVisible()) continue;
        QString text;
        if (auto* rich = dynamic_cast<QGraphicsTextItem*>(item)) text = rich->toPlainText();
        if (auto* simple = dynamic_cast<QGraphicsSimpleTextItem*>(item)) text = simple->text();
        if (text.contains(QStringLiteral("...")) || text.contains(QChar(0x2026))) cut << QStringLiteral("chart: ") + text;
      }
    }
  }
  return cut;
}

class WholeTexts : public SheetDriver {
 protected:
  WholeTexts() {
    sheet.seedSource = [] { return 11u; };
    SetEdit(sheet.pageOutput, kOutputPath, folder.filePath(QStringLiteral("report.dat")));
    SetEdit(sheet.pageNum, kCycleCount, "300");
    SetEdit(sheet.pageNum, kPalmCount, "50");
  }

  // Each page in turn at the window's opening size and at its smallest.
  void ExpectEveryPageWhole(const char* when) {
    SCOPED_TRACE(when);
    const QSize opening = sheet.size();
    for (const QSize size : {opening, sheet.minimumSizeHint(), QSize(1000, 700)}) {
      sheet.resize(size.expandedTo(sheet.minimumSizeHint()));
      for (int index = 0; index < sheet.GetPageCount(); ++index) {
        ClickTab(index);
        QApplication::processEvents();
        QStringList cut = CutTexts(sheet.GetPage(index)->Window());
        // The Experiments page's chart is a picture drawn at its size: the
        // drawing tells what it had to cut.
        if (sheet.GetPage(index) == &sheet.pageExperiments) {
          WatchCutTexts([&cut](const std::string& text) { cut << QStringLiteral("picture: ") + QString::fromStdString(text); });
          sheet.pageExperiments.Chart().Redraw();
          WatchCutTexts({});
        }
        EXPECT_TRUE(cut.isEmpty()) << sheet.GetPage(index)->Caption().toStdString() << " at " << sheet.width() << " x "
                                   << sheet.height() << ": " << cut.join(" / ").toStdString();
      }
    }
    sheet.resize(opening);
  }

  CPageExperiments& experiments() { return sheet.pageExperiments; }
  void Choose(int id, const QString& line) {
    auto* combo = qobject_cast<QComboBox*>(experiments().GetDlgItem(id));
    ASSERT_NE(combo, nullptr);
    const int index = combo->findText(line);
    ASSERT_GE(index, 0) << line.toStdString();
    combo->setCurrentIndex(index);
    emit combo->activated(index);
  }

  QTemporaryDir folder;
};

}  // namespace

TEST_F(WholeTexts, EveryPageShowsItsTextsWholeAtTheOpeningSizeBeforeAndAfterEachExperiment) {
  EXPECT_GE(sheet.size().width(), sheet.minimumSizeHint().width());
  EXPECT_GE(sheet.size().height(), sheet.minimumSizeHint().height());
  ExpectEveryPageWhole("at start");

  PressRun();
  ClickTab(sheet.pagePlot);
  sheet.pagePlot.OnKeepRun();
  PressRun();
  ASSERT_EQ(sheet.pagePlot.Plot().KeptTotal(), 300u);
  ExpectEveryPageWhole("after a run and a kept run");

  ClickTab(experiments());
  Choose(SettingRowControl(0, 0), "femaleThreshold");
  TypeOver(Edit(experiments(), kReplicates), "3");
  TypeOver(Edit(experiments(), kExperimentSeed), "7");
  experiments().OnRun();
  ASSERT_GT(experiments().Grid().RowTotal(), 2);
  ExpectEveryPageWhole("after a sweep");

  Choose(kExperimentKind, "Screening (Morris)");
  Choose(SettingRowControl(1, 0), "maleThreshold");
  Choose(SettingRowControl(2, 0), "abortThreshold");
  experiments().OnRun();
  ASSERT_GT(experiments().Grid().RowTotal(), 2);
  ExpectEveryPageWhole("after a screening");

  const QString census = folder.filePath(QStringLiteral("census.csv"));
  QProcess runner;
  runner.start(QStringLiteral(VARNOLT_BIN_DIR "/varnolt-cli"),
               {"run", "--seed", "3", "--set", "cycleCount=300", "--set", "palmCount=50", "--set", "maleThreshold=21",
                "--output", folder.filePath("census-report.dat"), "--csv", census});
  ASSERT_TRUE(runner.waitForFinished(60000));
  Choose(kExperimentKind, "Fit to a census");
  ASSERT_TRUE(experiments().OpenCensus(census));
  Choose(SettingRowControl(0, 0), "maleThreshold");
  TypeOver(Edit(experiments(), SettingRowControl(0, 1)), "19");
  TypeOver(Edit(experiments(), SettingRowControl(0, 2)), "23");
  Choose(SettingRowControl(1, 0), "abortThreshold");
  TypeOver(Edit(experiments(), SettingRowControl(1, 1)), "22");
  TypeOver(Edit(experiments(), SettingRowControl(1, 2)), "26");
  Choose(SettingRowControl(2, 0), "(none)");
  Choose(SettingRowControl(3, 0), "(none)");
  experiments().OnRun();
  ASSERT_EQ(experiments().Grid().RowTotal(), 3);
  ExpectEveryPageWhole("after a fit");
  Choose(kChartChoice, "residuals of the best fit");
  ExpectEveryPageWhole("after a fit, its residuals shown");
}

}  // namespace varnolt
