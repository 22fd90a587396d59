#include <gtest/gtest.h>

#include <cmath>

#include "ModelTestSupport.h"

using S = NodeSex;

namespace {

// The working values of each cycle of palm 1, by cycle (index 0 unused).
struct Trace {
  std::vector<double> applied, trend, sexSum;
  std::vector<int> recorded;
};

Trace TracePalm(const ModelSettings& settings, std::uint32_t seed = 1) {
  FloweringModel model;
  model.settings = settings;
  model.random.Seed(seed);
  model.Initialise();
  model.StartPalm();
  Trace trace{{0.0}, {0.0}, {0.0}, {}};
  StepPalm(model, [&](int) {
    trace.applied.push_back(model.appliedPruneStress);
    trace.trend.push_back(model.trendStress);
    trace.sexSum.push_back(model.sexStressSum);
  });
  trace.recorded.assign(model.recordedStates.begin(), model.recordedStates.end());
  return trace;
}

}  // namespace

TEST(LeafPruning, AddsItsStressThenDecaysByHalfAUnit) {
  ModelSettings settings = DefaultModelSettings();
  settings.cycleCount = 12;
  settings.leafPruneCycle = 5;
  settings.pruneStress = 2;
  const Trace trace = TracePalm(settings);
  const std::vector<double> expected = {0, 0, 0, 0, 0, 2, 1.5, 1, 0.5, 0, 0, 0, 0};
  EXPECT_EQ(trace.applied, expected);

  // The same draws without pruning: the sum differs by exactly the applied stress.
  settings.leafPruneCycle = settings.pruneStress = 0;
  const Trace plain = TracePalm(settings);
  for (int c = 1; c <= 4; ++c) EXPECT_EQ(trace.sexSum[c], plain.sexSum[c]) << c;
  EXPECT_EQ(trace.sexSum[5], plain.sexSum[5] + 2.0);
  for (double applied : plain.applied) EXPECT_EQ(applied, 0.0);
}

TEST(LeafPruning, LetsTheSexSumAbortWhileItLasts) {
  ModelSettings settings = DefaultModelSettings();
  settings.leafPruneCycle = 1;
  settings.pruneStress = 1;
  FloweringModel model;
  model.settings = settings;
  model.Initialise();
  model.StartPalm();
  model.nodeStates[40] = CodeOf(S::Female);
  model.abortStressSum = 0.0;
  model.sexStressSum = 30.0;
  model.appliedPruneStress = 0.0;
  model.DetermineNodeSex(1);
  EXPECT_EQ(model.nodeStates[40], CodeOf(S::Female)) << "no pruning stress, no abortion";
  model.appliedPruneStress = 0.5;
  model.DetermineNodeSex(1);
  EXPECT_EQ(model.nodeStates[40], CodeOf(S::Aborted));
}

TEST(TrendCycles, FollowTheSineOfTheCycle) {
  ModelSettings settings = DefaultModelSettings();
  settings.cycleCount = 24;
  settings.trendAmplitude = 1;
  const Trace trace = TracePalm(settings);
  EXPECT_NEAR(trace.trend[6], 0.99975, 1e-5);
  for (int c = 1; c <= 11; ++c) EXPECT_GT(trace.trend[c], 0.0) << c;
  EXPECT_NEAR(trace.trend[12], -0.0448, 1e-4);
  EXPECT_EQ(trace.trend[7], std::sin(7 * 0.26553651));

  settings.trendAmplitude = 10;
  EXPECT_EQ(TracePalm(settings).trend[7], std::sin(7 * 0.26553651) * 10);
}

TEST(Irrigation, RemovesTheTrendBetweenItsEndCycles) {
  ModelSettings settings = DefaultModelSettings();
  settings.cycleCount = 14;
  settings.trendAmplitude = 3;
  settings.irrigationStart = 10;
  settings.irrigationEnd = 12;
  const Trace trace = TracePalm(settings);
  for (int c = 1; c <= 14; ++c) {
    if (c == 11) {
      EXPECT_EQ(trace.trend[c], 0.0);
    } else {
      EXPECT_EQ(trace.trend[c], std::sin(c * 0.26553651) * 3) << c;
    }
  }
}

TEST(Irrigation, DoesNothingWithoutTrendCycles) {
  ModelSettings settings = DefaultModelSettings();
  FloweringModel plain, irrigated;
  plain.settings = settings;
  settings.irrigationStart = 20;
  settings.irrigationEnd = 80;
  irrigated.settings = settings;
  plain.Run(5);
  irrigated.Run(5);
  EXPECT_EQ(plain.cycleResults, irrigated.cycleResults);
}

TEST(FlowerPruning, AbortsTheNodesPassingFrondEighteen) {
  ModelSettings settings = DefaultModelSettings();
  settings.randomPercent = 0;
  settings.palmCount = 3;
  FloweringModel plain;
  plain.settings = settings;
  plain.Run(1);

  settings.flowerPruneStart = 25;
  settings.flowerPruneEnd = 27;
  FloweringModel pruned;
  pruned.settings = settings;
  pruned.Run(1);

  for (int c : {24, 25, 29}) {
    EXPECT_EQ(plain.cycleResults[c].female, 100.0) << c;
    EXPECT_EQ(pruned.cycleResults[c].female, 100.0) << c;
  }
  for (int c : {26, 27, 28}) {
    EXPECT_EQ(plain.cycleResults[c].female, 100.0) << c;
    EXPECT_EQ(pruned.cycleResults[c].aborted, 100.0) << c;
    EXPECT_EQ(pruned.cycleResults[c].total, 100.0) << c;
  }
}

TEST(FlowerPruning, ClearsPositionFortyEightInItsCyclesOnly) {
  ModelSettings settings = DefaultModelSettings();
  settings.flowerPruneStart = 3;
  settings.flowerPruneEnd = 4;
  FloweringModel model;
  model.settings = settings;
  model.Initialise();
  model.StartPalm();
  for (int c = 1; c <= 6; ++c) {
    model.nodeStates[48] = CodeOf(S::Female);
    model.sexStressSum = model.abortStressSum = 0.0;
    model.DetermineNodeSex(c);
    const bool pruned = c == 3 || c == 4;
    EXPECT_EQ(model.nodeStates[48], pruned ? CodeOf(S::Aborted) : CodeOf(S::Female)) << c;
  }
}
