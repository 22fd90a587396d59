// The RUN MODEL page: the Run command and the results grid.
#include <QKeyEvent>
#include <QPushButton>

#include "app/Pages.h"
#include "app/Sheet.h"
#include "platform/Prompts.h"
#include "resources/Resources.h"
#include "results/ResultsGrid.h"
#include "settings/ReportTarget.h"

using namespace control;

CPageResults::CPageResults() : CSettingsPage(resource::IDD_RESULTS) {
  OnNotification(Notification::ButtonClicked, kRun, [this] { OnRun(); });
}

bool CPageResults::OnInitDialog() {
  ReplaceControl(kGrid, &grid_);
  const bool result = CSettingsPage::OnInitDialog();
  grid_.setFont(ResultsGridFont());
  FillResultsGrid();
  grid_.AllowSelection(false);
  grid_.SetPrintAsDisplayed(true);
  // Enter reaches the focused control directly; on the Run button it must not
  // start a run that blocks the window and replaces the report. Space clicks it.
  if (auto* run = qobject_cast<QPushButton*>(GetDlgItem(kRun))) run->setAutoDefault(false);
  return result;
}

bool CPageResults::OnSetActive() {
  FillResultsGrid();
  return CSettingsPage::OnSetActive();
}

void CPageResults::FillResultsGrid() { ::FillResultsGrid(grid_, ResultRows(Sheet().model.cycleResults)); }

void CPageResults::OnRun() {
  CSheet& sheet = Sheet();
  if (!sheet.ValidateSettings()) return;
  // The report must not take the place of run settings, the open file's above all.
  if (std::optional<std::string> problem =
          ReportTargetProblem(sheet.settings.outputPath, PathFromUtf8(sheet.settingsPath.toStdString()))) {
    sheet.ReportInvalidSetting(sheet.pageOutput, kOutputPath, QString::fromStdString(*problem));
    return;
  }

  const RunOutcome outcome = sheet.RunSimulation();
  switch (outcome.status) {
    case RunStatus::FrondOutOfRange:
      // The model kept the previous results, and the grid keeps showing them.
      sheet.ReportInvalidSetting(sheet.pageFronds, outcome.frond.controlId, QString::fromStdString(outcome.message));
      return;
    case RunStatus::TooLargeForMemory:
      sheet.ReportInvalidSetting(sheet.pageNum, kCycleCount, QString::fromStdString(outcome.message));
      return;
    case RunStatus::Cancelled:
      return;
    case RunStatus::ReportNotWritten:
      FillResultsGrid();
      ReportUnwrittenReport(outcome.report);
      return;
    case RunStatus::Completed:
      FillResultsGrid();
      CurrentPrompts().Message(Window(), {QStringLiteral("Simulation complete. Results written\n"
                                                         "to the output file and shown in the grid."),
                                          QStringLiteral("Done"), MessageIcon::Information, MessageButtons::Ok});
      return;
  }
}

void CPageResults::ReportUnwrittenReport(const ReportFailure& failure) {
  const QString text =
      QStringLiteral("Simulation complete. Results shown in the grid, but they could not be\n"
                     "written to the output file \"%1\":\n%2.\n"
                     "Any earlier report there is unchanged. Choose another output file and run again.")
          .arg(QString::fromStdString(failure.path), QString::fromStdString(failure.reason));
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
