#pragma once
// The eleven pages of the main window, in tab order. Each input page edits its
// own fields of the sheet's one RunSettings through its data exchange and marks
// the settings modified on every change the user makes.

#include <cstdint>
#include <string>
#include <vector>

#include "grid/GridCtrl.h"
#include "plot/CyclePlot.h"
#include "platform/PropertyPage.h"
#include "run/RunDriver.h"
#include "settings/RunSettings.h"

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

 private:
  // A run whose report could not be written: the grid already shows the results,
  // and a warning names the file and the reason.
  void ReportUnwrittenReport(const ReportFailure& failure);
  // The line at the top of the page: the note, or what became of the last run
  // (a null text puts the note back).
  void ShowRunNote(const QString& text);
  QString note_;

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

 private:
  void ShowResults();
  void ReportFileProblem(const QString& caption, const QString& path, const QString& reason);

  // Takes the place of the template's control 1040; destroyed before the page's
  // window, like the run page's grid.
  CyclePlotView plot_;
  int shownVersion_ = -1;
};

// The About page: three centred texts on white.
class CPageAbout : public CPropertyPage {
  Q_OBJECT
 public:
  CPageAbout();
  bool OnInitDialog() override;
};

// Control identifiers of the pages.
namespace control {
inline constexpr int kRunNotes = 1000, kCycleCount = 1001, kPalmCount = 1002;
inline constexpr int kSexStressFirstFrond = 1003, kSexStressLastFrond = 1004, kAbortStressFirstFrond = 1005,
                     kAbortStressLastFrond = 1006, kSexStageStartFrond = 1007, kSexStageEndFrond = 1008,
                     kAbortionFrond = 1009;
inline constexpr int kFemaleThreshold = 1012, kMaleThreshold = 1013, kAbortThreshold = 1014, kRandomPercent = 1015;
inline constexpr int kLeafPruneCycle = 1016, kPruneStress = 1017, kTrendAmplitude = 1018;
inline constexpr int kLeafPruning = 1019, kTrendCycles = 1020, kIrrigation = 1021;
inline constexpr int kIrrigationStart = 1022, kIrrigationEnd = 1023;
inline constexpr int kFlowerPruning = 1024, kFlowerPruneStart = 1025, kFlowerPruneEnd = 1026;
inline constexpr int kBrowse = 1027, kOutputPath = 1028, kRun = 1029, kInitialNodeSex = 1032, kGrid = 1033,
                     kRunNote = 1034, kCopyResults = 1035, kLastRun = 1036;
inline constexpr int kChart = 1040, kAnalysis = 1041, kReadout = 1042, kResetZoom = 1043, kExportCsv = 1044,
                     kPictureSize = 1045, kSavePicture = 1046;
}  // namespace control
