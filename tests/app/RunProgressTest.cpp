// Long runs in the real window: the progress dialog, Cancel (its button, Escape,
// the close box), a window that keeps handling events meanwhile, and the menu's
// shortcuts with F5 for Run. A run lasts as long as the test says: a gate holds
// every job at its start until the test lets it go or the job is stopped, so
// nothing here depends on how fast this machine runs the model.
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProgressDialog>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <condition_variable>
#include <functional>
#include <iostream>
#include <mutex>

#include "JobGate.h"
#include "SheetDriver.h"
#include "grid/GridCtrl.h"
#include "run/Job.h"

namespace varnolt {

using namespace control;

namespace {

class RunProgress : public SheetDriver {
 protected:
  RunProgress() {
    sheet.seedSource = [] { return 3u; };
    report = folder.filePath(QStringLiteral("report.dat"));
    SetEdit(sheet.pageOutput, kOutputPath, report);
  }

  QString Note() { return qobject_cast<QLabel*>(sheet.pageResults.GetDlgItem(kRunNote))->text(); }

  // A small run that completes; the grid, results and report to compare with.
  void CompletedRun() {
    SetEdit(sheet.pageNum, kCycleCount, "60");
    SetEdit(sheet.pageNum, kPalmCount, "40");
    PressRun();
    ASSERT_EQ(prompts.MessageTexts(),
              QStringList{"Simulation complete. Results written\nto the output file and shown in the grid."});
    prompts.Clear();
    grid = GridRows(sheet.pageResults.Grid());
    results.assign(sheet.model.cycleResults.begin(), sheet.model.cycleResults.end());
    written = ReadAll(report);
    ASSERT_FALSE(written.isEmpty());
  }

  // Starts a run held at its start until it is stopped, so the dialog shows;
  // `whileShown` acts on the dialog once it is up. Answers how long the run took
  // to end after that.
  double LongRun(const std::function<void(QProgressDialog&)>& whileShown) {
    SetEdit(sheet.pageNum, kCycleCount, "2000");
    SetEdit(sheet.pageNum, kPalmCount, "2000000");
    JobGate gate(1234);
    QElapsedTimer sinceAct;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      ++ticks;  // the window goes on handling events while the run lasts
      auto* dialog = sheet.findChild<QProgressDialog*>(QStringLiteral("runProgress"));
      if (acted || dialog == nullptr || !dialog->isVisible()) return;
      dialogText = dialog->labelText();
      dialogValue = dialog->value();
      acted = true;
      sinceAct.start();
      whileShown(*dialog);
    });
    watch.start();
    // A window that never shows the dialog would wait for ever: let the run go
    // after a minute, so the test fails instead.
    QTimer::singleShot(60000, &sheet, [&gate] { gate.Release(); });
    PressRun();
    watch.stop();
    EXPECT_TRUE(acted) << "the progress dialog never showed";
    EXPECT_EQ(gate.Held(), 1);
    return acted ? sinceAct.elapsed() / 1000.0 : 0.0;
  }

  void ExpectNothingChanged() {
    EXPECT_EQ(GridRows(sheet.pageResults.Grid()), grid);
    EXPECT_TRUE(std::equal(results.begin(), results.end(), sheet.model.cycleResults.begin(),
                           sheet.model.cycleResults.end()));
    EXPECT_EQ(sheet.model.settings.palmCount, 40);
    EXPECT_EQ(ReadAll(report), written);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no temporary file is left";
    EXPECT_EQ(Note(), "Run cancelled; the previous results are still shown.");
  }

  QTemporaryDir folder;
  QString report;
  QStringList grid;
  std::vector<CycleResult> results;
  QByteArray written;
  int ticks = 0;
  bool acted = false;
  QString dialogText;
  int dialogValue = -1;
};

TEST_F(RunProgress, CancelStopsTheRunAndKeepsTheResultsGridAndReport) {
  CompletedRun();
  const QString note = Note();
  EXPECT_TRUE(note.startsWith("Note: Results shown below")) << note.toStdString();

  const double latency = LongRun([](QProgressDialog& dialog) {
    auto* cancel = dialog.findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), "Cancel");
    QTest::mouseClick(cancel, Qt::LeftButton);
  });
  std::cout << "[ cancel   ] the run ended " << latency * 1000 << " ms after Cancel\n";
  EXPECT_EQ(dialogText, "Running 2,000 cycles of 2,000,000 palms");
  EXPECT_EQ(dialogValue, 1234) << "the bar shows the palms done";
  EXPECT_GT(ticks, 5);
  EXPECT_TRUE(prompts.messages.empty()) << prompts.MessageTexts().join(" / ").toStdString();
  ExpectNothingChanged();
  auto* dialog = sheet.findChild<QProgressDialog*>(QStringLiteral("runProgress"));
  EXPECT_TRUE(dialog == nullptr || !dialog->isVisible());

  // The next run that completes fills the grid again and puts the note back.
  SetEdit(sheet.pageNum, kCycleCount, "70");
  SetEdit(sheet.pageNum, kPalmCount, "40");
  PressRun();
  EXPECT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(sheet.pageResults.Grid().RowTotal(), 71);
  EXPECT_NE(ReadAll(report), written);
  EXPECT_EQ(Note(), note);
}

TEST_F(RunProgress, EscapeInTheDialogCancelsToo) {
  CompletedRun();
  LongRun([](QProgressDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); });
  EXPECT_TRUE(prompts.messages.empty());
  ExpectNothingChanged();
}

TEST_F(RunProgress, WhileItRunsThePagesTakeNoInput) {
  CompletedRun();
  LongRun([this](QProgressDialog& dialog) {
    QTest::mouseClick(sheet.Tabs(), Qt::LeftButton, {}, sheet.Tabs()->TabRect(0).center());
    QTest::mouseClick(sheet.pageResults.GetDlgItem(kRun), Qt::LeftButton);
    QTest::keyClick(sheet.pageResults.GetDlgItem(kRun), Qt::Key_F5);
    QTest::keyClick(sheet.pageResults.GetDlgItem(kRun), Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(&dialog, Qt::Key_Escape);
  });
  EXPECT_EQ(Current(), &sheet.pageResults) << "the tab click was not taken";
  EXPECT_TRUE(prompts.messages.empty()) << "neither a second run nor New started";
  ExpectNothingChanged();
}

TEST_F(RunProgress, TheCloseBoxAsksToStopTheRunThenAboutUnsavedChanges) {
  CompletedRun();
  ASSERT_EQ(sheet.settingsModified, 1);
  prompts.AnswerNextMessage(MessageAnswer::Yes);     // Stop the running simulation?
  prompts.AnswerNextMessage(MessageAnswer::Cancel);  // Save changes first?
  // Whether the progress dialog is on screen as each question comes up.
  std::vector<bool> dialogShown;
  prompts.onMessage = [&](const MessageRequest&) {
    auto* dialog = sheet.findChild<QProgressDialog*>(QStringLiteral("runProgress"));
    dialogShown.push_back(dialog != nullptr && dialog->isVisible());
  };
  LongRun([this](QProgressDialog&) { sheet.close(); });
  prompts.onMessage = nullptr;
  EXPECT_EQ(prompts.MessageTexts(), (QStringList{"Stop the running simulation?", "Save changes first?"}));
  // The run's question comes over its dialog; once stopped, the dialog is gone
  // before the next question.
  EXPECT_EQ(dialogShown, (std::vector<bool>{true, false}));
  ASSERT_EQ(prompts.messages.size(), 2u);
  EXPECT_EQ(prompts.messages[0].request.caption, "Question");
  EXPECT_EQ(prompts.messages[0].request.buttons, MessageButtons::YesNo);
  EXPECT_TRUE(sheet.isVisible()) << "Cancel on the save question keeps the window";
  prompts.Clear();
  ExpectNothingChanged();

  // Answering No to the first question lets the run go on to its end.
  SetEdit(sheet.pageNum, kCycleCount, "700");
  SetEdit(sheet.pageNum, kPalmCount, "300");
  prompts.AnswerNextMessage(MessageAnswer::No);
  JobGate gate(0);
  bool asked = false;
  QTimer closer;
  closer.setInterval(10);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (!asked && sheet.RunInProgress()) {
      asked = true;
      sheet.close();
      gate.Release();  // the run goes on only once the question is answered
    }
  });
  closer.start();
  PressRun();
  EXPECT_TRUE(asked);
  EXPECT_EQ(prompts.MessageTexts(),
            (QStringList{"Stop the running simulation?",
                         "Simulation complete. Results written\nto the output file and shown in the grid."}));
  EXPECT_TRUE(sheet.isVisible());
  EXPECT_EQ(sheet.pageResults.Grid().RowTotal(), 701);
}

// Notes the application's override cursor each time the grid's scroll bar
// comes up, which happens while a run's results fill the grid.
class CursorWhileFilling : public QObject {
 public:
  explicit CursorWhileFilling(QWidget* bar) { bar->installEventFilter(this); }
  std::vector<Qt::CursorShape> shapes;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      const QCursor* cursor = QApplication::overrideCursor();
      shapes.push_back(cursor ? cursor->shape() : Qt::ArrowCursor);
    }
    return false;
  }
};

TEST_F(RunProgress, TheGridFillsUnderABusyCursor) {
  ClickTab(sheet.pageResults);
  CursorWhileFilling watch(sheet.pageResults.Grid().VerticalScrollBar());
  SetEdit(sheet.pageNum, kCycleCount, "300");
  SetEdit(sheet.pageNum, kPalmCount, "20");
  PressRun();
  ASSERT_EQ(sheet.pageResults.Grid().RowTotal(), 301);
  ASSERT_FALSE(watch.shapes.empty()) << "the scroll bar never came up";
  EXPECT_EQ(watch.shapes.back(), Qt::WaitCursor);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the cursor is back once the grid is full";
}

TEST_F(RunProgress, TheMenuShowsItsShortcutsAndF5RunsFromAnyPage) {
  const std::pair<int, const char*> shortcuts[] = {
      {resource::ID_FILE_NEW, "Ctrl+N"},         {resource::ID_FILE_OPEN, "Ctrl+O"},
      {resource::ID_FILE_SAVE, "Ctrl+S"},        {resource::ID_FILE_SAVE_AS, "Ctrl+Shift+S"},
      {resource::ID_FILE_EXIT, "Ctrl+Q"},        {resource::ID_RUN, "F5"},
  };
  for (const auto& [command, keys] : shortcuts) {
    QAction* action = sheet.FindMenuCommand(command);
    ASSERT_NE(action, nullptr) << keys;
    EXPECT_EQ(action->shortcut(), QKeySequence(QString::fromLatin1(keys))) << keys;
  }
  EXPECT_EQ(sheet.FindMenuCommand(resource::ID_RUN)->text(), "&Run");

  // Typed on the Size page and run with F5: the edit is taken as leaving the page would.
  ClickTab(sheet.pageNum);
  TypeOver(Edit(sheet.pageNum, kCycleCount), "45");
  QTest::keyClick(Edit(sheet.pageNum, kCycleCount), Qt::Key_F5);
  EXPECT_EQ(prompts.MessageTexts(),
            QStringList{"Simulation complete. Results written\nto the output file and shown in the grid."});
  prompts.Clear();
  EXPECT_EQ(Current(), &sheet.pageResults);
  EXPECT_EQ(sheet.pageResults.Grid().RowTotal(), 46);
  EXPECT_FALSE(ReadAll(report).isEmpty());

  // An edit that holds no number refuses with the page's own message, and nothing runs.
  ClickTab(sheet.pageNum);
  TypeOver(Edit(sheet.pageNum, kPalmCount), "");
  QTest::keyClick(Edit(sheet.pageNum, kPalmCount), Qt::Key_F5);
  EXPECT_EQ(prompts.MessageTexts(), QStringList{"Please enter an integer."});
  EXPECT_EQ(Current(), &sheet.pageNum);
  EXPECT_EQ(sheet.model.settings.cycleCount, 45);
  prompts.Clear();

  // Ctrl+N reaches New from an edit: the question about the unsaved edits.
  TypeOver(Edit(sheet.pageNum, kPalmCount), "12");
  QTest::keyClick(Edit(sheet.pageNum, kPalmCount), Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(prompts.MessageTexts(), QStringList{"Save changes first?"});
}

}  // namespace

}  // namespace varnolt
