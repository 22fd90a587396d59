// The Experiments page: what to run, read from its fields and kept up to date
// as the plan line, and the one way every experiment runs (a job with progress
// and Cancel). Each experiment's own design and results are in
// ExperimentSweep.cpp, ExperimentScreening.cpp and ExperimentFit.cpp; what is
// shown and exported of them in ExperimentResults.cpp.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cctype>
#include <string_view>
#include <set>

#include "app/ExperimentsPage.h"
#include "app/Sheet.h"
#include "platform/Prompts.h"
#include "resources/Resources.h"
#include "results/ResultsGrid.h"
#include "settings/ValidationRules.h"


namespace varnolt {

using namespace control;
using namespace experiments_page;

namespace {

const QString NoSetting = QStringLiteral("(none)");
// The window runs experiments of up to this many runs; larger ones are the
// runner's, which can split them over machines.
constexpr std::size_t MaxRuns = 1000000;

std::vector<const FieldInfo*> NumericSettings() {
  std::vector<const FieldInfo*> fields;
  for (const FieldInfo& field : RunSettingsFields()) {
    if (field.integer != nullptr) fields.push_back(&field);
  }
  return fields;
}

}  // namespace

std::string experiments_page::BaseText(const RunSettings& settings) {
  std::string notes = QString::fromStdString(settings.runNotes).simplified().toStdString();
  const auto counted = [](std::int64_t count, const char* one, const char* many) {
    return WithThousands(count) + " " + (count == 1 ? one : many);
  };
  std::string run = counted(settings.cycleCount, "cycle", "cycles") + " x " + counted(settings.palmCount, "palm", "palms");
  return notes.empty() ? run : notes + ", " + run;
}

std::optional<std::string> experiments_page::EveryPointRefused(std::span<const ExperimentPoint> points) {
  std::string first;
  for (const ExperimentPoint& point : points) {
    const ValidationRule* rule = FirstFailedRule(point.settings);
    if (rule == nullptr) return std::nullopt;
    if (first.empty()) first = RuleFailureLine(*rule, point.settings);
  }
  if (points.empty()) return std::nullopt;
  return first;
}

std::uint32_t experiments_page::NewSeed(CSheet& sheet, std::uint64_t consecutive) {
  const std::uint64_t seeds = (std::uint64_t{1} << 32) - (std::max<std::uint64_t>(consecutive, 1) - 1);
  return static_cast<std::uint32_t>(sheet.seedSource() % seeds);
}

std::string experiments_page::ShellWord(const std::string& word) {
  const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::string_view("_=:,./+-").find(c) != std::string_view::npos;
  });
  if (plain) return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string experiments_page::SetOptions(const RunSettings& settings) {
  const RunSettings start = StartupDefaults();
  std::string options;
  for (const FieldInfo& field : RunSettingsFields()) {
    const std::string value = FieldValueText(settings, field);
    if (value != FieldValueText(start, field)) options += " --set " + ShellWord(std::string(field.name) + "=" + value);
  }
  return options;
}

CPageExperiments::CPageExperiments() : CSettingsPage(resource::IDD_EXPERIMENTS), chart_(new CPictureView) {
  OnNotification(Notification::ListSelectionChange, kExperimentKind, [this] { OnKindChanged(); });
  OnNotification(Notification::ButtonClicked, kRunExperiment, [this] { OnRun(); });
  OnNotification(Notification::ButtonClicked, kExportTable, [this] { OnExportCsv(); });
  OnNotification(Notification::ButtonClicked, kSaveChart, [this] { OnSavePicture(); });
  OnNotification(Notification::ButtonClicked, kCopyTable, [this] { OnCopy(); });
  OnNotification(Notification::ButtonClicked, kCopyCommand, [this] { OnCopyCommandLine(); });
  OnNotification(Notification::ListSelectionChange, kShownExperiment, [this] { OnEarlierChosen(); });
  OnNotification(Notification::ButtonClicked, kOpenCensus, [this] { OnOpenCensus(); });
  OnNotification(Notification::ButtonClicked, kUseFitted, [this] { OnUseFitted(); });
  OnNotification(Notification::ListSelectionChange, kChartChoice, [this] { ShowChart(); });
  for (int row = 0; row < SettingRows; ++row) {
    OnNotification(Notification::ListSelectionChange, SettingRowControl(row, 0), [this, row] { OnSettingChosen(row); });
    OnNotification(Notification::EditChange, SettingRowControl(row, 1), SettingRowControl(row, 3),
                   [this] { UpdatePlan(); });
  }
  OnNotification(Notification::EditChange, kReplicates, kTrajectories, [this] { UpdatePlan(); });
  OnNotification(Notification::EditChange, kFitPalms, [this] { UpdatePlan(); });
}

CPageExperiments::~CPageExperiments() {  // here, where a Census is known
  // Not yet given to a window, the chart is the page's own.
  if (chart_ != nullptr && chart_->parent() == nullptr) delete chart_;
}

bool CPageExperiments::OnInitDialog() {
  ReplaceControl(kTable, &grid_);
  ReplaceControl(kExperimentChart, chart_);
  const bool result = CSettingsPage::OnInitDialog();
  grid_.setFont(ResultsGridFont());
  grid_.SetEditable(false);
  grid_.SetHeaderRowTotal(1);

  if (auto* kind = qobject_cast<QComboBox*>(GetDlgItem(kExperimentKind))) {
    kind->addItems({QStringLiteral("Sweep"), QStringLiteral("Screening (Morris)"), QStringLiteral("Fit to a census")});
  }
  const std::vector<const FieldInfo*> fields = NumericSettings();
  for (int row = 0; row < SettingRows; ++row) {
    auto* list = qobject_cast<QComboBox*>(GetDlgItem(SettingRowControl(row, 0)));
    if (list == nullptr) continue;
    if (row > 0) list->addItem(NoSetting);
    for (const FieldInfo* field : fields) list->addItem(QString::fromUtf8(field->name));
    list->setToolTip(QStringLiteral("A numeric setting; From and To start at the values it admits."));
  }
  // Rows 1 and 2 start on the thresholds; the others on "(none)".
  if (auto* first = qobject_cast<QComboBox*>(GetDlgItem(SettingRowControl(0, 0)))) {
    first->setCurrentText(QStringLiteral("femaleThreshold"));
    OnSettingChosen(0);
  }
  if (auto* second = qobject_cast<QComboBox*>(GetDlgItem(SettingRowControl(1, 0)))) second->setCurrentIndex(0);
  auto setText = [this](int id, const QString& text, const QString& placeholder = QString()) {
    if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(id))) {
      edit->setText(text);
      edit->setPlaceholderText(placeholder);
    }
  };
  setText(kReplicates, QStringLiteral("1"));
  setText(kFitPalms, QStringLiteral("2000"));
  if (auto* palms = GetDlgItem(kFitPalms)) {
    palms->setToolTip(QStringLiteral("The palms each candidate runs: enough that their noise does not hide the fit."));
  }
  setText(kTrajectories, QStringLiteral("20"));
  setText(kExperimentSeed, QString(), QStringLiteral("new each run"));
  setText(kStatistics, QString(), QStringLiteral("the usual ones"));
  if (auto* statistics = GetDlgItem(kStatistics)) {
    statistics->setToolTip(Text("The statistics to show, comma separated: " + StatisticNames() +
                                ". Empty: the means, the period and its strength (for screening, the means "
                                "and the period)."));
  }
  if (auto* seed = GetDlgItem(kExperimentSeed)) {
    seed->setToolTip(QStringLiteral("The seed of replicate 1 (the others take the seeds after it); empty for a "
                                    "new seed each run."));
  }
  if (auto* choice = GetDlgItem(kChartChoice)) choice->setToolTip(QStringLiteral("The statistic the chart shows."));
  if (auto* plan = qobject_cast<QLabel*>(GetDlgItem(kPlan))) {
    plan->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  ShowKindControls();
  ShowResults();
  UpdatePlan();
  return result;
}

bool CPageExperiments::OnSetActive() {
  // The settings may have changed on the other pages: the plan is of them.
  UpdatePlan();
  return CSettingsPage::OnSetActive();
}

void CPageExperiments::OnSize() {
  // The table and the chart share the width beside each other: the table
  // takes a little less than half of it.
  QWidget* chart = GetDlgItem(kExperimentChart);
  if (chart == nullptr || !grid_.parentWidget()) return;
  const int left = grid_.x(), right = chart->geometry().right(), gap = chart->x() - grid_.geometry().right() - 1;
  const int total = right - left + 1 - gap;
  const int gridWidth = std::max(grid_.width(), total * 45 / 100);
  grid_.setGeometry(left, grid_.y(), gridWidth, grid_.height());
  chart->setGeometry(left + gridWidth + gap, chart->y(), right - (left + gridWidth + gap) + 1, chart->height());
}

CPageExperiments::Kind CPageExperiments::CurrentKind() const {
  auto* kind = qobject_cast<QComboBox*>(GetDlgItem(kExperimentKind));
  return kind == nullptr ? Kind::Sweep : static_cast<Kind>(std::max(kind->currentIndex(), 0));
}

QString CPageExperiments::FieldText(int controlId) const {
  if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(controlId))) return edit->text().trimmed();
  if (auto* list = qobject_cast<QComboBox*>(GetDlgItem(controlId))) return list->currentText();
  return {};
}

void CPageExperiments::OnKindChanged() {
  // A fit averages 2 runs per candidate, as calibrate does, so that its verdict
  // does not hinge on one seed; a sweep 1. Replicates typed by hand stay.
  const Kind kind = CurrentKind();
  const auto usual = [](Kind of) { return of == Kind::Fit ? QStringLiteral("2") : QStringLiteral("1"); };
  if (auto* replicates = qobject_cast<QLineEdit*>(GetDlgItem(kReplicates));
      replicates != nullptr && replicates->text().trimmed() == usual(shownKind_)) {
    replicates->setText(usual(kind));
  }
  shownKind_ = kind;
  ShowKindControls();
  UpdatePlan();
}

void CPageExperiments::ShowKindControls() {
  const Kind kind = CurrentKind();
  const auto show = [this](int id, bool visible) {
    if (QWidget* widget = GetDlgItem(id)) widget->setVisible(visible);
  };
  // A sweep varies one or two settings; screening and fitting up to four.
  for (int row = 0; row < SettingRows; ++row) {
    const bool used = kind != Kind::Sweep || row < 2;
    for (int column = 0; column < 4; ++column) show(SettingRowControl(row, column), used && (column < 3 || kind == Kind::Sweep));
  }
  show(kStepHeader, kind == Kind::Sweep);
  show(kReplicates, kind != Kind::Screening);
  show(kTrajectories, kind == Kind::Screening);
  if (auto* label = qobject_cast<QLabel*>(GetDlgItem(kReplicatesLabel))) {
    label->setText(kind == Kind::Screening ? QStringLiteral("Trajectories:") : QStringLiteral("Replicates:"));
  }
  const bool fit = kind == Kind::Fit;
  show(kStatisticsLabel, !fit);
  show(kStatistics, !fit);
  show(kOpenCensus, fit);
  show(kCensusName, fit);
  show(kUseFitted, fit);
  show(kFitPalms, fit);
  show(kFitPalmsLabel, fit);
}

void CPageExperiments::OnSettingChosen(int row) {
  const QString name = FieldText(SettingRowControl(row, 0));
  const auto setText = [this](int id, const QString& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(id))) edit->setText(text);
  };
  if (name == NoSetting || name.isEmpty()) {
    for (int column = 1; column < 4; ++column) setText(SettingRowControl(row, column), QString());
  } else {
    SettingRange range = AdmittedRange(name.toStdString(), Sheet().settings);
    // A fit keeps to what calibration admits for the setting.
    std::string why;
    if (CurrentKind() == Kind::Fit) {
      if (std::optional<AdmittedValues> admitted = AdmittedValuesOf(name.toStdString(), Sheet().settings, why)) {
        range = {admitted->low, admitted->high};
      }
    }
    // About ten values between the bounds to begin with, the last of them the
    // upper bound when a step of 5 to 21 values allows.
    const std::int64_t span = static_cast<std::int64_t>(range.high) - range.low;
    std::int64_t step = std::max<std::int64_t>(1, (span + 9) / 10);
    for (std::int64_t distance = 0; distance < step && span % step != 0; ++distance) {
      for (const std::int64_t candidate : {step - distance, step + distance}) {
        const std::int64_t values = candidate >= 1 ? span / candidate + 1 : 0;
        if (candidate >= 1 && span % candidate == 0 && values >= 5 && values <= 21) {
          step = candidate;
          break;
        }
      }
    }
    setText(SettingRowControl(row, 1), QString::number(range.low));
    setText(SettingRowControl(row, 2), QString::number(range.high));
    setText(SettingRowControl(row, 3), QString::number(step));
  }
  UpdatePlan();
}

std::optional<std::pair<int, QString>> CPageExperiments::ReadPlan(Plan& plan) const {
  using Problem = std::pair<int, QString>;
  plan.kind = CurrentKind();
  plan.base = Sheet().settings;
  const int rows = plan.kind == Kind::Sweep ? 2 : SettingRows;
  std::set<std::string> names;
  for (int row = 0; row < rows; ++row) {
    const QString name = FieldText(SettingRowControl(row, 0));
    if (name == NoSetting || name.isEmpty()) continue;
    if (!names.insert(name.toStdString()).second) {
      return Problem{SettingRowControl(row, 0), name + QStringLiteral(" is chosen twice; choose another setting.")};
    }
    const std::string from = FieldText(SettingRowControl(row, 1)).toStdString();
    const std::string to = FieldText(SettingRowControl(row, 2)).toStdString();
    if (!ReadWholeNumber<std::int32_t>(from, Sign::Allowed)) {
      return Problem{SettingRowControl(row, 1), QStringLiteral("From of %1 must be a whole number.").arg(name)};
    }
    if (!ReadWholeNumber<std::int32_t>(to, Sign::Allowed)) {
      return Problem{SettingRowControl(row, 2), QStringLiteral("To of %1 must be a whole number.").arg(name)};
    }
    plan.rows.push_back(row);
    plan.factorTexts.push_back(name.toStdString() + "=" + from + ":" + to +
                               (plan.kind == Kind::Sweep ? ":" + FieldText(SettingRowControl(row, 3)).toStdString() : ""));
    const std::optional<Problem> problem = plan.kind == Kind::Sweep       ? ReadSweepFactor(plan, row, name, from, to)
                                           : plan.kind == Kind::Screening ? ReadScreeningFactor(plan, row, name, from, to)
                                                                          : ReadFitFactor(plan, row, name, from, to);
    if (problem) return problem;
  }
  if (plan.rows.empty()) {
    return Problem{SettingRowControl(0, 0), QStringLiteral("Choose a setting to vary in the first row.")};
  }
  if (plan.kind != Kind::Screening) {
    const std::optional<int> replicates = ReadWholeNumber<int>(FieldText(kReplicates).toStdString());
    if (!replicates || *replicates < 1 || *replicates > 10000) {
      return Problem{kReplicates, QStringLiteral("Replicates must be a whole number from 1 to 10000.")};
    }
    plan.replicates = *replicates;
  } else if (plan.kind == Kind::Screening) {
    const std::optional<int> trajectories = ReadWholeNumber<int>(FieldText(kTrajectories).toStdString());
    if (!trajectories || *trajectories < 2 || *trajectories > 100000) {
      return Problem{kTrajectories, QStringLiteral("Trajectories must be a whole number from 2 to 100000.")};
    }
    plan.trajectories = *trajectories;
  }
  const QString seed = FieldText(kExperimentSeed);
  if (!seed.isEmpty()) {
    plan.seed = ReadWholeNumber<std::uint32_t>(seed.toStdString());
    if (!plan.seed) {
      return Problem{kExperimentSeed, QStringLiteral("The seed must be a whole number from 0 to 4294967295, or "
                                                     "empty for a new seed.")};
    }
    if (std::optional<std::string> problem = SeedRangeProblem(*plan.seed, static_cast<std::uint64_t>(plan.replicates))) {
      return Problem{kExperimentSeed, Text(*problem)};
    }
  }
  const QString statistics = FieldText(kStatistics);
  if (plan.kind == Kind::Fit) {
    const std::optional<std::int32_t> palms = ReadWholeNumber<std::int32_t>(FieldText(kFitPalms).toStdString());
    if (!palms || *palms < 1 || *palms > 1000000) {
      return Problem{kFitPalms, QStringLiteral("Palms must be a whole number from 1 to 1000000.")};
    }
    plan.palms = *palms;
    // A fit's candidates are as many as its grid, up to calibration's budget.
    plan.points = static_cast<std::size_t>(std::min(GridSize(plan.fits), 20000.0));
    plan.runs = plan.points * static_cast<std::size_t>(plan.replicates);
    return std::nullopt;
  }
  plan.statisticsText = statistics.toStdString();
  if (statistics.isEmpty()) {
    plan.statistics = plan.kind == Kind::Screening ? DefaultSensitivityStatistics() : DefaultRunStatistics();
  } else if (std::optional<std::string> problem = ParseStatistics(statistics.toStdString(), plan.statistics)) {
    // The reader speaks of the runner's --stat; here it is the Statistics field.
    QString text = Text(*problem);
    const qsizetype option = text.indexOf(QStringLiteral(" in --stat "));
    if (option >= 0) {
      const qsizetype end = text.indexOf(QLatin1Char(';'), option);
      text.remove(option, (end < 0 ? text.size() : end) - option);
    }
    return Problem{kStatistics, QStringLiteral("Statistics: ") + text + QLatin1Char('.')};
  }

  double points = 1;
  if (plan.kind == Kind::Sweep) {
    for (const SweepFactor& factor : plan.sweep) points *= static_cast<double>(factor.values.size());
  } else {
    points = static_cast<double>(plan.trajectories) * (static_cast<double>(plan.screening.size()) + 1);
  }
  const double runs = points * plan.replicates;
  if (runs > static_cast<double>(MaxRuns)) {
    return Problem{plan.kind == Kind::Screening ? kTrajectories : SettingRowControl(plan.rows.front(), 3),
                   QStringLiteral("That is %1 runs; the window runs up to %2. Take larger steps or fewer values, "
                                  "or run it with varnolt-cli.")
                       .arg(Grouped(static_cast<std::int64_t>(runs)), Grouped(MaxRuns))};
  }
  plan.points = static_cast<std::size_t>(points);
  plan.runs = static_cast<std::size_t>(runs);
  return std::nullopt;
}

void CPageExperiments::UpdatePlan() {
  if (!IsCreated()) return;
  Plan plan;
  QString text;
  if (std::optional<std::pair<int, QString>> problem = ReadPlan(plan)) {
    text = problem->second;
  } else if (plan.kind == Kind::Fit) {
    text = FitPlanText(plan);
  } else if (plan.kind == Kind::Sweep) {
    text = SweepPlanText(plan);
  } else {
    text = ScreeningPlanText(plan);
  }
  plan_ = text;
  if (auto* label = qobject_cast<QLabel*>(GetDlgItem(kPlan))) {
    label->setText(status_.isEmpty() ? plan_ : status_ + QLatin1Char('\n') + plan_);
  }
}

QString CPageExperiments::RefusedText(std::size_t refused, const std::string& first) {
  return refused == 0 ? QStringLiteral("The rules refuse none of the points")
                      : QStringLiteral("The rules refuse %1 (first: %2)")
                            .arg(Counted(static_cast<std::int64_t>(refused), "point", "points"), Text(first));
}

void CPageExperiments::Refuse(int controlId, const QString& message) {
  CurrentPrompts().Message(Window(), {message, QStringLiteral("Invalid data"), MessageIcon::Stop, MessageButtons::Ok});
  if (qobject_cast<QLineEdit*>(GetDlgItem(controlId))) {
    FocusAndSelect(controlId);
  } else if (QWidget* widget = GetDlgItem(controlId)) {
    widget->setFocus();
  }
}

void CPageExperiments::OnRun() {
  if (Sheet().RunInProgress()) return;
  Plan plan;
  if (std::optional<std::pair<int, QString>> problem = ReadPlan(plan)) {
    Refuse(problem->first, problem->second);
    return;
  }
  if (plan.kind == Kind::Sweep) RunSweep(plan);
  if (plan.kind == Kind::Screening) RunScreening(plan);
  if (plan.kind == Kind::Fit) RunFit(plan);
}

bool CPageExperiments::RunWithProgress(Kind kind, const QString& running, std::uint64_t total, Job::Work work,
                                       std::function<std::uint64_t()> done) {
  if (Sheet().RunJobWithProgress(running, total, std::move(work), std::move(done))) return true;
  static const char* const names[] = {"Sweep", "Screening", "Fit"};
  status_ = QStringLiteral("%1 cancelled; the previous results are still shown.")
                .arg(QLatin1String(names[static_cast<int>(kind)]));
  UpdatePlan();
  return false;
}

bool CPageExperiments::RunPointsWithProgress(Kind kind, const QString& running, std::span<const ExperimentPoint> points,
                                             std::vector<PointOutcome>& outcomes) {
  ExperimentControl control;
  std::vector<PointOutcome> ran;
  const bool completed = RunWithProgress(
      kind, running, points.size(),
      [&](std::stop_token stop, RunControl&) {
        control.stop = stop;
        ran = RunPoints(points, control);
      },
      [&control] { return control.pointsDone.load(); });
  if (completed) outcomes = std::move(ran);
  return completed;
}

void CPageExperiments::ShowNewResults(std::unique_ptr<Results> results) {
  history_.push_back(std::move(results));
  results_ = history_.back().get();
  status_ = results_->summary;
  if (auto* shown = qobject_cast<QComboBox*>(GetDlgItem(kShownExperiment))) {
    // The first sentence names it: "Sweep of 18 runs, seed 42 to 43".
    const QString name = results_->summary.section(QStringLiteral(". "), 0, 0).section(QLatin1Char(';'), 0, 0);
    shown->addItem(QStringLiteral("%1. %2").arg(history_.size()).arg(name));
    shown->setCurrentIndex(shown->count() - 1);
    shown->setToolTip(QStringLiteral("The experiments run since the window opened: choose one to see its results again."));
  }
  ShowResults();
  UpdatePlan();
}

}  // namespace varnolt
