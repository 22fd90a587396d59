#include "settings/ValidationRules.h"

namespace {

// Rules 10 to 13 compare with cycles - 1; rule 1 has made sure cycles >= 1 by
// then, so the subtraction cannot overflow.
bool OutsideStartRange(std::int32_t start, std::int32_t cycles) { return start < 1 || start > cycles - 1; }
bool OutsideEndRange(std::int32_t end, std::int32_t start, std::int32_t cycles) {
  return !(end > start && end <= cycles);
}

}  // namespace

const std::array<ValidationRule, 13>& ValidationRules() {
  static const std::array<ValidationRule, 13> rules = {{
      {1, SettingsPage::Size, 1001, "cycleCount", "Number of node initiation cycles must exceed 0",
       [](const RunSettings& s) { return s.cycleCount < 1; }},
      {2, SettingsPage::Size, 1002, "palmCount", "Number of palms must exceed 0",
       [](const RunSettings& s) { return s.palmCount < 1; }},
      {3, SettingsPage::StressThresholds, 1014, "abortThreshold",
       "Abortion threshold must be within 1 and 40 inclusive",
       [](const RunSettings& s) { return s.abortThreshold < 1 || s.abortThreshold > 40; }},
      {4, SettingsPage::StressThresholds, 1012, "femaleThreshold",
       "Female threshold must be within 0 and 38 inclusive",
       [](const RunSettings& s) { return s.femaleThreshold < 0 || s.femaleThreshold > 38; }},
      {5, SettingsPage::StressThresholds, 1013, "maleThreshold",
       "Male threshold must be greater than the female threshold\nand no larger than 39",
       [](const RunSettings& s) { return s.maleThreshold <= s.femaleThreshold || s.maleThreshold > 39; }},
      {6, SettingsPage::StressThresholds, 1015, "randomPercent", "Randomisation level must be 0 or greater only",
       [](const RunSettings& s) { return s.randomPercent < 0; }},
      {7, SettingsPage::LeafPruning, 1016, "leafPruneCycle",
       "Pruning cycle number must be within 1\nand the total number of cycles inclusive",
       [](const RunSettings& s) {
         return IsOn(s.leafPruning) && (s.leafPruneCycle < 1 || s.leafPruneCycle > s.cycleCount);
       }},
      {8, SettingsPage::LeafPruning, 1017, "pruneStress", "Pruning stress value must be within 1 and 10 inclusive",
       [](const RunSettings& s) { return IsOn(s.leafPruning) && (s.pruneStress < 1 || s.pruneStress > 10); }},
      {9, SettingsPage::TrendCycles, 1018, "trendAmplitude", "Trend amplitude must be within 1.0 and 10.0 inclusive",
       [](const RunSettings& s) { return IsOn(s.trendCycles) && (s.trendAmplitude < 1 || s.trendAmplitude > 10); }},
      {10, SettingsPage::Irrigation, 1022, "irrigationStart",
       "Starting irrigation cycle must be within 0\nand the total number of cycles EXCLUSIVE",
       [](const RunSettings& s) { return IsOn(s.irrigation) && OutsideStartRange(s.irrigationStart, s.cycleCount); }},
      {11, SettingsPage::Irrigation, 1023, "irrigationEnd",
       "Ending irrigation cycle must exceed starting cycle\nand not exceed the total number of cycles",
       [](const RunSettings& s) {
         return IsOn(s.irrigation) && OutsideEndRange(s.irrigationEnd, s.irrigationStart, s.cycleCount);
       }},
      {12, SettingsPage::FlowerPruning, 1025, "flowerPruneStart",
       "Starting flower pruning cycle must be within 0\nand the total number of cycles EXCLUSIVE",
       [](const RunSettings& s) {
         return IsOn(s.flowerPruning) && OutsideStartRange(s.flowerPruneStart, s.cycleCount);
       }},
      {13, SettingsPage::FlowerPruning, 1026, "flowerPruneEnd",
       "Ending flower pruning cycle must exceed starting cycle\nand not exceed the total number of cycles",
       [](const RunSettings& s) {
         return IsOn(s.flowerPruning) && OutsideEndRange(s.flowerPruneEnd, s.flowerPruneStart, s.cycleCount);
       }},
  }};
  return rules;
}

const ValidationRule* FirstFailedRule(const RunSettings& settings) {
  for (const ValidationRule& rule : ValidationRules()) {
    if (rule.fails(settings)) return &rule;
  }
  return nullptr;
}
