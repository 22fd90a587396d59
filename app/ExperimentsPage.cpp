// The Experiments page: sweeps, screening and fits from the window, run as
// the runner runs them, shown in a grid and a chart.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "app/Pages.h"
#include "app/Sheet.h"
#include "calibration/Calibration.h"
#include "plot/PlotPicture.h"
#include "experiments/Experiments.h"
#include "platform/FileError.h"
#include "platform/FileIO.h"
#include "platform/Prompts.h"
#include "platform/WholeNumbers.h"
#include "plot/TablePicture.h"
#include "resources/Resources.h"
#include "results/ResultsGrid.h"
#include "results/ResultsTable.h"
#include "results/Statistics.h"
#include "settings/ValidationRules.h"

namespace varnolt {

using namespace control;

namespace {

constexpr int SettingRows = 4;
const QString NoSetting = QStringLiteral("(none)");
// The window runs experiments of up to this many runs; larger ones are the
// runner's, which can split them over machines.
constexpr std::size_t MaxRuns = 1000000;
constexpr int MorrisLevels = 4;
constexpr int MorrisBootstrap = 200;
const PictureSize SavedPictureSize{1600, 900};

QString Text(const std::string& text) { return QString::fromStdString(text); }
QString Grouped(std::int64_t count) { return Text(WithThousands(count)); }
QString Counted(std::int64_t count, const char* one, const char* many) {
  return Grouped(count) + QLatin1Char(' ') + QLatin1String(count == 1 ? one : many);
}

// A number as the grid shows it: four significant digits are plenty to read.
QString Shown(double value) { return std::isnan(value) ? QStringLiteral("-") : QString::number(value, 'g', 4); }
// A number in a CSV cell: the shortest text that reads back; empty for none.
std::string Cell(double value) { return std::isnan(value) ? std::string() : ShortestNumber(value); }

std::vector<const FieldInfo*> NumericSettings() {
  std::vector<const FieldInfo*> fields;
  for (const FieldInfo& field : RunSettingsFields()) {
    if (field.integer != nullptr) fields.push_back(&field);
  }
  return fields;
}

// The run every point starts from, for titles: "Plot 4, 100 cycles x 10 palms".
std::string BaseText(const RunSettings& settings) {
  std::string notes = QString::fromStdString(settings.runNotes).simplified().toStdString();
  std::string run = WithThousands(settings.cycleCount) + " cycles x " + WithThousands(settings.palmCount) + " palms";
  return notes.empty() ? run : notes + ", " + run;
}

}  // namespace

// What Run reads from the fields.
struct CPageExperiments::Plan {
  Kind kind = Kind::Sweep;
  RunSettings base;
  std::vector<SweepFactor> sweep;                // Sweep
  std::vector<SensitivityFactor> screening;      // Screening
  std::vector<FitRange> fits;                    // Fit
  std::vector<int> rows;                         // the rows the factors came from
  int replicates = 1;
  int trajectories = 20;
  std::optional<std::uint32_t> seed;
  std::vector<Statistic> statistics;
  std::size_t points = 0;  // design points
  std::size_t runs = 0;
};

// The results shown: the grid's table, what Export CSV writes, the charts.
struct CPageExperiments::Results {
  Kind kind = Kind::Sweep;
  QStringList header;
  std::vector<QStringList> rows;
  std::string csv;
  QString csvName;
  QString summary;
  std::vector<std::string> chartNames;  // per chart the statistic it shows
  std::vector<SettingPlot> settingPlots;
  std::vector<HeatMapPlot> heatMaps;
  std::vector<MorrisPanel> morris;
  std::vector<std::string> titles;
  // A fit: its picture, and the fitted settings with their best values.
  std::optional<FitPicture> fit;
  std::vector<std::string> fitted;
  std::vector<std::int32_t> best;
};

CPageExperiments::CPageExperiments() : CSettingsPage(resource::IDD_EXPERIMENTS), chart_(new CPictureView) {
  OnNotification(Notification::ListSelectionChange, kExperimentKind, [this] { OnKindChanged(); });
  OnNotification(Notification::ButtonClicked, kRunExperiment, [this] { OnRun(); });
  OnNotification(Notification::ButtonClicked, kExportTable, [this] { OnExportCsv(); });
  OnNotification(Notification::ButtonClicked, kSaveChart, [this] { OnSavePicture(); });
  OnNotification(Notification::ButtonClicked, kCopyTable, [this] { OnCopy(); });
  OnNotification(Notification::ButtonClicked, kOpenCensus, [this] { OnOpenCensus(); });
  OnNotification(Notification::ButtonClicked, kUseFitted, [this] { OnUseFitted(); });
  OnNotification(Notification::ListSelectionChange, kChartChoice, [this] { ShowChart(); });
  for (int row = 0; row < SettingRows; ++row) {
    OnNotification(Notification::ListSelectionChange, SettingRowControl(row, 0), [this, row] { OnSettingChosen(row); });
    OnNotification(Notification::EditChange, SettingRowControl(row, 1), SettingRowControl(row, 3),
                   [this] { UpdatePlan(); });
  }
  OnNotification(Notification::EditChange, kReplicates, kTrajectories, [this] { UpdatePlan(); });
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
    // About ten values between the bounds to begin with.
    const std::int64_t span = static_cast<std::int64_t>(range.high) - range.low;
    const std::int64_t step = std::max<std::int64_t>(1, (span + 9) / 10);
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
    if (plan.kind == Kind::Sweep) {
      const std::string step = FieldText(SettingRowControl(row, 3)).toStdString();
      SweepFactor factor;
      const std::optional<std::int32_t> stepValue = ReadWholeNumber<std::int32_t>(step);
      if (!stepValue || *stepValue < 1) {
        return Problem{SettingRowControl(row, 3),
                       QStringLiteral("Step of %1 must be a whole number, 1 or more.").arg(name)};
      }
      if (ParseSweepFactor(name.toStdString() + "=" + from + ":" + to + ":" + step, factor)) {
        return Problem{SettingRowControl(row, 3),
                       QStringLiteral("%1 from %2 to %3 by %4 takes more than a million values; take a larger step.")
                           .arg(name, Text(from), Text(to), Text(step))};
      }
      plan.sweep.push_back(std::move(factor));
    } else if (plan.kind == Kind::Screening) {
      SensitivityFactor factor;
      if (std::optional<std::string> problem = ParseSensitivityFactor(name.toStdString() + "=" + from + ":" + to, factor)) {
        return Problem{SettingRowControl(row, 2), QStringLiteral("To of %1 must be greater than From.").arg(name)};
      }
      plan.screening.push_back(std::move(factor));
    } else {
      FitRange fit;
      if (std::optional<std::string> problem = ParseFitRange(name.toStdString() + "=" + from + ":" + to, fit)) {
        return Problem{SettingRowControl(row, 2), QStringLiteral("To of %1 must be From or more.").arg(name)};
      }
      plan.fits.push_back(std::move(fit));
    }
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
    // A fit's candidates are as many as its grid, up to calibration's budget.
    plan.points = static_cast<std::size_t>(std::min(GridSize(plan.fits), 20000.0));
    plan.runs = plan.points * static_cast<std::size_t>(plan.replicates);
    return std::nullopt;
  }
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

QString CPageExperiments::PlanText() const { return plan_; }

void CPageExperiments::UpdatePlan() {
  if (!IsCreated()) return;
  Plan plan;
  QString text;
  if (std::optional<std::pair<int, QString>> problem = ReadPlan(plan)) {
    text = problem->second;
  } else if (plan.kind == Kind::Fit) {
    const double grid = GridSize(plan.fits);
    text = QStringLiteral("Fit of %1 to ").arg(Counted(static_cast<std::int64_t>(plan.fits.size()), "setting", "settings"));
    text += census_ ? censusName_ : QStringLiteral("a census (open one first)");
    text += grid <= 20000 ? QStringLiteral(": the whole grid of %1").arg(Counted(static_cast<std::int64_t>(grid), "candidate", "candidates"))
                          : QStringLiteral(": %1 candidates, searched by the optimiser in up to 20,000")
                                .arg(QString::number(grid, 'g', 3));
    text += QStringLiteral(", each %1 of %2, %3.")
                .arg(Counted(plan.replicates, "run", "runs"))
                .arg(Text(WithThousands(plan.base.palmCount)) + QStringLiteral(" palms"),
                     QStringLiteral("up to the census's last cycle"));
  } else {
    // The points the rules refuse, counted as a dry run would.
    std::size_t refused = 0;
    std::string first;
    std::vector<RunSettings> settings;
    if (plan.kind == Kind::Sweep) {
      settings = MakeSweepDesign(plan.base, plan.sweep).settings;
    } else {
      std::vector<std::vector<double>> used;
      const MorrisDesign design =
          MakeMorrisDesign(static_cast<int>(plan.screening.size()), plan.trajectories, MorrisLevels, plan.seed.value_or(0));
      settings = SensitivitySettings(plan.base, plan.screening, design.points, true, used);
    }
    for (const RunSettings& point : settings) {
      if (const ValidationRule* rule = FirstFailedRule(point)) {
        if (refused++ == 0) first = RuleFailureLine(*rule, point);
      }
    }
    text = plan.kind == Kind::Sweep
               ? QStringLiteral("%1 x %2 = %3 of %4.")
                     .arg(Counted(static_cast<std::int64_t>(plan.points), "point", "points"),
                          Counted(plan.replicates, "replicate", "replicates"),
                          Counted(static_cast<std::int64_t>(plan.runs), "run", "runs"), Text(BaseText(plan.base)))
               : QStringLiteral("%1 x %2 = %3 of %4.")
                     .arg(Counted(static_cast<std::int64_t>(plan.screening.size()), "setting", "settings"),
                          Counted(plan.trajectories, "trajectory", "trajectories"),
                          Counted(static_cast<std::int64_t>(plan.runs), "run", "runs"), Text(BaseText(plan.base)));
    text += QLatin1Char(' ');
    text += refused == 0 ? QStringLiteral("The rules refuse none of the points")
                         : QStringLiteral("The rules refuse %1 (first: %2)")
                               .arg(Counted(static_cast<std::int64_t>(refused), "point", "points"), Text(first));
    // Morris's points come from the seed: without one, these are seed 0's.
    text += plan.kind == Kind::Screening && !plan.seed ? QStringLiteral(" with seed 0's trajectories.")
                                                       : QStringLiteral(".");
  }
  plan_ = text;
  if (auto* label = qobject_cast<QLabel*>(GetDlgItem(kPlan))) {
    label->setText(status_.isEmpty() ? plan_ : status_ + QLatin1Char('\n') + plan_);
  }
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

namespace {

// Runs the points as a job of the sheet: false when it was stopped.
bool RunPointsWithProgress(CSheet& sheet, const QString& text, std::span<const ExperimentPoint> points,
                           std::vector<PointOutcome>& outcomes) {
  ExperimentControl control;
  std::vector<PointOutcome> ran;
  const bool completed = sheet.RunJobWithProgress(
      text, points.size(),
      [&](std::stop_token stop, RunControl&) {
        control.stop = stop;
        ran = RunPoints(points, control);
      },
      [&control] { return control.pointsDone.load(); });
  if (completed) outcomes = std::move(ran);
  return completed;
}

std::optional<double> ValueOf(const PointOutcome& outcome, Statistic statistic) {
  if (outcome.status != PointStatus::Ran) return std::nullopt;
  return StatisticValue(outcome.analysis, statistic);
}

}  // namespace

void CPageExperiments::RunSweep(Plan& plan) {
  CSheet& sheet = Sheet();
  const std::uint32_t seed = plan.seed ? *plan.seed : sheet.seedSource();
  const SweepDesign design = MakeSweepDesign(plan.base, plan.sweep);
  const auto replicates = static_cast<std::size_t>(plan.replicates);
  std::vector<ExperimentPoint> points;
  for (const RunSettings& settings : design.settings) {
    for (std::size_t r = 0; r < replicates; ++r) points.push_back({settings, seed + static_cast<std::uint32_t>(r)});
  }
  std::vector<PointOutcome> outcomes;
  const QString running = QStringLiteral("Sweep: %1 of %2").arg(Counted(static_cast<std::int64_t>(points.size()), "run", "runs"),
                                                                   Text(BaseText(plan.base)));
  if (!RunPointsWithProgress(sheet, running, points, outcomes)) {
    status_ = QStringLiteral("Sweep cancelled; the previous results are still shown.");
    UpdatePlan();
    return;
  }

  auto results = std::make_unique<Results>();
  results->kind = Kind::Sweep;
  std::vector<std::string> leadColumns;
  for (const SweepFactor& factor : plan.sweep) leadColumns.push_back(factor.name);
  // The table exactly as `varnolt-cli sweep --csv` writes it.
  results->csv = RunTableHeader(leadColumns, plan.statistics);
  for (std::size_t i = 0; i < points.size(); ++i) {
    const std::size_t d = i / replicates;
    results->csv += RunTableRow(d + 1, true, design.leadCells[d], i % replicates + 1, points[i].seed, outcomes[i],
                                plan.statistics);
  }
  results->csvName = QStringLiteral("sweep.csv");

  // One grid row per point: its values, the replicates' mean of each
  // statistic (with its 95 % interval), and what refused it.
  results->header << QStringLiteral("Point");
  for (const std::string& name : leadColumns) results->header << Text(name);
  for (Statistic statistic : plan.statistics) {
    results->header << Text(InfoOf(statistic).name) + (replicates > 1 ? QStringLiteral(" (95 % CI)") : QString());
  }
  results->header << QStringLiteral("Note");
  std::size_t refused = 0, failed = 0;
  for (std::size_t d = 0; d < design.settings.size(); ++d) {
    QStringList row{QString::number(d + 1)};
    for (const QString& value : Text(design.leadCells[d]).split(QLatin1Char(','))) row << value;
    const std::span<const PointOutcome> mine(outcomes.data() + d * replicates, replicates);
    for (Statistic statistic : plan.statistics) {
      std::vector<std::optional<double>> values;
      for (const PointOutcome& outcome : mine) values.push_back(ValueOf(outcome, statistic));
      const StatisticSummary summary = SummariseValues(values);
      QString cell = summary.count == 0 ? QStringLiteral("-") : Shown(summary.mean);
      if (summary.count > 1) cell += QStringLiteral(" \u00b1 ") + Shown(summary.ci95);
      row << cell;
    }
    QString note;
    if (mine.front().status == PointStatus::Invalid) {
      note = QStringLiteral("refused: ") + Text(mine.front().message);
      ++refused;
    } else if (mine.front().status == PointStatus::Failed) {
      note = QStringLiteral("failed: ") + Text(mine.front().message);
      ++failed;
    }
    row << note;
    results->rows.push_back(row);
  }

  // A chart per statistic: against the setting, or a heat map over two.
  for (Statistic statistic : plan.statistics) {
    const std::string name = InfoOf(statistic).name;
    results->chartNames.push_back(name);
    if (plan.sweep.size() == 1) {
      SettingPlot plot;
      plot.setting = plan.sweep[0].name;
      StatisticSeries series;
      series.name = name;
      for (std::size_t d = 0; d < design.settings.size(); ++d) {
        const double x = plan.sweep[0].values[d];
        std::vector<std::optional<double>> values;
        for (std::size_t r = 0; r < replicates; ++r) {
          const PointOutcome& outcome = outcomes[d * replicates + r];
          values.push_back(ValueOf(outcome, statistic));
          if (values.back()) series.pointX.push_back(x), series.pointY.push_back(*values.back());
        }
        const StatisticSummary summary = SummariseValues(values);
        if (summary.count > 0) {
          series.x.push_back(x);
          series.mean.push_back(summary.mean);
          series.low.push_back(summary.mean - summary.ci95);
          series.high.push_back(summary.mean + summary.ci95);
        } else if (outcomes[d * replicates].status == PointStatus::Invalid) {
          plot.refusedX.push_back(x);
        }
      }
      // In order of the setting, so the band and the line run left to right.
      std::vector<std::size_t> order(series.x.size());
      for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
      std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return series.x[a] < series.x[b]; });
      StatisticSeries sorted = series;
      for (std::size_t i = 0; i < order.size(); ++i) {
        sorted.x[i] = series.x[order[i]], sorted.mean[i] = series.mean[order[i]];
        sorted.low[i] = series.low[order[i]], sorted.high[i] = series.high[order[i]];
      }
      plot.series.push_back(std::move(sorted));
      results->settingPlots.push_back(std::move(plot));
      results->titles.push_back(name + " against " + plan.sweep[0].name + " (mean of " +
                                std::to_string(replicates) + (replicates == 1 ? " run" : " replicates") +
                                "): " + BaseText(plan.base) + ", seed " + std::to_string(seed));
    } else {
      HeatMapPlot plot;
      plot.xSetting = plan.sweep[0].name;
      plot.ySetting = plan.sweep[1].name;
      plot.statistic = name;
      std::set<std::int32_t> xs(plan.sweep[0].values.begin(), plan.sweep[0].values.end());
      std::set<std::int32_t> ys(plan.sweep[1].values.begin(), plan.sweep[1].values.end());
      plot.xs.assign(xs.begin(), xs.end());
      plot.ys.assign(ys.begin(), ys.end());
      plot.means.assign(plot.xs.size() * plot.ys.size(), std::nullopt);
      plot.refused.assign(plot.means.size(), false);
      std::map<std::int32_t, std::size_t> column, line;
      for (std::size_t c = 0; c < plot.xs.size(); ++c) column[static_cast<std::int32_t>(plot.xs[c])] = c;
      for (std::size_t r = 0; r < plot.ys.size(); ++r) line[static_cast<std::int32_t>(plot.ys[r])] = r;
      const std::vector<std::vector<std::int32_t>> levels = FactorialLevels(plan.sweep);
      for (std::size_t d = 0; d < levels.size(); ++d) {
        const std::size_t cell = line[levels[d][1]] * plot.xs.size() + column[levels[d][0]];
        std::vector<std::optional<double>> values;
        for (std::size_t r = 0; r < replicates; ++r) values.push_back(ValueOf(outcomes[d * replicates + r], statistic));
        const StatisticSummary summary = SummariseValues(values);
        if (summary.count > 0) plot.means[cell] = summary.mean;
        plot.refused[cell] = outcomes[d * replicates].status == PointStatus::Invalid;
      }
      results->heatMaps.push_back(std::move(plot));
      results->titles.push_back(name + " over " + plan.sweep[0].name + " and " + plan.sweep[1].name + " (mean of " +
                                std::to_string(replicates) + (replicates == 1 ? " run" : " replicates") +
                                "): " + BaseText(plan.base) + ", seed " + std::to_string(seed));
    }
  }
  results->summary = QStringLiteral("Sweep of %1, seed %2").arg(Counted(static_cast<std::int64_t>(points.size()), "run", "runs")).arg(seed);
  if (replicates > 1) results->summary += QStringLiteral(" to %1").arg(seed + static_cast<std::uint32_t>(replicates - 1));
  if (refused > 0) results->summary += QStringLiteral("; %1 refused by the rules").arg(Counted(static_cast<std::int64_t>(refused), "point", "points"));
  if (failed > 0) results->summary += QStringLiteral("; %1 failed").arg(Counted(static_cast<std::int64_t>(failed), "point", "points"));
  results->summary += QLatin1Char('.');
  results_ = std::move(results);
  status_ = results_->summary;
  ShowResults();
  UpdatePlan();
}

void CPageExperiments::RunScreening(Plan& plan) {
  CSheet& sheet = Sheet();
  const std::uint32_t seed = plan.seed ? *plan.seed : sheet.seedSource();
  const int k = static_cast<int>(plan.screening.size());
  const MorrisDesign design = MakeMorrisDesign(k, plan.trajectories, MorrisLevels, seed);
  std::vector<std::vector<double>> used;
  std::vector<ExperimentPoint> points;
  for (RunSettings& settings : SensitivitySettings(plan.base, plan.screening, design.points, true, used)) {
    points.push_back({std::move(settings), seed});
  }
  std::vector<PointOutcome> outcomes;
  const QString running = QStringLiteral("Screening: %1 of %2")
                              .arg(Counted(static_cast<std::int64_t>(points.size()), "run", "runs"),
                                   Text(BaseText(plan.base)));
  if (!RunPointsWithProgress(sheet, running, points, outcomes)) {
    status_ = QStringLiteral("Screening cancelled; the previous results are still shown.");
    UpdatePlan();
    return;
  }

  auto results = std::make_unique<Results>();
  results->kind = Kind::Screening;
  results->csvName = QStringLiteral("screening.csv");
  // The indices as `varnolt-cli sensitivity --method morris --csv` writes them.
  results->csv = "output,factor,mu,muStar,muStarLow,muStarHigh,sigma,effects\n";
  results->header << QStringLiteral("Statistic") << QStringLiteral("Setting") << QStringLiteral("mu*")
                  << QStringLiteral("mu* 95 % interval") << QStringLiteral("sigma") << QStringLiteral("mu")
                  << QStringLiteral("Effects");
  std::size_t lost = 0;
  for (const PointOutcome& outcome : outcomes) lost += outcome.status == PointStatus::Ran ? 0 : 1;
  for (Statistic statistic : plan.statistics) {
    const std::string name = InfoOf(statistic).name;
    const PointOutputs outputs = OutputsOfPoints(outcomes, 1, statistic);
    const std::vector<MorrisIndex> indices = MorrisIndices(k, used, outputs.values, MorrisBootstrap, seed);
    std::vector<int> order(static_cast<std::size_t>(k));
    for (int f = 0; f < k; ++f) order[f] = f;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return indices[a].muStar > indices[b].muStar; });
    MorrisPanel panel;
    panel.statistic = name;
    for (int f : order) {
      const MorrisIndex& m = indices[f];
      const std::string& factor = plan.screening[f].name;
      results->csv += name + "," + factor + "," + Cell(m.mu) + "," + Cell(m.muStar) + "," + Cell(m.muStarLow) + "," +
                      Cell(m.muStarHigh) + "," + Cell(m.sigma) + "," + std::to_string(m.effects) + "\n";
      results->rows.push_back({Text(name), Text(factor), Shown(m.muStar),
                               Shown(m.muStarLow) + QStringLiteral(" to ") + Shown(m.muStarHigh), Shown(m.sigma),
                               Shown(m.mu), QString::number(m.effects)});
      if (m.effects > 0) panel.factors.push_back({factor, m.muStar, m.muStarLow, m.muStarHigh, m.sigma});
    }
    results->chartNames.push_back(name);
    results->morris.push_back(std::move(panel));
    results->titles.push_back("Morris screening of " + name + " (" + std::to_string(plan.trajectories) +
                              " trajectories): " + BaseText(plan.base) + ", seed " + std::to_string(seed));
  }
  results->summary = QStringLiteral("Screening of %1 from %2, seed %3")
                         .arg(Counted(k, "setting", "settings"), Counted(static_cast<std::int64_t>(outcomes.size()), "run", "runs"))
                         .arg(seed);
  if (lost > 0) results->summary += QStringLiteral("; %1 refused or failed and left out").arg(Counted(static_cast<std::int64_t>(lost), "run", "runs"));
  results->summary += QStringLiteral(". Effects are per whole range of each setting.");
  results_ = std::move(results);
  status_ = results_->summary;
  ShowResults();
  UpdatePlan();
}

void CPageExperiments::ShowResults() {
  grid_.RemoveAllCells();
  const bool any = results_ != nullptr;
  const int columns = any ? static_cast<int>(results_->header.size()) : 1;
  const int rows = any ? static_cast<int>(results_->rows.size()) + 1 : 1;
  grid_.SetRowTotal(rows);
  grid_.SetColumnTotal(columns);
  grid_.SetHeaderRowTotal(1);
  grid_.SetHeaderColumnTotal(any ? 1 : 0);
  const auto put = [this](int row, int column, const QString& text) {
    grid_.PutCellText(row, column, text);
    grid_.PutCellState(row, column, grid_.CellStateAt(row, column) | CellStateReadOnly);
  };
  if (!any) {
    put(0, 0, QStringLiteral("Results"));
  } else {
    for (int column = 0; column < columns; ++column) put(0, column, results_->header[column]);
    for (int row = 1; row < rows; ++row) {
      const QStringList& cells = results_->rows[static_cast<std::size_t>(row - 1)];
      for (int column = 0; column < columns && column < cells.size(); ++column) put(row, column, cells[column]);
    }
    for (int column = 0; column < columns; ++column) grid_.FitColumnToText(column);
  }
  if (!any) grid_.FitColumnsToClient(true);
  grid_.update();

  auto* choice = qobject_cast<QComboBox*>(GetDlgItem(kChartChoice));
  if (choice != nullptr) {
    choice->clear();
    if (any) {
      for (const std::string& name : results_->chartNames) choice->addItem(Text(name));
    }
  }
  for (int id : {kExportTable, kSaveChart, kCopyTable, kChartChoice}) EnableControl(id, any);
  EnableControl(kUseFitted, any && !results_->fitted.empty());
  ShowChart();
}

void CPageExperiments::ShowChart() {
  auto* choice = qobject_cast<QComboBox*>(GetDlgItem(kChartChoice));
  const int index = choice != nullptr ? choice->currentIndex() : -1;
  if (!results_ || index < 0 || static_cast<std::size_t>(index) >= results_->chartNames.size()) {
    chart_->SetDrawing({}, QStringLiteral("Run an experiment: its chart shows here."));
    return;
  }
  const auto i = static_cast<std::size_t>(index);
  chart_->SetDrawing([this, i](PictureSize size, std::string& bytes) {
    // Titles on the page are shorter than on saved pictures: the page names its run above.
    return PictureBytes([&](const std::filesystem::path& path) { return WriteChart(i, path, size, results_->chartNames[i]); },
                        PictureFormat::Png, bytes);
  });
}

std::optional<std::string> CPageExperiments::WriteChart(std::size_t chart, const std::filesystem::path& path,
                                                        PictureSize size, const std::string& title) const {
  if (results_->fit) {
    FitPicture picture = *results_->fit;
    picture.title = title;
    return WriteFitPicture(picture, path, size);
  }
  if (!results_->settingPlots.empty()) return WriteSettingPicture(results_->settingPlots[chart], path, size, title);
  if (!results_->heatMaps.empty()) return WriteHeatMapPicture(results_->heatMaps[chart], path, size, title);
  return WriteMorrisPicture({results_->morris[chart]}, path, size, title);
}

std::string CPageExperiments::ResultsCsv() const { return results_ ? results_->csv : std::string(); }

void CPageExperiments::ReportFileProblem(const QString& caption, const QString& path, const QString& reason) {
  CurrentPrompts().Message(Window(), {QStringLiteral("\"%1\" could not be written:\n%2.\nAny earlier file there is "
                                                     "unchanged.")
                                          .arg(path, reason),
                                      caption, MessageIcon::Warning, MessageButtons::Ok});
}

void CPageExperiments::OnExportCsv() {
  if (!results_) return;
  const std::optional<QString> path = CurrentPrompts().ChooseFile(
      Window(), SaveFileRequest(QStringLiteral("CSV files (*.csv)|*.csv|All files (*.*)|*.*|"), QStringLiteral("csv"),
                           results_->csvName));
  if (!path) return;
  if (std::optional<FileError> error = ReplaceFileContents(PathFromUtf8(path->toStdString()), results_->csv)) {
    ReportFileProblem(QStringLiteral("CSV not saved"), *path, Text(FileErrorText(*error)));
  }
}

void CPageExperiments::OnSavePicture() {
  auto* choice = qobject_cast<QComboBox*>(GetDlgItem(kChartChoice));
  if (!results_ || choice == nullptr || choice->currentIndex() < 0) return;
  const auto i = static_cast<std::size_t>(choice->currentIndex());
  const std::optional<QString> path = CurrentPrompts().ChooseFile(
      Window(), SaveFileRequest(QStringLiteral("PNG picture (*.png)|*.png|SVG picture (*.svg)|*.svg|"), QStringLiteral("png"),
                           Text(results_->chartNames[i]) + QStringLiteral(".png")));
  if (!path) return;
  const std::filesystem::path target = PathFromUtf8(path->toStdString());
  if (std::optional<std::string> failure = WriteChart(i, target, SavedPictureSize, results_->titles[i])) {
    ReportFileProblem(QStringLiteral("Picture not saved"), *path, Text(*failure));
  }
}

void CPageExperiments::OnCopy() {
  if (!results_) return;
  QString text = results_->header.join(QLatin1Char('\t')) + QLatin1Char('\n');
  for (const QStringList& row : results_->rows) text += row.join(QLatin1Char('\t')) + QLatin1Char('\n');
  QGuiApplication::clipboard()->setText(text);
}

void CPageExperiments::RunFit(Plan& plan) {
  if (!census_) {
    Refuse(kOpenCensus, QStringLiteral("Open a census first: a CSV of cycles with the percentages observed, as "
                                       "varnolt-cli calibrate reads it."));
    return;
  }
  CSheet& sheet = Sheet();
  CalibrationRequest request;
  request.base = plan.base;
  request.fits = plan.fits;
  request.census = *census_;
  request.seed = plan.seed ? *plan.seed : sheet.seedSource();
  request.palms = plan.base.palmCount;
  request.replicates = plan.replicates;
  if (std::optional<std::string> problem = CheckCalibrationRequest(request)) {
    Refuse(SettingRowControl(plan.rows.front(), 0), Text(*problem) + QLatin1Char('.'));
    return;
  }
  CalibrationControl control;
  CalibrationResult result;
  const QString running = QStringLiteral("Fit: %1 of %2 palms, up to cycle %3")
                              .arg(Counted(static_cast<std::int64_t>(plan.points), "candidate", "candidates"),
                                   Grouped(request.palms))
                              .arg(request.census.LastCycle());
  const bool completed = sheet.RunJobWithProgress(
      running, plan.points,
      [&](std::stop_token stop, RunControl&) {
        control.stop = stop;
        result = Calibrate(request, control);
      },
      [&control] { return control.evaluations.load(); });
  if (!completed || result.stopped) {
    status_ = QStringLiteral("Fit cancelled; the previous results are still shown.");
    UpdatePlan();
    return;
  }
  if (!result.failure.empty()) {
    CurrentPrompts().Message(Window(), {QStringLiteral("Nothing was fitted: ") + Text(result.failure) + QLatin1Char('.'),
                                        QStringLiteral("Fit to a census"), MessageIcon::Warning, MessageButtons::Ok});
    return;
  }

  auto results = std::make_unique<Results>();
  results->kind = Kind::Fit;
  results->csv = EvaluationsCsv(request, result);
  results->csvName = QStringLiteral("fit-evaluations.csv");
  results->header << QStringLiteral("Setting") << QStringLiteral("Best") << QStringLiteral("Fits as well")
                  << QStringLiteral("Searched") << QStringLiteral("What the census says");
  for (std::size_t f = 0; f < request.fits.size(); ++f) {
    const FitRange& fit = request.fits[f];
    const SettingProfile& profile = result.profiles[f];
    results->rows.push_back({Text(fit.name), QString::number(result.best[f]),
                             QStringLiteral("%1 to %2").arg(profile.fitLow).arg(profile.fitHigh),
                             QStringLiteral("%1 to %2").arg(fit.low).arg(fit.high),
                             Text(DeterminedText(fit, profile, result.best[f]))});
    results->fitted.push_back(fit.name);
    results->best.push_back(result.best[f]);
  }
  // The census over the best settings' cycles, up to its last cycle.
  FitPicture picture;
  const auto last = std::min<std::size_t>(static_cast<std::size_t>(request.census.LastCycle()), result.bestCycles.size());
  picture.cycles.assign(result.bestCycles.begin(), result.bestCycles.begin() + static_cast<std::ptrdiff_t>(last));
  CyclePlotView::Observed observed;
  for (const CensusRow& row : request.census.rows) {
    for (int s = 0; s < CensusSeriesCount; ++s) {
      if (!row.percent[s]) continue;
      picture.observed[s].push_back({static_cast<double>(row.cycle), *row.percent[s]});
      observed[s].push_back(QPointF(static_cast<double>(row.cycle), *row.percent[s]));
    }
  }
  std::string bestText;
  for (std::size_t f = 0; f < request.fits.size(); ++f) {
    bestText += (f == 0 ? "" : ", ") + request.fits[f].name + " " + std::to_string(result.best[f]);
  }
  QString fitLine = QStringLiteral("RMSE %1 points over %2").arg(result.fit.rmse, 0, 'f', 2).arg(
      Counted(static_cast<std::int64_t>(result.fit.cells), "observed cell", "observed cells"));
  QStringList nse;
  for (int s = 0; s < CensusSeriesCount; ++s) {
    const SeriesFit& series = result.fit.series[s];
    if (series.cells > 0 && !std::isnan(series.nse)) {
      nse << QStringLiteral("%1 %2").arg(QLatin1String(CensusSeriesNames[s])).arg(series.nse, 0, 'f', 2);
    }
  }
  fitLine += nse.isEmpty() ? QStringLiteral("; no series varies enough for an NSE") : QStringLiteral("; NSE ") + nse.join(QStringLiteral(", "));
  picture.title = "Census and best fit: " + bestText + " (RMSE " + QString::number(result.fit.rmse, 'f', 2).toStdString() +
                  " points)";
  results->fit = picture;
  results->chartNames.push_back("census and best fit");
  results->titles.push_back(picture.title + ", seed " + std::to_string(request.seed));
  results->summary = QStringLiteral("Fit by %1: %2 in %3 s, seed %4. Best: %5. %6.")
                         .arg(QLatin1String(SearchMethodName(result.method)),
                              Counted(static_cast<std::int64_t>(result.evaluations.size()), "candidate", "candidates"))
                         .arg(result.seconds, 0, 'f', 2)
                         .arg(request.seed)
                         .arg(Text(bestText), fitLine);
  sheet.pagePlot.ShowFit(picture.cycles, observed, Text(picture.title), fitLine);
  results_ = std::move(results);
  status_ = results_->summary + QStringLiteral(" The Plot page shows the census over the fit.");
  ShowResults();
  UpdatePlan();
}

void CPageExperiments::OnOpenCensus() {
  FileDialogRequest request;
  request.mode = FileDialogMode::Open;
  request.filter = QStringLiteral("CSV files (*.csv)|*.csv|All files (*.*)|*.*|");
  request.defaultExtension = QStringLiteral("csv");
  const std::optional<QString> path = CurrentPrompts().ChooseFile(Window(), request);
  if (path) OpenCensus(*path);
}

bool CPageExperiments::OpenCensus(const QString& path) {
  const auto refuse = [this](const QString& text) {
    CurrentPrompts().Message(Window(), {text + QStringLiteral("\nThe census before it, if any, is still the one fitted."),
                                        QStringLiteral("Census not read"), MessageIcon::Warning, MessageButtons::Ok});
    return false;
  };
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return refuse(QStringLiteral("\"%1\" could not be read: %2.").arg(path, file.errorString()));
  }
  const QByteArray bytes = file.readAll();
  const QString name = QFileInfo(path).fileName();
  CensusRead read = ReadCensus(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                               name.toStdString());
  if (!read.error.empty()) return refuse(Text(read.error) + QLatin1Char('.'));
  census_ = std::make_unique<Census>(std::move(read.census));
  censusName_ = name;
  if (auto* label = qobject_cast<QLabel*>(GetDlgItem(kCensusName))) {
    // The name on a line of its own, shortened in the middle when it is long.
    label->setText(QStringLiteral("%1\n%2, to cycle %3")
                       .arg(label->fontMetrics().elidedText(name, Qt::ElideMiddle, label->width()),
                            Counted(static_cast<std::int64_t>(census_->ObservedCells()), "cell", "cells"))
                       .arg(census_->LastCycle()));
    label->setToolTip(path);
  }
  UpdatePlan();
  return true;
}

void CPageExperiments::OnUseFitted() {
  if (!results_ || results_->fitted.empty()) return;
  RunSettings& settings = Settings();
  QStringList values;
  for (std::size_t f = 0; f < results_->fitted.size(); ++f) {
    settings.*(FindField(results_->fitted[f])->integer) = results_->best[f];
    values << QStringLiteral("%1 %2").arg(Text(results_->fitted[f])).arg(results_->best[f]);
  }
  MarkModified();
  status_ = QStringLiteral("The settings now hold the fitted values (%1); File > Save keeps them.")
                .arg(values.join(QStringLiteral(", ")));
  UpdatePlan();
}

}  // namespace varnolt
