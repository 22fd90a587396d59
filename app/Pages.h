#pragma once
// The eleven pages of the main window, in tab order. Each input page edits its
// own fields of the sheet's one RunSettings through its data exchange and marks
// the settings modified on every change the user makes.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/PictureView.h"
#include "grid/GridCtrl.h"
#include "plot/CyclePlot.h"
#include "platform/PropertyPage.h"
#include "resources/SettingControls.h"
#include "experiments/Experiments.h"
#include "run/Job.h"
#include "run/RunDriver.h"
#include "settings/RunSettings.h"

namespace varnolt {

class CSheet;

// What the input pages share: the way to the sheet, its settings and the one
// handler that marks them modified.
class CSettingsPage : public CPropertyPage {
  Q_OBJECT
 public:
  explicit CSettingsPage(int templateId);

 protected:
  CSheet& Sheet() const;
  RunSettings& Settings() const;
  void MarkModified();
  // Every edit in the list marks the settings modified when its text changes.
  void MarkModifiedOnEditChange(std::initializer_list<int> editIds);
};

class CPageNum : public CSettingsPage {
  Q_OBJECT
 public:
  CPageNum();

 protected:
  void DoDataExchange(CDataExchange* dx) override;
};

class CPageFronds : public CSettingsPage {
  Q_OBJECT
 public:
  CPageFronds();

 protected:
  void DoDataExchange(CDataExchange* dx) override;
};

class CPageSex : public CSettingsPage {
  Q_OBJECT
 public:
  CPageSex();
  bool OnInitDialog() override;

 protected:
  void DoDataExchange(CDataExchange* dx) override;
};

class CPageTh : public CSettingsPage {
  Q_OBJECT
 public:
  CPageTh();

 protected:
  void DoDataExchange(CDataExchange* dx) override;
};

// A treatment page: a check box that switches the treatment on, and edits for
// its values that are enabled only while it is on. Disabled edits keep their
// values.
class CTreatmentPage : public CSettingsPage {
  Q_OBJECT
 public:
  bool OnSetActive() override;
  // The enabling rule: the value edits follow the switch.
  void EnableValueEdits();

 protected:
  CTreatmentPage(int templateId, std::int32_t RunSettings::*treatmentSwitch, int checkBoxId,
                 std::initializer_list<int> valueEditIds);
  void OnCheckBoxClicked();

 private:
  std::int32_t RunSettings::*treatmentSwitch_;
  std::vector<int> valueEditIds_;
};

class CPageLeaf : public CTreatmentPage {
  Q_OBJECT
 public:
  CPageLeaf();

 protected:
  void DoDataExchange(CDataExchange* dx) override;
};

class CPageTrend : public CTreatmentPage {
  Q_OBJECT
 public:
  CPageTrend();

 protected:
  void DoDataExchange(CDataExchange* dx) override;
};

class CPageIrrig : public CTreatmentPage {
  Q_OBJECT
 public:
  CPageIrrig();

 protected:
  void DoDataExchange(CDataExchange* dx) override;
};

class CPageFlower : public CTreatmentPage {
  Q_OBJECT
 public:
  CPageFlower();

 protected:
  void DoDataExchange(CDataExchange* dx) override;
};

class CPageOutput : public CSettingsPage {
  Q_OBJECT
 public:
  CPageOutput();

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  void OnBrowse();
};

// The RUN MODEL page: the note, the Run button and the results grid. Run checks
// the settings, runs the model, writes the report and shows the results; the
// grid is rebuilt from the last run's results every time the page is shown.
class CPageResults : public CSettingsPage {
  Q_OBJECT
 public:
  CPageResults();
  bool OnInitDialog() override;
  bool OnSetActive() override;
  // Enter and Escape go straight to the control that has the focus (the grid
  // and its cell editor use them) and never reach the sheet.
  bool PreTranslateMessage(QObject* receiver, QKeyEvent* event) override;
  // The grid grew or shrank with the window: its columns fill it again.
  void OnSize() override;

  // Rebuilds the grid from the model's results (the header row alone before
  // any run).
  void FillResultsGrid();
  CGridCtrl& Grid() { return grid_; }

  // The Copy results command (button and Ctrl+Shift+C): the whole table, a
  // header line and one line per cycle, tab-separated at full precision, on the
  // clipboard for a spreadsheet.
  void OnCopyResults();

  // The Run command.
  void OnRun();
  // "Use last seed": the last run's seed into the Seed field, so that the next
  // run repeats it.
  void OnUseLastSeed();
  // The seed the next runs take, in the Seed field (a fit's, say).
  void SetSeed(std::uint32_t seed);

 private:
  // The Seed field: nothing when empty (a new seed each run), else its seed. A
  // text that is no seed is refused in an "Invalid data" box (false).
  bool ReadSeedField(std::optional<std::uint32_t>& seed);
  // A run whose report could not be written: the grid already shows the results,
  // and a warning names the file and the reason.
  void ReportUnwrittenReport(const Problem& failure);
  // The line at the top of the page: the note, or what became of the last run
  // (a null text puts the note back).
  void ShowRunNote(const QString& text);
  QString note_;
  std::optional<std::uint32_t> seed_;  // for the Seed field before the page is first shown

  // Takes the place of the template's control 1033 when the window is built.
  // The window then holds it as a child; a member is destroyed before the page
  // deletes its window, so the grid is never deleted twice.
  CGridCtrl grid_{0, 0, 0, 0};
  // The results version the grid shows; switching pages refills only when the
  // results changed, so the grid keeps its scroll position.
  int shownVersion_ = -1;
  // The grid, the last-run line and Copy results for the sheet's results now.
  void ShowResults();
  // ShowResults after a run, under a busy cursor.
  void ShowResultsOfRun();
};

// The Plot page: the four percentages against the cycle, the cycle analysis
// beneath, the value under the mouse, and pictures and CSV of the results.
class CPagePlot : public CSettingsPage {
  Q_OBJECT
 public:
  CPagePlot();
  bool OnInitDialog() override;
  bool OnSetActive() override;

  CyclePlotView& Plot() { return plot_; }
  // "Save picture...": PNG or SVG at the size in the size edit.
  void OnSavePicture();
  // "Export CSV...": the table, and the run's JSON record beside it.
  void OnExportCsv();
  // "Keep this run": the shown run stays behind the next ones, faintly, until
  // "Clear kept run".
  void OnKeepRun();
  void OnClearKept();

  // What the chart's title and saved pictures name: the run's notes, its cycles
  // x palms and its seed ("Plot 4: 770 cycles x 1,000 palms, seed 7").
  static QString RunTitle(const RunSettings& settings, std::uint32_t seed);

  // A fit from the Experiments page: the census as points over the best
  // settings' cycles, titled `title`, with `line` under the chart, until the
  // next run replaces it.
  void ShowFit(std::span<const CycleResult> cycles, const CyclePlotView::Observed& observed, const QString& title,
               const QString& line);
  bool ShowsFit() const { return fit_.has_value(); }

 private:
  void ShowResults();
  void ShowKeptState();
  void ReportFileProblem(const QString& caption, const QString& path, const QString& reason);

  // Takes the place of the template's control 1040; destroyed before the page's
  // window, like the run page's grid.
  CyclePlotView plot_;
  int shownVersion_ = -1;
  QString keptTitle_;  // the kept run's RunTitle
  struct Fit {
    std::vector<CycleResult> cycles;
    CyclePlotView::Observed observed;
    QString title, line;
    int version = 0;  // the results version when it came
  };
  std::optional<Fit> fit_;  // shown in place of the last run until the next one
  void ShowFitNow();
};

// The Experiments page: many runs from one description, as the runner's
// `sweep` and `sensitivity` make them, with the same progress dialog and
// Cancel as a run. A sweep of one or two settings with replicates, Morris
// screening over up to four settings, a fit to a census. Its results (a table
// in a read-only grid and a chart) stay until the next experiment completes;
// nothing is written unless Export CSV or Save picture asks for it.
struct Census;
struct CalibrationRequest;

class CPageExperiments : public CSettingsPage {
  Q_OBJECT
 public:
  enum class Kind { Sweep = 0, Screening = 1, Fit = 2 };

  CPageExperiments();
  ~CPageExperiments() override;
  bool OnInitDialog() override;
  bool OnSetActive() override;
  void OnSize() override;

  Kind CurrentKind() const;
  // Run (and F5 on this page): checks the fields, runs the experiment, shows
  // its results; a refused field is shown in an "Invalid data" box.
  void OnRun();
  // "Export CSV...": the results table as the runner writes it.
  void OnExportCsv();
  // "Save picture...": the chart, PNG or SVG, 1600 x 900.
  void OnSavePicture();
  // "Copy": the table in numbers, tab-separated, on the clipboard.
  void OnCopy();
  // "Copy command line": the varnolt-cli command that writes the same table.
  void OnCopyCommandLine();
  // "Open census...": reads a census as varnolt-cli calibrate reads it; one
  // that cannot be read is told in a box and the census before it stays.
  void OnOpenCensus();
  // Opens the census at path as the button does after its dialog.
  bool OpenCensus(const QString& path);
  // "Use these settings": the fitted values become the settings, which are
  // then modified (the save question follows).
  void OnUseFitted();

  CGridCtrl& Grid() { return grid_; }
  CPictureView& Chart() { return *chart_; }
  // What Export CSV writes for the results shown; empty before any.
  std::string ResultsCsv() const;

 private:
  struct Results;
  struct Plan;
  using Problem = std::pair<int, QString>;  // the control at fault and what is wrong
  void OnKindChanged();
  void OnSettingChosen(int row);
  void UpdatePlan();
  void ShowKindControls();
  void ShowResults();
  void ShowChart();
  // Draws chart number `chart` of the results as the runner would, into the
  // file at path; `onPage` for the page's own smaller chart.
  std::optional<std::string> WriteChart(std::size_t chart, const std::filesystem::path& path, PictureSize size,
                                        const std::string& title, bool onPage = false) const;
  // Reads the fields into a plan; on a problem answers the control at fault
  // and what is wrong.
  std::optional<Problem> ReadPlan(Plan& plan) const;
  // A varied setting's row read into the plan, one reader per experiment.
  std::optional<Problem> ReadSweepFactor(Plan& plan, int row, const QString& name, const std::string& from,
                                         const std::string& to) const;
  std::optional<Problem> ReadScreeningFactor(Plan& plan, int row, const QString& name, const std::string& from,
                                             const std::string& to) const;
  std::optional<Problem> ReadFitFactor(Plan& plan, int row, const QString& name, const std::string& from,
                                       const std::string& to) const;
  // The plan line of each experiment.
  QString SweepPlanText(const Plan& plan) const;
  QString ScreeningPlanText(const Plan& plan) const;
  QString FitPlanText(const Plan& plan) const;
  // "The rules refuse none of the points", or how many and the first rule that fails.
  static QString RefusedText(std::size_t refused, const std::string& first);
  void Refuse(int controlId, const QString& message);
  void RunSweep(Plan& plan);
  void RunScreening(Plan& plan);
  void RunFit(Plan& plan);
  // The one way an experiment runs: as a job of the sheet, with `running` in
  // the progress dialog after half a second and Cancel. A stopped job leaves
  // the results shown and says so above the plan; answers whether it completed.
  bool RunWithProgress(Kind kind, const QString& running, std::uint64_t total, Job::Work work,
                       std::function<std::uint64_t()> done);
  // The same for points of a design, each run once; `outcomes` only when complete.
  bool RunPointsWithProgress(Kind kind, const QString& running, std::span<const ExperimentPoint> points,
                             std::vector<PointOutcome>& outcomes);
  // The calibration a fit plan asks for (seed 0 unless the plan has one).
  CalibrationRequest FitRequest(const Plan& plan) const;
  // A completed experiment's results replace those shown.
  void ShowNewResults(std::unique_ptr<Results> results);
  void ReportFileProblem(const QString& caption, const QString& path, const QString& reason);
  QString FieldText(int controlId) const;

  CGridCtrl grid_{0, 0, 0, 0};
  CPictureView* chart_;  // owned by the page's window once it is built
  // The experiments completed since the window opened, the first first; the
  // list "Shown" goes back to any of them. results_ is the one shown.
  std::vector<std::unique_ptr<Results>> history_;
  Results* results_ = nullptr;
  void OnEarlierChosen();
  QString plan_;
  QString status_;  // what became of the last experiment (cancelled, say)
  std::unique_ptr<Census> census_;
  QString censusName_;
  QString censusPath_;
  Kind shownKind_ = Kind::Sweep;  // the kind whose fields are shown
};

// The About page: three centred texts on white.
class CPageAbout : public CPropertyPage {
  Q_OBJECT
 public:
  CPageAbout();
  bool OnInitDialog() override;
};

// Control identifiers of the pages. Those that edit a setting are the ones the
// window's table gives it (resources/SettingControls.h).
namespace control {
using resource::ControlOfSetting;
inline constexpr int kRunNotes = ControlOfSetting("runNotes"), kCycleCount = ControlOfSetting("cycleCount"),
                     kPalmCount = ControlOfSetting("palmCount");
inline constexpr int kSexStressFirstFrond = ControlOfSetting("sexStressFirstFrond"),
                     kSexStressLastFrond = ControlOfSetting("sexStressLastFrond"),
                     kAbortStressFirstFrond = ControlOfSetting("abortStressFirstFrond"),
                     kAbortStressLastFrond = ControlOfSetting("abortStressLastFrond"),
                     kSexStageStartFrond = ControlOfSetting("sexStageStartFrond"),
                     kSexStageEndFrond = ControlOfSetting("sexStageEndFrond"),
                     kAbortionFrond = ControlOfSetting("abortionFrond");
inline constexpr int kFemaleThreshold = ControlOfSetting("femaleThreshold"),
                     kMaleThreshold = ControlOfSetting("maleThreshold"),
                     kAbortThreshold = ControlOfSetting("abortThreshold"),
                     kRandomPercent = ControlOfSetting("randomPercent");
inline constexpr int kLeafPruneCycle = ControlOfSetting("leafPruneCycle"), kPruneStress = ControlOfSetting("pruneStress"),
                     kTrendAmplitude = ControlOfSetting("trendAmplitude");
inline constexpr int kLeafPruning = ControlOfSetting("leafPruning"), kTrendCycles = ControlOfSetting("trendCycles"),
                     kIrrigation = ControlOfSetting("irrigation");
inline constexpr int kIrrigationStart = ControlOfSetting("irrigationStart"),
                     kIrrigationEnd = ControlOfSetting("irrigationEnd");
inline constexpr int kFlowerPruning = ControlOfSetting("flowerPruning"),
                     kFlowerPruneStart = ControlOfSetting("flowerPruneStart"),
                     kFlowerPruneEnd = ControlOfSetting("flowerPruneEnd");
inline constexpr int kOutputPath = ControlOfSetting("outputPath"), kInitialNodeSex = ControlOfSetting("initialNodeSex");
inline constexpr int kBrowse = 1027, kRun = 1029, kGrid = 1033, kRunNote = 1034, kCopyResults = 1035, kLastRun = 1036,
                     kSeed = 1037, kUseLastSeed = 1038;
inline constexpr int kChart = 1040, kAnalysis = 1041, kReadout = 1042, kResetZoom = 1043, kExportCsv = 1044,
                     kPictureSize = 1045, kSavePicture = 1046, kKeepRun = 1047, kClearKept = 1048, kKeptRun = 1049;
// The Experiments page; setting row r (0 to 3) has its list at kSettingList + 4 r
// and its From, To and Step edits after it.
inline constexpr int kExperimentKind = 1100, kRunExperiment = 1101, kStepHeader = 1102, kSettingList = 1110,
                     kReplicatesLabel = 1140, kReplicates = 1141, kExperimentSeed = 1142, kStatistics = 1143,
                     kTrajectories = 1144, kPlan = 1145, kExportTable = 1146, kSaveChart = 1147, kCopyTable = 1148,
                     kChartChoice = 1149, kTable = 1160, kExperimentChart = 1161, kOpenCensus = 1170,
                     kCensusName = 1171, kUseFitted = 1172, kStatisticsLabel = 1138, kSeedLabel = 1139,
                     kFitPalms = 1173, kFitPalmsLabel = 1174, kCopyCommand = 1175, kShownExperiment = 1176;
inline constexpr int SettingRowControl(int row, int column) { return kSettingList + 4 * row + column; }
}  // namespace control

}  // namespace varnolt
