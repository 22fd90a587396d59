#include "results/Statistics.h"

#include <gtest/gtest.h>

#include <cmath>

namespace varnolt {

namespace {

CycleAnalysis Analysed(double female, std::optional<std::int64_t> period, std::optional<double> strength) {
  CycleAnalysis a;
  a.firstCycle = 101;
  a.lastCycle = 770;
  a.meanFemale = female;
  a.meanMale = 10.0;
  a.sexRatio = female / (female + 10.0);
  a.period = period;
  a.strength = strength;
  if (period) a.femaleAmplitude = 12.5;
  return a;
}

}  // namespace

TEST(Statistics, ChosenByNameInOrderAndRefusedWithTheNamesThereAre) {
  std::vector<Statistic> chosen;
  EXPECT_FALSE(ParseStatistics("period,sexRatio, meanFemale", chosen));
  EXPECT_EQ(chosen, (std::vector<Statistic>{Statistic::Period, Statistic::SexRatio, Statistic::MeanFemale}));
  EXPECT_FALSE(ParseStatistics(std::vector<std::string>{"femaleAmplitude", "strength"}, chosen));
  EXPECT_EQ(chosen, (std::vector<Statistic>{Statistic::FemaleAmplitude, Statistic::Strength}));

  const std::vector<Statistic> kept = chosen;
  const auto unknown = ParseStatistics("meanFemale,perod", chosen);
  ASSERT_TRUE(unknown);
  EXPECT_NE(unknown->find("unknown statistic \"perod\""), std::string::npos);
  EXPECT_NE(unknown->find(StatisticNames()), std::string::npos);
  EXPECT_TRUE(ParseStatistics("period,period", chosen));
  EXPECT_TRUE(ParseStatistics("", chosen));
  EXPECT_TRUE(ParseStatistics("meanFemale,", chosen));
  EXPECT_EQ(chosen, kept);  // a refused list changes nothing
  EXPECT_EQ(StatisticsHeader(DefaultRunStatistics()), "meanFemale,meanHerm,meanMale,meanAborted,period,strength");
}

TEST(Statistics, NoRegularCycleIsAnEmptyCellNeverZeroAndReadsBack) {
  const std::vector<Statistic> all = {Statistic::MeanFemale, Statistic::SexRatio, Statistic::FemaleAmplitude,
                                      Statistic::Period, Statistic::Strength};
  const CycleAnalysis cycling = Analysed(30.0, 38, 0.7);
  const CycleAnalysis flat = Analysed(30.0, std::nullopt, -0.05);
  EXPECT_EQ(StatisticsCells(cycling, all), "30,0.75,12.5,38,0.7");
  EXPECT_EQ(StatisticsCells(flat, all), "30,0.75,,,-0.05");

  const std::vector<Statistic> shown = {Statistic::SexRatio, Statistic::Period, Statistic::FemaleAmplitude,
                                        Statistic::MeanFemale};
  EXPECT_EQ(StatisticsLine(cycling, shown), "sexRatio 0.750, period 38 cycles, femaleAmplitude 12.50 points, "
                                            "meanFemale 30.00 %");
  EXPECT_EQ(StatisticsLine(flat, shown), "sexRatio 0.750, period: no regular cycle, femaleAmplitude: no regular "
                                         "cycle, meanFemale 30.00 %");

  CycleAnalysis back;
  back.period = 99;
  EXPECT_TRUE(ReadStatisticCell("", Statistic::Period, back));
  EXPECT_FALSE(back.HasPeriod());
  EXPECT_TRUE(ReadStatisticCell("0", Statistic::Period, back));  // as older tables wrote it
  EXPECT_FALSE(back.HasPeriod());
  EXPECT_TRUE(ReadStatisticCell("42", Statistic::Period, back));
  EXPECT_EQ(back.period, 42);
  EXPECT_FALSE(ReadStatisticCell("", Statistic::MeanFemale, back));  // a mean is never missing
  EXPECT_FALSE(ReadStatisticCell("4x", Statistic::Strength, back));
  EXPECT_FALSE(ReadStatisticCell("nan", Statistic::SexRatio, back));
  EXPECT_FALSE(ReadStatisticCell("38.5", Statistic::Period, back));
}

TEST(Statistics, RunsWithoutAValueAreLeftOutOfTheMeanAndCounted) {
  const std::vector<CycleAnalysis> runs = {Analysed(30, 40, 0.8), Analysed(32, std::nullopt, 0.1), Analysed(34, 44, 0.7),
                                           Analysed(36, std::nullopt, std::nullopt)};
  const StatisticSummary period = SummariseStatistic(runs, Statistic::Period);
  EXPECT_EQ(period.count, 2u);
  EXPECT_EQ(period.missing, 2u);
  EXPECT_DOUBLE_EQ(period.mean, 42.0);  // not (40 + 0 + 44 + 0) / 4
  EXPECT_NEAR(period.sd, std::sqrt(8.0), 1e-12);
  EXPECT_NEAR(period.ci95, 12.706204736 * std::sqrt(8.0) / std::sqrt(2.0), 1e-6);
  EXPECT_EQ(SummaryText(period, Statistic::Period, 1),
            "period 42.0 (sd 2.8, 95 % CI +-25.4) cycles, 2 of 4 runs without one left out");

  const StatisticSummary female = SummariseStatistic(runs, Statistic::MeanFemale);
  EXPECT_EQ(female.count, 4u);
  EXPECT_EQ(female.missing, 0u);
  EXPECT_DOUBLE_EQ(female.mean, 33.0);

  const std::vector<CycleAnalysis> none = {Analysed(30, std::nullopt, 0.1)};
  EXPECT_EQ(SummaryText(SummariseStatistic(none, Statistic::Period), Statistic::Period, 1), "period: none of 1 run has one");
}

}  // namespace varnolt
