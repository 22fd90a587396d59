#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <stop_token>

#include "experiments/Experiments.h"
#include "platform/SystemResources.h"
#include "results/Statistics.h"
#include "results/ResultsTable.h"
#include "run/RunDriver.h"

namespace varnolt {

namespace {

RunSettings SmallRun() {
  RunSettings settings = StartupDefaults();
  settings.cycleCount = 300;
  settings.palmCount = 200;
  return settings;
}

TEST(ExperimentStatistics, SummaryMatchesHandComputedValues) {
  // 2, 4, 4, 4, 5, 5, 7, 9: mean 5, sum of squares 32, sd sqrt(32 / 7);
  // t(0.975, 7) = 2.364624.
  const std::vector<double> values = {2, 4, 4, 4, 5, 5, 7, 9};
  const StatisticSummary spread = SummariseValues(values);
  EXPECT_DOUBLE_EQ(spread.mean, 5.0);
  EXPECT_NEAR(spread.sd, std::sqrt(32.0 / 7.0), 1e-12);
  EXPECT_NEAR(spread.ci95, 2.364624252 * std::sqrt(32.0 / 7.0) / std::sqrt(8.0), 1e-8);

  // Two values 1 and 3: sd sqrt(2), t(0.975, 1) = 12.7062.
  const std::vector<double> two = {1, 3};
  EXPECT_NEAR(SummariseValues(two).ci95, 12.70620474 * std::sqrt(2.0) / std::sqrt(2.0), 1e-6);
  const std::vector<double> one = {7};
  EXPECT_EQ(SummariseValues(one).mean, 7.0);
  EXPECT_EQ(SummariseValues(one).sd, 0.0);
  // Runs without the statistic are left out and counted, the rest summed alike.
  const std::vector<std::optional<double>> gaps = {2, std::nullopt, 4, 4, 4, 5, 5, std::nullopt, 7, 9};
  const StatisticSummary withGaps = SummariseValues(gaps);
  EXPECT_EQ(withGaps.count, 8u);
  EXPECT_EQ(withGaps.missing, 2u);
  EXPECT_EQ(withGaps.mean, spread.mean);
  EXPECT_EQ(withGaps.ci95, spread.ci95);
}

TEST(ExperimentStatistics, PointOutputsAverageReplicatesAndLeaveOutRunsWithoutAValue) {
  // Three points of two replicates: periods (40, 44), (none, 50), (none, none).
  const auto outcome = [](std::optional<std::int64_t> period) {
    PointOutcome o;
    o.status = PointStatus::Ran;
    o.analysis.period = period;
    o.analysis.meanFemale = period ? static_cast<double>(*period) / 2 : 1.0;
    return o;
  };
  std::vector<PointOutcome> outcomes = {outcome(40), outcome(44), outcome(std::nullopt),
                                        outcome(50), outcome(std::nullopt), outcome(std::nullopt)};
  const PointOutputs period = OutputsOfPoints(outcomes, 2, Statistic::Period);
  ASSERT_EQ(period.values.size(), 3u);
  EXPECT_EQ(period.values[0], 42.0);
  EXPECT_EQ(period.values[1], 50.0);    // the replicate without one is left out, not taken as 0
  EXPECT_TRUE(std::isnan(period.values[2]));
  EXPECT_EQ(period.missing, 3u);
  EXPECT_EQ(period.pointsLeftOut, 1u);
  EXPECT_NEAR(period.replicateSd, std::sqrt(8.0), 1e-12);  // of the one point with two values

  // A refused run counts as neither a value nor a missing one.
  outcomes[1].status = PointStatus::Invalid;
  const PointOutputs female = OutputsOfPoints(outcomes, 2, Statistic::MeanFemale);
  EXPECT_EQ(female.values, (std::vector<double>{20.0, 13.0, 1.0}));
  EXPECT_EQ(female.missing, 0u);
  EXPECT_TRUE(std::isnan(OutputsOfPoints(outcomes, 1, Statistic::MeanFemale).replicateSd));
}

TEST(ExperimentSeeds, ReplicateSeedsStopAtTheLastSeedAndFreshSeedsDiffer) {
  EXPECT_FALSE(SeedRangeProblem(4294967295u, 1));
  EXPECT_FALSE(SeedRangeProblem(4294967286u, 10));
  const auto past = SeedRangeProblem(4294967294u, 3);
  ASSERT_TRUE(past);
  EXPECT_NE(past->find("seeds 4294967294 to 4294967296 would pass 4294967295"), std::string::npos);
  EXPECT_NE(past->find("at most 4294967293 for 3 replicates"), std::string::npos);
  EXPECT_TRUE(SeedRangeProblem(1, 4294967297ull));
  // Drawn in the same instant, fresh seeds still differ (the clock's second would not).
  std::set<std::uint32_t> seeds;
  for (int i = 0; i < 8; ++i) seeds.insert(FreshSeed());
  EXPECT_GE(seeds.size(), 7u);
}

TEST(ExperimentPoints, AWindowOfCyclesIsAnalysedAndOnePastTheRunFailsThePoint) {
  RunSettings shortRun = SmallRun();
  shortRun.cycleCount = 150;
  const std::vector<ExperimentPoint> points = {{SmallRun(), 4}, {shortRun, 4}};
  ExperimentControl control;
  control.window = CyclesWindow{151, 300};
  control.keepCycles = true;
  const std::vector<PointOutcome> outcomes = RunPoints(points, control);
  ASSERT_EQ(outcomes[0].status, PointStatus::Ran);
  EXPECT_EQ(outcomes[0].analysis.firstCycle, 151);
  EXPECT_EQ(outcomes[0].analysis.lastCycle, 300);
  EXPECT_EQ(outcomes[0].analysis.meanFemale, AnalyseCycles(outcomes[0].cycles, CyclesWindow{151, 300}).meanFemale);
  EXPECT_EQ(outcomes[1].status, PointStatus::Failed);
  EXPECT_EQ(outcomes[1].message, "the cycles window 151:300 goes past the run's last cycle, 150");
}

TEST(ExperimentDesigns, SweepFactorsAndTheFactorial) {
  SweepFactor factor;
  ASSERT_FALSE(ParseSweepFactor("femaleThreshold=12:20:4", factor));
  EXPECT_EQ(factor.values, (std::vector<std::int32_t>{12, 16, 20}));
  ASSERT_FALSE(ParseSweepFactor("sexStageEndFrond=-2:-5", factor));
  EXPECT_EQ(factor.values, (std::vector<std::int32_t>{-2, -3, -4, -5}));
  EXPECT_TRUE(ParseSweepFactor("runNotes=1:2", factor));        // a text
  EXPECT_TRUE(ParseSweepFactor("femaleThresh=1:2", factor));    // unknown
  // A step of 0 is refused as such, not after a million values of 1.
  EXPECT_EQ(ParseSweepFactor("palmCount=1:5:0", factor), "palmCount=1:5:0: the step must be 1 or more");
  EXPECT_EQ(ParseSweepFactor("palmCount=1:5:-1", factor), "palmCount=1:5:-1: the step must be 1 or more");
  EXPECT_TRUE(ParseSweepFactor("palmCount=1:x", factor));
  EXPECT_TRUE(ParseSweepFactor("palmCount=1:9999999999", factor));

  // A sensitivity factor needs a range: HIGH equal to LOW has none.
  SensitivityFactor range;
  EXPECT_EQ(ParseSensitivityFactor("maleThreshold=20:20", range), "maleThreshold=20:20: HIGH must be greater than LOW");
  ASSERT_FALSE(ParseSensitivityFactor("maleThreshold=20:21", range));
  EXPECT_EQ(range.low, 20);
  EXPECT_EQ(range.high, 21);

  const std::vector<SweepFactor> factors = {{"a", {1, 2}}, {"b", {5, 6, 7}}};
  const auto levels = FactorialLevels(factors);
  ASSERT_EQ(levels.size(), 6u);
  EXPECT_EQ(levels[0], (std::vector<std::int32_t>{1, 5}));
  EXPECT_EQ(levels[2], (std::vector<std::int32_t>{1, 7}));
  EXPECT_EQ(levels[3], (std::vector<std::int32_t>{2, 5}));
  // Each point made alone is the same point, the last factor varying fastest.
  const std::vector<SweepFactor> three = {{"a", {1, 2}}, {"b", {5, 6, 7}}, {"c", {-1, 0, 1, 2}}};
  const auto all = FactorialLevels(three);
  for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(FactorialLevel(three, i), all[i]) << "point " << i;
}

TEST(ExperimentPoints, EqualSingleRunsWhateverTheThreads) {
  std::vector<ExperimentPoint> points;
  for (std::int32_t threshold : {12, 14, 16}) {
    RunSettings settings = SmallRun();
    settings.femaleThreshold = threshold;
    points.push_back({settings, 7u + static_cast<std::uint32_t>(threshold)});
  }
  RunSettings invalid = SmallRun();
  invalid.maleThreshold = invalid.femaleThreshold;
  points.push_back({invalid, 1});
  RunSettings outside = SmallRun();
  outside.abortionFrond = 500;
  points.push_back({outside, 1});

  ExperimentControl one;
  one.threads = 1;
  one.keepCycles = true;
  ExperimentControl two;
  two.threads = 2;
  two.keepCycles = true;
  const std::vector<PointOutcome> a = RunPoints(points, one);
  const std::vector<PointOutcome> b = RunPoints(points, two);
  EXPECT_EQ(one.pointsDone.load(), points.size());
  for (std::size_t i = 0; i < 3; ++i) {
    ASSERT_EQ(a[i].status, PointStatus::Ran);
    FloweringModel model;
    ASSERT_TRUE(RunModel(model, points[i].settings, points[i].seed).Completed());
    const std::vector<CycleResult> cycles = PublishedCycles(model);
    ASSERT_EQ(a[i].cycles.size(), cycles.size());
    for (std::size_t c = 0; c < cycles.size(); ++c) {
      EXPECT_EQ(a[i].cycles[c].female, cycles[c].female);
      EXPECT_EQ(b[i].cycles[c].female, cycles[c].female);
      EXPECT_EQ(a[i].cycles[c].aborted, cycles[c].aborted);
    }
    EXPECT_EQ(a[i].analysis.meanFemale, AnalyseCycles(cycles).meanFemale);
    EXPECT_EQ(b[i].analysis.period, a[i].analysis.period);
  }
  EXPECT_EQ(a[3].status, PointStatus::Invalid);
  EXPECT_NE(a[3].message.find("rule 5 (maleThreshold)"), std::string::npos);
  EXPECT_EQ(a[3].message.find('\n'), std::string::npos);
  EXPECT_EQ(a[4].status, PointStatus::Failed);
  EXPECT_NE(a[4].message.find("500"), std::string::npos);
}

TEST(ExperimentPoints, OnlyThePointsToDoRunAndAStopLeavesTheRestUnrun) {
  const std::vector<ExperimentPoint> points(4, ExperimentPoint{SmallRun(), 3});
  ExperimentControl control;
  const auto outcomes = RunPoints(points, control, {false, true, false, true});
  EXPECT_EQ(outcomes[0].status, PointStatus::NotRun);
  EXPECT_EQ(outcomes[1].status, PointStatus::Ran);
  EXPECT_EQ(outcomes[3].status, PointStatus::Ran);
  EXPECT_EQ(control.pointsDone.load(), 2u);

  std::stop_source stop;
  stop.request_stop();
  ExperimentControl stopped;
  stopped.stop = stop.get_token();
  for (const PointOutcome& outcome : RunPoints(points, stopped)) EXPECT_EQ(outcome.status, PointStatus::NotRun);
}

TEST(ExperimentPoints, APointStoppedInTheMiddleOfItsRunIsNotCounted) {
  // The second point is large enough for the run to ask how much memory is
  // free, after the point has begun: the test's answer stops the experiment
  // there, so that the stop lands inside that point's run on every machine.
  RunSettings large = SmallRun();
  large.cycleCount = 1000;
  while (FastEngineMemoryBytes(TransferSettings(large), 1) <= (std::uint64_t{32} << 20)) large.cycleCount *= 2;
  const std::vector<ExperimentPoint> points = {{SmallRun(), 3}, {large, 3}, {SmallRun(), 4}};
  std::stop_source stop;
  struct Restore {
    ~Restore() { SetAvailableMemoryForTests({}); }
  } restore;
  int asked = 0;
  SetAvailableMemoryForTests([&] {
    ++asked;
    stop.request_stop();
    return std::optional<std::uint64_t>(std::uint64_t{1} << 40);
  });
  ExperimentControl control;
  control.threads = 1;
  control.stop = stop.get_token();
  const std::vector<PointOutcome> outcomes = RunPoints(points, control);
  ASSERT_EQ(asked, 1) << "the large point's run never began";
  EXPECT_EQ(outcomes[0].status, PointStatus::Ran);
  EXPECT_EQ(outcomes[1].status, PointStatus::NotRun);
  EXPECT_EQ(outcomes[2].status, PointStatus::NotRun);
  EXPECT_EQ(control.pointsDone.load(), 1u) << "only the point that ran is done";
}

TEST(ExperimentShards, SlicesCoverThePointsOnce) {
  for (std::size_t points : {0u, 1u, 7u, 100u}) {
    std::size_t next = 0;
    for (int k = 1; k <= 3; ++k) {
      const ShardSlice slice = SliceOf(points, k, 3);
      EXPECT_EQ(slice.begin, next);
      next = slice.end;
    }
    EXPECT_EQ(next, points);
  }
  int k = 0, n = 0;
  EXPECT_FALSE(ParseShard("2/5", k, n));
  EXPECT_EQ(k, 2);
  EXPECT_EQ(n, 5);
  for (const char* bad : {"0/5", "6/5", "2", "a/b", "2/5x", "-1/2"}) EXPECT_TRUE(ParseShard(bad, k, n)) << bad;
}

TEST(ExperimentShards, MergeJoinsPartsInOrderAndRefusesMismatches) {
  // A table of three runs over two shards: its header "h" is of no known kind,
  // so the rows are joined as they stand.
  const auto part = [](int k, int n, const char* fingerprint, const std::string& body, std::size_t rows) {
    return ShardStamp(k, n, fingerprint, 3, 1) + "\n" + body + ShardClosing(k, n, rows) + "\n";
  };
  const std::string a = part(1, 2, "00000000000000aa", "h\n1\n", 1);
  const std::string b = part(2, 2, "00000000000000aa", "h\n2\n3\n", 2);
  std::string merged;
  ASSERT_FALSE(MergeShards({{"b", b}, {"a", a}}, merged));
  EXPECT_EQ(merged, "h\n1\n2\n3\n");

  const auto refusal = [](const std::vector<ShardPart>& parts) {
    std::string ignored;
    return MergeShards(parts, ignored).value_or("");
  };
  EXPECT_NE(refusal({{"a", a}}).find("missing: 2 of 2"), std::string::npos);
  EXPECT_NE(refusal({{"a", a}, {"a2", a}}).find("given twice"), std::string::npos);
  EXPECT_NE(refusal({{"a", a}, {"c", part(2, 2, "00000000000000bb", "h\n2\n3\n", 2)}}).find("another design"),
            std::string::npos);
  EXPECT_NE(refusal({{"a", a}, {"c", part(2, 3, "00000000000000aa", "h\n2\n3\n", 2)}}).find("of 3 shards"),
            std::string::npos);
  EXPECT_NE(refusal({{"a", a}, {"c", part(2, 2, "00000000000000aa", "other\n2\n3\n", 2)}}).find("other columns"),
            std::string::npos);
  EXPECT_NE(refusal({{"a", a}, {"c", ShardStamp(2, 2, "00000000000000aa", 3, 1) + "\nh\n2\n"}}).find("not complete"),
            std::string::npos);
  EXPECT_NE(refusal({{"plain.csv", "h\n1\n"}}).find("plain.csv is not a part"), std::string::npos);
  EXPECT_NE(DesignFingerprint("x"), DesignFingerprint("y"));
  EXPECT_EQ(DesignFingerprint("x").size(), 16u);
}

}  // namespace

}  // namespace varnolt
