#include <gtest/gtest.h>

#include <cmath>

#include "ModelTestSupport.h"

namespace varnolt {

using S = NodeSex;

namespace {

// The sex the stage (positions 2 to 26) takes from a sex stress sum, F 16 M 17 A 24.
int StageSexFor(double sum) {
  FloweringModel model = Ready(DefaultModelSettings());
  model.sexStressSum = sum;
  model.DetermineNodeSex(1);
  return model.nodeStates[2];
}

}  // namespace

TEST(SexDetermination, ThresholdsDecideAtTheirExactValuesWithinTheTolerance) {
  EXPECT_EQ(StageSexFor(16.0 + 5e-9), CodeOf(S::Female));
  EXPECT_EQ(StageSexFor(16.0 + 2e-8), CodeOf(S::Mixed));
  EXPECT_EQ(StageSexFor(17.0 - 5e-9), CodeOf(S::Male));
  EXPECT_EQ(StageSexFor(23.9), CodeOf(S::Male));
  EXPECT_EQ(StageSexFor(24.0 - 5e-9), CodeOf(S::Aborted));
  EXPECT_EQ(StageSexFor(std::nan("")), CodeOf(S::Aborted));

  FloweringModel model = Ready(DefaultModelSettings());
  model.nodeStates[40] = CodeOf(S::Female);
  model.abortStressSum = 24.0 + 5e-9;  // equal to the threshold: no abortion
  model.DetermineNodeSex(1);
  EXPECT_EQ(model.nodeStates[40], CodeOf(S::Female));
  model.abortStressSum = 24.0 + 2e-8;
  model.DetermineNodeSex(1);
  EXPECT_EQ(model.nodeStates[40], CodeOf(S::Aborted));
}

TEST(SexDetermination, StageWritesOnlyPositionsOneToSeventyAndSeventyStaysPut) {
  ModelSettings settings = DefaultModelSettings();
  settings.sexStageStartNode = -1000;
  settings.sexStageEndNode = INT64_MAX;
  FloweringModel model = Ready(settings);
  model.DetermineNodeSex(1);
  EXPECT_EQ(model.nodeStates[0], 0);
  EXPECT_EQ(model.nodeStates[1], CodeOf(S::Female));
  EXPECT_EQ(model.nodeStates[70], CodeOf(S::Female));
  EXPECT_EQ(model.nodeStates[71], 0);
  model.nodeStates[27] = CodeOf(S::Mixed);
  model.nodeStates[69] = 9;
  model.AdvanceNodes(1);
  EXPECT_EQ(model.nodeStates[1], CodeOf(S::Mixed));
  EXPECT_EQ(model.nodeStates[28], CodeOf(S::Female)) << "Mixed arriving at 28 turns Female";
  EXPECT_EQ(model.nodeStates[70], CodeOf(S::Female)) << "69 drops out, 70 is not written";
}

TEST(StressSums, SmallRandomPercentDrawsNothingAndDoublesNothing) {
  for (int percent : {0, 1, 2, 3}) {
    ModelSettings settings = DefaultModelSettings();
    settings.randomPercent = percent;
    settings.initialNodeSex = CodeOf(S::Male);
    FloweringModel model = Ready(settings, 1);
    model.ComputeStressSums(1);
    const bool draws = percent == 3;  // range 1: each draw adds exactly 1
    EXPECT_EQ(model.abortStressSum, draws ? 11.0 : 10.0) << percent;
    EXPECT_EQ(model.sexStressSum, draws ? 21.0 : 10.0) << percent;
    EXPECT_EQ(model.random.Next(), draws ? 6334 : 41) << percent;
  }
}

TEST(StressSums, EmptyWindowsSumToZeroWhateverTheGap) {
  ModelSettings settings = DefaultModelSettings();
  settings.randomPercent = 0;
  settings.initialNodeSex = CodeOf(S::Female);
  for (std::int64_t first : {60, 61, 100000}) {
    settings.sexStressFirstNode = settings.abortStressFirstNode = first;
    settings.sexStressLastNode = 59;
    settings.abortStressLastNode = first == 60 ? 59 : -5000;  // far outside, yet read nowhere
    FloweringModel model = Ready(settings);
    model.ComputeStressSums(1);
    EXPECT_EQ(model.sexStressSum, 0.0) << first;
    EXPECT_EQ(model.abortStressSum, 0.0) << first;
    model.DetermineNodeSex(1);
    EXPECT_EQ(model.nodeStates[2], CodeOf(S::Female)) << first;
  }
}

TEST(StressSums, WindowsReachTheEndSlotsButNoFurther) {
  ModelSettings settings = DefaultModelSettings();
  settings.sexStressFirstNode = settings.abortStressFirstNode = 0;
  settings.sexStressLastNode = settings.abortStressLastNode = 199;
  FloweringModel model;
  model.settings = settings;
  EXPECT_NO_THROW(model.Run(1));

  struct Case {
    std::int64_t abortFirst, abortLast, sexFirst, sexLast;
    const char* setting;
    std::int64_t node;
  };
  for (const Case& c : {Case{-1, 200, 50, 59, "abortStressFirstNode", -1},
                        Case{50, 200, -7, 59, "abortStressLastNode", 200},
                        Case{50, 55, -7, 200, "sexStressFirstNode", -7},
                        Case{50, 55, 50, 200, "sexStressLastNode", 200},
                        // Both ends beyond the storage: the first position read is the one named.
                        Case{205, 210, 50, 59, "abortStressFirstNode", 205},
                        Case{50, 55, 200, 201, "sexStressFirstNode", 200}}) {
    model.settings = settings;
    model.settings.abortStressFirstNode = c.abortFirst;
    model.settings.abortStressLastNode = c.abortLast;
    model.settings.sexStressFirstNode = c.sexFirst;
    model.settings.sexStressLastNode = c.sexLast;
    try {
      model.Run(1);
      ADD_FAILURE() << c.setting << " was not refused";
    } catch (const NodeRangeError& error) {
      EXPECT_STREQ(error.what(), "invalid vector<T> subscript");
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
  model.settings.abortionNode = 200;  // the run aborts first in cycle 29
  EXPECT_THROW(model.Run(1), NodeRangeError);
  EXPECT_EQ(model.cycleResults, previous);
}

TEST(RunLoop, AnAbortionNodeOutsideTheStorageFailsOnlyWhenUsed) {
  FloweringModel model;
  model.settings = DefaultModelSettings();
  model.settings.abortThreshold = 40;  // no sum gets above 40: nothing aborts
  model.settings.abortionNode = static_cast<std::int64_t>(INT32_MAX) + 30;
  EXPECT_NO_THROW(model.Run(7));
  model.settings.abortThreshold = 24;
  EXPECT_THROW(model.Run(7), NodeRangeError);
  EXPECT_THROW(FloweringModel().AdvanceNodes(1), std::out_of_range) << "steps before Initialise";
}

}  // namespace varnolt
