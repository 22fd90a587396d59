#include <gtest/gtest.h>

#include <array>

#include "ModelTestSupport.h"

namespace varnolt {

using S = NodeSex;

TEST(RuntimeRandom, MatchesTheWindowsRuntimeSequence) {
  RuntimeRandom random(1);
  for (int expected : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(random.Next(), expected);
  EXPECT_EQ(RuntimeRandom().Next(), 41) << "unseeded, the runtime behaves as if seeded with 1";
}

TEST(WorkedRun, WithoutDrawsEveryPalmRecordsTheSameCycles) {
  ModelSettings settings = DefaultModelSettings();
  settings.randomPercent = 0;
  FloweringModel model;
  model.settings = settings;
  model.Run(12345);
  EXPECT_EQ(UniformRecord(model),
            Record({{1, 23, S::Aborted}, {24, 37, S::Female}, {38, 48, S::Aborted}, {49, 52, S::Female},
                    {53, 54, S::Male}, {55, 63, S::Aborted}, {64, 65, S::Male}, {66, 79, S::Female},
                    {80, 90, S::Aborted}, {91, 93, S::Female}, {94, 96, S::Male}, {97, 100, S::Aborted}}));
  EXPECT_EQ(model.cycleResults[0], CycleResult{});
  for (std::size_t c = 1; c <= 100; ++c) ASSERT_EQ(model.cycleResults[c].total, 100.0) << c;

  // Cycle 25 sees one Female node in each window; the first abortion is in cycle 29.
  FloweringModel stepped = Ready(settings);
  int firstAbortion = 0;
  StepPalm(stepped, [&](int c) {
    if (c == 25) {
      EXPECT_EQ(std::make_pair(stepped.abortStressSum, stepped.sexStressSum), std::make_pair(5.0, 3.0));
    }
    if (firstAbortion == 0 && IsAbove(stepped.abortStressSum, 24)) {
      firstAbortion = c;
      EXPECT_EQ(stepped.abortStressSum, 25.0);
    }
  });
  EXPECT_EQ(firstAbortion, 29);
  // That node is recorded in cycle 38; sent to slot 0, the same node lives on.
  settings.abortionNode = 0;
  settings.palmCount = 1;
  model.settings = settings;
  model.Run(1);
  EXPECT_NE(UniformRecord(model)[38], CodeOf(S::Aborted));
}

TEST(WorkedRun, WithDrawsPalmOneFromSeedOne) {
  const std::vector<int> expected =
      Record({{1, 23, S::Aborted}, {24, 36, S::Female}, {37, 48, S::Aborted}, {49, 49, S::Male},
              {50, 67, S::Aborted}, {68, 68, S::Male}, {69, 81, S::Female}, {82, 93, S::Aborted},
              {94, 94, S::Male}, {95, 100, S::Aborted}});
  FloweringModel stepped = Ready(DefaultModelSettings(), 1);
  StepPalm(stepped, [&](int c) {
    if (c == 1) {
      EXPECT_EQ(std::make_pair(stepped.abortStressSum, stepped.sexStressSum), std::make_pair(2.0, 8.0));
    }
    if (c == 25) {
      EXPECT_EQ(std::make_pair(stepped.abortStressSum, stepped.sexStressSum), std::make_pair(9.0, 15.0));
    }
  });
  EXPECT_EQ(std::vector<int>(stepped.recordedStates.begin(), stepped.recordedStates.end()), expected);

  FloweringModel single;
  single.settings = DefaultModelSettings();
  single.settings.palmCount = 1;
  single.Run(1);
  EXPECT_EQ(UniformRecord(single), expected);
}

// Palms are counted as each finishes; the rows must equal counting all records at the end.
TEST(RunLoop, RowsCountEveryPalmsRecord) {
  ModelSettings settings = DefaultModelSettings();
  settings.palmCount = 7;
  settings.cycleCount = 60;
  FloweringModel byHand = Ready(settings, 99);
  std::vector<std::array<int, 4>> counts(61);
  for (int palm = 1; palm <= 7; ++palm) {
    if (palm > 1) byHand.StartPalm();
    StepPalm(byHand, [](int) {});
    for (int c = 1; c <= 60; ++c) ++counts[c][byHand.recordedStates[c]];
  }
  FloweringModel model;
  model.settings = settings;
  model.Run(99);
  const double share = 100.0 / 7;
  bool mixedRow = false;
  for (int c = 1; c <= 60; ++c) {
    const CycleResult& row = model.cycleResults[c];
    EXPECT_EQ(row, (CycleResult{share * counts[c][3], share * counts[c][2], share * counts[c][1],
                                share * counts[c][0], row.total})) << c;
    EXPECT_NEAR(row.total, 100.0, 1e-9) << c;
    mixedRow |= row.aborted > 0 && row.aborted < 100;
  }
  EXPECT_TRUE(mixedRow) << "the draws should set the palms apart";
}

TEST(RunLoop, InitialNodesOutsideTheCodesAreCountedNowhere) {
  ModelSettings settings = DefaultModelSettings();
  settings.initialNodeSex = 7;
  FloweringModel stepped = Ready(settings, 1);
  stepped.ComputeStressSums(1);
  EXPECT_EQ(stepped.abortStressSum, 70.0 + 2);  // the 7s are stress too
  EXPECT_EQ(stepped.sexStressSum, 2 * 70.0 + 8);
  FloweringModel model;
  model.settings = settings;
  model.Run(1);
  EXPECT_EQ(model.cycleResults[1].total, 0.0);
}

}  // namespace varnolt
