#pragma once
// The 27 values that define one simulation run. The main window owns the one
// record of the running program and each page edits its own fields of it; the
// validation, the settings file, the run driver and the command-line runner all
// work on the same record. Texts are UTF-8 in memory.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace varnolt {

struct RunSettings {
  std::string runNotes = "VARNOLT Simulation Run";
  std::int32_t cycleCount = 100;
  std::int32_t palmCount = 10;
  std::int32_t sexStressFirstFrond = 20;
  std::int32_t sexStressLastFrond = 29;
  std::int32_t abortStressFirstFrond = 20;
  std::int32_t abortStressLastFrond = 25;
  std::int32_t sexStageStartFrond = -28;
  std::int32_t sexStageEndFrond = -4;
  std::int32_t abortionFrond = 10;
  std::int32_t femaleThreshold = 16;
  std::int32_t maleThreshold = 17;
  std::int32_t abortThreshold = 24;
  std::int32_t randomPercent = 25;
  std::int32_t leafPruning = 0;
  std::int32_t leafPruneCycle = 0;
  std::int32_t pruneStress = 0;
  std::int32_t trendCycles = 0;
  std::int32_t trendAmplitude = 0;
  std::int32_t irrigation = 0;
  std::int32_t irrigationStart = 0;
  std::int32_t irrigationEnd = 0;
  std::int32_t flowerPruning = 0;
  std::int32_t flowerPruneStart = 0;
  std::int32_t flowerPruneEnd = 0;
  std::int32_t initialNodeSex = 0;
  std::string outputPath = "output.dat";

  bool operator==(const RunSettings&) const = default;
};

// A treatment switch is on when it holds anything but 0; the rules and the run
// driver both ask this, so a file holding 2 is treated alike everywhere.
inline bool IsOn(std::int32_t treatmentSwitch) { return treatmentSwitch != 0; }

// The values the pages hold when the program starts.
RunSettings StartupDefaults();
// The values File > New puts back: the same but for the notes.
RunSettings NewDefaults();

enum class FieldKind { Text, Integer, Switch };

// The pages of the window that hold settings, numbered as its tabs.
enum class SettingsPage : int {
  Size = 0,
  FrondNumbers = 1,
  FirstNodeSex = 2,
  StressThresholds = 3,
  LeafPruning = 4,
  TrendCycles = 5,
  Irrigation = 6,
  FlowerPruning = 7,
  OutputFile = 8,
};

// The kind of control that edits a setting on its page.
enum class SettingControl {
  TextEdit,    // an edit that takes any text (a number edit of this kind takes a minus sign)
  NumberEdit,  // an edit that takes digits only
  CheckBox,    // a treatment switch
  List,        // the list of the four first-node states
};

// One field of the record, by the name users and scripts know it by, with what
// the documentation and the window say of it. This table is the one place that
// describes the 27 settings: the window's page rows, the rules' pages, the run
// driver's labels and the settings reference (WriteSettingsReference) come from it.
struct FieldInfo {
  const char* name;
  FieldKind kind;
  std::int32_t RunSettings::*integer;  // null for a text field
  std::string RunSettings::*text;      // null for a number or switch
  const char* meaning;                 // one sentence
  const char* unit;                    // empty when it has none
  const char* admitted;                // the values a run admits, and the rule that bounds them
  SettingsPage page;                   // the page that holds it
  SettingControl control;              // the control that edits it there
  const char* label;                   // the control's label on the page (a check box's own text)
};

// The 27 fields in the record's order (the order `show` lists them in).
const std::array<FieldInfo, 27>& RunSettingsFields();

// The field of that name, or null.
const FieldInfo* FindField(const std::string& name);

// The field's label as a sentence names it: the page's label without its colon.
std::string FieldLabel(const FieldInfo& field);

// A field's value as `show` prints it and the reference gives defaults: the
// number, or the text as it is.
std::string FieldValueText(const RunSettings& settings, const FieldInfo& field);

// The page's title on its tab.
const char* SettingsPageTitle(SettingsPage page);

}  // namespace varnolt
