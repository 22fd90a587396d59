#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "ModelTestSupport.h"

using ::testing::StrEq;
using S = NodeSex;

namespace {

// A model ready to step palm 1 by hand.
FloweringModel Ready(ModelSettings settings) {
  FloweringModel model;
  model.settings = std::move(settings);
  model.Initialise();
  model.StartPalm();
  return model;
}

// The sex given to the stage (positions 2 to 26) by a sex stress sum of `sum`.
int StageSexFor(double sum) {
  FloweringModel model = Ready(DefaultModelSettings());
  model.sexStressSum = sum;
  model.abortStressSum = 0.0;
  model.DetermineNodeSex(1);
  return model.nodeStates[2];
}

}  // namespace

TEST(SexDetermination, ThresholdsDecideAtTheirExactValues) {
  // F = 16, M = 17, A = 24.
  EXPECT_EQ(StageSexFor(16.0), CodeOf(S::Female));
  EXPECT_EQ(StageSexFor(16.5), CodeOf(S::Mixed));
  EXPECT_EQ(StageSexFor(17.0), CodeOf(S::Male));
  EXPECT_EQ(StageSexFor(23.9), CodeOf(S::Male));
  EXPECT_EQ(StageSexFor(24.0), CodeOf(S::Aborted));
  EXPECT_EQ(StageSexFor(std::nan("")), CodeOf(S::Aborted));
}

TEST(SexDetermination, StageWritesOnlyPositionsOneToSeventy) {
  ModelSettings settings = DefaultModelSettings();
  settings.sexStageStartNode = -1000;
  settings.sexStageEndNode = 5000;
  FloweringModel model = Ready(settings);
  model.sexStressSum = 0.0;
  model.DetermineNodeSex(1);
  EXPECT_EQ(model.nodeStates[0], 0);
  EXPECT_EQ(model.nodeStates[1], CodeOf(S::Female));
  EXPECT_EQ(model.nodeStates[70], CodeOf(S::Female));
  EXPECT_EQ(model.nodeStates[71], 0);

  settings.sexStageStartNode = INT64_MAX;  // a stage out of reach changes nothing
  FloweringModel untouched = Ready(settings);
  untouched.DetermineNodeSex(1);
  for (int i = 0; i < NodeSlotCount; ++i) ASSERT_EQ(untouched.nodeStates[i], 0) << i;
}

TEST(SexDetermination, AbortionNeedsASumAboveTheThreshold) {
  FloweringModel model = Ready(DefaultModelSettings());
  model.nodeStates[40] = CodeOf(S::Female);
  model.sexStressSum = 0.0;
  model.abortStressSum = 24.0;  // equal: no abortion
  model.DetermineNodeSex(1);
  EXPECT_EQ(model.nodeStates[40], CodeOf(S::Female));
  model.abortStressSum = 24.5;
  model.DetermineNodeSex(1);
  EXPECT_EQ(model.nodeStates[40], CodeOf(S::Aborted));
}

TEST(StressSums, FemaleWindowWithoutDrawsAbortsTheStage) {
  ModelSettings settings = DefaultModelSettings();
  settings.randomPercent = 0;
  settings.initialNodeSex = CodeOf(S::Female);
  FloweringModel model = Ready(settings);
  model.ComputeStressSums(1);
  EXPECT_EQ(model.sexStressSum, 30.0);
  EXPECT_EQ(model.abortStressSum, 30.0);  // 6 nodes scaled to ten times their mean
  model.DetermineNodeSex(1);
  EXPECT_EQ(model.nodeStates[2], CodeOf(S::Aborted));
}

TEST(StressSums, SmallRandomPercentDrawsNothing) {
  for (int percent : {0, 1, 2}) {
    ModelSettings settings = DefaultModelSettings();
    settings.randomPercent = percent;
    settings.initialNodeSex = CodeOf(S::Male);
    FloweringModel model = Ready(settings);
    model.random.Seed(1);
    model.ComputeStressSums(1);
    EXPECT_EQ(model.sexStressSum, 10.0) << percent;  // not doubled
    EXPECT_EQ(model.abortStressSum, 10.0) << percent;
    EXPECT_EQ(model.random.Next(), 41) << "no draw was taken with " << percent;
  }
  ModelSettings settings = DefaultModelSettings();
  settings.randomPercent = 3;  // range 1: the draw always adds 1
  settings.initialNodeSex = CodeOf(S::Male);
  FloweringModel model = Ready(settings);
  model.random.Seed(1);
  model.ComputeStressSums(1);
  EXPECT_EQ(model.abortStressSum, 11.0);
  EXPECT_EQ(model.sexStressSum, 21.0);
  EXPECT_EQ(model.random.Next(), 6334) << "two draws were taken";
}

TEST(StressSums, EmptyWindowsSumToZeroWhateverTheGap) {
  ModelSettings settings = DefaultModelSettings();
  settings.randomPercent = 0;
  settings.initialNodeSex = CodeOf(S::Female);
  for (std::int64_t first : {60, 61, 199, 100000}) {
    settings.sexStressFirstNode = first;
    settings.sexStressLastNode = 59;
    settings.abortStressFirstNode = first;
    settings.abortStressLastNode = first == 60 ? 59 : -5000;  // far outside, yet read nowhere
    FloweringModel model = Ready(settings);
    model.ComputeStressSums(1);
    EXPECT_EQ(model.sexStressSum, 0.0) << first;
    EXPECT_FALSE(std::signbit(model.sexStressSum)) << first;
    EXPECT_EQ(model.abortStressSum, 0.0) << first;
    model.DetermineNodeSex(1);
    EXPECT_EQ(model.nodeStates[2], CodeOf(S::Female)) << first;
  }
}

TEST(StressSums, WindowsMayReachTheEndSlotsButNoFurther) {
  ModelSettings settings = DefaultModelSettings();
  settings.sexStressFirstNode = 0;
  settings.sexStressLastNode = 199;
  settings.abortStressFirstNode = 0;
  settings.abortStressLastNode = 199;
  settings.palmCount = 2;
  settings.cycleCount = 5;
  FloweringModel model;
  model.settings = settings;
  EXPECT_NO_THROW(model.Run(1));

  struct Case {
    std::int64_t abortFirst, abortLast, sexFirst, sexLast;
    const char* setting;
    std::int64_t node;
  };
  for (const Case& c : {Case{-1, 20, 50, 59, "abortStressFirstNode", -1},
                        Case{50, 200, 50, 59, "abortStressLastNode", 200},
                        Case{-1, 200, 50, 59, "abortStressFirstNode", -1},
                        Case{50, 55, 50, 200, "sexStressLastNode", 200},
                        Case{50, 55, -7, 59, "sexStressFirstNode", -7},
                        Case{50, 1000, -7, 59, "abortStressLastNode", 1000}}) {
    settings.abortStressFirstNode = c.abortFirst;
    settings.abortStressLastNode = c.abortLast;
    settings.sexStressFirstNode = c.sexFirst;
    settings.sexStressLastNode = c.sexLast;
    model.settings = settings;
    try {
      model.Run(1);
      ADD_FAILURE() << c.setting << " was not refused";
    } catch (const NodeRangeError& error) {
      EXPECT_THAT(error.what(), StrEq("invalid vector<T> subscript"));
      EXPECT_EQ(error.setting, c.setting);
      EXPECT_EQ(error.node, c.node);
    }
  }
}

TEST(RunLoop, AFailedRunKeepsThePreviousResults) {
  FloweringModel model;
  model.settings = DefaultModelSettings();
  model.Run(1);
  const CheckedVector<CycleResult> previous = model.cycleResults;

  model.settings.abortionNode = 200;  // the worked run aborts first in cycle 29
  EXPECT_THROW(model.Run(1), NodeRangeError);
  EXPECT_EQ(model.cycleResults, previous);

  model.settings = DefaultModelSettings();
  model.settings.sexStressLastNode = 250;
  model.settings.cycleCount = 3;
  EXPECT_THROW(model.Run(1), NodeRangeError);
  EXPECT_EQ(model.cycleResults, previous);
}

TEST(RunLoop, AbortionNodeOutsideTheStorageIsHarmlessUntilUsed) {
  ModelSettings settings = DefaultModelSettings();
  settings.abortThreshold = 40;  // no sum reaches 40: nothing ever aborts
  settings.abortionNode = static_cast<std::int64_t>(INT32_MAX) + 30;
  FloweringModel model;
  model.settings = settings;
  EXPECT_NO_THROW(model.Run(7));
  EXPECT_EQ(model.cycleResults.size(), 101u);

  model.settings.abortThreshold = 24;
  try {
    model.Run(7);
    ADD_FAILURE() << "an abortion at node " << settings.abortionNode << " was allowed";
  } catch (const NodeRangeError& error) {
    EXPECT_EQ(error.setting, "abortionNode");
    EXPECT_EQ(error.node, settings.abortionNode);
  }
}

TEST(CheckedVector, RaisesTheRuntimesSubscriptError) {
  FloweringModel model;
  EXPECT_THROW(model.cycleResults[0], std::out_of_range);
  model.Initialise();
  EXPECT_THROW(model.nodeStates[200], std::out_of_range);
  EXPECT_THROW(model.nodeStates[-1], std::out_of_range);
  try {
    model.recordedStates[1];
    FAIL();
  } catch (const std::out_of_range& error) {
    EXPECT_STREQ(error.what(), "invalid vector<T> subscript");
  }
  FloweringModel fresh;  // steps before Initialise are refused, not undefined
  EXPECT_THROW(fresh.AdvanceNodes(1), std::out_of_range);
}

TEST(AdvanceNodes, MovesEveryNodeOnAndKeepsPositionSeventy) {
  ModelSettings settings = DefaultModelSettings();
  settings.cycleCount = 1;
  FloweringModel model = Ready(settings);
  for (int i = 1; i <= 70; ++i) model.nodeStates[i] = 100 + i;
  model.nodeStates[27] = CodeOf(S::Mixed);
  model.AdvanceNodes(1);
  EXPECT_EQ(model.nodeStates[1], CodeOf(S::Mixed));
  EXPECT_EQ(model.nodeStates[2], 101);
  EXPECT_EQ(model.nodeStates[28], CodeOf(S::Female));  // Mixed arriving at 28 turns Female
  EXPECT_EQ(model.nodeStates[69], 168);
  EXPECT_EQ(model.nodeStates[70], 170);
  EXPECT_EQ(model.recordedStates[1], 149);
}
