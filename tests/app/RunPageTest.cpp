// The RUN MODEL page driven as a user would: change settings on their pages,
// press Run, read the boxes, the grid and the report.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "SheetDriver.h"
#include "grid/GridCtrl.h"
#include "results/ResultsGrid.h"

using namespace control;

namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The rows of a grid, each as its cell texts joined by '|'.
QStringList GridRows(const CGridCtrl& grid) {
  QStringList rows;
  for (int row = 0; row < grid.RowTotal(); ++row) {
    QStringList cells;
    for (int column = 0; column < grid.ColumnTotal(); ++column) cells << grid.CellTextAt(row, column);
    rows << cells.join('|');
  }
  return rows;
}

// What every palm records in the run of the start-up settings without draws,
// cycle by cycle, as grid rows.
QStringList WorkedRunRows() {
  struct Stretch { int last; char sex; };
  const Stretch stretches[] = {{23, 'A'}, {37, 'F'}, {48, 'A'}, {52, 'F'}, {54, 'M'}, {63, 'A'},
                               {65, 'M'}, {79, 'F'}, {90, 'A'}, {93, 'F'}, {96, 'M'}, {100, 'A'}};
  QStringList rows{"Cycle No.|Female %|Herm. % |Male %  |Abort % |Total % "};
  int cycle = 1;
  for (const Stretch& stretch : stretches) {
    for (; cycle <= stretch.last; ++cycle) {
      auto share = [&](char sex) { return stretch.sex == sex ? "100" : "0"; };
      rows << QStringLiteral("%1|%2|0|%3|%4|100").arg(cycle).arg(share('F'), share('M'), share('A'));
    }
  }
  return rows;
}

class RunPage : public SheetDriver {
 protected:
  RunPage() {
    sheet.seedSource = [this] { return seed; };
    report = folder.filePath(QStringLiteral("report.dat"));
    SetEdit(sheet.pageOutput, kOutputPath, report);
  }

  // Types into an edit of a page, as the user does after clicking its tab.
  void SetEdit(CPropertyPage& page, int id, const QString& text) {
    ClickTab(page);
    TypeOver(Edit(page, id), text);
  }
  // Goes to the RUN MODEL page (the page left takes what was typed) and
  // clicks Run.
  void PressRun() {
    ClickTab(sheet.pageResults);
    QWidget* run = sheet.pageResults.GetDlgItem(kRun);
    ASSERT_NE(run, nullptr);
    QTest::mouseClick(run, Qt::LeftButton);
  }
  CGridCtrl& Grid() { return sheet.pageResults.Grid(); }

  // The box a run ended with; the test fails unless there was exactly one.
  MessageRequest OnlyBox() {
    EXPECT_EQ(prompts.messages.size(), 1u) << prompts.MessageTexts().join(" / ").toStdString();
    return prompts.messages.empty() ? MessageRequest{} : prompts.messages.back().request;
  }
  void ExpectDone() {
    const MessageRequest box = OnlyBox();
    EXPECT_EQ(box.text, "Simulation complete. Results written\nto the output file and shown in the grid.");
    EXPECT_EQ(box.caption, "Done");
    EXPECT_EQ(box.icon, MessageIcon::Information);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
    prompts.Clear();
  }

  // The same run through the command-line runner; its report.
  QByteArray RunnerReport(QStringList settings) {
    const QString path = folder.filePath(QStringLiteral("runner.dat"));
    QStringList args{"run", "--seed", QString::number(seed), "--output", path};
    for (const QString& setting : settings) args << "--set" << setting;
    QProcess runner;
    runner.start(QStringLiteral(VARNOLT_BIN_DIR "/varnolt-cli"), args);
    EXPECT_TRUE(runner.waitForFinished(60000));
    EXPECT_EQ(runner.exitCode(), 0) << runner.readAllStandardError().toStdString();
    return ReadAll(path);
  }

  std::uint32_t seed = 7;
  QTemporaryDir folder;
  QString report;
};

TEST_F(RunPage, BeforeAnyRunTheGridHoldsItsHeaderRowAlone) {
  ClickTab(sheet.pageResults);
  CGridCtrl& grid = Grid();
  EXPECT_EQ(sheet.pageResults.GetDlgItem(kGrid), &grid);
  EXPECT_EQ(GridRows(grid), QStringList{"Cycle No.|Female %|Herm. % |Male %  |Abort % |Total % "});
  EXPECT_EQ(grid.HeaderRowTotal(), 1);
  EXPECT_EQ(grid.HeaderColumnTotal(), 1);
  for (int column = 0; column < 6; ++column) EXPECT_TRUE(grid.CellAt(0, column)->IsReadOnly()) << column;
  EXPECT_FALSE(grid.SelectionAllowed());
  EXPECT_TRUE(grid.PrintAsDisplayed());
  EXPECT_EQ(grid.CurrentFont().family(), "Arial");
  EXPECT_EQ(grid.CurrentFont().pixelSize(), 11);
  EXPECT_EQ(grid.CurrentFont().weight(), QFont::Normal);
  // The header row spans the grid from edge to edge.
  EXPECT_EQ(grid.TotalColumnsWidth(), grid.ClientRect().width());
  EXPECT_FALSE(grid.isWindow());
  EXPECT_TRUE(grid.isVisible());
}

TEST_F(RunPage, RunWithoutDrawsFillsTheWorkedRunAndWritesTheRunnersReport) {
  SetEdit(sheet.pageTh, kRandomPercent, "0");
  PressRun();
  ExpectDone();
  EXPECT_EQ(Current(), &sheet.pageResults);
  EXPECT_EQ(GridRows(Grid()), WorkedRunRows());
  for (int row = 0; row < Grid().RowTotal(); ++row) {
    for (int column = 0; column < 6; ++column) {
      EXPECT_TRUE(Grid().CellStateAt(row, column) & CellStateReadOnly) << row << "," << column;
    }
  }
  const QByteArray written = ReadAll(report);
  ASSERT_FALSE(written.isEmpty());
  EXPECT_EQ(written, RunnerReport({"randomPercent=0"}));
  EXPECT_EQ(sheet.settingsModified, 1);  // from the typing; the run leaves the flag alone
}

TEST_F(RunPage, TheSeedReachesTheModelAndEveryRunRebuildsTheGrid) {
  // With draws the report depends on the seed: the window's must be the runner's.
  PressRun();
  ExpectDone();
  EXPECT_EQ(ReadAll(report), RunnerReport({}));
  const QStringList first = GridRows(Grid());
  EXPECT_EQ(first.size(), 101);

  // Another seed, the same settings: the grid shows the new run, not the old.
  seed = 8;
  PressRun();
  ExpectDone();
  EXPECT_EQ(ReadAll(report), RunnerReport({}));
  EXPECT_NE(GridRows(Grid()), first);
  EXPECT_EQ(GridRows(Grid()).size(), 101);

  // Fewer cycles: no row of the longer run is left behind.
  SetEdit(sheet.pageNum, kCycleCount, "30");
  PressRun();
  ExpectDone();
  EXPECT_EQ(Grid().RowTotal(), 31);
  EXPECT_EQ(Grid().CellTextAt(30, 0), "30");
  EXPECT_FALSE(Grid().IsValid(31, 0));
  EXPECT_EQ(ReadAll(report), RunnerReport({"cycleCount=30"}));
}

TEST_F(RunPage, ShowingThePageRebuildsTheGridFromTheLastRun) {
  PressRun();
  ExpectDone();
  const QStringList shown = GridRows(Grid());
  ClickTab(sheet.pageNum);
  Grid().SetRowTotal(3);
  Grid().PutCellText(1, 1, "stale");
  ClickTab(sheet.pageResults);
  EXPECT_EQ(GridRows(Grid()), shown);
}

TEST_F(RunPage, APalmCountOfZeroIsReportedOnTheSizePageAndNothingRuns) {
  SetEdit(sheet.pageTh, kRandomPercent, "0");
  PressRun();
  ExpectDone();
  const QByteArray earlier = ReadAll(report);

  SetEdit(sheet.pageNum, kPalmCount, "0");
  SetEdit(sheet.pageTh, kRandomPercent, "25");
  PressRun();
  const MessageRequest box = OnlyBox();
  EXPECT_EQ(box.text, QString::fromUtf8(ValidationRules()[1].message));
  EXPECT_EQ(box.caption, "Invalid data");
  EXPECT_EQ(box.icon, MessageIcon::Stop);
  EXPECT_EQ(Current(), &sheet.pageNum);
  EXPECT_EQ(QApplication::focusWidget(), Edit(sheet.pageNum, kPalmCount));
  EXPECT_EQ(Edit(sheet.pageNum, kPalmCount)->selectedText(), "0");
  EXPECT_EQ(GridRows(Grid()), WorkedRunRows());
  EXPECT_EQ(ReadAll(report), earlier);
}

TEST_F(RunPage, AFrondOutsideTheNodeRangeIsInvalidDataOnTheFrondPage) {
  SetEdit(sheet.pageTh, kRandomPercent, "0");
  PressRun();
  ExpectDone();
  QFile::remove(report);

  SetEdit(sheet.pageFronds, kSexStressLastFrond, "170");
  SetEdit(sheet.pageTh, kRandomPercent, "25");
  PressRun();
  const MessageRequest box = OnlyBox();
  EXPECT_EQ(box.caption, "Invalid data");
  EXPECT_EQ(box.icon, MessageIcon::Stop);
  EXPECT_TRUE(box.text.contains("Last frond generating stress for sex ratio")) << box.text.toStdString();
  EXPECT_TRUE(box.text.contains("170"));
  EXPECT_TRUE(box.text.contains("-30 to 169"));
  EXPECT_EQ(Current(), &sheet.pageFronds);
  QLineEdit* edit = Edit(sheet.pageFronds, kSexStressLastFrond);
  EXPECT_EQ(QApplication::focusWidget(), edit);
  EXPECT_EQ(edit->selectedText(), "170");
  EXPECT_FALSE(QFile::exists(report));
  // The previous run's results stand, in the model and, shown again, in the grid.
  EXPECT_EQ(GridRows(Grid()), WorkedRunRows());
  ClickTab(sheet.pageResults);
  EXPECT_EQ(GridRows(Grid()), WorkedRunRows());
  EXPECT_EQ(sheet.model.settings.sexStressLastNode, 59);
}

TEST_F(RunPage, AReportThatCannotBeWrittenIsNeverAnnouncedAsWritten) {
  const QString missing = folder.filePath(QStringLiteral("no such folder/report.dat"));
  SetEdit(sheet.pageOutput, kOutputPath, missing);
  SetEdit(sheet.pageTh, kRandomPercent, "0");
  PressRun();
  const MessageRequest box = OnlyBox();
  EXPECT_EQ(box.icon, MessageIcon::Warning);
  EXPECT_NE(box.caption, "Done");
  EXPECT_FALSE(box.text.contains("Results written")) << box.text.toStdString();
  EXPECT_TRUE(box.text.contains("shown in the grid"));
  EXPECT_TRUE(box.text.contains("could not be"));
  EXPECT_TRUE(box.text.contains(missing)) << box.text.toStdString();
  EXPECT_TRUE(box.text.contains("No such file or directory")) << box.text.toStdString();
  EXPECT_EQ(GridRows(Grid()), WorkedRunRows());
  EXPECT_FALSE(QFile::exists(missing));
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{});
}

TEST_F(RunPage, EnterAndEscapeOnTheGridNeitherRunNorCloseTheWindow) {
  ClickTab(sheet.pageResults);
  Grid().setFocus();
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    QTest::keyClick(&Grid(), key);
    QTest::keyClick(sheet.pageResults.GetDlgItem(kRun), key);
  }
  EXPECT_TRUE(sheet.isVisible());
  EXPECT_EQ(sheet.result(), 0);
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_FALSE(QFile::exists(report));
}

}  // namespace
