// The input pages that hold plain values: Size, Frond Numbers, First node sex,
// Stress thresholds and Output file.
#include "app/Pages.h"
#include "app/Sheet.h"
#include "platform/Prompts.h"
#include "resources/Resources.h"

namespace varnolt {

using namespace control;

// --- Shared ------------------------------------------------------------------

CSettingsPage::CSettingsPage(int templateId) : CPropertyPage(FindDialogTemplate(templateId)) {}

CSheet& CSettingsPage::Sheet() const { return *static_cast<CSheet*>(GetParentSheet()); }

RunSettings& CSettingsPage::Settings() const { return Sheet().settings; }

void CSettingsPage::MarkModified() { Sheet().settingsModified = 1; }

void CSettingsPage::MarkModifiedOnEditChange(std::initializer_list<int> editIds) {
  for (int id : editIds) OnNotification(Notification::EditChange, id, [this] { MarkModified(); });
}

// --- Size --------------------------------------------------------------------

CPageNum::CPageNum() : CSettingsPage(resource::IDD_SIZE) {
  MarkModifiedOnEditChange({kRunNotes, kCycleCount, kPalmCount});
}

void CPageNum::DoDataExchange(CDataExchange* dx) {
  RunSettings& s = Settings();
  DDX_Text(dx, kCycleCount, s.cycleCount);
  DDX_Text(dx, kPalmCount, s.palmCount);
  DDX_Text(dx, kRunNotes, s.runNotes);
}

// --- Frond Numbers -----------------------------------------------------------

CPageFronds::CPageFronds() : CSettingsPage(resource::IDD_FRONDS) {
  OnNotification(Notification::EditChange, kSexStressFirstFrond, kAbortionFrond, [this] { MarkModified(); });
}

void CPageFronds::DoDataExchange(CDataExchange* dx) {
  RunSettings& s = Settings();
  DDX_Text(dx, kAbortionFrond, s.abortionFrond);
  DDX_Text(dx, kAbortStressFirstFrond, s.abortStressFirstFrond);
  DDX_Text(dx, kAbortStressLastFrond, s.abortStressLastFrond);
  DDX_Text(dx, kSexStressFirstFrond, s.sexStressFirstFrond);
  DDX_Text(dx, kSexStressLastFrond, s.sexStressLastFrond);
  DDX_Text(dx, kSexStageEndFrond, s.sexStageEndFrond);
  DDX_Text(dx, kSexStageStartFrond, s.sexStageStartFrond);
}

// --- First node sex ----------------------------------------------------------

CPageSex::CPageSex() : CSettingsPage(resource::IDD_FIRST_NODE_SEX) {
  OnNotification(Notification::ListSelectionChange, kInitialNodeSex, [this] { MarkModified(); });
}

bool CPageSex::OnInitDialog() {
  const bool result = CSettingsPage::OnInitDialog();
  // The line index is the NodeSex code.
  for (const char* line : {"Aborted", "Male", "Mixed", "Female"}) ListAddString(kInitialNodeSex, QString::fromUtf8(line));
  ListSetCurSel(kInitialNodeSex, Settings().initialNodeSex);
  return result;
}

void CPageSex::DoDataExchange(CDataExchange* dx) { DDX_LBIndex(dx, kInitialNodeSex, Settings().initialNodeSex); }

// --- Stress thresholds -------------------------------------------------------

CPageTh::CPageTh() : CSettingsPage(resource::IDD_THRESHOLDS) {
  MarkModifiedOnEditChange({kFemaleThreshold, kMaleThreshold, kAbortThreshold, kRandomPercent});
}

void CPageTh::DoDataExchange(CDataExchange* dx) {
  RunSettings& s = Settings();
  DDX_Text(dx, kAbortThreshold, s.abortThreshold);
  DDX_Text(dx, kFemaleThreshold, s.femaleThreshold);
  DDX_Text(dx, kMaleThreshold, s.maleThreshold);
  DDX_Text(dx, kRandomPercent, s.randomPercent);
}

// --- Output file -------------------------------------------------------------

CPageOutput::CPageOutput() : CSettingsPage(resource::IDD_OUTPUT) {
  OnNotification(Notification::ButtonClicked, kBrowse, [this] { OnBrowse(); });
  MarkModifiedOnEditChange({kOutputPath});
}

void CPageOutput::DoDataExchange(CDataExchange* dx) { DDX_Text(dx, kOutputPath, Settings().outputPath); }

void CPageOutput::OnBrowse() {
  UpdateData(true);  // a failed read has said so; the dialog opens all the same
  const std::optional<QString> chosen = CurrentPrompts().ChooseFile(
      Window(), DatFileDialog(FileDialogMode::Save, QString::fromStdString(Settings().outputPath)));
  if (!chosen) return;
  Settings().outputPath = chosen->toStdString();
  UpdateData(false);
  MarkModified();
}

}  // namespace varnolt
