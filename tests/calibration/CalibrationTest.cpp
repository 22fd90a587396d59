#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <limits>

#include "calibration/Calibration.h"
#include "run/Job.h"
#include "run/RunDriver.h"
#include "tests/calibration/CensusOfRun.h"

namespace varnolt {

namespace {

// The settings a synthetic census is made from: a male threshold and an
// abortion threshold away from the defaults.
RunSettings Truth() {
  RunSettings settings = StartupDefaults();
  settings.cycleCount = 200;
  settings.maleThreshold = 19;
  settings.abortThreshold = 25;
  return settings;
}

CalibrationRequest Request(const RunSettings& base, const Census& census, std::vector<FitRange> fits) {
  CalibrationRequest request;
  request.base = base;
  request.census = census;
  request.fits = std::move(fits);
  request.palms = 600;
  request.replicates = 1;
  request.seed = 11;
  return request;
}

std::int32_t ValueOf(const RunSettings& settings, const std::string& name) {
  return settings.*(FindField(name)->integer);
}

const SettingProfile& ProfileOf(const CalibrationResult& result, const std::string& name) {
  for (const SettingProfile& profile : result.profiles) {
    if (profile.name == name) return profile;
  }
  throw std::runtime_error("no profile of " + name);
}

// The sharply determined settings come back within a step of the truth, the truth
// lies inside every range, and the setting the census cannot see is reported so.
void ExpectRecovered(const CalibrationRequest& request, const CalibrationResult& result, const RunSettings& truth,
                     const std::string& flat) {
  ASSERT_FALSE(result.stopped);
  ASSERT_TRUE(result.failure.empty()) << result.failure;
  ASSERT_EQ(result.best.size(), request.fits.size());
  for (std::size_t f = 0; f < request.fits.size(); ++f) {
    const FitRange& fit = request.fits[f];
    const SettingProfile& profile = result.profiles[f];
    const std::int32_t truthValue = ValueOf(truth, fit.name);
    EXPECT_LE(profile.fitLow, truthValue) << fit.name;
    EXPECT_GE(profile.fitHigh, truthValue) << fit.name;
    EXPECT_LE(profile.fitLow, result.best[f]) << fit.name;
    EXPECT_GE(profile.fitHigh, result.best[f]) << fit.name;
    if (fit.name == flat) {
      EXPECT_TRUE(profile.Undetermined()) << fit.name << " " << profile.fitLow << ".." << profile.fitHigh;
    } else {
      EXPECT_LE(std::abs(result.best[f] - truthValue), 1) << fit.name;
      EXPECT_FALSE(profile.Undetermined()) << fit.name;
    }
  }
}

TEST(CalibrationObjective, SumOfSquaresAndLikelihoodByHand) {
  Census census;
  CensusRow first;
  first.cycle = 1;
  first.percent = {50.0, std::nullopt, 20.0, std::nullopt};  // herm and aborted not observed
  first.palms = 10;
  CensusRow second;
  second.cycle = 3;
  second.percent = {25.0, 0.0, 25.0, 50.0};
  second.palms = 30;
  census.rows = {first, second};
  std::vector<CycleResult> cycles(3);
  cycles[0] = {40.0, 5.0, 30.0, 25.0, 100.0};
  cycles[2] = {20.0, 0.0, 30.0, 50.0, 100.0};

  // Unweighted: (40-50)^2 + (30-20)^2 + (20-25)^2 + (30-25)^2.
  EXPECT_DOUBLE_EQ(ObjectiveValue(census, cycles, ObjectiveKind::Sse, 0.0), 250.0);
  // Weighted by palms over their mean of 20: row 1 counts half, row 2 one and a half.
  census.hasPalms = true;
  EXPECT_DOUBLE_EQ(ObjectiveValue(census, cycles, ObjectiveKind::Sse, 0.0), 0.5 * 200.0 + 1.5 * 50.0);

  // Row 1: 5 female, 2 male and 3 of the rest, under 0.4, 0.3 and 0.3.
  const double row1 = std::lgamma(11.0) - std::lgamma(6.0) - std::lgamma(3.0) - std::lgamma(4.0) +
                      5 * std::log(0.4) + 2 * std::log(0.3) + 3 * std::log(0.3);
  // Row 2: 7.5 female, 0 herm, 7.5 male, 15 aborted; the simulated herm of 0 is
  // held at the floor, and with a count of 0 costs nothing.
  const double row2 = std::lgamma(31.0) - 2 * std::lgamma(8.5) - std::lgamma(1.0) - std::lgamma(16.0) +
                      7.5 * std::log(0.2) + 7.5 * std::log(0.3) + 15 * std::log(0.5);
  EXPECT_NEAR(ObjectiveValue(census, cycles, ObjectiveKind::LogLik, 1e-4), -(row1 + row2), 1e-9);

  // A state observed that the runs never showed is unlikely, not impossible.
  cycles[2].herm = 0.0;
  census.rows[1].percent[1] = 10.0;
  EXPECT_TRUE(std::isfinite(ObjectiveValue(census, cycles, ObjectiveKind::LogLik, 1e-4)));
}

TEST(CalibrationObjective, FitStatisticsPerSeries) {
  Census census;
  for (int cycle = 1; cycle <= 4; ++cycle) {
    CensusRow row;
    row.cycle = cycle;
    row.percent = {10.0 * cycle, 0.0, std::nullopt, std::nullopt};
    census.rows.push_back(row);
  }
  std::vector<CycleResult> cycles(4);
  for (int c = 0; c < 4; ++c) cycles[c].female = 10.0 * (c + 1) + (c % 2 == 0 ? 2.0 : 0.0);
  const FitStatistics fit = FitOf(census, cycles);
  EXPECT_EQ(fit.series[0].cells, 4u);
  EXPECT_DOUBLE_EQ(fit.series[0].rmse, std::sqrt(8.0 / 4.0));
  EXPECT_DOUBLE_EQ(fit.series[0].bias, 1.0);
  EXPECT_DOUBLE_EQ(fit.series[0].nse, 1.0 - 8.0 / 500.0);  // observed 10..40: squares about 25 sum to 500
  EXPECT_TRUE(std::isnan(fit.series[1].nse));              // a series that never varies
  EXPECT_EQ(fit.series[2].cells, 0u);
  EXPECT_EQ(fit.cells, 8u);
  EXPECT_DOUBLE_EQ(fit.rmse, std::sqrt(8.0 / 8.0));
}

TEST(CalibrationRequestChecks, BadInputIsRefusedWithWhatToDo) {
  const RunSettings base = Truth();
  const Census census = CensusOf(base, 50, 3);
  const auto problem = [&](std::vector<FitRange> fits, auto change) {
    CalibrationRequest request = Request(base, census, std::move(fits));
    change(request);
    const std::optional<std::string> answer = CheckCalibrationRequest(request);
    return answer.value_or("");
  };
  const auto nothing = [](CalibrationRequest&) {};
  EXPECT_EQ(problem({{"maleThreshold", 17, 21}}, nothing), "");
  EXPECT_NE(problem({{"maleThreshhold", 17, 21}}, nothing).find("unknown setting \"maleThreshhold\""),
            std::string::npos);
  EXPECT_NE(problem({{"runNotes", 1, 2}}, nothing).find("is a text"), std::string::npos);
  EXPECT_NE(problem({{"irrigation", 0, 1}}, nothing).find("is a switch"), std::string::npos);
  EXPECT_NE(problem({{"palmCount", 10, 20}}, nothing).find("--palms"), std::string::npos);
  EXPECT_NE(problem({{"maleThreshold", 21, 17}}, nothing).find("LOW is above HIGH"), std::string::npos);
  EXPECT_NE(problem({{"maleThreshold", 18, 18}}, nothing).find("--set maleThreshold=18"), std::string::npos);
  EXPECT_NE(problem({{"femaleThreshold", 0, 50}}, nothing).find("(0 to 38)"), std::string::npos);
  EXPECT_NE(problem({{"sexStageStartFrond", -40, -20}}, nothing).find("(-30 to 169)"), std::string::npos);
  EXPECT_NE(problem({{"pruneStress", 1, 5}}, nothing).find("--set leafPruning=1"), std::string::npos);
  EXPECT_NE(problem({{"maleThreshold", 17, 21}, {"maleThreshold", 18, 20}}, nothing).find("fitted twice"),
            std::string::npos);
  // Every candidate fails rule 5: the male threshold must exceed the female one.
  EXPECT_NE(problem({{"femaleThreshold", 30, 38}, {"maleThreshold", 10, 20}}, nothing).find("rule 5"),
            std::string::npos);
  EXPECT_NE(problem({{"maleThreshold", 17, 21}}, [](CalibrationRequest& r) { r.base.cycleCount = 150; })
                .find("observes cycle 200 but the runs have only 150 cycles; set cycleCount to 200"),
            std::string::npos);
  EXPECT_NE(problem({{"maleThreshold", 17, 21}},
                    [](CalibrationRequest& r) {
                      for (CensusRow& row : r.census.rows) row.percent = {};
                    })
                .find("no observed cell"),
            std::string::npos);
  EXPECT_NE(problem({{"maleThreshold", 17, 21}},
                    [](CalibrationRequest& r) {
                      r.objective = ObjectiveKind::LogLik;
                      r.census.rows[4].palms.reset();
                    })
                .find("no palms on line 6"),
            std::string::npos);

  FitRange range;
  EXPECT_FALSE(ParseFitRange("sexStageEndFrond=-8:-2", range));
  EXPECT_EQ(range.name, "sexStageEndFrond");
  EXPECT_EQ(range.low, -8);
  EXPECT_EQ(range.high, -2);
  EXPECT_TRUE(ParseFitRange("maleThreshold=17", range));
  EXPECT_TRUE(ParseFitRange("maleThreshold=17:2x", range));
  EXPECT_TRUE(ParseFitRange("maleThreshold=+-1:3", range));
  EXPECT_TRUE(ParseFitRange("maleThreshold=1:99999999999", range));
}

TEST(CalibrationRecovery, SumOfSquaresOnTheWholeGridFindsTheTruthAndSaysWhatItCannotSee) {
  // A node between the female and male thresholds is mixed, and turns female at
  // frond -2, before it is recorded or feeds stress back: with the default frond
  // positions the census cannot tell the female threshold, whatever it is.
  const RunSettings truth = Truth();
  const Census census = CensusOf(truth, 300, 7);
  const CalibrationRequest request = Request(
      StartupDefaults(), census, {{"femaleThreshold", 0, 16}, {"maleThreshold", 17, 22}, {"abortThreshold", 21, 28}});
  CalibrationRequest runnable = request;
  runnable.base.cycleCount = 200;
  ASSERT_FALSE(CheckCalibrationRequest(runnable));
  CalibrationControl control;
  const CalibrationResult result = Calibrate(runnable, control);
  EXPECT_EQ(result.method, SearchMethod::Exhaustive);
  EXPECT_EQ(result.evaluations.size(), 17u * 6u * 8u);
  EXPECT_EQ(control.evaluations.load(), result.evaluations.size());
  ExpectRecovered(runnable, result, truth, "femaleThreshold");
  // The profile is the best over the other settings: a value's best never lies
  // below the overall best, and the best value's profile is the best itself.
  const SettingProfile& male = ProfileOf(result, "maleThreshold");
  for (double value : male.best) EXPECT_GE(value, result.bestObjective);
  EXPECT_EQ(male.best[static_cast<std::size_t>(result.best[1] - 17)], result.bestObjective);
  EXPECT_GE(male.threshold, 0.0);
  EXPECT_EQ(male.simulatedCensuses, 200);
  EXPECT_GT(result.fit.series[0].nse, 0.9);

  // The best settings: the base with the best values, its own palm count kept.
  const RunSettings best = BestSettings(runnable, result);
  EXPECT_EQ(best.maleThreshold, result.best[1]);
  EXPECT_EQ(best.palmCount, runnable.base.palmCount);
  EXPECT_EQ(best.cycleCount, 200);
}

// A range partly refused by the rules: with the male threshold at 19, female
// thresholds from 19 up never run. The census cannot see the female threshold,
// so every value that runs fits alike, and that is "not determined", not a
// range that looks narrower than LOW..HIGH.
TEST(CalibrationRecovery, ASettingThatFitsAlikeWhereverItRunsIsUndetermined) {
  const RunSettings truth = Truth();
  const CalibrationRequest request = Request(truth, CensusOf(truth, 300, 7), {{"femaleThreshold", 10, 24}});
  CalibrationControl control;
  const CalibrationResult result = Calibrate(request, control);
  ASSERT_TRUE(result.failure.empty()) << result.failure;
  const SettingProfile& female = result.profiles[0];
  EXPECT_EQ(female.runLow, 10);
  EXPECT_EQ(female.runHigh, 18);
  EXPECT_TRUE(std::isinf(female.best[9]));  // 19: refused
  EXPECT_TRUE(female.Undetermined()) << female.fitLow << ".." << female.fitHigh;
  EXPECT_EQ(DeterminedText(request.fits[0], female, result.best[0]),
            "femaleThreshold = 10 (not determined by this census: every value from 10 to 18 that the rules let run "
            "is consistent with it)");
  // The male threshold is seen: a range of it is no "not determined".
  const CalibrationRequest male = Request(truth, request.census, {{"maleThreshold", 17, 24}});
  CalibrationControl maleControl;
  const CalibrationResult maleResult = Calibrate(male, maleControl);
  EXPECT_FALSE(maleResult.profiles[0].Undetermined());
  EXPECT_EQ(DeterminedText(male.fits[0], maleResult.profiles[0], maleResult.best[0]).substr(0, 19),
            "maleThreshold = 19 ");
}

TEST(CalibrationRecovery, LikelihoodAgreesWithTheSumOfSquaresOnACleanCase) {
  const RunSettings truth = Truth();
  CalibrationRequest request =
      Request(truth, CensusOf(truth, 2000, 5), {{"maleThreshold", 16, 22}, {"abortThreshold", 21, 28}});
  CalibrationControl sseControl, loglikControl;
  const CalibrationResult sse = Calibrate(request, sseControl);
  request.objective = ObjectiveKind::LogLik;
  ASSERT_FALSE(CheckCalibrationRequest(request));
  const CalibrationResult loglik = Calibrate(request, loglikControl);
  EXPECT_EQ(sse.best, loglik.best);
  EXPECT_EQ(sse.best, (std::vector<std::int32_t>{19, 25}));
  EXPECT_DOUBLE_EQ(loglik.logLikelihood, -loglik.bestObjective);
  ExpectRecovered(request, loglik, truth, "");
}

TEST(CalibrationSearch, TheOptimiserFindsTheBestOfTheWholeGrid) {
  const RunSettings truth = Truth();
  CalibrationRequest request =
      Request(truth, CensusOf(truth, 300, 9),
              {{"maleThreshold", 16, 22}, {"abortThreshold", 20, 29}, {"sexStressLastFrond", 26, 32}});
  CalibrationControl gridControl;
  const CalibrationResult grid = Calibrate(request, gridControl);
  ASSERT_EQ(grid.method, SearchMethod::Exhaustive);

  request.budget = 150;  // below the 490 candidates: the optimiser searches
  CalibrationControl searchControl;
  const CalibrationResult searched = Calibrate(request, searchControl);
  ASSERT_EQ(searched.method, SearchMethod::Optimiser);
  EXPECT_LE(searched.Evaluated(SearchStage::Search), 150u);
  EXPECT_GT(searched.Evaluated(SearchStage::Polish) + searched.Evaluated(SearchStage::Profile), 0u);
  EXPECT_EQ(searched.best, grid.best);
  EXPECT_EQ(searched.bestObjective, grid.bestObjective);
  // Candidates run once each: the cache answers the optimiser's repeats.
  for (std::size_t i = 0; i < searched.evaluations.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) ASSERT_NE(searched.evaluations[i].values, searched.evaluations[j].values);
  }
  for (std::size_t f = 0; f < request.fits.size(); ++f) {
    EXPECT_EQ(searched.profiles[f].fitLow, grid.profiles[f].fitLow) << request.fits[f].name;
    EXPECT_EQ(searched.profiles[f].fitHigh, grid.profiles[f].fitHigh) << request.fits[f].name;
  }
}

TEST(CalibrationSearch, OneThreadOrTwoGiveTheSameEvaluationsInTheSameOrder) {
  const RunSettings truth = Truth();
  for (std::uint64_t budget : {std::uint64_t{20000}, std::uint64_t{40}}) {
    CalibrationRequest request =
        Request(truth, CensusOf(truth, 200, 4), {{"maleThreshold", 17, 21}, {"abortThreshold", 22, 27}});
    request.replicates = 2;
    request.budget = budget;
    CalibrationControl one, two;
    one.threads = 1;
    two.threads = 2;
    const CalibrationResult a = Calibrate(request, one);
    const CalibrationResult b = Calibrate(request, two);
    ASSERT_EQ(a.evaluations.size(), b.evaluations.size()) << budget;
    for (std::size_t i = 0; i < a.evaluations.size(); ++i) {
      EXPECT_EQ(a.evaluations[i].values, b.evaluations[i].values);
      EXPECT_EQ(a.evaluations[i].objective, b.evaluations[i].objective);
      EXPECT_EQ(a.evaluations[i].stage, b.evaluations[i].stage);
    }
    EXPECT_EQ(a.best, b.best);
  }
}

TEST(CalibrationSearch, ReplicatesAreAveragedOnTheSameSeedsForEveryCandidate) {
  const RunSettings truth = Truth();
  CalibrationRequest request = Request(truth, CensusOf(truth, 200, 4), {{"abortThreshold", 24, 26}});
  request.replicates = 3;
  request.palms = 100;
  CalibrationControl control;
  const CalibrationResult result = Calibrate(request, control);
  ASSERT_TRUE(result.failure.empty());
  EXPECT_EQ(control.runsDone.load(), 9u);
  // The best's cycles are the mean of its three runs, seeds 11, 12 and 13.
  RunSettings settings = CandidateSettings(request, result.best);
  std::vector<CycleResult> sum(200);
  for (std::uint32_t seed : {11u, 12u, 13u}) {
    FloweringModel model;
    ASSERT_TRUE(RunModel(model, settings, seed).Completed());
    for (std::size_t c = 0; c < sum.size(); ++c) sum[c].male += model.cycleResults[c + 1].male;
  }
  ASSERT_EQ(result.bestCycles.size(), 200u);
  for (std::size_t c = 0; c < sum.size(); ++c) EXPECT_NEAR(result.bestCycles[c].male, sum[c].male / 3, 1e-9);
  EXPECT_DOUBLE_EQ(result.bestObjective, ObjectiveValue(request.census, result.bestCycles, ObjectiveKind::Sse, 0));
}

TEST(CalibrationSearch, CandidatesThatFailARuleAreNeverRunNorBest) {
  const RunSettings truth = Truth();
  CalibrationRequest request =
      Request(truth, CensusOf(truth, 200, 4), {{"femaleThreshold", 15, 20}, {"maleThreshold", 16, 20}});
  CalibrationControl control;
  const CalibrationResult result = Calibrate(request, control);
  std::size_t refused = 0;
  for (const Evaluation& evaluation : result.evaluations) {
    const bool invalid = evaluation.values[1] <= evaluation.values[0];
    EXPECT_EQ(evaluation.status == EvaluationStatus::Invalid, invalid);
    if (invalid) {
      EXPECT_TRUE(std::isinf(evaluation.objective));
      EXPECT_NE(evaluation.message.find("rule 5"), std::string::npos);
      ++refused;
    }
  }
  EXPECT_EQ(refused, 15u);
  EXPECT_EQ(control.runsDone.load(), 30u - refused);
  EXPECT_GT(result.best[1], result.best[0]);

  // The plan, made before anything runs, says what the run then did.
  const CalibrationPlan plan = PlanCalibration(request);
  EXPECT_EQ(plan.method, SearchMethod::Exhaustive);
  EXPECT_EQ(plan.candidates, 30u);
  EXPECT_FALSE(plan.estimated);
  EXPECT_EQ(plan.refused, refused);
  EXPECT_EQ(plan.runs, control.runsDone.load());
  EXPECT_DOUBLE_EQ(plan.palmCycles, static_cast<double>(plan.runs) * 600 * 200);
  ASSERT_EQ(plan.sample.size(), 2u);
  EXPECT_GT(plan.sample[1], plan.sample[0]);  // a candidate the rules let through
}

TEST(CalibrationSearch, ThePlanOfTheOptimiserEstimatesWhatItEvaluates) {
  const RunSettings truth = Truth();
  CalibrationRequest request =
      Request(truth, CensusOf(truth, 200, 4), {{"maleThreshold", 16, 22}, {"abortThreshold", 21, 28}});
  request.budget = 20;
  request.replicates = 2;
  const CalibrationPlan plan = PlanCalibration(request);
  EXPECT_EQ(plan.method, SearchMethod::Optimiser);
  EXPECT_TRUE(plan.estimated);
  EXPECT_EQ(plan.refused, 0u);
  // The budget, the 8 neighbours of the best and a candidate per other value of each profile.
  EXPECT_EQ(plan.candidates, 20u + 8u + 6u + 7u);
  EXPECT_EQ(plan.runs, plan.candidates * 2);
  CalibrationControl control;
  control.threads = 1;
  const CalibrationResult result = Calibrate(request, control);
  ASSERT_TRUE(result.failure.empty()) << result.failure;
  EXPECT_GE(result.evaluations.size() * 2, plan.candidates);
  EXPECT_LE(result.evaluations.size(), plan.candidates * 2);
  EXPECT_LE(result.evaluations.size(), 56u);  // never more than the grid
}

TEST(CalibrationSearch, AStopEndsTheWorkAndLeavesNoBest) {
  const RunSettings truth = Truth();
  for (std::uint64_t budget : {std::uint64_t{20000}, std::uint64_t{30}}) {
    CalibrationRequest request =
        Request(truth, CensusOf(truth, 200, 4), {{"maleThreshold", 17, 22}, {"abortThreshold", 20, 29}});
    request.budget = budget;
    std::stop_source stop;
    CalibrationControl control;
    control.threads = 1;
    control.stop = stop.get_token();
    int reports = 0;
    // The seam: the stop comes as the first batch reports its progress.
    control.progress = [&](const CalibrationProgress& progress) {
      ++reports;
      EXPECT_GT(progress.evaluations, 0u);
      stop.request_stop();
    };
    const CalibrationResult result = Calibrate(request, control);
    EXPECT_TRUE(result.stopped) << budget;
    EXPECT_EQ(reports, 1);
    EXPECT_TRUE(result.best.empty());
    // What Ctrl+C prints: the best of what ran before the stop.
    ASSERT_EQ(result.bestSoFar.size(), 2u);
    EXPECT_TRUE(std::isfinite(result.bestSoFarObjective));
    EXPECT_TRUE(result.profiles.empty());
  }
}

// The calibration driven from a job, as the window drives it: the job's count
// follows the candidates, the result is the one a direct call gives, and the
// job's stop ends it. The stop's seam: the work waits at its first progress
// report until the test has asked the job to stop.
TEST(CalibrationSearch, AJobRunsItFollowsItAndStopsIt) {
  const RunSettings truth = Truth();
  const CalibrationRequest request =
      Request(truth, CensusOf(truth, 200, 4), {{"maleThreshold", 17, 21}, {"abortThreshold", 23, 27}});
  // A word from one thread to another that may be said more than once (the
  // progress is reported again after the stop). A mutex and a condition rather
  // than std::latch, whose wait in GCC 12 on Windows can miss its wake-up.
  struct Signal {
    std::mutex lock;
    std::condition_variable changed;
    bool given = false;
    void Give() {
      {
        std::lock_guard guard(lock);
        given = true;
      }
      changed.notify_all();
    }
    void Await() {
      std::unique_lock guard(lock);
      changed.wait(guard, [this] { return given; });
    }
  };
  struct Hold {
    Signal reported;
    Signal resume;
  };
  const auto work = [&request](std::shared_ptr<CalibrationResult> result, Hold* hold) {
    return [&request, result, hold](std::stop_token stop, RunControl& progress) {
      CalibrationControl control;
      control.threads = progress.threads;
      control.stop = stop;
      control.progress = [&progress, hold](const CalibrationProgress& now) {
        progress.palmsDone = now.evaluations;
        if (hold != nullptr) {
          hold->reported.Give();
          hold->resume.Await();
        }
      };
      *result = Calibrate(request, control);
    };
  };
  auto whole = std::make_shared<CalibrationResult>();
  Job job(work(whole, nullptr), 2);
  job.Wait();
  CalibrationControl direct;
  direct.threads = 1;
  const CalibrationResult expected = Calibrate(request, direct);
  EXPECT_FALSE(whole->stopped);
  EXPECT_EQ(whole->best, expected.best);
  EXPECT_EQ(whole->evaluations.size(), expected.evaluations.size());
  EXPECT_EQ(job.Done(), 25u);

  auto stopped = std::make_shared<CalibrationResult>();
  Hold hold;
  {
    Job stopping(work(stopped, &hold), 1);
    hold.reported.Await();
    stopping.Stop();
    hold.resume.Give();
    stopping.Wait();
  }
  EXPECT_TRUE(stopped->stopped);
  EXPECT_TRUE(stopped->best.empty());
}

}  // namespace

}  // namespace varnolt
