// The settings table's own words, checked against the rules they describe: what
// it says a run admits is probed at both ends against the rule that bounds the
// setting, so the reference that docs/settings.md and the man page carry (see
// settings-reference.sh) cannot promise a range the program does not keep.

#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <string>

#include "settings/RunSettings.h"
#include "settings/ValidationRules.h"

namespace varnolt {

namespace {

const ValidationRule* RuleAbout(const std::string& field) {
  for (const ValidationRule& rule : ValidationRules()) {
    if (field == rule.field) return &rule;
  }
  return nullptr;
}

// Settings that pass every rule with every treatment on, so that a probe of one
// value meets only its own rule.
RunSettings AllTreatmentsOn() {
  RunSettings s = StartupDefaults();
  s.leafPruning = s.trendCycles = s.irrigation = s.flowerPruning = 1;
  s.leafPruneCycle = 50;
  s.pruneStress = 5;
  s.trendAmplitude = 5;
  s.irrigationStart = 20;
  s.irrigationEnd = 60;
  s.flowerPruneStart = 30;
  s.flowerPruneEnd = 70;
  return s;
}

// One end of a range: a number, or another setting less an offset.
struct Bound {
  std::optional<std::int32_t> number;
  std::string field;
  std::int32_t offset = 0;
  std::int32_t Value(const RunSettings& s) const {
    return number ? *number : s.*(FindField(field)->integer) + offset;
  }
};

std::optional<Bound> ParseBound(const std::string& text) {
  static const std::regex number(R"(^-?[0-9]+$)");
  static const std::regex fieldMinus(R"(^([a-zA-Z]+)(?: - ([0-9]+))?$)");
  std::smatch match;
  if (std::regex_match(text, number)) return Bound{std::stoi(text), "", 0};
  if (std::regex_match(text, match, fieldMinus) && FindField(match[1]) != nullptr) {
    return Bound{std::nullopt, match[1], match[2].matched ? -std::stoi(match[2]) : 0};
  }
  return std::nullopt;
}

struct Range {
  std::optional<Bound> low, high;
  std::string whileOn;  // the switch that must be on for the rule to count
  int rule = 0;
};

// "1 or more (rule 1)", "0 to 38 (rule 4)", "above femaleThreshold and at most
// 39 (rule 5)", "while irrigation is on: 1 to cycleCount - 1 (rule 10)".
std::optional<Range> ParseRange(std::string text) {
  Range range;
  std::smatch match;
  if (!std::regex_match(text, match, std::regex(R"(^(.*) \(rule ([0-9]+)\)$)"))) return std::nullopt;
  range.rule = std::stoi(match[2]);
  text = match[1];
  if (std::regex_match(text, match, std::regex(R"(^while ([a-zA-Z]+) is on: (.*)$)"))) {
    range.whileOn = match[1];
    text = match[2];
  }
  if (std::regex_match(text, match, std::regex(R"(^(\S+) or more$)"))) {
    range.low = ParseBound(match[1]);
  } else if (std::regex_match(text, match, std::regex(R"(^above (.+) and at most (.+)$)"))) {
    range.low = ParseBound(match[1]);
    if (range.low) range.low->offset += 1;
    range.high = ParseBound(match[2]);
    if (!range.high) return std::nullopt;
  } else if (std::regex_match(text, match, std::regex(R"(^(.+) to (.+)$)"))) {
    range.low = ParseBound(match[1]);
    range.high = ParseBound(match[2]);
    if (!range.high) return std::nullopt;
  } else {
    return std::nullopt;
  }
  if (!range.low) return std::nullopt;
  return range;
}

TEST(SettingsReference, EveryRuledSettingNamesItsRuleAndNoOtherDoes) {
  for (const FieldInfo& field : RunSettingsFields()) {
    const std::string admitted = field.admitted;
    const ValidationRule* rule = RuleAbout(field.name);
    if (rule == nullptr) {
      EXPECT_EQ(admitted.find("(rule "), std::string::npos) << field.name << " has no rule: " << admitted;
    } else {
      EXPECT_NE(admitted.find("(rule " + std::to_string(rule->number) + ")"), std::string::npos)
          << field.name << " is bounded by rule " << rule->number << ": " << admitted;
    }
  }
}

TEST(SettingsReference, WhatARunAdmitsIsExactlyWhatTheRulesLetThrough) {
  for (const FieldInfo& field : RunSettingsFields()) {
    const ValidationRule* rule = RuleAbout(field.name);
    if (rule == nullptr) continue;
    const auto range = ParseRange(field.admitted);
    ASSERT_TRUE(range) << field.name << ": cannot read \"" << field.admitted << "\"";
    ASSERT_EQ(range->rule, rule->number) << field.name;
    std::int32_t RunSettings::*value = field.integer;
    const RunSettings base = AllTreatmentsOn();
    ASSERT_EQ(FirstFailedRule(base), nullptr);

    RunSettings probe = base;
    const std::int32_t low = range->low->Value(base);
    probe.*value = low;
    EXPECT_FALSE(rule->fails(probe)) << field.name << " = " << low << " is admitted, the table says";
    probe.*value = low - 1;
    EXPECT_TRUE(rule->fails(probe)) << field.name << " = " << low - 1 << " is refused, the table says";
    if (range->high) {
      const std::int32_t high = range->high->Value(base);
      probe.*value = high;
      EXPECT_FALSE(rule->fails(probe)) << field.name << " = " << high << " is admitted, the table says";
      probe.*value = high + 1;
      EXPECT_TRUE(rule->fails(probe)) << field.name << " = " << high + 1 << " is refused, the table says";
    } else {
      probe.*value = 2147483647;
      EXPECT_FALSE(rule->fails(probe)) << field.name << " has no upper bound, the table says";
    }
    // "while ... is on": with that switch off, the rule lets anything through.
    RunSettings off = base;
    off.*value = -5;
    if (!range->whileOn.empty()) {
      off.*(FindField(range->whileOn)->integer) = 0;
      EXPECT_FALSE(rule->fails(off)) << field.name << " is checked only while " << range->whileOn << " is on";
    } else {
      EXPECT_TRUE(rule->fails(off)) << field.name << " = -5 is refused whatever the treatments";
    }
  }
}

}  // namespace

}  // namespace varnolt
