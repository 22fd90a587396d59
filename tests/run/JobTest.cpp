// The job object: its stop reaches the work (token and engine flag alike), its
// end is told once and waited for, and the tests' hook holds a job at its start.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <stdexcept>

#include "run/Job.h"
#include "run/RunDriver.h"

namespace varnolt {

namespace {

// Blocks the calling thread until the token's stop is asked.
void AwaitStop(std::stop_token stop) {
  std::mutex lock;
  std::condition_variable_any never;
  std::unique_lock guard(lock);
  never.wait(guard, stop, [] { return false; });
}

TEST(Job, AStopReachesTheWorkAndItsEngineFlagAndTheEndIsToldOnce) {
  std::atomic<int> endings{0};
  bool cancelSeen = false;
  Job job(
      [&](std::stop_token stop, RunControl& control) {
        control.palmsDone = 7;
        AwaitStop(stop);
        cancelSeen = control.cancel.load();
      },
      3, [&] { ++endings; });
  EXPECT_FALSE(job.StopRequested());
  job.Stop();
  job.Stop();  // twice is harmless
  job.Wait();
  EXPECT_TRUE(job.Ended());
  EXPECT_TRUE(job.StopRequested());
  EXPECT_TRUE(cancelSeen) << "the engine's flag follows the stop";
  EXPECT_EQ(endings.load(), 1) << "told before Wait returns";
  EXPECT_EQ(job.Done(), 7u);
  EXPECT_EQ(&job.DoneCounter(), &job.DoneCounter());
}

TEST(Job, WhatTheWorkThrowsComesBackToTheCallerAndTheEndIsStillTold) {
  std::atomic<int> endings{0};
  Job job([](std::stop_token, RunControl&) { throw std::runtime_error("out of paper"); }, 0, [&] { ++endings; });
  try {
    job.Wait();
    ADD_FAILURE() << "Wait returned although the work threw";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "out of paper");
  }
  EXPECT_TRUE(job.Ended());
  EXPECT_EQ(endings.load(), 1);
  ASSERT_TRUE(job.Error());
  // Work that returns leaves no error, and Wait returns.
  Job quiet([](std::stop_token, RunControl&) {});
  quiet.Wait();
  EXPECT_FALSE(quiet.Error());
}

TEST(Job, EndingTheJobStopsAndWaitsForItsWork) {
  bool returned = false;
  {
    Job job([&](std::stop_token stop, RunControl&) {
      AwaitStop(stop);
      returned = true;
    });
  }
  EXPECT_TRUE(returned);
}

// A stop that runs the work's stop callbacks while the work, woken by one of
// them, ends and takes them down: every job of many still ends (a semaphore that
// loses a wake-up leaves one waiting forever).
TEST(Job, ManyJobsStoppedAsTheirWorkEndsAllEnd) {
  int returned = 0;
  for (int i = 0; i < 300; ++i) {
    Job job([&](std::stop_token stop, RunControl&) {
      AwaitStop(stop);
      ++returned;
    });
  }
  EXPECT_EQ(returned, 300);
}

TEST(Job, TheThreadsGoToTheEngineAndAModelRunCompletesAsOnTheCallersThread) {
  RunSettings settings;
  settings.cycleCount = 40;
  settings.palmCount = 30;
  FloweringModel direct;
  ASSERT_TRUE(RunModel(direct, settings, 5).Completed());

  FloweringModel model;
  std::optional<RunOutcome> outcome;
  int threads = -1;
  Job job(
      [&](std::stop_token, RunControl& control) {
        threads = control.threads;
        outcome = RunModel(model, settings, 5, &control);
      },
      2);
  job.Wait();
  ASSERT_TRUE(outcome && outcome->Completed());
  EXPECT_EQ(threads, 2);
  EXPECT_EQ(job.Done(), 30u) << "every palm is counted";
  ASSERT_EQ(model.cycleResults.size(), direct.cycleResults.size());
  EXPECT_TRUE(std::equal(model.cycleResults.begin(), model.cycleResults.end(), direct.cycleResults.begin()));
}

TEST(Job, AStoppedModelRunIsCancelledAndKeepsThePreviousResults) {
  RunSettings settings;
  FloweringModel model;
  ASSERT_TRUE(RunModel(model, settings, 5).Completed());
  const auto before = model.cycleResults;
  settings.cycleCount = 300;
  settings.outputPath.clear();  // nothing is written, should the stop fail

  // The hook holds the job until the stop, so the run starts already stopped.
  Job::SetTestHook([](std::stop_token stop, RunControl&) { AwaitStop(stop); });
  RunOutcome outcome;
  {
    Job job([&](std::stop_token, RunControl& control) { outcome = RunSimulation(model, settings, 6, &control); });
    job.Stop();
    job.Wait();
  }
  Job::SetTestHook({});
  EXPECT_EQ(outcome.status, RunStatus::Cancelled);
  EXPECT_EQ(model.settings.cycleCount, 100);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), model.cycleResults.begin(), model.cycleResults.end()));
}

}  // namespace

}  // namespace varnolt
