#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "ModelTestSupport.h"

using ::testing::HasSubstr;
using S = NodeSex;

TEST(RuntimeRandom, MatchesTheWindowsRuntimeSequence) {
  RuntimeRandom seeded(1);
  EXPECT_EQ(seeded.Next(), 41);
  EXPECT_EQ(seeded.Next(), 18467);
  EXPECT_EQ(seeded.Next(), 6334);
  EXPECT_EQ(seeded.Next(), 26500);
  EXPECT_EQ(seeded.Next(), 19169);

  RuntimeRandom unseeded;  // the runtime starts as if seeded with 1
  EXPECT_EQ(unseeded.Next(), 41);

  RuntimeRandom high(0xFFFFFFFFu);  // the state wraps modulo 2^32
  for (int i = 0; i < 1000; ++i) {
    const int draw = high.Next();
    ASSERT_GE(draw, 0);
    ASSERT_LE(draw, RuntimeRandom::Max);
  }
}

TEST(TolerantComparison, SumsWithinTheToleranceCountAsEqual) {
  EXPECT_TRUE(IsAtMost(16.0, 16));
  EXPECT_TRUE(IsAtMost(16.0 + 5e-9, 16));
  EXPECT_FALSE(IsAtMost(16.0 + 2e-8, 16));
  EXPECT_TRUE(IsAtLeast(17.0 - 5e-9, 17));
  EXPECT_FALSE(IsAtLeast(17.0 - 2e-8, 17));
  EXPECT_FALSE(IsAbove(24.0 + 5e-9, 24));
  EXPECT_TRUE(IsAbove(24.0 + 2e-8, 24));
  EXPECT_FALSE(IsBelow(24.0 - 5e-9, 24));
  EXPECT_TRUE(IsBelow(24.0 - 2e-8, 24));
  const double nan = std::nan("");
  EXPECT_FALSE(IsAtMost(nan, 1) || IsAtLeast(nan, 1) || IsAbove(nan, 1) || IsBelow(nan, 1));
}

// The run of the default settings with randomPercent 0: no draws, all palms alike.
TEST(WorkedRun, WithoutDrawsEveryPalmRecordsTheSameCycles) {
  FloweringModel model;
  model.settings = DefaultModelSettings();
  model.settings.randomPercent = 0;
  model.Run(12345);

  const std::vector<int> expected =
      Record({{1, 23, S::Aborted}, {24, 37, S::Female}, {38, 48, S::Aborted}, {49, 52, S::Female},
              {53, 54, S::Male}, {55, 63, S::Aborted}, {64, 65, S::Male}, {66, 79, S::Female},
              {80, 90, S::Aborted}, {91, 93, S::Female}, {94, 96, S::Male}, {97, 100, S::Aborted}});
  ASSERT_EQ(model.cycleResults.size(), 101u);
  EXPECT_EQ(model.cycleResults[0], CycleResult{});
  EXPECT_EQ(SinglePalmRecord(model), expected);
  for (std::size_t c = 1; c <= 100; ++c) EXPECT_EQ(model.cycleResults[c].total, 100.0) << c;
}

TEST(WorkedRun, WithoutDrawsSumsAndTheFirstAbortion) {
  FloweringModel model;
  model.settings = DefaultModelSettings();
  model.settings.randomPercent = 0;
  model.Initialise();
  model.StartPalm();
  int firstAbortion = 0;
  StepPalm(model, [&](int c) {
    if (c == 25) {
      EXPECT_EQ(model.abortStressSum, 5.0);
      EXPECT_EQ(model.sexStressSum, 3.0);
    }
    if (firstAbortion == 0 && IsAbove(model.abortStressSum, 24)) {
      firstAbortion = c;
      EXPECT_EQ(model.abortStressSum, 25.0);
    }
  });
  EXPECT_EQ(firstAbortion, 29);
  EXPECT_EQ(model.recordedStates[38], CodeOf(S::Aborted));

  // Sending the abortion to slot 0, which nothing reads, leaves node 38 alive.
  FloweringModel spared;
  spared.settings = model.settings;
  spared.settings.abortionNode = 0;
  spared.settings.palmCount = 1;
  spared.Run(1);
  EXPECT_EQ(SinglePalmRecord(spared)[37], CodeOf(S::Female));
  EXPECT_NE(SinglePalmRecord(spared)[38], CodeOf(S::Aborted));
}

// The default settings with randomPercent 25 and seed 1: palm 1 cycle by cycle.
TEST(WorkedRun, WithDrawsPalmOneFromSeedOne) {
  const std::vector<int> expected =
      Record({{1, 23, S::Aborted}, {24, 36, S::Female}, {37, 48, S::Aborted}, {49, 49, S::Male},
              {50, 67, S::Aborted}, {68, 68, S::Male}, {69, 81, S::Female}, {82, 93, S::Aborted},
              {94, 94, S::Male}, {95, 100, S::Aborted}});

  FloweringModel stepped;
  stepped.settings = DefaultModelSettings();
  stepped.random.Seed(1);
  stepped.Initialise();
  stepped.StartPalm();
  StepPalm(stepped, [&](int c) {
    if (c == 1) {
      EXPECT_EQ(stepped.abortStressSum, 2.0);
      EXPECT_EQ(stepped.sexStressSum, 8.0);
    }
    if (c == 25) {
      EXPECT_EQ(stepped.abortStressSum, 9.0);
      EXPECT_EQ(stepped.sexStressSum, 15.0);
    }
  });
  std::vector<int> recorded(stepped.recordedStates.begin(), stepped.recordedStates.end());
  EXPECT_EQ(recorded, expected);

  FloweringModel single;
  single.settings = DefaultModelSettings();
  single.settings.palmCount = 1;
  single.Run(1);
  EXPECT_EQ(SinglePalmRecord(single), expected);
}

// Palms are counted as each finishes; the rows must equal counting every
// palm's record at the end.
TEST(RunLoop, RowsCountEveryPalmsRecord) {
  ModelSettings settings = DefaultModelSettings();
  settings.palmCount = 7;
  settings.cycleCount = 60;

  FloweringModel byHand;
  byHand.settings = settings;
  byHand.random.Seed(99);
  byHand.Initialise();
  std::vector<std::array<int, 4>> counts(61);
  for (int palm = 1; palm <= 7; ++palm) {
    byHand.StartPalm();
    StepPalm(byHand, [](int) {});
    for (int c = 1; c <= 60; ++c) ++counts[c][byHand.recordedStates[c]];
  }

  FloweringModel model;
  model.settings = settings;
  model.Run(99);
  bool sawMixedRow = false;
  for (int c = 1; c <= 60; ++c) {
    const CycleResult& row = model.cycleResults[c];
    const double share = 100.0 / 7;
    EXPECT_EQ(row.female, share * counts[c][3]) << c;
    EXPECT_EQ(row.herm, share * counts[c][2]) << c;
    EXPECT_EQ(row.male, share * counts[c][1]) << c;
    EXPECT_EQ(row.aborted, share * counts[c][0]) << c;
    EXPECT_NEAR(row.total, 100.0, 1e-9) << c;
    sawMixedRow |= row.aborted > 0 && row.aborted < 100;
  }
  EXPECT_TRUE(sawMixedRow) << "the draws should set the palms apart";
}

TEST(RunLoop, InitialNodesOutsideTheCodesAreCountedNowhere) {
  FloweringModel model;
  model.settings = DefaultModelSettings();
  model.settings.initialNodeSex = 7;
  model.settings.palmCount = 1;
  model.Run(1);
  // Cycle 1 records an initial node: counted in no field.
  EXPECT_EQ(model.cycleResults[1].total, 0.0);
  // The 7s fill both windows at first: 10 x 7 = 70 plus the draws.
  model.Initialise();
  model.StartPalm();
  model.random.Seed(1);
  model.ComputeStressSums(1);
  EXPECT_EQ(model.abortStressSum, 70.0 + 2);
  EXPECT_EQ(model.sexStressSum, 2 * 70.0 + 8);
}

TEST(RunLoop, SameSeedSameResults) {
  FloweringModel first, second;
  first.settings = second.settings = DefaultModelSettings();
  first.Run(4242);
  second.Run(4242);
  EXPECT_EQ(first.cycleResults, second.cycleResults);
  second.Run(4243);
  EXPECT_NE(first.cycleResults, second.cycleResults);
}
