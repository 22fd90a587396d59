// The table of the 27 settings: what it says of each agrees with the record's
// defaults and with the rules, the runner's one-line rule failures name the
// values and the bound, and the Markdown reference holds every setting and rule.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "settings/RunSettings.h"
#include "settings/SettingsReference.h"
#include "settings/ValidationRules.h"

namespace varnolt {

using ::testing::HasSubstr;

namespace {

TEST(SettingsTable, EachSettingHasItsMeaningPageControlAndTheRuleThatBoundsIt) {
  std::set<std::string> names;
  for (const FieldInfo& field : RunSettingsFields()) {
    SCOPED_TRACE(field.name);
    names.insert(field.name);
    EXPECT_EQ(FindField(field.name), &field);
    const std::string meaning = field.meaning;
    ASSERT_FALSE(meaning.empty());
    EXPECT_EQ(meaning.back(), '.') << "one sentence";
    EXPECT_EQ(meaning.find('\n'), std::string::npos);
    EXPECT_FALSE(std::string(field.label).empty());
    EXPECT_FALSE(std::string(SettingsPageTitle(field.page)).empty());
    // Switches are check boxes, texts are edits, numbers never check boxes.
    EXPECT_EQ(field.kind == FieldKind::Switch, field.control == SettingControl::CheckBox);
    if (field.kind == FieldKind::Text) {
      EXPECT_EQ(field.control, SettingControl::TextEdit);
    }

    // The bound names the rule of this setting, and only a setting with a rule names one.
    const std::string admitted = field.admitted;
    int rules = 0;
    for (const ValidationRule& rule : ValidationRules()) {
      if (std::string(rule.field) != field.name) continue;
      ++rules;
      EXPECT_THAT(admitted, HasSubstr("(rule " + std::to_string(rule.number) + ")"));
      EXPECT_EQ(RulePage(rule), field.page);
    }
    EXPECT_EQ(admitted.find("(rule") != std::string::npos, rules == 1) << admitted;
  }
  EXPECT_EQ(names.size(), 27u);
  EXPECT_EQ(FindField("nothing"), nullptr);
  EXPECT_EQ(FieldLabel(*FindField("abortionFrond")), "Frond where stress induced abortion occurs");
  // The edits that take a minus sign, as the pages have them.
  for (const char* name : {"sexStageStartFrond", "sexStageEndFrond", "trendAmplitude"}) {
    EXPECT_EQ(FindField(name)->control, SettingControl::TextEdit) << name;
  }
  EXPECT_EQ(FindField("cycleCount")->control, SettingControl::NumberEdit);
}

TEST(SettingsTable, TheRunnerLineOfEachRuleNamesTheValuesAndTheBound) {
  RunSettings s;
  s.femaleThreshold = 17;
  const ValidationRule* rule = FirstFailedRule(s);
  ASSERT_NE(rule, nullptr);
  EXPECT_EQ(RuleFailureLine(*rule, s), "femaleThreshold 17 must be below maleThreshold 17 (rule 5)");
  s.femaleThreshold = 16;
  s.maleThreshold = 40;
  EXPECT_EQ(RuleFailureLine(*FirstFailedRule(s), s), "maleThreshold 40 must be at most 39 (rule 5)");

  struct Case {
    void (*breakIt)(RunSettings&);
    const char* line;
  };
  const Case cases[] = {
      {[](RunSettings& s) { s.cycleCount = -3; }, "cycleCount -3 must be 1 or more (rule 1)"},
      {[](RunSettings& s) { s.palmCount = 0; }, "palmCount 0 must be 1 or more (rule 2)"},
      {[](RunSettings& s) { s.abortThreshold = 41; }, "abortThreshold 41 must be from 1 to 40 (rule 3)"},
      {[](RunSettings& s) { s.femaleThreshold = 39; }, "femaleThreshold 39 must be from 0 to 38 (rule 4)"},
      {[](RunSettings& s) { s.randomPercent = -1; }, "randomPercent -1 must be 0 or more (rule 6)"},
      {[](RunSettings& s) { s.leafPruning = 1; s.leafPruneCycle = 101; s.pruneStress = 3; },
       "leafPruneCycle 101 must be from 1 to cycleCount 100 while leafPruning is on (rule 7)"},
      {[](RunSettings& s) { s.leafPruning = 2; s.leafPruneCycle = 100; s.pruneStress = 11; },
       "pruneStress 11 must be from 1 to 10 while leafPruning is on (rule 8)"},
      {[](RunSettings& s) { s.trendCycles = 1; }, "trendAmplitude 0 must be from 1 to 10 while trendCycles is on (rule 9)"},
      {[](RunSettings& s) { s.cycleCount = 1; s.irrigation = 1; s.irrigationStart = 1; },
       "irrigationStart 1 must be above 0 and below cycleCount 1 while irrigation is on (rule 10)"},
      {[](RunSettings& s) { s.irrigation = 1; s.irrigationStart = 10; s.irrigationEnd = 10; },
       "irrigationEnd 10 must be above irrigationStart 10 while irrigation is on (rule 11)"},
      {[](RunSettings& s) { s.irrigation = 1; s.irrigationStart = 10; s.irrigationEnd = 101; },
       "irrigationEnd 101 must be at most cycleCount 100 while irrigation is on (rule 11)"},
      {[](RunSettings& s) { s.flowerPruning = 1; s.flowerPruneStart = 100; },
       "flowerPruneStart 100 must be above 0 and below cycleCount 100 while flowerPruning is on (rule 12)"},
      {[](RunSettings& s) { s.flowerPruning = 1; s.flowerPruneStart = 5; s.flowerPruneEnd = 4; },
       "flowerPruneEnd 4 must be above flowerPruneStart 5 while flowerPruning is on (rule 13)"},
  };
  for (const Case& c : cases) {
    RunSettings broken;
    c.breakIt(broken);
    const ValidationRule* failed = FirstFailedRule(broken);
    ASSERT_NE(failed, nullptr) << c.line;
    EXPECT_EQ(RuleFailureLine(*failed, broken), c.line);
    // The same failure as data: the rule's own setting with its value, and the
    // rule's number, whatever setting the line begins with.
    const std::optional<Problem> problem = SettingsProblem(broken);
    ASSERT_TRUE(problem.has_value()) << c.line;
    EXPECT_EQ(problem->kind, ProblemKind::BrokenRule);
    EXPECT_EQ(problem->rule, failed->number) << c.line;
    EXPECT_EQ(problem->setting, failed->field) << c.line;
    EXPECT_EQ(problem->value, broken.*(FindField(failed->field)->integer)) << c.line;
    EXPECT_EQ(ProblemLine(*problem), c.line);
  }
  // Rule 5 broken by the female threshold is still about the male one.
  RunSettings equal;
  equal.femaleThreshold = 17;
  equal.maleThreshold = 17;
  const std::optional<Problem> rule5 = SettingsProblem(equal);
  ASSERT_TRUE(rule5.has_value());
  EXPECT_EQ(rule5->setting, "maleThreshold");
  EXPECT_EQ(rule5->boundSetting, "femaleThreshold");
  EXPECT_EQ(rule5->low, 17);
  EXPECT_FALSE(SettingsProblem(RunSettings{}).has_value());
  // The extremes print as they are, without overflow.
  RunSettings extreme;
  extreme.cycleCount = INT32_MIN;
  EXPECT_EQ(RuleFailureLine(*FirstFailedRule(extreme), extreme), "cycleCount -2147483648 must be 1 or more (rule 1)");
}

TEST(SettingsReference, OneRowPerSettingWithBothDefaultsThenOnePerRule) {
  std::ostringstream out;
  WriteSettingsReference(out);
  const std::string text = out.str();
  std::istringstream lines(text);
  std::string line;
  std::vector<std::string> rows;
  while (std::getline(lines, line)) {
    if (line.rfind("| `", 0) == 0 || (line.rfind("| ", 0) == 0 && std::isdigit(static_cast<unsigned char>(line[2])))) {
      rows.push_back(line);
    }
  }
  ASSERT_EQ(rows.size(), 27u + 13u);
  for (std::size_t i = 0; i < 27; ++i) {
    const FieldInfo& field = RunSettingsFields()[i];
    EXPECT_EQ(rows[i].rfind(std::string("| `") + field.name + "` | " + field.meaning + " |", 0), 0u) << rows[i];
    EXPECT_THAT(rows[i], HasSubstr(std::string("\"") + FieldLabel(field) + "\""));
  }
  EXPECT_THAT(rows[0], HasSubstr("| \"VARNOLT Simulation Run\" | \"VRT Simulation Run\" |"));
  EXPECT_THAT(rows[1], HasSubstr("| cycles | 100 | 100 | 1 or more (rule 1) | Size: number edit"));
  EXPECT_THAT(rows[7], HasSubstr("| -28 | -28 |"));
  EXPECT_THAT(rows[27 + 4], HasSubstr("femaleThreshold 17 must be below maleThreshold 17 (rule 5)"));
  for (std::size_t r = 0; r < 13; ++r) {
    const ValidationRule& rule = ValidationRules()[r];
    EXPECT_EQ(rows[27 + r].rfind("| " + std::to_string(rule.number) + " | `" + rule.field + "` |", 0), 0u);
    EXPECT_THAT(rows[27 + r], HasSubstr("(rule " + std::to_string(rule.number) + ") |"));
  }
  EXPECT_EQ(text.find('\r'), std::string::npos);
}

}  // namespace

}  // namespace varnolt
