#include "settings/ValidationRules.h"

namespace varnolt {

namespace {

// Rules 10 to 13 compare with cycles - 1; rule 1 has made sure cycles >= 1 by
// then, so the subtraction cannot overflow.
bool OutsideStartRange(std::int32_t start, std::int32_t cycles) { return start < 1 || start > cycles - 1; }
bool OutsideEndRange(std::int32_t end, std::int32_t start, std::int32_t cycles) {
  return !(end > start && end <= cycles);
}

// The rule numbered `rule` broken by the setting `name` at `value`, beyond `limit`.
Problem Broken(int rule, const char* name, std::int32_t value, Limit limit, std::int64_t low, std::int64_t high,
               const char* boundSetting = "", const char* condition = "") {
  Problem problem;
  problem.kind = ProblemKind::BrokenRule;
  problem.rule = rule;
  problem.setting = name;
  problem.value = value;
  problem.limit = limit;
  problem.low = low;
  problem.high = high;
  problem.boundSetting = boundSetting;
  problem.condition = condition;
  return problem;
}

// A treatment's start cycle: strictly between 0 and the cycle count.
Problem StartProblem(int rule, const char* name, std::int32_t start, const char* treatment, std::int32_t cycles) {
  return Broken(rule, name, start, Limit::AboveZeroBelow, 0, cycles, "cycleCount", treatment);
}

// A treatment's end cycle: above its start and at most the cycle count.
Problem EndProblem(int rule, const char* name, std::int32_t end, const char* startName, std::int32_t start,
                   const char* treatment, std::int32_t cycles) {
  if (end <= start) return Broken(rule, name, end, Limit::Above, start, 0, startName, treatment);
  return Broken(rule, name, end, Limit::AtMost, 0, cycles, "cycleCount", treatment);
}

}  // namespace

const std::array<ValidationRule, 13>& ValidationRules() {
  static const std::array<ValidationRule, 13> rules = {{
      {1, "cycleCount", "Number of node initiation cycles must exceed 0",
       [](const RunSettings& s) { return s.cycleCount < 1; },
       [](const RunSettings& s) { return Broken(1, "cycleCount", s.cycleCount, Limit::AtLeast, 1, 0); }},
      {2, "palmCount", "Number of palms must exceed 0", [](const RunSettings& s) { return s.palmCount < 1; },
       [](const RunSettings& s) { return Broken(2, "palmCount", s.palmCount, Limit::AtLeast, 1, 0); }},
      {3, "abortThreshold", "Abortion threshold must be within 1 and 40 inclusive",
       [](const RunSettings& s) { return s.abortThreshold < 1 || s.abortThreshold > 40; },
       [](const RunSettings& s) { return Broken(3, "abortThreshold", s.abortThreshold, Limit::FromTo, 1, 40); }},
      {4, "femaleThreshold", "Female threshold must be within 0 and 38 inclusive",
       [](const RunSettings& s) { return s.femaleThreshold < 0 || s.femaleThreshold > 38; },
       [](const RunSettings& s) { return Broken(4, "femaleThreshold", s.femaleThreshold, Limit::FromTo, 0, 38); }},
      {5, "maleThreshold", "Male threshold must be greater than the female threshold\nand no larger than 39",
       [](const RunSettings& s) { return s.maleThreshold <= s.femaleThreshold || s.maleThreshold > 39; },
       [](const RunSettings& s) {
         if (s.maleThreshold <= s.femaleThreshold) {
           return Broken(5, "maleThreshold", s.maleThreshold, Limit::OtherBelow, s.femaleThreshold, 0,
                         "femaleThreshold");
         }
         return Broken(5, "maleThreshold", s.maleThreshold, Limit::AtMost, 0, 39);
       }},
      {6, "randomPercent", "Randomisation level must be 0 or greater only",
       [](const RunSettings& s) { return s.randomPercent < 0; },
       [](const RunSettings& s) { return Broken(6, "randomPercent", s.randomPercent, Limit::AtLeast, 0, 0); }},
      {7, "leafPruneCycle", "Pruning cycle number must be within 1\nand the total number of cycles inclusive",
       [](const RunSettings& s) {
         return IsOn(s.leafPruning) && (s.leafPruneCycle < 1 || s.leafPruneCycle > s.cycleCount);
       },
       [](const RunSettings& s) {
         return Broken(7, "leafPruneCycle", s.leafPruneCycle, Limit::FromTo, 1, s.cycleCount, "cycleCount",
                       "leafPruning");
       }},
      {8, "pruneStress", "Pruning stress value must be within 1 and 10 inclusive",
       [](const RunSettings& s) { return IsOn(s.leafPruning) && (s.pruneStress < 1 || s.pruneStress > 10); },
       [](const RunSettings& s) {
         return Broken(8, "pruneStress", s.pruneStress, Limit::FromTo, 1, 10, "", "leafPruning");
       }},
      {9, "trendAmplitude", "Trend amplitude must be within 1.0 and 10.0 inclusive",
       [](const RunSettings& s) { return IsOn(s.trendCycles) && (s.trendAmplitude < 1 || s.trendAmplitude > 10); },
       [](const RunSettings& s) {
         return Broken(9, "trendAmplitude", s.trendAmplitude, Limit::FromTo, 1, 10, "", "trendCycles");
       }},
      {10, "irrigationStart", "Starting irrigation cycle must be within 0\nand the total number of cycles EXCLUSIVE",
       [](const RunSettings& s) { return IsOn(s.irrigation) && OutsideStartRange(s.irrigationStart, s.cycleCount); },
       [](const RunSettings& s) {
         return StartProblem(10, "irrigationStart", s.irrigationStart, "irrigation", s.cycleCount);
       }},
      {11, "irrigationEnd", "Ending irrigation cycle must exceed starting cycle\nand not exceed the total number of cycles",
       [](const RunSettings& s) {
         return IsOn(s.irrigation) && OutsideEndRange(s.irrigationEnd, s.irrigationStart, s.cycleCount);
       },
       [](const RunSettings& s) {
         return EndProblem(11, "irrigationEnd", s.irrigationEnd, "irrigationStart", s.irrigationStart, "irrigation",
                           s.cycleCount);
       }},
      {12, "flowerPruneStart", "Starting flower pruning cycle must be within 0\nand the total number of cycles EXCLUSIVE",
       [](const RunSettings& s) {
         return IsOn(s.flowerPruning) && OutsideStartRange(s.flowerPruneStart, s.cycleCount);
       },
       [](const RunSettings& s) {
         return StartProblem(12, "flowerPruneStart", s.flowerPruneStart, "flowerPruning", s.cycleCount);
       }},
      {13, "flowerPruneEnd",
       "Ending flower pruning cycle must exceed starting cycle\nand not exceed the total number of cycles",
       [](const RunSettings& s) {
         return IsOn(s.flowerPruning) && OutsideEndRange(s.flowerPruneEnd, s.flowerPruneStart, s.cycleCount);
       },
       [](const RunSettings& s) {
         return EndProblem(13, "flowerPruneEnd", s.flowerPruneEnd, "flowerPruneStart", s.flowerPruneStart,
                           "flowerPruning", s.cycleCount);
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

std::optional<Problem> SettingsProblem(const RunSettings& settings) {
  if (const ValidationRule* rule = FirstFailedRule(settings)) return rule->problem(settings);
  return std::nullopt;
}

std::string RuleFailureLine(const ValidationRule& rule, const RunSettings& settings) {
  return ProblemLine(rule.problem(settings));
}

SettingsPage RulePage(const ValidationRule& rule) {
  const FieldInfo* field = FindField(rule.field);
  return field != nullptr ? field->page : SettingsPage::Size;
}

}  // namespace varnolt
