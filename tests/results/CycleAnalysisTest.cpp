#include "results/CycleAnalysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {

// A run whose % female follows `female(cycle)`, the rest split so rows add to 100.
template <typename Female>
std::vector<CycleResult> Series(int count, Female female) {
  std::vector<CycleResult> cycles;
  for (int c = 1; c <= count; ++c) {
    const double f = female(c);
    cycles.push_back({f, 1.0, (99.0 - f) / 2, (99.0 - f) / 2, 100.0});
  }
  return cycles;
}

}  // namespace

TEST(AnalyseCycles, FindsThePeriodOfANoisySineAndOfASquareWave) {
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 3.0);
  const auto sine = Series(2000, [&](int c) { return 30.0 + 10.0 * std::sin(2 * std::numbers::pi * c / 37.0) + noise(random); });
  const CycleAnalysis a = AnalyseCycles(sine);
  EXPECT_EQ(a.period, 37);
  EXPECT_GT(a.strength, 0.6);
  EXPECT_LT(a.strength, 1.0);
  EXPECT_EQ(a.firstCycle, 101);
  EXPECT_EQ(a.lastCycle, 2000);
  EXPECT_NEAR(a.meanFemale, 30.0, 0.5);
  EXPECT_DOUBLE_EQ(a.meanHerm, 1.0);

  const auto square = Series(770, [](int c) { return (c / 21) % 2 == 0 ? 60.0 : 10.0; });
  const CycleAnalysis b = AnalyseCycles(square);
  EXPECT_EQ(b.period, 42);
  EXPECT_GT(b.strength, 0.8);
  EXPECT_EQ(AnalysisLine(b).rfind("Period 42 cycles (strength 0.", 0), 0u);
  EXPECT_NE(AnalysisLine(b).find("over cycles 101 to 770"), std::string::npos);
}

TEST(AnalyseCycles, NoiseAndConstantsHaveNoRegularCycle) {
  std::mt19937 random(3);
  std::uniform_real_distribution<double> uniform(0.0, 100.0);
  const CycleAnalysis noise = AnalyseCycles(Series(1000, [&](int) { return uniform(random); }));
  EXPECT_FALSE(noise.HasPeriod());
  EXPECT_LT(noise.strength, AnalysisMinStrength);
  EXPECT_EQ(AnalysisLine(noise).rfind("No regular cycle; mean female ", 0), 0u);

  const CycleAnalysis flat = AnalyseCycles(Series(500, [](int) { return 0.1 + 0.2; }));
  EXPECT_FALSE(flat.HasPeriod());
  EXPECT_EQ(flat.strength, 0.0);
}

TEST(AnalyseCycles, ShortRunsUseTheirSecondHalfAndTheLine) {
  const auto square = Series(150, [](int c) { return c % 10 < 5 ? 80.0 : 20.0; });
  const CycleAnalysis a = AnalyseCycles(square);
  EXPECT_EQ(a.firstCycle, 76);
  EXPECT_EQ(a.lastCycle, 150);
  EXPECT_EQ(a.period, 10);

  EXPECT_FALSE(AnalyseCycles({}).HasCycles());
  const CycleAnalysis one = AnalyseCycles(Series(1, [](int) { return 5.0; }));
  EXPECT_EQ(one.firstCycle, 1);
  EXPECT_EQ(one.lastCycle, 1);
  EXPECT_FALSE(one.HasPeriod());

  CycleAnalysis shown;
  shown.firstCycle = 101;
  shown.lastCycle = 770;
  shown.period = 42;
  shown.strength = 0.8149;
  shown.meanFemale = 31.24;
  shown.meanHerm = 0.36;
  shown.meanMale = 22.9;
  shown.meanAborted = 45.5;
  EXPECT_EQ(AnalysisLine(shown),
            "Period 42 cycles (strength 0.81); mean female 31.2 %, hermaphrodite 0.4 %, male 22.9 %, "
            "aborted 45.5 % over cycles 101 to 770");
}
