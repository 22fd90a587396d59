// The Plot page driven as a user would: run, open the page, read the analysis,
// save a picture and export the table.
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include "SheetDriver.h"
#include "results/CycleAnalysis.h"
#include "results/ResultsTable.h"

namespace varnolt {

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

TEST_F(PlotPage, TheTitleNamesTheRunAndAKeptRunStaysBehindTheNextUntilCleared) {
  ClickTab(sheet.pageNum);
  TypeOver(Edit(sheet.pageNum, kRunNotes), "Plot 4 & 5");
  Run("300");
  ClickTab(sheet.pagePlot);
  CyclePlotView& plot = sheet.pagePlot.Plot();
  EXPECT_EQ(plot.Title(), "Plot 4 & 5: 300 cycles x 300 palms, seed 11");
  EXPECT_EQ(plot.chart()->title(), "Plot 4 &amp; 5: 300 cycles x 300 palms, seed 11");
  EXPECT_FALSE(sheet.pagePlot.GetDlgItem(kClearKept)->isEnabled());
  EXPECT_EQ(plot.KeptTotal(), 0u);
  for (QLineSeries* series : plot.KeptSeries()) EXPECT_FALSE(series->isVisible());

  // A saved picture has the run's title above its analysis.
  const QString svg = folder.filePath("cycles.svg");
  prompts.AnswerNextFile(svg);
  Click(kSavePicture);
  // Notes with "&" still give a well-formed file.
  QXmlStreamReader xml(ReadAll(svg));
  QString description;
  while (!xml.atEnd()) {
    if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QStringLiteral("desc")) {
      description = xml.readElementText();
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_TRUE(description.startsWith("Plot 4 & 5: 300 cycles x 300 palms, seed 11\nPeriod ")) << description.toStdString();
  EXPECT_TRUE(description.endsWith("over cycles 101 to 300")) << description.toStdString();

  const std::vector<CycleResult> first(CyclesOf(sheet.model.cycleResults).begin(),
                                       CyclesOf(sheet.model.cycleResults).end());
  Click(kKeepRun);
  EXPECT_EQ(Label(kKeptRun), "Kept: Plot 4 & 5: 300 cycles x 300 palms, seed 11");
  EXPECT_TRUE(sheet.pagePlot.GetDlgItem(kClearKept)->isEnabled());

  sheet.seedSource = [] { return 12u; };
  Run("200");
  ClickTab(sheet.pagePlot);
  EXPECT_EQ(plot.CycleTotal(), 200u);
  EXPECT_EQ(plot.Title(), "Plot 4 & 5: 200 cycles x 300 palms, seed 12");
  ASSERT_EQ(plot.KeptTotal(), 300u);
  ASSERT_EQ(plot.KeptSeries().size(), 4u);
  // The kept lines are the first run's female, hermaphrodite, male and aborted, faint.
  const QList<QPointF> keptFemale = plot.KeptSeries()[0]->points();
  ASSERT_FALSE(keptFemale.isEmpty());
  EXPECT_EQ(keptFemale.front(), QPointF(1, first[0].female));
  for (QLineSeries* series : plot.KeptSeries()) {
    EXPECT_TRUE(series->isVisible());
    EXPECT_LT(series->pen().color().alpha(), 255);
    EXPECT_FALSE(plot.chart()->legend()->markers(series).front()->isVisible()) << "one entry for the kept run";
  }
  QLegendMarker* entry = plot.chart()->legend()->markers(plot.KeptLegend()).front();
  EXPECT_TRUE(entry->isVisible());
  EXPECT_EQ(entry->label(), "Kept run (seed 11)");
  // Its legend entry hides and shows the kept lines.
  emit entry->clicked();
  for (QLineSeries* series : plot.KeptSeries()) EXPECT_FALSE(series->isVisible());
  EXPECT_TRUE(entry->isVisible());
  emit entry->clicked();
  for (QLineSeries* series : plot.KeptSeries()) EXPECT_TRUE(series->isVisible());
  // Switching pages keeps it; another run keeps it too.
  ClickTab(sheet.pageResults);
  ClickTab(sheet.pagePlot);
  EXPECT_EQ(plot.KeptTotal(), 300u);

  Click(kClearKept);
  EXPECT_EQ(plot.KeptTotal(), 0u);
  EXPECT_FALSE(entry->isVisible());
  for (QLineSeries* series : plot.KeptSeries()) {
    EXPECT_FALSE(series->isVisible());
    EXPECT_TRUE(series->points().isEmpty());
  }
  EXPECT_EQ(Label(kKeptRun), "");
  EXPECT_FALSE(sheet.pagePlot.GetDlgItem(kClearKept)->isEnabled());
  EXPECT_EQ(plot.CycleTotal(), 200u) << "the shown run stays";
}

}  // namespace varnolt
