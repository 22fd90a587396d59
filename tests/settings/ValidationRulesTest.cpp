#include <gtest/gtest.h>

#include "settings/ValidationRules.h"

namespace varnolt {

namespace {
int FailedRule(const RunSettings& s) {
  const ValidationRule* rule = FirstFailedRule(s);
  return rule ? rule->number : 0;
}
}  // namespace

TEST(RunSettingsDefaults, DifferOnlyInTheNotes) {
  RunSettings startup = StartupDefaults();
  RunSettings fresh = NewDefaults();
  EXPECT_EQ(startup.runNotes, "VARNOLT Simulation Run");
  EXPECT_EQ(fresh.runNotes, "VRT Simulation Run");
  fresh.runNotes = startup.runNotes;
  EXPECT_EQ(fresh, startup);
  EXPECT_EQ(FailedRule(startup), 0);
}

TEST(RunSettingsFields, NamesEveryFieldOnce) {
  RunSettings s;
  int texts = 0;
  for (const FieldInfo& f : RunSettingsFields()) {
    EXPECT_EQ(FindField(f.name), &f);
    if (f.kind == FieldKind::Text) { ++texts; (s.*(f.text)).assign(1, 'x'); }
    else s.*(f.integer) = 123456;
  }
  EXPECT_EQ(texts, 2);
  // Every integer member is reached: none keeps its default.
  EXPECT_EQ(s.cycleCount, 123456);
  EXPECT_EQ(s.initialNodeSex, 123456);
  EXPECT_EQ(s.flowerPruneEnd, 123456);
  EXPECT_EQ(FindField("cyclecount"), nullptr);
}

TEST(ValidationRules, AreTestedInTableOrder) {
  RunSettings s;
  s.cycleCount = 0;
  s.palmCount = 0;
  s.abortThreshold = 0;
  EXPECT_EQ(FailedRule(s), 1);
  s.cycleCount = 1;
  EXPECT_EQ(FailedRule(s), 2);
  s.palmCount = 1;
  s.femaleThreshold = 39;  // rule 4 fails too, but abortion comes first
  EXPECT_EQ(FailedRule(s), 3);
  s.abortThreshold = 40;
  EXPECT_EQ(FailedRule(s), 4);
}

TEST(ValidationRules, ThresholdBoundaries) {
  RunSettings s;
  s.abortThreshold = 1; EXPECT_EQ(FailedRule(s), 0);
  s.abortThreshold = 41; EXPECT_EQ(FailedRule(s), 3);
  s.abortThreshold = 24;
  s.femaleThreshold = 0; EXPECT_EQ(FailedRule(s), 0);
  s.femaleThreshold = -1; EXPECT_EQ(FailedRule(s), 4);
  s.femaleThreshold = 17; s.maleThreshold = 17; EXPECT_EQ(FailedRule(s), 5);
  s.femaleThreshold = 38; s.maleThreshold = 39; EXPECT_EQ(FailedRule(s), 0);
  s.maleThreshold = 40; EXPECT_EQ(FailedRule(s), 5);
  s.maleThreshold = 39; s.randomPercent = -1; EXPECT_EQ(FailedRule(s), 6);
}

TEST(ValidationRules, TreatmentsAreCheckedOnlyWhenOn) {
  RunSettings s;
  s.leafPruneCycle = -5; s.pruneStress = 99; s.trendAmplitude = 0;
  s.irrigationStart = 500; s.flowerPruneEnd = -1;
  EXPECT_EQ(FailedRule(s), 0);

  s.leafPruning = 1; s.leafPruneCycle = 100; s.pruneStress = 10;
  EXPECT_EQ(FailedRule(s), 0);  // the last cycle is allowed
  s.leafPruneCycle = 101; EXPECT_EQ(FailedRule(s), 7);
  s.leafPruneCycle = 1; s.pruneStress = 0; EXPECT_EQ(FailedRule(s), 8);
  s.pruneStress = 1;

  s.trendCycles = 1; EXPECT_EQ(FailedRule(s), 9);
  s.trendAmplitude = 11; EXPECT_EQ(FailedRule(s), 9);
  s.trendAmplitude = 10; EXPECT_EQ(FailedRule(s), 0);

  s.irrigation = 1; s.irrigationStart = 100; s.irrigationEnd = 100;
  EXPECT_EQ(FailedRule(s), 10);  // the start must lie before the last cycle
  s.irrigationStart = 99; EXPECT_EQ(FailedRule(s), 0);
  s.irrigationEnd = 99; EXPECT_EQ(FailedRule(s), 11);
  s.irrigationEnd = 101; EXPECT_EQ(FailedRule(s), 11);
  s.irrigationEnd = 100;

  s.flowerPruning = 1; s.flowerPruneStart = 0; s.flowerPruneEnd = 5;
  EXPECT_EQ(FailedRule(s), 12);
  s.flowerPruneStart = 5; EXPECT_EQ(FailedRule(s), 13);
  s.flowerPruneEnd = 6; EXPECT_EQ(FailedRule(s), 0);
}

TEST(ValidationRules, OneCycleLeavesNoRoomForIrrigationOrFlowerPruning) {
  RunSettings s;
  s.cycleCount = 1;
  s.irrigation = 1; s.irrigationStart = 1; s.irrigationEnd = 1;
  const ValidationRule* rule = FirstFailedRule(s);
  ASSERT_NE(rule, nullptr);
  EXPECT_EQ(rule->number, 10);
  EXPECT_STREQ(rule->field, "irrigationStart");
  EXPECT_EQ(RulePage(*rule), SettingsPage::Irrigation);
  s.irrigation = 0; s.flowerPruning = 1;
  EXPECT_EQ(FailedRule(s), 12);
}

TEST(ValidationRules, RuleEightSaysWhatItChecks) {
  EXPECT_STREQ(ValidationRules()[7].message, "Pruning stress value must be within 1 and 10 inclusive");
  EXPECT_STREQ(ValidationRules()[7].field, "pruneStress");
}

}  // namespace varnolt
