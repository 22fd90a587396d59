// A whole session in the window, as the Windows check makes it on Linux and on
// Windows: 770 cycles of 1,000 palms run from the RUN MODEL page, then the
// settings saved. The settings file and the report are those the runner writes
// from the same settings; with VARNOLT_WINDOW_RUN_KEEP set to a folder, both
// are copied there, so that the check can compare the two systems' bytes.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "SheetDriver.h"

namespace varnolt {

using namespace control;

namespace {

class WindowRun : public SheetDriver {
 protected:
  WindowRun() : previous(QDir::currentPath()) {
    // The report's name is relative, so that the saved settings hold the same
    // bytes wherever the folder is.
    QDir::setCurrent(folder.path());
    sheet.seedSource = [] { return 2026u; };
  }
  ~WindowRun() override { QDir::setCurrent(previous); }

  // The runner's bytes for the same settings: `set` for the file, `run` for the report.
  QByteArray Runner(const QStringList& args, const QString& written) {
    QProcess runner;
    runner.setWorkingDirectory(folder.path());
    runner.start(QStringLiteral(VARNOLT_BIN_DIR "/varnolt-cli"), args);
    EXPECT_TRUE(runner.waitForFinished(120000));
    EXPECT_EQ(runner.exitCode(), 0) << runner.readAllStandardError().toStdString();
    return ReadAll(folder.filePath(written));
  }

  QString previous;
  QTemporaryDir folder;
};

TEST_F(WindowRun, SevenHundredSeventyCyclesOfAThousandPalmsThenSavedAsTheRunnerWritesThem) {
  const QStringList settings{"cycleCount=770", "palmCount=1000", "runNotes=Essai de Bénin, 30 ans",
                             "outputPath=window-report.dat"};
  SetEdit(sheet.pageNum, kCycleCount, "770");
  SetEdit(sheet.pageNum, kPalmCount, "1000");
  // QTest types ASCII alone: the accented letter comes as a key with its text.
  SetEdit(sheet.pageNum, kRunNotes, "Essai de B");
  QTest::sendKeyEvent(QTest::Click, Edit(sheet.pageNum, kRunNotes), Qt::Key_unknown, QStringLiteral("é"), {});
  QTest::keyClicks(Edit(sheet.pageNum, kRunNotes), "nin, 30 ans");
  ASSERT_EQ(Edit(sheet.pageNum, kRunNotes)->text(), "Essai de Bénin, 30 ans");
  SetEdit(sheet.pageOutput, kOutputPath, "window-report.dat");

  PressRun();
  ASSERT_EQ(prompts.messages.size(), 1u) << prompts.MessageTexts().join(" / ").toStdString();
  EXPECT_EQ(prompts.messages.front().request.caption, "Done");
  prompts.Clear();
  EXPECT_EQ(Current(), &sheet.pageResults);
  EXPECT_EQ(sheet.pageResults.Grid().RowTotal(), 771);

  prompts.AnswerNextFile(folder.filePath("window-run.dat"));
  ChooseMenuCommand(resource::ID_FILE_SAVE_AS);
  EXPECT_EQ(prompts.MessageTexts(), QStringList{"File saved"});
  EXPECT_EQ(sheet.settingsModified, 0);

  const QByteArray saved = ReadAll(folder.filePath("window-run.dat"));
  const QByteArray report = ReadAll(folder.filePath("window-report.dat"));
  ASSERT_FALSE(saved.isEmpty());
  ASSERT_FALSE(report.isEmpty());
  QStringList set{"set", "runner-run.dat"};
  set << settings;
  EXPECT_EQ(saved, Runner(set, "runner-run.dat"));
  QStringList run{"run", "--seed", "2026", "--output", "runner-report.dat"};
  for (const QString& setting : settings) run << "--set" << setting;
  EXPECT_EQ(report, Runner(run, "runner-report.dat"));

  const QString keep = qEnvironmentVariable("VARNOLT_WINDOW_RUN_KEEP");
  if (!keep.isEmpty()) {
    ASSERT_TRUE(QDir().mkpath(keep));
    for (const QString name : {"window-run.dat", "window-report.dat"}) {
      QFile::remove(QDir(keep).filePath(name));
      EXPECT_TRUE(QFile::copy(folder.filePath(name), QDir(keep).filePath(name))) << name.toStdString();
    }
  }
}

}  // namespace

}  // namespace varnolt
