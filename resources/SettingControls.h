#pragma once
// Which control of the window's pages edits each of the 27 settings. The
// settings layer names a setting (a rule that failed, a frond the model could
// not hold); the window finds its control here. The page that holds it, its
// label and the kind of control come from the settings' own table
// (RunSettingsFields); the page templates are built from both.

#include <array>
#include <string_view>

#include "settings/RunSettings.h"

namespace varnolt {

namespace resource {

struct SettingControlId {
  std::string_view setting;  // the name in RunSettingsFields
  int id;                    // the control on the setting's page
};

inline constexpr std::array<SettingControlId, 27> SettingControlIds = {{
    {"runNotes", 1000},
    {"cycleCount", 1001},
    {"palmCount", 1002},
    {"sexStressFirstFrond", 1003},
    {"sexStressLastFrond", 1004},
    {"abortStressFirstFrond", 1005},
    {"abortStressLastFrond", 1006},
    {"sexStageStartFrond", 1007},
    {"sexStageEndFrond", 1008},
    {"abortionFrond", 1009},
    {"femaleThreshold", 1012},
    {"maleThreshold", 1013},
    {"abortThreshold", 1014},
    {"randomPercent", 1015},
    {"leafPruning", 1019},
    {"leafPruneCycle", 1016},
    {"pruneStress", 1017},
    {"trendCycles", 1020},
    {"trendAmplitude", 1018},
    {"irrigation", 1021},
    {"irrigationStart", 1022},
    {"irrigationEnd", 1023},
    {"flowerPruning", 1024},
    {"flowerPruneStart", 1025},
    {"flowerPruneEnd", 1026},
    {"initialNodeSex", 1032},
    {"outputPath", 1028},
}};

// The control that edits the setting of that name; 0 for a name that is none.
constexpr int SettingControl(std::string_view setting) {
  for (const SettingControlId& entry : SettingControlIds) {
    if (entry.setting == setting) return entry.id;
  }
  return 0;
}

// The same where the name is known when compiling: an unknown name does not compile.
consteval int ControlOfSetting(std::string_view setting) {
  const int id = SettingControl(setting);
  if (id == 0) throw "no setting of that name";
  return id;
}

// The dialog template of a settings page.
int PageTemplate(SettingsPage page);

}  // namespace resource

}  // namespace varnolt
