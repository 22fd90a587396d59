// The Experiments page driven as a user would: choose the settings to vary,
// type their ranges, run, read the grid and the chart, export the table and
// compare it with the runner's.
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>

#include "JobGate.h"
#include "SheetDriver.h"

namespace varnolt {

using namespace control;

namespace {
// Runs a command line as a shell reads it, in `folder`, with the built runner
// for "varnolt-cli".
int RunCommandLine(QString line, const QString& folder) {
  EXPECT_TRUE(line.startsWith("varnolt-cli ")) << line.toStdString();
  line.replace(0, 11, QStringLiteral("'" VARNOLT_BIN_DIR "/varnolt-cli'"));
  QProcess shell;
  shell.setWorkingDirectory(folder);
  shell.start(QStringLiteral("/bin/sh"), {"-c", line});
  EXPECT_TRUE(shell.waitForFinished(120000));
  EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
  return shell.exitCode();
}


class ExperimentsPage : public SheetDriver {
 protected:
  ExperimentsPage() {
    sheet.seedSource = [] { return 5u; };
    report = folder.filePath(QStringLiteral("report.dat"));
    SetEdit(sheet.pageOutput, kOutputPath, report);
    SetEdit(sheet.pageNum, kCycleCount, "80");
    SetEdit(sheet.pageNum, kPalmCount, "20");
    ClickTab(page());
  }

  CPageExperiments& page() { return sheet.pageExperiments; }
  QComboBox* Combo(int id) { return qobject_cast<QComboBox*>(page().GetDlgItem(id)); }
  QLineEdit* Field(int id) { return Edit(page(), id); }
  // Picks the line as the user does: the list's own "activated" follows.
  void Choose(int id, const QString& line) {
    QComboBox* combo = Combo(id);
    ASSERT_NE(combo, nullptr);
    const int index = combo->findText(line);
    ASSERT_GE(index, 0) << line.toStdString();
    combo->setCurrentIndex(index);
    emit combo->activated(index);
  }
  void Vary(int row, const QString& setting, const QString& from, const QString& to, const QString& step = {}) {
    Choose(SettingRowControl(row, 0), setting);
    TypeOver(Field(SettingRowControl(row, 1)), from);
    TypeOver(Field(SettingRowControl(row, 2)), to);
    if (!step.isEmpty()) TypeOver(Field(SettingRowControl(row, 3)), step);
  }
  void ClickRun() { QTest::mouseClick(page().GetDlgItem(kRunExperiment), Qt::LeftButton); }
  QString Plan() { return qobject_cast<QLabel*>(page().GetDlgItem(kPlan))->text(); }

  // Export CSV to a file; its bytes.
  QByteArray Exported(const QString& name) {
    const QString path = folder.filePath(name);
    prompts.AnswerNextFile(path);
    QTest::mouseClick(page().GetDlgItem(kExportTable), Qt::LeftButton);
    EXPECT_TRUE(prompts.messages.empty()) << prompts.MessageTexts().join(" / ").toStdString();
    return ReadAll(path);
  }

  // The runner's table for the same design.
  QByteArray Runner(QStringList args) {
    const QString path = folder.filePath(QStringLiteral("runner.csv"));
    QFile::remove(path);
    args << "--set" << "cycleCount=80" << "--set" << "palmCount=20" << "--csv" << path;
    QProcess runner;
    runner.start(QStringLiteral(VARNOLT_BIN_DIR "/varnolt-cli"), args);
    EXPECT_TRUE(runner.waitForFinished(120000));
    EXPECT_EQ(runner.exitCode(), 0) << runner.readAllStandardError().toStdString();
    return ReadAll(path);
  }

  // A sweep of two settings, some of whose points the rules refuse.
  void TwoSettingSweep(const QString& seed) {
    Vary(0, "femaleThreshold", "10", "16", "3");
    Vary(1, "maleThreshold", "15", "17", "1");
    TypeOver(Field(kReplicates), "2");
    TypeOver(Field(kExperimentSeed), seed);
    EXPECT_TRUE(Plan().startsWith("9 points x 2 replicates = 18 runs of ")) << Plan().toStdString();
    EXPECT_TRUE(Plan().contains(", 80 cycles x 20 palms. femaleThreshold 10, 13, 16. maleThreshold 15, 16, 17."))
        << Plan().toStdString();
    EXPECT_TRUE(Plan().contains("The rules refuse 2 points (first: femaleThreshold 16 must be below maleThreshold 15"))
        << Plan().toStdString();
    ClickRun();
  }

  QTemporaryDir folder;
  QString report;
};

}  // namespace

TEST_F(ExperimentsPage, ASweepsTableIsTheRunnersByteForByteAndNothingIsWrittenUnasked) {
  EXPECT_FALSE(page().GetDlgItem(kExportTable)->isEnabled());
  EXPECT_EQ(GridRows(page().Grid()), QStringList{"Results"});
  TwoSettingSweep("42");
  EXPECT_TRUE(prompts.messages.empty()) << prompts.MessageTexts().join(" / ").toStdString();
  EXPECT_TRUE(Plan().startsWith("Sweep of 18 runs, seed 42 to 43; 2 points refused by the rules.")) << Plan().toStdString();

  const QByteArray table = Exported("sweep.csv");
  ASSERT_FALSE(table.isEmpty());
  EXPECT_TRUE(table.startsWith("point,femaleThreshold,maleThreshold,replicate,seed,status,meanFemale,"));
  EXPECT_EQ(table, Runner({"sweep", "--vary", "femaleThreshold=10:16:3", "--vary", "maleThreshold=15:17:1",
                           "--replicates", "2", "--seed", "42"}));
  EXPECT_FALSE(QFile::exists(report)) << "a sweep writes no report";
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files),
            (QStringList{"runner.csv", "runner.json", "sweep.csv"}))
      << "the export and the runner's table with its record alone";

  // One grid row per point; a refused point says why.
  const QStringList rows = GridRows(page().Grid());
  ASSERT_EQ(rows.size(), 10);
  EXPECT_TRUE(rows[0].startsWith("Point|femaleThreshold|maleThreshold|meanFemale (95 % CI)|")) << rows[0].toStdString();
  EXPECT_TRUE(rows[9].startsWith("9|16|17|")) << rows[9].toStdString();
  EXPECT_TRUE(rows[7].startsWith("7|16|15|-|")) << rows[7].toStdString();
  EXPECT_TRUE(rows[7].endsWith("refused: rule 5 (maleThreshold): Male threshold must be greater than the female "
                               "threshold and no larger than 39"))
      << rows[7].toStdString();
  for (int row = 0; row < page().Grid().RowTotal(); ++row) {
    EXPECT_TRUE(page().Grid().CellAt(row, 1)->IsReadOnly());
  }
  // The chart is the runner's heat map of the statistic chosen.
  EXPECT_EQ(Combo(kChartChoice)->currentText(), "meanFemale");
  page().Chart().Redraw();
  EXPECT_FALSE(page().Chart().Image().isNull());
  Choose(kChartChoice, "period");
  page().Chart().Redraw();
  EXPECT_FALSE(page().Chart().Image().isNull());

  // One setting: the statistic against it. F5 on the page runs it.
  Choose(SettingRowControl(1, 0), "(none)");
  TypeOver(Field(kStatistics), "sexRatio,period");
  QTest::keyClick(Field(kStatistics), Qt::Key_F5);
  EXPECT_TRUE(prompts.messages.empty()) << prompts.MessageTexts().join(" / ").toStdString();
  EXPECT_EQ(page().Grid().RowTotal(), 4);
  EXPECT_EQ(Exported("one.csv"), Runner({"sweep", "--vary", "femaleThreshold=10:16:3", "--replicates", "2", "--seed",
                                         "42", "--stat", "sexRatio,period"}));
  EXPECT_EQ(Combo(kChartChoice)->count(), 2);
  page().Chart().Redraw();
  EXPECT_FALSE(page().Chart().Image().isNull());
}

TEST_F(ExperimentsPage, CancelDuringASweepLeavesThePreviousResults) {
  TwoSettingSweep("42");
  const std::string csv = page().ResultsCsv();
  const QStringList grid = GridRows(page().Grid());
  ASSERT_FALSE(csv.empty());

  TypeOver(Field(kExperimentSeed), "7");
  JobGate gate(3);
  bool cancelled = false;
  QString dialogText;
  QTimer watch;
  watch.setInterval(10);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    auto* dialog = sheet.findChild<QProgressDialog*>(QStringLiteral("runProgress"));
    if (cancelled || dialog == nullptr || !dialog->isVisible()) return;
    cancelled = true;
    dialogText = dialog->labelText();
    QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
  });
  watch.start();
  QTimer::singleShot(60000, &sheet, [&gate] { gate.Release(); });  // fails the test rather than hanging it
  ClickRun();
  watch.stop();
  ASSERT_TRUE(cancelled) << "the progress dialog never showed";
  EXPECT_EQ(gate.Held(), 1);
  EXPECT_EQ(dialogText, "Sweep: 18 runs of VARNOLT Simulation Run, 80 cycles x 20 palms");
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(page().ResultsCsv(), csv);
  EXPECT_EQ(GridRows(page().Grid()), grid);
  EXPECT_TRUE(Plan().startsWith("Sweep cancelled; the previous results are still shown.")) << Plan().toStdString();
  EXPECT_FALSE(sheet.RunInProgress());
}

TEST_F(ExperimentsPage, FieldsStartAtTheAdmittedRangeAndWrongOnesAreRefused) {
  Choose(SettingRowControl(0, 0), "abortThreshold");
  EXPECT_EQ(Field(SettingRowControl(0, 1))->text(), "1");
  EXPECT_EQ(Field(SettingRowControl(0, 2))->text(), "40");
  EXPECT_EQ(Field(SettingRowControl(0, 3))->text(), "3") << "1 to 40 by 3 reaches 40";
  Choose(SettingRowControl(0, 0), "leafPruneCycle");
  EXPECT_EQ(Field(SettingRowControl(0, 2))->text(), "80") << "up to the cycles of the run";
  EXPECT_EQ(sheet.settingsModified, 1) << "unchanged by the page";
  const int modified = sheet.settingsModified;
  sheet.settingsModified = 0;

  // Each wrong field: a box, the field selected, nothing run.
  struct Case {
    int control;
    QString text;
    QString message;
  };
  const Case cases[] = {
      {SettingRowControl(0, 1), "ten", "From of leafPruneCycle must be a whole number."},
      {SettingRowControl(0, 3), "0", "Step of leafPruneCycle must be a whole number, 1 or more."},
      {kReplicates, "0", "Replicates must be a whole number from 1 to 10000."},
      {kExperimentSeed, "4294967295", "seed"},
      {kStatistics, "meanFemale,colour", "Statistics: unknown statistic \"colour\"; the statistics are meanFemale, "},
  };
  for (const Case& wrong : cases) {
    SCOPED_TRACE(wrong.message.toStdString());
    Vary(0, "leafPruneCycle", "1", "80", "8");
    TypeOver(Field(kReplicates), "2");
    TypeOver(Field(kExperimentSeed), "");
    TypeOver(Field(kStatistics), "");
    TypeOver(Field(wrong.control), wrong.text);
    EXPECT_TRUE(Plan().contains(wrong.message)) << Plan().toStdString();
    ClickRun();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].request.caption, "Invalid data");
    EXPECT_TRUE(prompts.messages[0].request.text.contains(wrong.message)) << prompts.messages[0].request.text.toStdString();
    EXPECT_EQ(QApplication::focusWidget(), Field(wrong.control));
    EXPECT_EQ(Field(wrong.control)->selectedText(), wrong.text);
    prompts.Clear();
    EXPECT_TRUE(page().ResultsCsv().empty());
  }
  // The same setting twice, and a sweep too large for the window.
  TypeOver(Field(kStatistics), "");
  Vary(0, "leafPruneCycle", "1", "80", "8");
  Vary(1, "leafPruneCycle", "1", "80", "8");
  ClickRun();
  EXPECT_EQ(prompts.MessageTexts(), QStringList{"leafPruneCycle is chosen twice; choose another setting."});
  prompts.Clear();
  Vary(0, "cycleCount", "1", "2000000", "1");
  Choose(SettingRowControl(1, 0), "(none)");
  ClickRun();
  EXPECT_EQ(prompts.MessageTexts(),
            QStringList{"cycleCount from 1 to 2000000 by 1 takes more than a million values; take a larger step."});
  prompts.Clear();
  Vary(0, "cycleCount", "1", "600000", "1");
  ClickRun();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_TRUE(prompts.messages[0].request.text.startsWith("That is 1,200,000 runs; the window runs up to 1,000,000."))
      << prompts.messages[0].request.text.toStdString();
  EXPECT_EQ(sheet.settingsModified, 0) << "the experiment's fields are no settings";
  sheet.settingsModified = modified;
}

TEST_F(ExperimentsPage, ScreeningGivesTheRunnersIndicesAndTheirChart) {
  Choose(kExperimentKind, "Screening (Morris)");
  EXPECT_TRUE(page().GetDlgItem(kTrajectories)->isVisible());
  EXPECT_FALSE(page().GetDlgItem(kReplicates)->isVisible());
  EXPECT_FALSE(page().GetDlgItem(SettingRowControl(0, 3))->isVisible()) << "screening takes no step";
  EXPECT_TRUE(page().GetDlgItem(SettingRowControl(3, 0))->isVisible()) << "up to four settings";
  Vary(0, "femaleThreshold", "10", "16");
  Vary(1, "abortThreshold", "20", "30");
  Vary(2, "randomPercent", "0", "40");
  TypeOver(Field(kTrajectories), "6");
  TypeOver(Field(kExperimentSeed), "9");
  EXPECT_TRUE(Plan().startsWith("6 trajectories x 4 points (3 settings + 1) = 24 runs of")) << Plan().toStdString();
  ClickRun();
  EXPECT_TRUE(prompts.messages.empty()) << prompts.MessageTexts().join(" / ").toStdString();
  EXPECT_TRUE(Plan().startsWith("Screening of 3 settings from 24 runs, seed 9.")) << Plan().toStdString();

  // Five statistics (the means and the period), three settings each, by mu*.
  const QStringList rows = GridRows(page().Grid());
  ASSERT_EQ(rows.size(), 16);
  EXPECT_EQ(rows[0], "Statistic|Setting|mu*|mu* 95 % interval|sigma|mu|Effects");
  EXPECT_TRUE(rows[1].startsWith("meanFemale|")) << rows[1].toStdString();
  EXPECT_TRUE(rows[15].startsWith("period|")) << rows[15].toStdString();
  EXPECT_EQ(Exported("screening.csv"),
            Runner({"sensitivity", "--method", "morris", "--factor", "femaleThreshold=10:16", "--factor",
                    "abortThreshold=20:30", "--factor", "randomPercent=0:40", "--trajectories", "6", "--seed", "9"}));
  EXPECT_EQ(Combo(kChartChoice)->count(), 5);
  page().Chart().Redraw();
  EXPECT_FALSE(page().Chart().Image().isNull());

  const QString picture = folder.filePath("morris.svg");
  prompts.AnswerNextFile(picture);
  QTest::mouseClick(page().GetDlgItem(kSaveChart), Qt::LeftButton);
  EXPECT_TRUE(prompts.messages.empty()) << prompts.MessageTexts().join(" / ").toStdString();
  EXPECT_TRUE(ReadAll(picture).contains("Morris screening of meanFemale (6 trajectories)"));
}

namespace {

class FitPage : public ExperimentsPage {
 protected:
  // A census the model made: a run of 80 cycles of 20 palms with maleThreshold 21.
  QString MakeCensus() {
    const QString path = folder.filePath(QStringLiteral("census.csv"));
    QProcess runner;
    runner.start(QStringLiteral(VARNOLT_BIN_DIR "/varnolt-cli"),
                 {"run", "--seed", "3", "--set", "cycleCount=80", "--set", "palmCount=20", "--set", "maleThreshold=21",
                  "--output", folder.filePath("census-report.dat"), "--csv", path});
    EXPECT_TRUE(runner.waitForFinished(60000));
    EXPECT_EQ(runner.exitCode(), 0) << runner.readAllStandardError().toStdString();
    return path;
  }
  void OpenCensus(const QString& path) {
    prompts.AnswerNextFile(path);
    QTest::mouseClick(page().GetDlgItem(kOpenCensus), Qt::LeftButton);
  }
  // Fits maleThreshold and abortThreshold to the census with seed 3.
  void Fit() {
    Choose(kExperimentKind, "Fit to a census");
    OpenCensus(MakeCensus());
    ASSERT_TRUE(prompts.messages.empty()) << prompts.MessageTexts().join(" / ").toStdString();
    Vary(0, "maleThreshold", "19", "23");
    Vary(1, "abortThreshold", "22", "26");
    TypeOver(Field(kExperimentSeed), "3");
    TypeOver(Field(kReplicates), "1");
    TypeOver(Field(kFitPalms), "20");
    EXPECT_TRUE(Plan().startsWith("Fit of 2 settings to census.csv: the whole grid of 25 candidates, each 1 run of 20 palms"))
        << Plan().toStdString();
    ClickRun();
    ASSERT_TRUE(prompts.messages.empty()) << prompts.MessageTexts().join(" / ").toStdString();
  }
};

}  // namespace

TEST_F(FitPage, AFitFindsTheCensussSettingsAndUseTheseSettingsChangesExactlyThem) {
  EXPECT_FALSE(page().GetDlgItem(kOpenCensus)->isVisible());
  Fit();
  EXPECT_TRUE(page().GetDlgItem(kOpenCensus)->isVisible());
  EXPECT_FALSE(page().GetDlgItem(kStatistics)->isVisible());
  EXPECT_EQ(qobject_cast<QLabel*>(page().GetDlgItem(kCensusName))->text(), "census.csv\n320 cells, to cycle 80")
      << qobject_cast<QLabel*>(page().GetDlgItem(kCensusName))->text().toStdString();
  // The census came from these very runs: the best fits it exactly.
  EXPECT_TRUE(Plan().contains("RMSE 0.00 points over 320 observed cells")) << Plan().toStdString();
  const QStringList rows = GridRows(page().Grid());
  ASSERT_EQ(rows.size(), 3);
  EXPECT_EQ(rows[0], "Setting|Best|Consistent at 95 %|Searched|What the census says");
  const QStringList male = rows[1].split('|'), abort = rows[2].split('|');
  ASSERT_EQ(male.size(), 5);
  ASSERT_EQ(abort.size(), 5);
  EXPECT_EQ(male[0], "maleThreshold");
  EXPECT_EQ(male[3], "19 to 23");
  const int bestMale = male[1].toInt(), bestAbort = abort[1].toInt();
  const QStringList range = male[2].split(" to ");
  EXPECT_LE(range[0].toInt(), 21);
  EXPECT_GE(range[1].toInt(), 21) << "the census's own value fits as well as the best";
  // Every candidate evaluated, as the runner's calibrate writes them for the same fit.
  const QString evaluations = folder.filePath("runner-evaluations.csv");
  QProcess runner;
  runner.start(QStringLiteral(VARNOLT_BIN_DIR "/varnolt-cli"),
               {"calibrate", folder.filePath("census.csv"), "--set", "cycleCount=80", "--fit", "maleThreshold=19:23",
                "--fit", "abortThreshold=22:26", "--seed", "3", "--palms", "20", "--replicates", "1", "-o", folder.filePath("best.dat"),
                "--csv", evaluations});
  EXPECT_TRUE(runner.waitForFinished(120000));
  EXPECT_EQ(runner.exitCode(), 0) << runner.readAllStandardError().toStdString();
  EXPECT_EQ(Exported("fit.csv"), ReadAll(evaluations));
  // Copy command line gives the same fit, to the census's last cycle.
  QTest::mouseClick(page().GetDlgItem(kCopyCommand), Qt::LeftButton);
  const QString line = QApplication::clipboard()->text();
  EXPECT_TRUE(line.contains("--set cycleCount=80")) << line.toStdString();
  ASSERT_EQ(RunCommandLine(line, folder.path()), 0);
  EXPECT_EQ(ReadAll(folder.filePath("fit-evaluations.csv")), ReadAll(evaluations));

  // The Plot page shows the census over the fitted series.
  ClickTab(sheet.pagePlot);
  EXPECT_TRUE(sheet.pagePlot.ShowsFit());
  EXPECT_EQ(sheet.pagePlot.Plot().CycleTotal(), 80u);
  EXPECT_FALSE(sheet.pagePlot.Plot().ObservedSeries().empty());
  EXPECT_TRUE(sheet.pagePlot.Plot().Title().startsWith("Census and best fit: maleThreshold ")) << sheet.pagePlot.Plot().Title().toStdString();
  EXPECT_FALSE(sheet.pagePlot.GetDlgItem(kExportCsv)->isEnabled()) << "the table is the Experiments page's";

  // Use these settings: the two fitted settings, and nothing else, change.
  ClickTab(page());
  RunSettings expected = sheet.settings;
  expected.maleThreshold = bestMale;
  expected.abortThreshold = bestAbort;
  ASSERT_NE(sheet.settings, expected) << "a test that can fail: the best differs from the settings";
  sheet.settingsModified = 0;
  QTest::mouseClick(page().GetDlgItem(kUseFitted), Qt::LeftButton);
  EXPECT_EQ(sheet.settings, expected);
  EXPECT_EQ(sheet.settingsModified, 1);
  ClickTab(sheet.pageTh);
  EXPECT_EQ(Edit(sheet.pageTh, kMaleThreshold)->text(), QString::number(bestMale));
  EXPECT_EQ(Edit(sheet.pageTh, kAbortThreshold)->text(), QString::number(bestAbort));

  // A run after the fit takes the Plot page back.
  PressRun();
  prompts.Clear();
  ClickTab(sheet.pagePlot);
  EXPECT_FALSE(sheet.pagePlot.ShowsFit());
  EXPECT_TRUE(sheet.pagePlot.Plot().ObservedSeries().empty());
}

TEST_F(FitPage, CancelDuringAFitLeavesThePreviousResults) {
  Fit();
  const std::string csv = page().ResultsCsv();
  const QStringList grid = GridRows(page().Grid());
  ASSERT_FALSE(csv.empty());

  Vary(0, "maleThreshold", "18", "24");
  JobGate gate(0);
  bool cancelled = false;
  QTimer watch;
  watch.setInterval(10);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    auto* dialog = sheet.findChild<QProgressDialog*>(QStringLiteral("runProgress"));
    if (cancelled || dialog == nullptr || !dialog->isVisible()) return;
    cancelled = true;
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  watch.start();
  QTimer::singleShot(60000, &sheet, [&gate] { gate.Release(); });
  ClickRun();
  watch.stop();
  ASSERT_TRUE(cancelled) << "the progress dialog never showed";
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(page().ResultsCsv(), csv);
  EXPECT_EQ(GridRows(page().Grid()), grid);
  EXPECT_TRUE(Plan().startsWith("Fit cancelled; the previous results are still shown.")) << Plan().toStdString();
  EXPECT_TRUE(page().GetDlgItem(kUseFitted)->isEnabled());
  EXPECT_TRUE(sheet.pagePlot.ShowsFit());
}

TEST_F(FitPage, ACensusThatCannotBeReadKeepsTheOneBefore) {
  Choose(kExperimentKind, "Fit to a census");
  Vary(0, "maleThreshold", "19", "23");
  ClickRun();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_TRUE(prompts.messages[0].request.text.startsWith("Open a census first")) << prompts.messages[0].request.text.toStdString();
  prompts.Clear();

  OpenCensus(MakeCensus());
  ASSERT_TRUE(prompts.messages.empty());
  const QString shown = qobject_cast<QLabel*>(page().GetDlgItem(kCensusName))->text();
  const QString bad = folder.filePath("notes.csv");
  QFile file(bad);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("plot,weight\n1,2\n");
  file.close();
  OpenCensus(bad);
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].request.caption, "Census not read");
  EXPECT_TRUE(prompts.messages[0].request.text.contains("notes.csv")) << prompts.messages[0].request.text.toStdString();
  EXPECT_EQ(qobject_cast<QLabel*>(page().GetDlgItem(kCensusName))->text(), shown);
  EXPECT_TRUE(Plan().contains("to census.csv")) << Plan().toStdString();

  // A header alone reads, but observes nothing: it does not replace the census either.
  prompts.Clear();
  const QString empty = folder.filePath("empty.csv");
  QFile header(empty);
  ASSERT_TRUE(header.open(QIODevice::WriteOnly));
  header.write("cycle,female,herm,male,aborted\n");
  header.close();
  OpenCensus(empty);
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].request.caption, "Census not read");
  EXPECT_TRUE(prompts.messages[0].request.text.startsWith("\"empty.csv\" observes nothing"))
      << prompts.messages[0].request.text.toStdString();
  EXPECT_EQ(qobject_cast<QLabel*>(page().GetDlgItem(kCensusName))->text(), shown);
  EXPECT_TRUE(Plan().contains("to census.csv")) << Plan().toStdString();

  // The plan counts the candidates the rules refuse (femaleThreshold 17 and up,
  // with maleThreshold 17): they never run.
  Vary(0, "femaleThreshold", "10", "20");
  EXPECT_TRUE(Plan().contains("the whole grid of 11 candidates (the rules refuse 4, which never run)"))
      << Plan().toStdString();
  // Every one refused: the plan says so before anything runs.
  Vary(0, "femaleThreshold", "18", "20");
  EXPECT_TRUE(Plan().contains("to census.csv: ")) << Plan().toStdString();
  EXPECT_FALSE(Plan().contains("the whole grid")) << Plan().toStdString();
}

TEST_F(ExperimentsPage, ThePlanListsTheValuesAndCountsRefusedPointsAndTheDefaultStepReachesTo) {
  Choose(SettingRowControl(0, 0), "femaleThreshold");
  // 0 to 38 in about ten steps: a step of 2 reaches 38, where 4 would stop at 36.
  EXPECT_EQ(Field(SettingRowControl(0, 1))->text(), "0");
  EXPECT_EQ(Field(SettingRowControl(0, 2))->text(), "38");
  EXPECT_EQ(Field(SettingRowControl(0, 3))->text(), "2");
  EXPECT_TRUE(Plan().contains("femaleThreshold 0, 2, 4, ..., 34, 36, 38.")) << Plan().toStdString();
  Vary(0, "femaleThreshold", "10", "16", "3");
  EXPECT_TRUE(Plan().contains("femaleThreshold 10, 13, 16.")) << Plan().toStdString();

  // A million points: counted one by one, as the runs will meet them.
  Vary(0, "femaleThreshold", "1", "1000", "1");
  Vary(1, "randomPercent", "0", "999", "1");
  EXPECT_TRUE(Plan().startsWith("1,000,000 points x 1 replicate = 1,000,000 runs")) << Plan().toStdString();
  EXPECT_TRUE(Plan().contains("The rules refuse 984,000 points (first: femaleThreshold 17 must be below "))
      << Plan().toStdString();

  // A sweep whose every point the rules refuse does not run: the box says why.
  Vary(0, "femaleThreshold", "20", "30", "5");
  Choose(SettingRowControl(1, 0), "(none)");
  ClickRun();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].request.caption, "Invalid data");
  EXPECT_TRUE(prompts.messages[0].request.text.startsWith(
      "The rules refuse every point of this sweep (first: femaleThreshold 20 must be below "))
      << prompts.messages[0].request.text.toStdString();
  EXPECT_EQ(Combo(kShownExperiment)->count(), 0) << "nothing ran";
  EXPECT_FALSE(page().GetDlgItem(kExportTable)->isEnabled());

  // One cycle of one palm is said so.
  SetEdit(sheet.pageNum, kCycleCount, "1");
  SetEdit(sheet.pageNum, kPalmCount, "1");
  ClickTab(page());
  EXPECT_TRUE(Plan().contains("runs of VARNOLT Simulation Run, 1 cycle x 1 palm.")) << Plan().toStdString();
}

TEST_F(ExperimentsPage, ResultsSortByAnyColumnAndCopyGivesNumbersASpreadsheetReads) {
  TwoSettingSweep("42");
  QApplication::clipboard()->clear();
  QTest::mouseClick(page().GetDlgItem(kCopyTable), Qt::LeftButton);
  const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 10);
  EXPECT_TRUE(lines[0].startsWith("point\tfemaleThreshold\tmaleThreshold\tmeanFemale\tmeanFemale ci95\tmeanHerm\t"))
      << lines[0].toStdString();
  const QStringList first = lines[1].split('\t');
  bool number = false;
  first[3].toDouble(&number);
  EXPECT_TRUE(number) << first[3].toStdString();
  first[4].toDouble(&number);
  EXPECT_TRUE(number) << "the interval in a column of its own: " << first[4].toStdString();
  EXPECT_FALSE(lines[1].contains(QChar(0x00b1)));

  // A click on a header sorts by its numbers, a second the other way.
  CGridCtrl& grid = page().Grid();
  const auto column = [&grid](int c) {
    QStringList cells;
    for (int row = 1; row < grid.RowTotal(); ++row) cells << grid.CellTextAt(row, c);
    return cells;
  };
  QRect header;
  ASSERT_TRUE(grid.CellRectOf(0, 2, header));
  QTest::mouseClick(&grid, Qt::LeftButton, {}, header.center());
  EXPECT_EQ(column(2), (QStringList{"15", "15", "15", "16", "16", "16", "17", "17", "17"}));
  QTest::mouseClick(&grid, Qt::LeftButton, {}, header.center());
  EXPECT_EQ(column(2), (QStringList{"17", "17", "17", "16", "16", "16", "15", "15", "15"}));
}

TEST_F(FitPage, TheFitRunsItsOwnPalmsToTheCensussLastCycleAndGivesTheRunPageItsSeed) {
  Choose(kExperimentKind, "Fit to a census");
  EXPECT_EQ(Field(kFitPalms)->text(), "2000");
  EXPECT_EQ(Field(kReplicates)->text(), "2") << "two runs a candidate, as calibrate does";
  // A sweep takes its own single replicate again; a number typed stays.
  Choose(kExperimentKind, "Sweep");
  EXPECT_EQ(Field(kReplicates)->text(), "1");
  TypeOver(Field(kReplicates), "3");
  Choose(kExperimentKind, "Fit to a census");
  EXPECT_EQ(Field(kReplicates)->text(), "3");
  // One run a candidate: the census is one run of seed 3, so its own value fits best.
  TypeOver(Field(kReplicates), "1");
  // The census goes to cycle 80; the Size page says 40.
  SetEdit(sheet.pageNum, kCycleCount, "40");
  ClickTab(page());
  OpenCensus(MakeCensus());
  Vary(0, "maleThreshold", "20", "22");
  Choose(SettingRowControl(1, 0), "(none)");
  TypeOver(Field(kExperimentSeed), "3");
  TypeOver(Field(kFitPalms), "20");
  EXPECT_TRUE(Plan().contains("each 1 run of 20 palms up to cycle 80, the census's last; ranges calibrated on 200 "
                              "simulated censuses."))
      << Plan().toStdString();
  ClickRun();
  ASSERT_TRUE(prompts.messages.empty()) << prompts.MessageTexts().join(" / ").toStdString();
  EXPECT_TRUE(Plan().contains("Lack of fit: not judged (the census has no palms column).")) << Plan().toStdString();
  EXPECT_TRUE(page().GetDlgItem(kPlan)->toolTip().startsWith("Ranges: values are consistent with the census at 95 %"))
      << page().GetDlgItem(kPlan)->toolTip().toStdString();
  EXPECT_TRUE(GridRows(page().Grid())[1].contains("calibrated on 200 simulated censuses"))
      << GridRows(page().Grid())[1].toStdString();
  // The saved picture has the residuals beneath the census.
  const QString picture = folder.filePath("fit.svg");
  prompts.AnswerNextFile(picture);
  QTest::mouseClick(page().GetDlgItem(kSaveChart), Qt::LeftButton);
  ASSERT_TRUE(prompts.messages.empty()) << prompts.MessageTexts().join(" / ").toStdString();
  EXPECT_TRUE(ReadAll(picture).contains("Residuals: simulated minus observed"));
  // On the page they are a chart of their own.
  Choose(kChartChoice, "residuals of the best fit");
  page().Chart().Redraw();
  EXPECT_FALSE(page().Chart().Image().isNull());
  EXPECT_EQ(sheet.settings.cycleCount, 40) << "the Size page keeps its own";

  QTest::mouseClick(page().GetDlgItem(kUseFitted), Qt::LeftButton);
  EXPECT_EQ(sheet.settings.maleThreshold, 21);
  ClickTab(sheet.pageResults);
  EXPECT_EQ(Edit(sheet.pageResults, kSeed)->text(), "3");

  // A palms field that holds no palms is refused before anything runs.
  ClickTab(page());
  TypeOver(Field(kFitPalms), "0");
  prompts.Clear();
  ClickRun();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].request.text, "Palms must be a whole number from 1 to 1000000.");
}

TEST_F(ExperimentsPage, CopyCommandLineGivesTheRunnersCommandForTheSameTableByteForByte) {
  // Notes a shell must be given in quotes, with a quote of their own.
  SetEdit(sheet.pageNum, kRunNotes, "Plot 4's \"trial\" $HOME");
  ClickTab(page());
  TwoSettingSweep("42");
  const QByteArray table = Exported("exported.csv");
  QApplication::clipboard()->clear();
  QTest::mouseClick(page().GetDlgItem(kCopyCommand), Qt::LeftButton);
  const QString line = QApplication::clipboard()->text();
  EXPECT_TRUE(line.contains("--set 'runNotes=Plot 4'\\''s \"trial\" $HOME'")) << line.toStdString();
  EXPECT_TRUE(line.contains("--vary femaleThreshold=10:16:3 --vary maleThreshold=15:17:1 --replicates 2 --seed 42"))
      << line.toStdString();
  ASSERT_EQ(RunCommandLine(line, folder.path()), 0);
  EXPECT_EQ(ReadAll(folder.filePath("sweep.csv")), table);

  // A screening, its seed new: the command names the seed it took.
  Choose(kExperimentKind, "Screening (Morris)");
  Vary(0, "femaleThreshold", "8", "14");
  Vary(1, "maleThreshold", "16", "24");
  Choose(SettingRowControl(2, 0), "(none)");
  Choose(SettingRowControl(3, 0), "(none)");
  TypeOver(Field(kTrajectories), "4");
  TypeOver(Field(kExperimentSeed), "");
  ClickRun();
  ASSERT_TRUE(prompts.messages.empty()) << prompts.MessageTexts().join(" / ").toStdString();
  const QByteArray indices = Exported("exported-screening.csv");
  QTest::mouseClick(page().GetDlgItem(kCopyCommand), Qt::LeftButton);
  const QString screening = QApplication::clipboard()->text();
  EXPECT_TRUE(screening.contains(" --seed 5 ")) << screening.toStdString();
  ASSERT_EQ(RunCommandLine(screening, folder.path()), 0);
  EXPECT_EQ(ReadAll(folder.filePath("screening.csv")), indices);
}

}  // namespace varnolt

namespace varnolt {

TEST_F(ExperimentsPage, TheExperimentsRunSinceTheWindowOpenedCanBeShownAgain) {
  TwoSettingSweep("42");
  const QStringList sweep = GridRows(page().Grid());
  const std::string sweepCsv = page().ResultsCsv();
  Choose(kExperimentKind, "Screening (Morris)");
  Vary(0, "femaleThreshold", "8", "14");
  Vary(1, "maleThreshold", "16", "24");
  TypeOver(Field(kTrajectories), "4");
  ClickRun();
  ASSERT_NE(GridRows(page().Grid()), sweep);
  QComboBox* shown = Combo(kShownExperiment);
  ASSERT_EQ(shown->count(), 2);
  EXPECT_EQ(shown->itemText(0), "1. Sweep of 18 runs, seed 42 to 43");
  EXPECT_TRUE(shown->itemText(1).startsWith("2. Screening of 2 settings from 12 runs, seed 42")) << shown->itemText(1).toStdString();
  Choose(kShownExperiment, shown->itemText(0));
  EXPECT_EQ(GridRows(page().Grid()), sweep);
  EXPECT_EQ(page().ResultsCsv(), sweepCsv);
  EXPECT_TRUE(Plan().startsWith("Sweep of 18 runs, seed 42 to 43")) << Plan().toStdString();
}

}  // namespace varnolt
