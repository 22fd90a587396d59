// The RUN MODEL page: the Run command and the results grid.
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <sstream>

#include "app/Pages.h"
#include "app/Sheet.h"
#include "platform/Prompts.h"
#include "platform/WholeNumbers.h"
#include "resources/Resources.h"
#include "results/CycleAnalysis.h"
#include "results/ResultsGrid.h"
#include "results/ResultsTable.h"
#include "run/ReportTarget.h"

namespace varnolt {

using namespace control;

CPageResults::CPageResults() : CSettingsPage(resource::IDD_RESULTS) {
  OnNotification(Notification::ButtonClicked, kRun, [this] { OnRun(); });
  OnNotification(Notification::ButtonClicked, kCopyResults, [this] { OnCopyResults(); });
  OnNotification(Notification::ButtonClicked, kUseLastSeed, [this] { OnUseLastSeed(); });
}

namespace {

// 1000000 as "1,000,000".
QString Grouped(long long number) {
  QString digits = QString::number(number < 0 ? -number : number);
  for (int at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, QLatin1Char(','));
  return number < 0 ? QLatin1Char('-') + digits : digits;
}

// What the shown results are, so that a window run can be repeated with the runner.
QString LastRunLine(const std::optional<CSheet::LastRun>& run) {
  if (!run) return QStringLiteral("Last run: none yet");
  const auto counted = [](long long count, const char* one, const char* many) {
    return Grouped(count) + QLatin1Char(' ') + QLatin1String(count == 1 ? one : many);
  };
  return QStringLiteral("Last run: %1 x %2, seed %3, %4 s")
      .arg(counted(run->settings.cycleCount, "cycle", "cycles"), counted(run->settings.palmCount, "palm", "palms"))
      .arg(run->outcome.seed)
      .arg(run->outcome.runSeconds, 0, 'f', 2);
}

}  // namespace

bool CPageResults::OnInitDialog() {
  ReplaceControl(kGrid, &grid_);
  const bool result = CSettingsPage::OnInitDialog();
  grid_.setFont(ResultsGridFont());
  ShowResults();
  grid_.AllowSelection(false);
  grid_.SetPrintAsDisplayed(true);
  // Enter reaches the focused control directly; on the Run button it must not
  // start a run that blocks the window and replaces the report. Space clicks it.
  if (auto* run = qobject_cast<QPushButton*>(GetDlgItem(kRun))) run->setAutoDefault(false);
  auto* copy = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), Window());
  copy->setContext(Qt::WidgetWithChildrenShortcut);
  connect(copy, &QShortcut::activated, this, [this] { OnCopyResults(); });
  if (auto* note = qobject_cast<QLabel*>(GetDlgItem(kRunNote))) note_ = note->text();
  if (auto* seed = qobject_cast<QLineEdit*>(GetDlgItem(kSeed))) {
    seed->setPlaceholderText(QStringLiteral("new each run"));
    if (seed_) seed->setText(QString::number(*seed_));
    seed->setToolTip(QStringLiteral("The seed of the next run: empty for a new seed each run, a number to repeat "
                                    "the run that had it."));
  }
  // The last run's seed can be selected and copied from its line.
  if (auto* line = qobject_cast<QLabel*>(GetDlgItem(kLastRun))) {
    line->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  }
  return result;
}

void CPageResults::ShowRunNote(const QString& text) {
  if (auto* note = qobject_cast<QLabel*>(GetDlgItem(kRunNote))) note->setText(text.isNull() ? note_ : text);
}

bool CPageResults::OnSetActive() {
  if (shownVersion_ != Sheet().resultsVersion) ShowResults();
  return CSettingsPage::OnSetActive();
}

void CPageResults::OnSize() {
  if (grid_.ColumnTotal() > 0) grid_.FitColumnsToClient(true);
}

void CPageResults::FillResultsGrid() { varnolt::FillResultsGrid(grid_, ResultRows(Sheet().model.cycleResults)); }

void CPageResults::ShowResults() {
  FillResultsGrid();
  shownVersion_ = Sheet().resultsVersion;
  if (auto* line = qobject_cast<QLabel*>(GetDlgItem(kLastRun))) line->setText(LastRunLine(Sheet().lastRun));
  EnableControl(kCopyResults, Sheet().model.cycleResults.size() > 1);
  EnableControl(kUseLastSeed, Sheet().lastRun.has_value());
}

void CPageResults::SetSeed(std::uint32_t seed) {
  seed_ = seed;
  if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(kSeed))) edit->setText(QString::number(seed));
}

void CPageResults::OnUseLastSeed() {
  if (!Sheet().lastRun) return;
  if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(kSeed))) {
    edit->setText(QString::number(Sheet().lastRun->outcome.seed));
  }
}

bool CPageResults::ReadSeedField(std::optional<std::uint32_t>& seed) {
  seed.reset();
  auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(kSeed));
  if (edit == nullptr) return true;
  const QString text = edit->text().trimmed();
  if (text.isEmpty()) return true;
  seed = ReadWholeNumber<std::uint32_t>(text.toStdString());
  if (seed) return true;
  CurrentPrompts().Message(Window(), {QStringLiteral("The seed must be a whole number from 0 to 4294967295, or "
                                                     "empty for a new seed each run."),
                                      QStringLiteral("Invalid data"), MessageIcon::Stop, MessageButtons::Ok});
  FocusAndSelect(kSeed);
  return false;
}

// A run of a million cycles takes seconds to fill the grid: the busy cursor
// says the window is at work, set before the progress dialog's place is repainted.
void CPageResults::ShowResultsOfRun() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  ShowResults();
  QApplication::restoreOverrideCursor();
}

void CPageResults::OnCopyResults() {
  // The clipboard gets count x 100 / palms, as the CSV does; the grid keeps the model's numbers.
  const std::vector<CycleResult> cycles = PublishedCycles(Sheet().model);
  if (cycles.empty()) return;
  std::ostringstream table;
  WriteResultsTable(cycles, table, '\t');
  QGuiApplication::clipboard()->setText(QString::fromStdString(table.str()));
}

void CPageResults::OnRun() {
  CSheet& sheet = Sheet();
  if (!sheet.ValidateSettings()) return;
  // The report must not take the place of run settings, the open file's above all.
  if (std::optional<Problem> problem =
          ReportTargetProblem(sheet.settings.outputPath, PathFromUtf8(sheet.settingsPath.toStdString()))) {
    sheet.ReportInvalidSetting(sheet.pageOutput, kOutputPath, QString::fromStdString(ProblemSentence(*problem)));
    return;
  }

  std::optional<std::uint32_t> seed;
  if (!ReadSeedField(seed)) return;

  ShowRunNote(QString());
  const RunOutcome outcome = sheet.RunSimulationWithProgress(seed);
  switch (outcome.status) {
    case RunStatus::FrondOutOfRange:
      // The model kept the previous results, and the grid keeps showing them.
      sheet.ReportInvalidSetting(sheet.pageFronds, resource::SettingControl(outcome.problem->setting),
                                 QString::fromStdString(ProblemSentence(*outcome.problem)));
      return;
    case RunStatus::TooLargeForMemory:
      sheet.ReportInvalidSetting(sheet.pageNum, kCycleCount, QString::fromStdString(ProblemSentence(*outcome.problem)));
      return;
    case RunStatus::Cancelled:
      // Said on the page, not in a box: the user asked for it.
      ShowRunNote(QStringLiteral("Run cancelled; the previous results are still shown."));
      return;
    case RunStatus::ReportNotWritten:
      ShowResultsOfRun();
      ReportUnwrittenReport(*outcome.problem);
      return;
    case RunStatus::Completed:
      ShowResultsOfRun();
      CurrentPrompts().Message(Window(), {QStringLiteral("Simulation complete. Results written\n"
                                                         "to the output file and shown in the grid."),
                                          QStringLiteral("Done"), MessageIcon::Information, MessageButtons::Ok});
      return;
  }
}

void CPageResults::ReportUnwrittenReport(const Problem& failure) {
  const QString text =
      QStringLiteral("Simulation complete. Results shown in the grid, but they could not be\n"
                     "written to the output file \"%1\":\n%2.\n"
                     "Any earlier report there is unchanged. Choose another output file and run again.")
          .arg(QString::fromStdString(failure.path), QString::fromStdString(ReportFailureCause(failure)));
  CurrentPrompts().Message(Window(), {text, QStringLiteral("Report not written"), MessageIcon::Warning,
                                      MessageButtons::Ok});
}

bool CPageResults::PreTranslateMessage(QObject* receiver, QKeyEvent* event) {
  const int key = event->key();
  if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Escape) {
    return CSettingsPage::PreTranslateMessage(receiver, event);
  }
  // Delivered to that control alone: whether it uses the key or not, it goes
  // no further.
  receiver->event(event);
  return true;
}

}  // namespace varnolt
