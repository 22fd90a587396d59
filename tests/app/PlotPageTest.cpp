// The Plot page driven as a user would: run, open the page, read the analysis,
// save a picture and export the table.
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QTemporaryDir>

#include "SheetDriver.h"
#include "results/CycleAnalysis.h"
#include "results/ResultsTable.h"

using namespace control;

namespace {

class PlotPage : public SheetDriver {
 protected:
  PlotPage() {
    sheet.seedSource = [] { return 11u; };
    ClickTab(sheet.pageOutput);
    TypeOver(Edit(sheet.pageOutput, kOutputPath), folder.filePath("report.dat"));
  }
  void Run(const QString& cycles) {
    ClickTab(sheet.pageNum);
    TypeOver(Edit(sheet.pageNum, kCycleCount), cycles);
    TypeOver(Edit(sheet.pageNum, kPalmCount), "300");
    ClickTab(sheet.pageResults);
    QTest::mouseClick(sheet.pageResults.GetDlgItem(kRun), Qt::LeftButton);
    prompts.Clear();
  }
  QString Label(int id) { return qobject_cast<QLabel*>(sheet.pagePlot.GetDlgItem(id))->text(); }
  void Click(int id) { QTest::mouseClick(sheet.pagePlot.GetDlgItem(id), Qt::LeftButton); }

  QTemporaryDir folder;
};

}  // namespace

TEST_F(PlotPage, ShowsTheRunsFourSeriesAndItsAnalysis) {
  ClickTab(sheet.pagePlot);
  EXPECT_EQ(Label(kAnalysis), "Nothing to plot yet: press Run on the RUN MODEL page first.");
  EXPECT_EQ(sheet.pagePlot.Plot().CycleTotal(), 0u);
  EXPECT_FALSE(sheet.pagePlot.GetDlgItem(kSavePicture)->isEnabled());

  Run("770");
  ClickTab(sheet.pagePlot);
  CyclePlotView& plot = sheet.pagePlot.Plot();
  EXPECT_EQ(plot.CycleTotal(), 770u);
  ASSERT_EQ(plot.Series().size(), 4u);
  for (QLineSeries* series : plot.Series()) EXPECT_GT(series->count(), 100);
  EXPECT_EQ(plot.VisibleLast(), 770);
  const std::string line = AnalysisLine(AnalyseCycles(CyclesOf(sheet.model.cycleResults)));
  // Shown with a no-break space before each "%", so that no line starts with one.
  EXPECT_EQ(Label(kAnalysis).replace(QChar(0xa0), ' ').toStdString(), line);
  EXPECT_FALSE(Label(kAnalysis).contains(" %"));
  EXPECT_TRUE(Label(kAnalysis).endsWith("over cycles 101 to 770"));

  // Zoomed in, the page keeps the zoom while the results stay the same.
  plot.SetVisibleCycles(100, 200);
  ClickTab(sheet.pageResults);
  ClickTab(sheet.pagePlot);
  EXPECT_EQ(plot.VisibleLast(), 200);
  Click(kResetZoom);
  EXPECT_EQ(plot.VisibleLast(), 770);

  Run("150");
  ClickTab(sheet.pagePlot);
  EXPECT_EQ(plot.CycleTotal(), 150u);
  EXPECT_TRUE(Label(kAnalysis).endsWith("over cycles 76 to 150"));
}

TEST_F(PlotPage, SavesPicturesAndExportsTheTableWithItsRecord) {
  Run("300");
  ClickTab(sheet.pagePlot);

  const QString png = folder.filePath("cycles.png");
  TypeOver(Edit(sheet.pagePlot, kPictureSize), "800 x 450");
  prompts.AnswerNextFile(png);
  Click(kSavePicture);
  EXPECT_TRUE(prompts.messages.empty()) << prompts.MessageTexts().join(" / ").toStdString();
  EXPECT_EQ(QImage(png).size(), QSize(800, 450));

  const QString svg = folder.filePath("cycles.svg");
  prompts.AnswerNextFile(svg);
  Click(kSavePicture);
  QFile svgFile(svg);
  ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly));
  EXPECT_TRUE(svgFile.readAll().contains("<svg"));

  // A size that is no size is refused before any dialog.
  TypeOver(Edit(sheet.pagePlot, kPictureSize), "huge");
  Click(kSavePicture);
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages.front().request.caption, "Invalid data");
  EXPECT_TRUE(prompts.AllScriptedAnswersUsed());
  prompts.Clear();

  const QString csv = folder.filePath("cycles.csv");
  prompts.AnswerNextFile(csv);
  Click(kExportCsv);
  EXPECT_TRUE(prompts.messages.empty()) << prompts.MessageTexts().join(" / ").toStdString();
  QFile table(csv);
  ASSERT_TRUE(table.open(QIODevice::ReadOnly));
  std::istringstream in(table.readAll().toStdString());
  const ResultsTableRead read = ReadResultsTable(in);
  // The CSV holds count x 100 / palms, as every table that leaves the program.
  const std::vector<CycleResult> cycles = PublishedCycles(sheet.model);
  ASSERT_EQ(read.cycles.size(), cycles.size());
  EXPECT_TRUE(std::equal(cycles.begin(), cycles.end(), read.cycles.begin()));
  QFile record(folder.filePath("cycles.json"));
  ASSERT_TRUE(record.open(QIODevice::ReadOnly));
  const QByteArray json = record.readAll();
  EXPECT_TRUE(json.contains("\"seed\": 11"));
  EXPECT_TRUE(json.contains("\"palmCount\": 300"));
  EXPECT_TRUE(json.contains("\"engine\": \"fast\""));
}
