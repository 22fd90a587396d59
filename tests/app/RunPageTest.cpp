// The RUN MODEL page driven as a user would: change settings on their pages,
// press Run, read the boxes, the grid and the report.
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QLabel>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QWheelEvent>

#include "SheetDriver.h"
#include "grid/GridCtrl.h"
#include "results/ResultsGrid.h"
#include "results/ResultsTable.h"

namespace varnolt {

using namespace control;

namespace {

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

  CGridCtrl& Grid() { return sheet.pageResults.Grid(); }
  int VisibleRows() {
    const CellRange visible = Grid().VisibleNonFixedRange(nullptr, true);
    return visible.maxRow - visible.minRow + 1;
  }

  // The one box the run ended with; the record is cleared for the next run.
  MessageRequest OnlyBox() {
    EXPECT_EQ(prompts.messages.size(), 1u) << prompts.MessageTexts().join(" / ").toStdString();
    const MessageRequest box = prompts.messages.empty() ? MessageRequest{} : prompts.messages.back().request;
    prompts.Clear();
    return box;
  }
  void ExpectDone() {
    const MessageRequest box = OnlyBox();
    EXPECT_EQ(box.text, "Simulation complete. Results written\nto the output file and shown in the grid.");
    EXPECT_EQ(box.caption, "Done");
    EXPECT_EQ(box.icon, MessageIcon::Information);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
  }
  // A run refused: the box, then the page at fault with the edit selected.
  void ExpectInvalidData(CPropertyPage& page, int id, const QStringList& textParts) {
    const MessageRequest box = OnlyBox();
    EXPECT_EQ(box.caption, "Invalid data");
    EXPECT_EQ(box.icon, MessageIcon::Stop);
    for (const QString& part : textParts) EXPECT_TRUE(box.text.contains(part)) << box.text.toStdString();
    EXPECT_EQ(Current(), &page);
    QLineEdit* edit = Edit(page, id);
    EXPECT_EQ(QApplication::focusWidget(), edit);
    EXPECT_EQ(edit->selectedText(), edit->text());
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

  // A run without draws; the grid then shows the known pattern.
  void RunWithoutDraws() {
    SetEdit(sheet.pageTh, kRandomPercent, "0");
    PressRun();
    ExpectDone();
    ASSERT_EQ(GridRows(Grid()), WorkedRunRows());
  }

  std::uint32_t seed = 7;
  QTemporaryDir folder;
  QString report;
};

TEST_F(RunPage, BeforeAnyRunTheGridHoldsItsHeaderRowAlone) {
  ClickTab(sheet.pageResults);
  CGridCtrl& grid = Grid();
  EXPECT_EQ(sheet.pageResults.GetDlgItem(kGrid), &grid);
  EXPECT_TRUE(grid.isVisible());
  EXPECT_EQ(GridRows(grid), QStringList{WorkedRunRows().first()});
  EXPECT_EQ(grid.HeaderColumnTotal(), 1);
  for (int column = 0; column < 6; ++column) EXPECT_TRUE(grid.CellAt(0, column)->IsReadOnly()) << column;
  EXPECT_FALSE(grid.SelectionAllowed());
  EXPECT_EQ(grid.CurrentFont().family(), "Arial");
  EXPECT_EQ(grid.CurrentFont().pixelSize(), 11);
  EXPECT_EQ(grid.CurrentFont().weight(), QFont::Normal);
  EXPECT_EQ(grid.TotalColumnsWidth(), grid.ClientRect().width());
}

TEST_F(RunPage, RunWithoutDrawsFillsTheWorkedRunAndWritesTheRunnersReport) {
  RunWithoutDraws();
  EXPECT_EQ(Current(), &sheet.pageResults);
  for (int row = 0; row < Grid().RowTotal(); ++row) {
    for (int column = 0; column < 6; ++column) EXPECT_TRUE(Grid().CellAt(row, column)->IsReadOnly());
  }
  const QByteArray written = ReadAll(report);
  ASSERT_FALSE(written.isEmpty());
  EXPECT_EQ(written, RunnerReport({"randomPercent=0"}));
}

TEST_F(RunPage, EveryRunRebuildsTheGridAndShowingItAgainKeepsItsPlace) {
  // With draws the report depends on the seed: the window's must be the runner's.
  PressRun();
  ExpectDone();
  EXPECT_EQ(ReadAll(report), RunnerReport({}));
  const QStringList first = GridRows(Grid());
  EXPECT_EQ(first.size(), 101);

  // Shown again with the same results, the grid stays where the user left it.
  const QPoint middle = Grid().rect().center();
  QWheelEvent wheel(middle, Grid().mapToGlobal(middle), QPoint(), QPoint(0, -120 * 5), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(&Grid(), &wheel);
  QApplication::processEvents();  // the grid scrolls by posted steps
  const std::int64_t scrolled = Grid().VerticalScrollPosition();
  ASSERT_GT(scrolled, 0);
  ClickTab(sheet.pageNum);
  ClickTab(sheet.pageResults);
  EXPECT_EQ(Grid().VerticalScrollPosition(), scrolled);
  EXPECT_EQ(GridRows(Grid()), first);

  // Another seed: the grid shows the new run.
  seed = 8;
  PressRun();
  ExpectDone();
  EXPECT_EQ(ReadAll(report), RunnerReport({}));
  EXPECT_NE(GridRows(Grid()), first);

  // Fewer cycles: no row of the longer run is left behind.
  SetEdit(sheet.pageNum, kCycleCount, "30");
  PressRun();
  ExpectDone();
  EXPECT_EQ(Grid().RowTotal(), 31);
  EXPECT_EQ(Grid().CellTextAt(30, 0), "30");
  EXPECT_EQ(ReadAll(report), RunnerReport({"cycleCount=30"}));
}

TEST_F(RunPage, RefusedRunsLeaveGridResultsAndReportAsTheyWere) {
  RunWithoutDraws();
  const QByteArray earlier = ReadAll(report);
  SetEdit(sheet.pageTh, kRandomPercent, "25");

  SetEdit(sheet.pageNum, kPalmCount, "0");
  PressRun();
  ExpectInvalidData(sheet.pageNum, kPalmCount, {QString::fromUtf8(ValidationRules()[1].message)});
  SetEdit(sheet.pageNum, kPalmCount, "10");

  SetEdit(sheet.pageFronds, kSexStressLastFrond, "170");
  PressRun();
  ExpectInvalidData(sheet.pageFronds, kSexStressLastFrond,
                    {"Last frond generating stress for sex ratio", "170", "-30 to 169"});
  SetEdit(sheet.pageFronds, kSexStressLastFrond, "29");

  SetEdit(sheet.pageNum, kCycleCount, "2000000000");
  PressRun();
  ExpectInvalidData(sheet.pageNum, kCycleCount, {"2000000000", "memory"});

  EXPECT_EQ(ReadAll(report), earlier);
  EXPECT_EQ(GridRows(Grid()), WorkedRunRows());
  ClickTab(sheet.pageResults);
  EXPECT_EQ(GridRows(Grid()), WorkedRunRows());
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
  for (const QString& part : {QStringLiteral("shown in the grid"), missing, QStringLiteral("No such file")}) {
    EXPECT_TRUE(box.text.contains(part)) << box.text.toStdString();
  }
  EXPECT_EQ(GridRows(Grid()), WorkedRunRows());
  EXPECT_TRUE(QDir(folder.path()).isEmpty());
}

TEST_F(RunPage, AReportAimedAtRunSettingsIsRefusedOnTheOutputFilePage) {
  RunWithoutDraws();
  prompts.AnswerNextFile(folder.filePath(QStringLiteral("plot.dat")));
  ChooseMenuCommand(resource::ID_FILE_SAVE_AS);
  prompts.Clear();
  const QByteArray settingsFile = ReadAll(folder.filePath(QStringLiteral("plot.dat")));
  const QByteArray earlier = ReadAll(report);
  // The open file, by a path of its own.
  const QString sameFile = folder.path() + QStringLiteral("/./plot.dat");
  SetEdit(sheet.pageOutput, kOutputPath, sameFile);
  PressRun();
  ExpectInvalidData(sheet.pageOutput, kOutputPath,
                    {"The output file " + sameFile + " holds run settings, not a report; choose another output file."});
  EXPECT_EQ(ReadAll(folder.filePath(QStringLiteral("plot.dat"))), settingsFile);
  EXPECT_EQ(ReadAll(report), earlier);
  EXPECT_EQ(GridRows(Grid()), WorkedRunRows());
}

TEST_F(RunPage, EnterAndEscapeOnTheGridNeitherRunNorCloseTheWindow) {
  ClickTab(sheet.pageResults);
  Grid().setFocus();
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    QTest::keyClick(&Grid(), key);
    QTest::keyClick(sheet.pageResults.GetDlgItem(kRun), key);
  }
  EXPECT_TRUE(sheet.isVisible());
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_FALSE(QFile::exists(report));
}

}  // namespace

TEST_F(RunPage, CopyResultsPutsTheWholeTableOnTheClipboardAndTheLastRunLineTellsTheRun) {
  ClickTab(sheet.pageResults);
  auto* lastRun = qobject_cast<QLabel*>(sheet.pageResults.GetDlgItem(kLastRun));
  ASSERT_NE(lastRun, nullptr);
  EXPECT_EQ(lastRun->text(), "Last run: none yet");
  EXPECT_FALSE(sheet.pageResults.GetDlgItem(kCopyResults)->isEnabled());

  SetEdit(sheet.pageNum, kPalmCount, "1000");
  PressRun();
  ExpectDone();
  EXPECT_TRUE(lastRun->text().startsWith("Last run: 100 cycles x 1,000 palms, seed 7, ")) << lastRun->text().toStdString();
  EXPECT_TRUE(lastRun->text().endsWith(" s"));

  QApplication::clipboard()->clear();
  QTest::mouseClick(sheet.pageResults.GetDlgItem(kCopyResults), Qt::LeftButton);
  QStringList lines = QApplication::clipboard()->text().split('\n');
  ASSERT_EQ(lines.size(), 102);  // header, 100 cycles, and the last line's break
  EXPECT_EQ(lines[0], "cycle\tfemale\therm\tmale\taborted\ttotal");
  EXPECT_TRUE(lines[100].startsWith("100\t"));
  EXPECT_EQ(lines[101], "");
  // Percentages as count x 100 / palms, correctly rounded: with 1,000 palms no
  // cell has more than one decimal (the grid keeps the model's own numbers).
  const CycleResult& row = PublishedCycles(sheet.model)[99];
  const QStringList cells = lines[100].split('\t');
  ASSERT_EQ(cells.size(), 6);
  EXPECT_EQ(cells[1].toDouble(), row.female);
  EXPECT_EQ(cells[4].toDouble(), row.aborted);
  for (int l = 1; l <= 100; ++l) {
    for (const QString& cell : lines[l].split('\t')) {
      const qsizetype point = cell.indexOf('.');
      EXPECT_TRUE(point < 0 || cell.size() - point == 2) << lines[l].toStdString();
    }
  }

  // Ctrl+Shift+C does the same from the grid.
  QApplication::clipboard()->clear();
  Grid().setFocus();
  QTest::keyClick(&Grid(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(QApplication::clipboard()->text().count('\n'), 101);
}

TEST_F(RunPage, AWindowGrownTo1200By900ShowsMoreRowsAndKeepsThePageAtTheTopLeft) {
  PressRun();
  ExpectDone();
  sheet.resize(sheet.minimumSizeHint());  // from the window's smallest size
  QApplication::processEvents();
  const int rowsBefore = VisibleRows();
  const QRect runButton = sheet.pageResults.GetDlgItem(kRun)->geometry();
  const QRect copyButton = sheet.pageResults.GetDlgItem(kCopyResults)->geometry();
  sheet.resize(1200, 900);
  QApplication::processEvents();
  EXPECT_EQ(sheet.size(), QSize(1200, 900));
  EXPECT_GT(VisibleRows(), rowsBefore + 15);  // 300 pixels more of rows
  EXPECT_EQ(sheet.pageResults.GetDlgItem(kRun)->geometry(), runButton);
  EXPECT_GT(sheet.pageResults.GetDlgItem(kCopyResults)->y(), copyButton.y() + 200);
  EXPECT_EQ(Grid().TotalColumnsWidth(), Grid().ClientRect().width());
  EXPECT_TRUE(sheet.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(RunPage, AfterARunTheFocusCellMovesAndColumnsResizeWhileNothingIsSelected) {
  RunWithoutDraws();
  CGridCtrl& grid = Grid();
  QPoint origin;
  ASSERT_TRUE(grid.CellOriginOf(2, 1, origin));
  QTest::mouseClick(&grid, Qt::LeftButton, {}, origin + QPoint(5, 5));
  EXPECT_EQ(grid.FocusedCell(), (CellId{2, 1}));
  for (Qt::Key key : {Qt::Key_Down, Qt::Key_Right, Qt::Key_Return, Qt::Key_F2}) QTest::keyClick(&grid, key);
  EXPECT_EQ(grid.FocusedCell(), (CellId{3, 2}));
  QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(grid.FocusedCell(), (CellId{100, 5}));
  EXPECT_TRUE(grid.CellIsVisible(100, 5));
  EXPECT_EQ(grid.SelectedCount(), 0);
  EXPECT_EQ(GridRows(grid), WorkedRunRows());

  // A header click clears the focus; dragging the divider of the first data
  // column widens it.
  QTest::keyClick(&grid, Qt::Key_Home, Qt::ControlModifier);
  ASSERT_TRUE(grid.CellOriginOf(0, 2, origin));
  QTest::mouseClick(&grid, Qt::LeftButton, {}, origin + QPoint(15, 5));
  EXPECT_EQ(grid.FocusedCell(), CellId{});
  const int width = grid.ColumnWidth(1);
  QTest::mousePress(&grid, Qt::LeftButton, {}, QPoint(origin.x() - 1, 5));
  QTest::mouseRelease(&grid, Qt::LeftButton, {}, QPoint(origin.x() + 20, 5));
  EXPECT_EQ(grid.ColumnWidth(1), width + 20);
  EXPECT_EQ(grid.SortColumn(), -1);
}

// The results are read-only and unselectable: copying them gives nothing, and
// neither pasting, dropping nor editing changes them.
TEST_F(RunPage, TheResultsGridGivesNoCopyAndRefusesPasteDropAndEditing) {
  RunWithoutDraws();
  CGridCtrl& grid = Grid();
  QGuiApplication::clipboard()->setText(QStringLiteral("7\t7\n7\t7"));
  EXPECT_FALSE(grid.CanCopy());
  EXPECT_FALSE(grid.CanCut());
  EXPECT_FALSE(grid.CanPaste());
  EXPECT_FALSE(grid.CanSelectAll());
  grid.HandleSelectAllCommand();
  grid.HandleCopyCommand();
  grid.HandleCutCommand();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "7\t7\n7\t7");
  grid.HandlePasteCommand();

  QMimeData text;
  text.setText(QStringLiteral("7"));
  QRect cell;
  ASSERT_TRUE(grid.CellRectOf(1, 1, cell));
  QDragEnterEvent enter(cell.center(), Qt::CopyAction | Qt::MoveAction, &text, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&grid, &enter);
  EXPECT_FALSE(enter.isAccepted());
  QDropEvent drop(QPointF(cell.center()), Qt::CopyAction | Qt::MoveAction, &text, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&grid, &drop);
  EXPECT_FALSE(drop.isAccepted());

  grid.BeginCellEdit(1, 1, QPoint(), '7');
  EXPECT_EQ(grid.findChild<QLineEdit*>(), nullptr);
  EXPECT_EQ(GridRows(grid), WorkedRunRows());
}

// The window as it starts, seeds from its own source.
class NewSeeds : public SheetDriver {
 protected:
  QTemporaryDir folder;
};

TEST_F(NewSeeds, RunsStartedOneAfterAnotherTakeDifferentSeedsAndTellThem) {
  SetEdit(sheet.pageOutput, kOutputPath, folder.filePath(QStringLiteral("report.dat")));
  // Four runs well inside a second: a clock in whole seconds would give them one seed.
  QSet<QString> seeds;
  for (int run = 0; run < 4; ++run) {
    PressRun();
    prompts.Clear();
    auto* lastRun = qobject_cast<QLabel*>(sheet.pageResults.GetDlgItem(kLastRun));
    ASSERT_NE(lastRun, nullptr);
    const QString seed = lastRun->text().section(QStringLiteral("seed "), 1).section(QLatin1Char(','), 0, 0);
    ASSERT_FALSE(seed.isEmpty()) << lastRun->text().toStdString();
    seeds.insert(seed);
  }
  EXPECT_EQ(seeds.size(), 4);
}

TEST_F(RunPage, TheSeedFieldRepeatsARunByteForByteAndIsNoSetting) {
  ClickTab(sheet.pageResults);
  QLineEdit* seedField = Edit(sheet.pageResults, kSeed);
  ASSERT_NE(seedField, nullptr);
  EXPECT_EQ(seedField->text(), "");
  EXPECT_FALSE(sheet.pageResults.GetDlgItem(kUseLastSeed)->isEnabled());
  auto* lastRun = qobject_cast<QLabel*>(sheet.pageResults.GetDlgItem(kLastRun));
  EXPECT_TRUE(lastRun->textInteractionFlags() & Qt::TextSelectableByMouse) << "the seed can be copied";

  // Empty: each run takes a new seed.
  PressRun();
  ExpectDone();
  const QByteArray first = ReadAll(report);
  seed = 8;
  PressRun();
  ExpectDone();
  const QByteArray second = ReadAll(report);
  ASSERT_NE(first, second);
  EXPECT_TRUE(lastRun->text().contains("seed 8,"));

  // A number: that seed, whatever the clock says; the report is the first one
  // again, and the runner's with --seed 7.
  seed = 9;
  const int modified = sheet.settingsModified;
  TypeOver(seedField, "7");
  EXPECT_EQ(sheet.settingsModified, modified) << "the seed is no setting";
  QTest::mouseClick(sheet.pageResults.GetDlgItem(kRun), Qt::LeftButton);
  ExpectDone();
  EXPECT_EQ(ReadAll(report), first);
  EXPECT_TRUE(lastRun->text().contains("seed 7,"));
  seed = 7;
  EXPECT_EQ(ReadAll(report), RunnerReport({}));
  seed = 9;

  // "Use last seed" after a run with a new seed repeats that run.
  seedField->clear();
  PressRun();
  ExpectDone();
  const QByteArray ninth = ReadAll(report);
  seed = 10;
  QTest::mouseClick(sheet.pageResults.GetDlgItem(kUseLastSeed), Qt::LeftButton);
  EXPECT_EQ(seedField->text(), "9");
  QTest::mouseClick(sheet.pageResults.GetDlgItem(kRun), Qt::LeftButton);
  ExpectDone();
  EXPECT_EQ(ReadAll(report), ninth);

  // A number no seed can be is refused before anything runs.
  TypeOver(seedField, "4294967296");
  QTest::mouseClick(sheet.pageResults.GetDlgItem(kRun), Qt::LeftButton);
  const MessageRequest box = OnlyBox();
  EXPECT_EQ(box.caption, "Invalid data");
  EXPECT_TRUE(box.text.contains("4294967295")) << box.text.toStdString();
  EXPECT_EQ(QApplication::focusWidget(), seedField);
  EXPECT_EQ(seedField->selectedText(), "4294967296");
  EXPECT_EQ(ReadAll(report), ninth);
  EXPECT_TRUE(lastRun->text().contains("seed 9,"));
  EXPECT_EQ(sheet.lastRun->settings, sheet.settings) << "the settings hold no seed";
}

}  // namespace varnolt
