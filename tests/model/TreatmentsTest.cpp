#include <gtest/gtest.h>

#include <cmath>

#include "ModelTestSupport.h"

namespace varnolt {

using S = NodeSex;

namespace {

struct Trace {
  std::vector<double> applied{0.0}, trend{0.0}, sexSum{0.0};  // by cycle
};

Trace TracePalm(const ModelSettings& settings) {
  FloweringModel model = Ready(settings, 1);
  Trace trace;
  StepPalm(model, [&](int) {
    trace.applied.push_back(model.appliedPruneStress);
    trace.trend.push_back(model.trendStress);
    trace.sexSum.push_back(model.sexStressSum);
  });
  return trace;
}

double Trend(int cycle, int amplitude) { return std::sin(cycle * 0.26553651) * amplitude; }

}  // namespace

TEST(LeafPruning, AddsItsStressThenDecaysByHalfAUnit) {
  ModelSettings settings = DefaultModelSettings();
  settings.cycleCount = 10;
  settings.leafPruneCycle = 5;
  settings.pruneStress = 2;
  const Trace pruned = TracePalm(settings);
  EXPECT_EQ(pruned.applied, (std::vector<double>{0, 0, 0, 0, 0, 2, 1.5, 1, 0.5, 0, 0}));
  settings.leafPruneCycle = settings.pruneStress = 0;
  const Trace plain = TracePalm(settings);
  EXPECT_EQ(pruned.sexSum[4], plain.sexSum[4]);
  EXPECT_EQ(pruned.sexSum[5], plain.sexSum[5] + 2.0);

  // While pruning stress lasts, a sex stress sum above A aborts the abortion node.
  FloweringModel model = Ready(DefaultModelSettings());
  model.nodeStates[40] = CodeOf(S::Female);
  model.sexStressSum = 30.0;
  model.DetermineNodeSex(1);
  EXPECT_EQ(model.nodeStates[40], CodeOf(S::Female));
  model.appliedPruneStress = 0.5;
  model.DetermineNodeSex(1);
  EXPECT_EQ(model.nodeStates[40], CodeOf(S::Aborted));
}

TEST(TrendAndIrrigation, TheSineTermStopsBetweenTheIrrigationEnds) {
  ModelSettings settings = DefaultModelSettings();
  settings.cycleCount = 14;
  settings.trendAmplitude = 1;
  const Trace trend = TracePalm(settings);
  EXPECT_NEAR(trend.trend[6], 0.99975, 1e-5);
  EXPECT_GT(trend.trend[11], 0.0);
  EXPECT_NEAR(trend.trend[12], -0.0448, 1e-4);

  settings.trendAmplitude = 3;
  settings.irrigationStart = 10;
  settings.irrigationEnd = 12;
  const Trace irrigated = TracePalm(settings);
  for (int c = 1; c <= 14; ++c) EXPECT_EQ(irrigated.trend[c], c == 11 ? 0.0 : Trend(c, 3)) << c;
}

TEST(TrendAndIrrigation, IrrigationWithoutTrendChangesNothing) {
  FloweringModel plain, irrigated;
  plain.settings = irrigated.settings = DefaultModelSettings();
  irrigated.settings.irrigationStart = 20;
  irrigated.settings.irrigationEnd = 80;
  plain.Run(5);
  irrigated.Run(5);
  EXPECT_EQ(plain.cycleResults, irrigated.cycleResults);
}

TEST(FlowerPruning, AbortsTheNodesPassingFrondEighteen) {
  FloweringModel plain, pruned;
  plain.settings = pruned.settings = DefaultModelSettings();
  plain.settings.randomPercent = pruned.settings.randomPercent = 0;
  pruned.settings.flowerPruneStart = 25;
  pruned.settings.flowerPruneEnd = 27;
  plain.Run(1);
  pruned.Run(1);
  for (int c : {24, 25, 29}) EXPECT_EQ(pruned.cycleResults[c].female, 100.0) << c;
  for (int c : {26, 27, 28}) {
    EXPECT_EQ(plain.cycleResults[c].female, 100.0) << c;
    EXPECT_EQ(pruned.cycleResults[c].aborted, 100.0) << c;
  }
}

}  // namespace varnolt
