// The run of the main window: the settings into the model, the run, the report.
// The run is a job (a thread of its own) so that the window keeps painting; while
// it lasts the window takes no input, and a progress dialog with Cancel comes up
// when it takes longer than half a second. The job's end reaches the window as a
// queued call, which ends the event loops waiting for it.
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <limits>
#include <memory>
#include <vector>

#include "app/Sheet.h"
#include "platform/WholeNumbers.h"
#include "run/Job.h"

namespace varnolt {

// A run in progress: its job, whether the window has heard of its end, and the
// event loops that wait for that end.
struct CSheet::ActiveRun {
  std::unique_ptr<Job> job;
  bool ended = false;
  std::vector<QEventLoop*> waiting;
  QProgressDialog* progress = nullptr;
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

RunOutcome CSheet::RunSimulation() { return KeepAsLastRun(settings, varnolt::RunSimulation(model, settings, seedSource())); }

RunOutcome CSheet::RunSimulationWithProgress(std::optional<std::uint32_t> chosenSeed) {
  FloweringModel next;  // the model takes the results only once they are complete
  const RunSettings runSettings = settings;
  const std::uint32_t seed = chosenSeed ? *chosenSeed : seedSource();
  RunOutcome outcome;
  RunJobWithProgress(RunningText(runSettings), static_cast<std::uint64_t>(std::max<std::int32_t>(runSettings.palmCount, 1)),
                     [&](std::stop_token, RunControl& control) {
                       outcome = varnolt::RunSimulation(next, runSettings, seed, &control);
                     });
  if (outcome.Completed() || outcome.status == RunStatus::ReportNotWritten) model = std::move(next);
  return KeepAsLastRun(runSettings, std::move(outcome));
}

bool CSheet::RunJobWithProgress(const QString& text, std::uint64_t total, Job::Work work,
                                std::function<std::uint64_t()> done) {
  ActiveRun run;
  QEventLoop loop;
  run.waiting.push_back(&loop);

  InputHold hold(this);
  activeRun_ = &run;
  run.job = std::make_unique<Job>(std::move(work), 0, [this, &run] {
    // `run` outlives this call: the loop below returns only once it has come.
    QMetaObject::invokeMethod(
        this,
        [&run] {
          run.ended = true;
          for (QEventLoop* waiting : run.waiting) waiting->quit();
        },
        Qt::QueuedConnection);
  });
  Job& job = *run.job;
  if (!done) done = [&job] { return job.Done(); };

  const int steps = static_cast<int>(std::clamp<std::uint64_t>(total, 1, INT_MAX));
  QProgressDialog progress(text, QStringLiteral("Cancel"), 0, steps, this);
  progress.setObjectName(QStringLiteral("runProgress"));
  run.progress = &progress;
  progress.setWindowTitle(QStringLiteral("VARNOLT"));
  // Shown by the timer below once half a second has passed, never sooner: Qt's
  // own guess would show it for runs that end right after.
  progress.setMinimumDuration(std::numeric_limits<int>::max());
  progress.setAutoClose(false);
  progress.setAutoReset(false);
  // Not modal to Qt: a modal dialog would keep the close box from reaching the
  // window, and the close box must be able to stop the run. InputHold blocks the rest.
  progress.setWindowModality(Qt::NonModal);
  auto cancel = [&job] { job.Stop(); };
  connect(&progress, &QProgressDialog::canceled, this, cancel);
  connect(&progress, &QDialog::rejected, this, cancel);  // Escape

  // The bar follows the job's count (palms, or an experiment's runs), redrawn a
  // few times a second while the dialog is up.
  const auto count = [&] { return static_cast<int>(std::min<std::uint64_t>(done(), static_cast<std::uint64_t>(steps))); };
  QTimer refresh;
  refresh.setInterval(50);
  connect(&refresh, &QTimer::timeout, &progress, [&] { progress.setValue(count()); });
  QTimer::singleShot(500, &progress, [&] {
    if (run.ended || job.StopRequested()) return;
    progress.setValue(count());
    progress.show();
    progress.activateWindow();  // Escape and Enter go to the dialog, not to the held window
    refresh.start();
  });
  if (!run.ended) loop.exec();
  refresh.stop();
  const bool stopped = job.StopRequested();
  const std::exception_ptr error = job.Error();
  run.job.reset();  // the work has returned; this joins its thread
  activeRun_ = nullptr;
  progress.hide();
  if (error) std::rethrow_exception(error);  // to the caller, as if the work had run here
  return !stopped;
}

bool CSheet::StopRunFirst() {
  if (activeRun_ == nullptr) return true;
  const MessageAnswer answer = CurrentPrompts().Message(
      this, {QStringLiteral("Stop the running simulation?"), QStringLiteral("Question"), MessageIcon::Question,
             MessageButtons::YesNo});
  if (answer != MessageAnswer::Yes) return false;
  ActiveRun& run = *activeRun_;
  run.job->Stop();
  // The run is over for the user: its dialog must not linger behind the
  // questions that may follow ("Save changes first?").
  if (run.progress != nullptr) run.progress->hide();
  // The run's own loop lies below this handler; wait here, handling events but
  // no input, until the job's end has come through the queue.
  if (!run.ended) {
    QEventLoop wait;
    run.waiting.push_back(&wait);
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    run.waiting.erase(std::find(run.waiting.begin(), run.waiting.end(), &wait));
  }
  return true;
}

void CSheet::OnRunCommand() {
  if (activeRun_ != nullptr) return;
  // On the Experiments page, F5 runs its experiment.
  if (GetActivePage() == &pageExperiments) {
    pageExperiments.OnRun();
    return;
  }
  // Leaving an input page takes its edits, or refuses with the page's message.
  if (!SetActivePage(&pageResults)) return;
  pageResults.OnRun();
}

}  // namespace varnolt
