#include "settings/RunSettings.h"

namespace varnolt {

RunSettings StartupDefaults() { return RunSettings{}; }

RunSettings NewDefaults() {
  RunSettings settings;
  settings.runNotes = "VRT Simulation Run";
  return settings;
}

namespace {

using P = SettingsPage;
using C = SettingControl;

constexpr const char* kFrondUnit = "frond (counted from the spear leaf)";
constexpr const char* kAnyFrond = "any; the model holds fronds -30 to 169 and refuses a run that leaves them";

constexpr FieldInfo Int(const char* name, std::int32_t RunSettings::*member, const char* meaning, const char* unit,
                        const char* admitted, SettingsPage page, SettingControl control, const char* label) {
  return {name, FieldKind::Integer, member, nullptr, meaning, unit, admitted, page, control, label};
}
constexpr FieldInfo Switch(const char* name, std::int32_t RunSettings::*member, const char* meaning,
                           SettingsPage page, const char* label) {
  return {name,       FieldKind::Switch, member, nullptr, meaning, "", "0 (off) or 1 (on); any other number counts as on",
          page,       C::CheckBox,       label};
}
constexpr FieldInfo Text(const char* name, std::string RunSettings::*member, const char* meaning, SettingsPage page,
                         const char* label) {
  return {name, FieldKind::Text, nullptr, member, meaning, "", "any text", page, C::TextEdit, label};
}

}  // namespace

const std::array<FieldInfo, 27>& RunSettingsFields() {
  static const std::array<FieldInfo, 27> fields = {
      Text("runNotes", &RunSettings::runNotes, "A title or notes for the run, repeated at the head of its report.",
           P::Size, "Title or notes for this simulation run:"),
      Int("cycleCount", &RunSettings::cycleCount,
          "The number of node initiation cycles the run simulates; 30 years of growth is about 770.", "cycles",
          "1 or more (rule 1)", P::Size, C::NumberEdit,
          "Number of node initiation cycles (note: 30 years of growth is about 770 nodes):"),
      Int("palmCount", &RunSettings::palmCount,
          "The number of palms simulated; each cycle's results are percentages of them.", "palms",
          "1 or more (rule 2)", P::Size, C::NumberEdit, "Number of palms (suggested minimum is 10):"),
      Int("sexStressFirstFrond", &RunSettings::sexStressFirstFrond,
          "The first frond of the window whose inflorescences generate the stress that decides sex.", kFrondUnit,
          kAnyFrond, P::FrondNumbers, C::NumberEdit, "First frond generating stress for sex ratio:"),
      Int("sexStressLastFrond", &RunSettings::sexStressLastFrond,
          "The last frond of the window whose inflorescences generate the stress that decides sex.", kFrondUnit,
          kAnyFrond, P::FrondNumbers, C::NumberEdit, "Last frond generating stress for sex ratio:"),
      Int("abortStressFirstFrond", &RunSettings::abortStressFirstFrond,
          "The first frond of the window whose inflorescences generate the stress that causes abortion.",
          kFrondUnit, kAnyFrond, P::FrondNumbers, C::NumberEdit, "First frond generating stress for abortion:"),
      Int("abortStressLastFrond", &RunSettings::abortStressLastFrond,
          "The last frond of the window whose inflorescences generate the stress that causes abortion.",
          kFrondUnit, kAnyFrond, P::FrondNumbers, C::NumberEdit, "Last frond generating stress for abortion:"),
      Int("sexStageStartFrond", &RunSettings::sexStageStartFrond,
          "The frond where a node's sex determining stage starts.", kFrondUnit, kAnyFrond, P::FrondNumbers,
          C::TextEdit, "Frond marking start of sex determining stage:"),
      Int("sexStageEndFrond", &RunSettings::sexStageEndFrond,
          "The frond where a node's sex determining stage ends; the sex decided there is the one it keeps.",
          kFrondUnit, kAnyFrond, P::FrondNumbers, C::TextEdit, "Frond marking end of sex determining stage:"),
      Int("abortionFrond", &RunSettings::abortionFrond,
          "The frond whose inflorescence is aborted when the abortion stress exceeds its threshold.", kFrondUnit,
          kAnyFrond, P::FrondNumbers, C::NumberEdit, "Frond where stress induced abortion occurs:"),
      Int("femaleThreshold", &RunSettings::femaleThreshold,
          "The sex stress sum up to which a node becomes female.", "stress sum", "0 to 38 (rule 4)",
          P::StressThresholds, C::NumberEdit, "Female (min. 0; max. 38):"),
      Int("maleThreshold", &RunSettings::maleThreshold,
          "The sex stress sum from which a node becomes male; between the female and male thresholds it "
          "becomes mixed.",
          "stress sum", "above femaleThreshold and at most 39 (rule 5)", P::StressThresholds, C::NumberEdit,
          "Male (min. greater than female; max. 39):"),
      Int("abortThreshold", &RunSettings::abortThreshold,
          "The stress sum from which a node in its sex determining stage comes out aborted, and above which "
          "the inflorescence at the abortion frond aborts.",
          "stress sum", "1 to 40 (rule 3)", P::StressThresholds, C::NumberEdit, "Abort (min. 1; max. 40):"),
      Int("randomPercent", &RunSettings::randomPercent,
          "The largest random contribution to the sex stress sum; 0 makes every palm alike.", "%",
          "0 or more (rule 6)", P::StressThresholds, C::NumberEdit,
          "Max. random contribution to total sex stress sum (in %):"),
      Switch("leafPruning", &RunSettings::leafPruning, "Whether leaves are pruned, which adds a passing stress.",
             P::LeafPruning, "Check to simulate leaf pruning"),
      Int("leafPruneCycle", &RunSettings::leafPruneCycle, "The cycle in which the leaves are pruned.", "cycle",
          "while leafPruning is on: 1 to cycleCount (rule 7)", P::LeafPruning, C::NumberEdit,
          "Cycle number when leaf pruning is imposed:"),
      Int("pruneStress", &RunSettings::pruneStress,
          "The stress pruning adds in its cycle, 0.5 less in each cycle after.", "stress",
          "while leafPruning is on: 1 to 10 (rule 8)", P::LeafPruning, C::NumberEdit,
          "Stress value for pruning (min. 1; max. 10):"),
      Switch("trendCycles", &RunSettings::trendCycles,
             "Whether an annual trend, a seasonal sine term, is added to the sex stress sum.", P::TrendCycles,
             "Check to add annual trend cycles"),
      Int("trendAmplitude", &RunSettings::trendAmplitude, "The amplitude of the annual trend.", "stress",
          "while trendCycles is on: 1 to 10 (rule 9)", P::TrendCycles, C::TextEdit,
          "Trend amplitude (min. 1; max. 10):"),
      Switch("irrigation", &RunSettings::irrigation,
             "Whether the palms are irrigated, which removes the annual trend for a span of cycles.",
             P::Irrigation, "Check to irrigate"),
      Int("irrigationStart", &RunSettings::irrigationStart,
          "The cycle that starts irrigation; it acts from the cycle after.", "cycle",
          "while irrigation is on: 1 to cycleCount - 1 (rule 10)", P::Irrigation, C::NumberEdit,
          "Cycle number at start of irrigation:"),
      Int("irrigationEnd", &RunSettings::irrigationEnd,
          "The cycle that ends irrigation; it acts up to the cycle before.", "cycle",
          "while irrigation is on: above irrigationStart and at most cycleCount (rule 11)", P::Irrigation,
          C::NumberEdit, "Cycle number at end of irrigation:"),
      Switch("flowerPruning", &RunSettings::flowerPruning,
             "Whether the inflorescence at frond 18 is removed in every palm for a span of cycles.",
             P::FlowerPruning, "Check to do flower pruning"),
      Int("flowerPruneStart", &RunSettings::flowerPruneStart, "The first cycle of flower pruning.", "cycle",
          "while flowerPruning is on: 1 to cycleCount - 1 (rule 12)", P::FlowerPruning, C::NumberEdit,
          "Cycle number at start of flower pruning:"),
      Int("flowerPruneEnd", &RunSettings::flowerPruneEnd, "The last cycle of flower pruning.", "cycle",
          "while flowerPruning is on: above flowerPruneStart and at most cycleCount (rule 13)",
          P::FlowerPruning, C::NumberEdit, "Cycle number at end of flower pruning:"),
      Int("initialNodeSex", &RunSettings::initialNodeSex,
          "The state of every palm's first nodes, which sets the timing of the first flowering peaks.", "",
          "0 Aborted, 1 Male, 2 Mixed, 3 Female; not checked", P::FirstNodeSex, C::List, "Sex of first nodes:"),
      Text("outputPath", &RunSettings::outputPath,
           "The file that receives the run's report, relative to the current folder.", P::OutputFile,
           "Name of file to store the simulation results:"),
  };
  return fields;
}

const FieldInfo* FindField(const std::string& name) {
  for (const FieldInfo& field : RunSettingsFields()) {
    if (name == field.name) return &field;
  }
  return nullptr;
}

std::string FieldLabel(const FieldInfo& field) {
  std::string label = field.label;
  if (!label.empty() && label.back() == ':') label.pop_back();
  return label;
}

std::string FieldValueText(const RunSettings& settings, const FieldInfo& field) {
  if (field.kind == FieldKind::Text) return settings.*(field.text);
  return std::to_string(settings.*(field.integer));
}

const char* SettingsPageTitle(SettingsPage page) {
  switch (page) {
    case SettingsPage::Size: return "Size";
    case SettingsPage::FrondNumbers: return "Frond Numbers";
    case SettingsPage::FirstNodeSex: return "First node sex";
    case SettingsPage::StressThresholds: return "Stress thresholds";
    case SettingsPage::LeafPruning: return "Leaf pruning";
    case SettingsPage::TrendCycles: return "Annual trend cycles";
    case SettingsPage::Irrigation: return "Irrigation";
    case SettingsPage::FlowerPruning: return "Flower pruning";
    case SettingsPage::OutputFile: return "Output file";
  }
  return "";
}

}  // namespace varnolt
