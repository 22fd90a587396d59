#include "results/CycleAnalysis.h"

#include <gtest/gtest.h>

#include <atomic>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace varnolt {

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
  EXPECT_GT(*a.strength, 0.6);
  EXPECT_LT(*a.strength, 1.0);
  EXPECT_EQ(a.firstCycle, 101);
  EXPECT_EQ(a.lastCycle, 2000);
  EXPECT_NEAR(a.meanFemale, 30.0, 0.5);
  EXPECT_DOUBLE_EQ(a.meanHerm, 1.0);

  const auto square = Series(770, [](int c) { return (c / 21) % 2 == 0 ? 60.0 : 10.0; });
  const CycleAnalysis b = AnalyseCycles(square);
  EXPECT_EQ(b.period, 42);
  EXPECT_GT(*b.strength, 0.8);
  EXPECT_EQ(AnalysisLine(b).rfind("Period 42 cycles (strength 0.", 0), 0u);
  EXPECT_NE(AnalysisLine(b).find("over cycles 101 to 770"), std::string::npos);
}

TEST(AnalyseCycles, NoiseAndConstantsHaveNoRegularCycle) {
  std::mt19937 random(3);
  std::uniform_real_distribution<double> uniform(0.0, 100.0);
  const CycleAnalysis noise = AnalyseCycles(Series(1000, [&](int) { return uniform(random); }));
  EXPECT_FALSE(noise.HasPeriod());
  ASSERT_TRUE(noise.strength.has_value());
  EXPECT_LT(*noise.strength, AnalysisMinStrength);
  EXPECT_FALSE(noise.femaleAmplitude.has_value());
  EXPECT_EQ(AnalysisLine(noise).rfind("No regular cycle; mean female ", 0), 0u);

  const CycleAnalysis flat = AnalyseCycles(Series(500, [](int) { return 0.1 + 0.2; }));
  EXPECT_FALSE(flat.HasPeriod());
  EXPECT_FALSE(flat.strength.has_value());
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

TEST(AnalyseCycles, ThePeriodIsTheFundamentalWhenAMultipleIsAHairHigher) {
  // A cycle of 38 whose every third crest is a little higher: the autocorrelation
  // peaks at 38 and, a hair higher, at 114, as long runs of the model do.
  const auto series = Series(20000, [](int c) {
    const double phase = 2 * std::numbers::pi * c / 38.0;
    return 30.0 + 10.0 * std::sin(phase) + 3.0 * std::sin(phase / 3.0);
  });
  std::vector<double> female;
  for (const CycleResult& row : series) female.push_back(row.female);
  const PeriodFound found = FindPeriod(female);
  ASSERT_TRUE(found.period.has_value());
  EXPECT_EQ(*found.period, 38);
  const CycleAnalysis a = AnalyseCycles(series);
  EXPECT_EQ(a.period, 38);
  EXPECT_NEAR(*a.strength, 0.9, 0.1);
  // Asked to stop (a signal during a long run's analysis), it gives up its
  // search for a period; left alone, the same flag changes nothing.
  std::atomic<bool> stop{true};
  EXPECT_FALSE(AnalyseCycles(series, {}, &stop).period.has_value());
  stop = false;
  EXPECT_EQ(AnalyseCycles(series, {}, &stop).period, 38);

  // With the slow swing larger, the peak at 38 falls below 0.8 of the one at
  // 114 (0.60 against 0.99), and 114 is the period.
  const auto slow = Series(20000, [](int c) {
    const double phase = 2 * std::numbers::pi * c / 38.0;
    return 30.0 + 10.0 * std::sin(phase) + 6.0 * std::sin(phase / 3.0);
  });
  EXPECT_EQ(AnalyseCycles(slow).period, 114);
}

TEST(AnalyseCycles, AmplitudeSexRatioAndAChosenWindow) {
  // A square wave between 10 and 60 % female with period 42; male 20 %.
  std::vector<CycleResult> square;
  for (int c = 1; c <= 1000; ++c) {
    const double f = (c / 21) % 2 == 0 ? 60.0 : 10.0;
    square.push_back({f, 0.0, 20.0, 80.0 - f, 100.0});
  }
  const CycleAnalysis a = AnalyseCycles(square);
  EXPECT_EQ(a.period, 42);
  // Every stretch of one period holds both levels.
  EXPECT_DOUBLE_EQ(*a.femaleAmplitude, 50.0);
  EXPECT_NEAR(*a.sexRatio, a.meanFemale / (a.meanFemale + 20.0), 1e-15);

  // The window is the cycles named, both ends included.
  // The window is the cycles named, both ends included: cycles 21 to 41 are the
  // 10 % half of the wave, which has no cycle and so no amplitude.
  const CycleAnalysis w = AnalyseCycles(square, CyclesWindow{21, 41});
  EXPECT_EQ(w.firstCycle, 21);
  EXPECT_EQ(w.lastCycle, 41);
  EXPECT_DOUBLE_EQ(w.meanFemale, 10.0);
  EXPECT_FALSE(w.HasPeriod());
  EXPECT_FALSE(w.femaleAmplitude.has_value());
  const CycleAnalysis tail = AnalyseCycles(square, CyclesWindow{21, 0});
  EXPECT_EQ(tail.lastCycle, 1000);
  EXPECT_EQ(tail.period, 42);

  // No female and no male flower: no sex ratio, rather than 0 or a division by 0.
  const std::vector<CycleResult> barren(300, CycleResult{0.0, 0.0, 0.0, 100.0, 100.0});
  EXPECT_FALSE(AnalyseCycles(barren).sexRatio.has_value());
}

TEST(CyclesWindow, ReadsFromToAndRefusesWhatIsNoWindow) {
  CyclesWindow window;
  EXPECT_FALSE(ParseCyclesWindow("101:770", window));
  EXPECT_EQ(window.first, 101);
  EXPECT_EQ(window.last, 770);
  EXPECT_FALSE(ParseCyclesWindow("300:", window));
  EXPECT_EQ(window.first, 300);
  EXPECT_EQ(window.last, 0);
  EXPECT_EQ(CyclesWindowText(window), "300:");
  for (const char* bad : {"", "101", "0:10", "20:10", "-5:10", "a:b", "1:2:3", " 1:2"}) {
    CyclesWindow kept{7, 9};
    EXPECT_TRUE(ParseCyclesWindow(bad, kept)) << bad;
    EXPECT_EQ(kept.first, 7) << bad;
  }
  EXPECT_FALSE(CyclesWindowProblem({101, 770}, 770));
  EXPECT_FALSE(CyclesWindowProblem({770, 0}, 770));
  const auto past = CyclesWindowProblem({101, 800}, 770);
  ASSERT_TRUE(past);
  EXPECT_NE(past->find("101:800 goes past the run's last cycle, 770"), std::string::npos);
  EXPECT_TRUE(CyclesWindowProblem({771, 0}, 770));
}

}  // namespace varnolt
