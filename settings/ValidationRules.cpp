#include "settings/ValidationRules.h"

namespace varnolt {

namespace {

// Rules 10 to 13 compare with cycles - 1; rule 1 has made sure cycles >= 1 by
// then, so the subtraction cannot overflow.
bool OutsideStartRange(std::int32_t start, std::int32_t cycles) { return start < 1 || start > cycles - 1; }
bool OutsideEndRange(std::int32_t end, std::int32_t start, std::int32_t cycles) {
  return !(end > start && end <= cycles);
}

std::string Named(const char* name, std::int32_t value) { return std::string(name) + " " + std::to_string(value); }

// "NAME VALUE must be within LOW and HIGH".
std::string Within(const char* name, std::int32_t value, std::int32_t low, std::int32_t high) {
  return Named(name, value) + " must be from " + std::to_string(low) + " to " + std::to_string(high);
}

// A treatment's start cycle: strictly between 0 and the cycle count.
std::string StartText(const char* name, std::int32_t start, const char* treatment, std::int32_t cycles) {
  return Named(name, start) + " must be above 0 and below " + Named("cycleCount", cycles) + " while " + treatment +
         " is on";
}

// A treatment's end cycle: above its start and at most the cycle count.
std::string EndText(const char* name, std::int32_t end, const char* startName, std::int32_t start,
                    const char* treatment, std::int32_t cycles) {
  if (end <= start) return Named(name, end) + " must be above " + Named(startName, start) + " while " + treatment + " is on";
  return Named(name, end) + " must be at most " + Named("cycleCount", cycles) + " while " + treatment + " is on";
}

}  // namespace

const std::array<ValidationRule, 13>& ValidationRules() {
  static const std::array<ValidationRule, 13> rules = {{
      {1, "cycleCount", "Number of node initiation cycles must exceed 0",
       [](const RunSettings& s) { return s.cycleCount < 1; },
       [](const RunSettings& s) { return Named("cycleCount", s.cycleCount) + " must be 1 or more"; }},
      {2, "palmCount", "Number of palms must exceed 0", [](const RunSettings& s) { return s.palmCount < 1; },
       [](const RunSettings& s) { return Named("palmCount", s.palmCount) + " must be 1 or more"; }},
      {3, "abortThreshold", "Abortion threshold must be within 1 and 40 inclusive",
       [](const RunSettings& s) { return s.abortThreshold < 1 || s.abortThreshold > 40; },
       [](const RunSettings& s) { return Within("abortThreshold", s.abortThreshold, 1, 40); }},
      {4, "femaleThreshold", "Female threshold must be within 0 and 38 inclusive",
       [](const RunSettings& s) { return s.femaleThreshold < 0 || s.femaleThreshold > 38; },
       [](const RunSettings& s) { return Within("femaleThreshold", s.femaleThreshold, 0, 38); }},
      {5, "maleThreshold", "Male threshold must be greater than the female threshold\nand no larger than 39",
       [](const RunSettings& s) { return s.maleThreshold <= s.femaleThreshold || s.maleThreshold > 39; },
       [](const RunSettings& s) {
         if (s.maleThreshold <= s.femaleThreshold) {
           return Named("femaleThreshold", s.femaleThreshold) + " must be below " + Named("maleThreshold", s.maleThreshold);
         }
         return Named("maleThreshold", s.maleThreshold) + " must be at most 39";
       }},
      {6, "randomPercent", "Randomisation level must be 0 or greater only",
       [](const RunSettings& s) { return s.randomPercent < 0; },
       [](const RunSettings& s) { return Named("randomPercent", s.randomPercent) + " must be 0 or more"; }},
      {7, "leafPruneCycle", "Pruning cycle number must be within 1\nand the total number of cycles inclusive",
       [](const RunSettings& s) {
         return IsOn(s.leafPruning) && (s.leafPruneCycle < 1 || s.leafPruneCycle > s.cycleCount);
       },
       [](const RunSettings& s) {
         return Named("leafPruneCycle", s.leafPruneCycle) + " must be from 1 to " + Named("cycleCount", s.cycleCount) +
                " while leafPruning is on";
       }},
      {8, "pruneStress", "Pruning stress value must be within 1 and 10 inclusive",
       [](const RunSettings& s) { return IsOn(s.leafPruning) && (s.pruneStress < 1 || s.pruneStress > 10); },
       [](const RunSettings& s) { return Within("pruneStress", s.pruneStress, 1, 10) + " while leafPruning is on"; }},
      {9, "trendAmplitude", "Trend amplitude must be within 1.0 and 10.0 inclusive",
       [](const RunSettings& s) { return IsOn(s.trendCycles) && (s.trendAmplitude < 1 || s.trendAmplitude > 10); },
       [](const RunSettings& s) {
         return Within("trendAmplitude", s.trendAmplitude, 1, 10) + " while trendCycles is on";
       }},
      {10, "irrigationStart", "Starting irrigation cycle must be within 0\nand the total number of cycles EXCLUSIVE",
       [](const RunSettings& s) { return IsOn(s.irrigation) && OutsideStartRange(s.irrigationStart, s.cycleCount); },
       [](const RunSettings& s) { return StartText("irrigationStart", s.irrigationStart, "irrigation", s.cycleCount); }},
      {11, "irrigationEnd", "Ending irrigation cycle must exceed starting cycle\nand not exceed the total number of cycles",
       [](const RunSettings& s) {
         return IsOn(s.irrigation) && OutsideEndRange(s.irrigationEnd, s.irrigationStart, s.cycleCount);
       },
       [](const RunSettings& s) {
         return EndText("irrigationEnd", s.irrigationEnd, "irrigationStart", s.irrigationStart, "irrigation",
                        s.cycleCount);
       }},
      {12, "flowerPruneStart", "Starting flower pruning cycle must be within 0\nand the total number of cycles EXCLUSIVE",
       [](const RunSettings& s) {
         return IsOn(s.flowerPruning) && OutsideStartRange(s.flowerPruneStart, s.cycleCount);
       },
       [](const RunSettings& s) {
         return StartText("flowerPruneStart", s.flowerPruneStart, "flowerPruning", s.cycleCount);
       }},
      {13, "flowerPruneEnd",
       "Ending flower pruning cycle must exceed starting cycle\nand not exceed the total number of cycles",
       [](const RunSettings& s) {
         return IsOn(s.flowerPruning) && OutsideEndRange(s.flowerPruneEnd, s.flowerPruneStart, s.cycleCount);
       },
       [](const RunSettings& s) {
         return EndText("flowerPruneEnd", s.flowerPruneEnd, "flowerPruneStart", s.flowerPruneStart, "flowerPruning",
                        s.cycleCount);
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

std::string RuleFailureLine(const ValidationRule& rule, const RunSettings& settings) {
  return rule.describe(settings) + " (rule " + std::to_string(rule.number) + ")";
}

SettingsPage RulePage(const ValidationRule& rule) {
  const FieldInfo* field = FindField(rule.field);
  return field != nullptr ? field->page : SettingsPage::Size;
}

}  // namespace varnolt
