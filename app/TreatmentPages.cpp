// The four treatment pages: Leaf pruning, Annual trend cycles, Irrigation and
// Flower pruning.
#include "app/Pages.h"
#include "app/Sheet.h"
#include "resources/Resources.h"

namespace varnolt {

using namespace control;

CTreatmentPage::CTreatmentPage(int templateId, std::int32_t RunSettings::*treatmentSwitch, int checkBoxId,
                               std::initializer_list<int> valueEditIds)
    : CSettingsPage(templateId), treatmentSwitch_(treatmentSwitch), valueEditIds_(valueEditIds) {
  OnNotification(Notification::ButtonClicked, checkBoxId, [this] { OnCheckBoxClicked(); });
  MarkModifiedOnEditChange(valueEditIds);
}

bool CTreatmentPage::OnSetActive() {
  UpdateData(false);  // the values may have changed while the page was hidden
  EnableValueEdits();
  return CSettingsPage::OnSetActive();
}

void CTreatmentPage::EnableValueEdits() {
  // A switch a file set to 2 counts as on, as it does for the rules and the run.
  const bool on = IsOn(Settings().*treatmentSwitch_);
  for (int id : valueEditIds_) EnableControl(id, on);
}

void CTreatmentPage::OnCheckBoxClicked() {
  // A read that fails has shown its message; the switch then keeps its old
  // value if it comes after the bad edit, and the edits follow that value.
  UpdateData(true);
  EnableValueEdits();
  MarkModified();
}

CPageLeaf::CPageLeaf()
    : CTreatmentPage(resource::IDD_LEAF, &RunSettings::leafPruning, kLeafPruning, {kLeafPruneCycle, kPruneStress}) {}

void CPageLeaf::DoDataExchange(CDataExchange* dx) {
  RunSettings& s = Settings();
  DDX_Check(dx, kLeafPruning, s.leafPruning);
  DDX_Text(dx, kPruneStress, s.pruneStress);
  DDX_Text(dx, kLeafPruneCycle, s.leafPruneCycle);
}

CPageTrend::CPageTrend()
    : CTreatmentPage(resource::IDD_TREND, &RunSettings::trendCycles, kTrendCycles, {kTrendAmplitude}) {}

void CPageTrend::DoDataExchange(CDataExchange* dx) {
  RunSettings& s = Settings();
  DDX_Check(dx, kTrendCycles, s.trendCycles);
  DDX_Text(dx, kTrendAmplitude, s.trendAmplitude);
}

CPageIrrig::CPageIrrig()
    : CTreatmentPage(resource::IDD_IRRIGATION, &RunSettings::irrigation, kIrrigation,
                     {kIrrigationStart, kIrrigationEnd}) {}

void CPageIrrig::DoDataExchange(CDataExchange* dx) {
  RunSettings& s = Settings();
  DDX_Check(dx, kIrrigation, s.irrigation);
  DDX_Text(dx, kIrrigationEnd, s.irrigationEnd);
  DDX_Text(dx, kIrrigationStart, s.irrigationStart);
}

CPageFlower::CPageFlower()
    : CTreatmentPage(resource::IDD_FLOWER, &RunSettings::flowerPruning, kFlowerPruning,
                     {kFlowerPruneStart, kFlowerPruneEnd}) {}

void CPageFlower::DoDataExchange(CDataExchange* dx) {
  RunSettings& s = Settings();
  // The end edit comes before the switch here.
  DDX_Text(dx, kFlowerPruneEnd, s.flowerPruneEnd);
  DDX_Check(dx, kFlowerPruning, s.flowerPruning);
  DDX_Text(dx, kFlowerPruneStart, s.flowerPruneStart);
}

}  // namespace varnolt
