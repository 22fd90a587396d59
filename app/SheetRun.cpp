// The run of the main window: the settings into the model, the run, the report.
// The run goes on a thread of its own so that the window keeps painting; while
// it lasts the window takes no input, and a progress dialog with Cancel comes up
// when it takes longer than half a second.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <climits>
#include <limits>
#include <thread>

#include "app/Sheet.h"
#include "platform/WholeNumbers.h"

// A run in progress: its control (progress, cancel) and whether it has ended.
struct CSheet::ActiveRun {
  RunControl control;
  std::atomic<bool> finished{false};
};

namespace {

// Swallows the user's input to the main window while a run lasts, as a modal
// dialog would, but lets the close box through so that it can stop the run.
class InputHold : public QObject {
 public:
  explicit InputHold(QWidget* window) : window_(window) { QCoreApplication::instance()->installEventFilter(this); }
  ~InputHold() override { QCoreApplication::instance()->removeEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::Wheel:
      case QEvent::ContextMenu:
      case QEvent::ShortcutOverride:
        break;
      default:
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != window_) return false;
    event->accept();  // an accepted override keeps a menu shortcut from firing
    return true;
  }

 private:
  QWidget* window_;
};

QString Counted(std::int64_t count, const char* one, const char* many) {
  return QString::fromStdString(WithThousands(count)) + QLatin1Char(' ') + QLatin1String(count == 1 ? one : many);
}

}  // namespace

QString CSheet::RunningText(const RunSettings& settings) {
  return QStringLiteral("Running %1 of %2")
      .arg(Counted(settings.cycleCount, "cycle", "cycles"), Counted(settings.palmCount, "palm", "palms"));
}

// A run that produced results becomes the last run, which the run and plot pages show.
RunOutcome CSheet::KeepAsLastRun(const RunSettings& runSettings, RunOutcome outcome) {
  if (outcome.Completed() || outcome.status == RunStatus::ReportNotWritten) {
    lastRun = LastRun{runSettings, outcome};
    ++resultsVersion;
  }
  return outcome;
}

RunOutcome CSheet::RunSimulation() { return KeepAsLastRun(settings, ::RunSimulation(model, settings, seedSource())); }

RunOutcome CSheet::RunSimulationWithProgress() {
  ActiveRun run;
  FloweringModel next;  // the model takes the results only once they are complete
  const RunSettings runSettings = settings;
  const std::uint32_t seed = seedSource();
  RunOutcome outcome;

  InputHold hold(this);
  activeRun_ = &run;
  std::thread worker([&] {
    outcome = ::RunSimulation(next, runSettings, seed, &run.control);
    run.finished = true;
  });

  QProgressDialog progress(RunningText(runSettings), QStringLiteral("Cancel"), 0,
                           std::max<std::int32_t>(runSettings.palmCount, 1), this);
  progress.setObjectName(QStringLiteral("runProgress"));
  progress.setWindowTitle(QStringLiteral("VARNOLT"));
  // Shown by the poll below once half a second has passed, never sooner: Qt's own
  // guess would show it for runs that end right after.
  progress.setMinimumDuration(std::numeric_limits<int>::max());
  progress.setAutoClose(false);
  progress.setAutoReset(false);
  // Not modal to Qt: a modal dialog would keep the close box from reaching the
  // window, and the close box must be able to stop the run. InputHold blocks the rest.
  progress.setWindowModality(Qt::NonModal);
  auto cancel = [&run] { run.control.cancel = true; };
  connect(&progress, &QProgressDialog::canceled, this, cancel);
  connect(&progress, &QDialog::rejected, this, cancel);  // Escape

  QEventLoop loop;
  QTimer poll;
  QElapsedTimer elapsed;
  poll.setInterval(20);
  connect(&poll, &QTimer::timeout, &loop, [&] {
    if (run.finished) {
      loop.quit();
      return;
    }
    if (elapsed.elapsed() < 500) return;
    if (!progress.isVisible() && !run.control.cancel) {
      progress.show();
      progress.activateWindow();  // Escape and Enter go to the dialog, not to the held window
    }
    progress.setValue(static_cast<int>(std::min<std::uint64_t>(run.control.palmsDone, INT_MAX)));
  });
  elapsed.start();
  poll.start();
  loop.exec();
  worker.join();
  activeRun_ = nullptr;
  progress.hide();

  if (outcome.Completed() || outcome.status == RunStatus::ReportNotWritten) model = std::move(next);
  return KeepAsLastRun(runSettings, std::move(outcome));
}

bool CSheet::StopRunFirst() {
  if (activeRun_ == nullptr) return true;
  const MessageAnswer answer = CurrentPrompts().Message(
      this, {QStringLiteral("Stop the running simulation?"), QStringLiteral("Question"), MessageIcon::Question,
             MessageButtons::YesNo});
  if (answer != MessageAnswer::Yes) return false;
  activeRun_->control.cancel = true;
  // The run's own loop lies below this handler; wait here for the run to stop.
  while (!activeRun_->finished) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QThread::msleep(5);
  }
  return true;
}

void CSheet::OnRunCommand() {
  // Leaving an input page takes its edits, or refuses with the page's message.
  if (activeRun_ != nullptr || !SetActivePage(&pageResults)) return;
  pageResults.OnRun();
}
