// The fast engine against the reference: random admitted settings through both,
// results compared byte for byte and failures by setting, node and text, on
// every SIMD target this machine can run. Then progress, cancellation and the
// sizes that once made the palm loop wrap.

#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <climits>
#include <cstring>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ModelTestSupport.h"
#include "model/FastEngine.h"
#include "model/FastEngineLanes.h"

namespace varnolt {

namespace {

struct Outcome {
  bool failed = false;
  std::string what, setting;
  std::int64_t node = 0;
  std::vector<CycleResult> rows;
};

template <class RunFn>
Outcome Capture(const ModelSettings& settings, RunFn run) {
  FloweringModel model;
  model.settings = settings;
  Outcome outcome;
  try {
    run(model);
    outcome.rows.assign(model.cycleResults.begin(), model.cycleResults.end());
  } catch (const NodeRangeError& error) {
    outcome.failed = true;
    outcome.what = error.what();
    outcome.setting = error.setting;
    outcome.node = error.node;
  }
  return outcome;
}

std::string Describe(const ModelSettings& s, std::uint32_t seed) {
  return "cycles " + std::to_string(s.cycleCount) + " palms " + std::to_string(s.palmCount) + " sex " +
         std::to_string(s.sexStressFirstNode) + ".." + std::to_string(s.sexStressLastNode) + " abort " +
         std::to_string(s.abortStressFirstNode) + ".." + std::to_string(s.abortStressLastNode) + " stage " +
         std::to_string(s.sexStageStartNode) + ".." + std::to_string(s.sexStageEndNode) + " node " +
         std::to_string(s.abortionNode) + " initial " + std::to_string(s.initialNodeSex) + " F/M/A " +
         std::to_string(s.femaleThreshold) + "/" + std::to_string(s.maleThreshold) + "/" +
         std::to_string(s.abortThreshold) + " random " + std::to_string(s.randomPercent) + " prune " +
         std::to_string(s.leafPruneCycle) + "/" + std::to_string(s.pruneStress) + " trend " +
         std::to_string(s.trendAmplitude) + " irrigation " + std::to_string(s.irrigationStart) + ".." +
         std::to_string(s.irrigationEnd) + " flowers " + std::to_string(s.flowerPruneStart) + ".." +
         std::to_string(s.flowerPruneEnd) + " seed " + std::to_string(seed);
}

void ExpectSame(const Outcome& reference, const Outcome& fast, const std::string& context) {
  ASSERT_EQ(reference.failed, fast.failed) << context;
  if (reference.failed) {
    EXPECT_EQ(reference.what, fast.what) << context;
    EXPECT_EQ(reference.setting, fast.setting) << context;
    EXPECT_EQ(reference.node, fast.node) << context;
    return;
  }
  ASSERT_EQ(reference.rows.size(), fast.rows.size()) << context;
  ASSERT_EQ(0, std::memcmp(reference.rows.data(), fast.rows.data(), reference.rows.size() * sizeof(CycleResult)))
      << context;
}

// Settings that validation admits, leaning on the edges: frond windows and the
// abortion frond reaching out of the storage, empty and one-node windows, stages
// outside positions 1 to 70, every first-node code and some it does not list.
class SettingsDraw {
 public:
  explicit SettingsDraw(std::uint32_t seed) : random(seed) {}

  ModelSettings Next(int laneBlock) {
    ModelSettings s;
    s.cycleCount = Between(0, 3) != 0 ? Between(1, 130) : Pick2({1, 2, 49, 50, 51, 64, 65, 129, 200});
    const int palmChoices[] = {1, 2, 3, laneBlock - 1, laneBlock, laneBlock + 1, 2 * laneBlock + 1, Between(1, 150)};
    s.palmCount = std::max(1, palmChoices[Between(0, 7)]);
    auto window = [&](std::int64_t& first, std::int64_t& last) {
      switch (Between(0, 9)) {
        case 0: first = Between(-2, 201); last = first - 1; break;          // no node, scale divides by zero
        case 1: first = Between(-5, 205); last = first - Between(2, 40); break;  // first after last
        case 2: first = Between(-3, 3); last = first + Between(0, 80); break;   // from slot 0 or outside
        case 3: first = Between(60, 198); last = first + Between(0, 12); break;  // about position 70 and 199
        case 4: first = last = Between(0, 72); break;
        default: first = Between(1, 70); last = std::min<std::int64_t>(first + Between(0, 20), 199);
      }
    };
    window(s.sexStressFirstNode, s.sexStressLastNode);
    window(s.abortStressFirstNode, s.abortStressLastNode);
    s.sexStageStartNode = Between(-5, 75);
    s.sexStageEndNode = Between(0, 3) == 0 ? Between(-5, 80) : s.sexStageStartNode + Between(0, 40);
    s.abortionNode = Between(0, 5) == 0 ? Between(-3, 202) : Between(1, 70);
    s.initialNodeSex = Between(0, 9) == 0 ? Pick2({-1, 4, 7, -2147483647 - 1, 2147483647}) : Between(0, 3);
    s.femaleThreshold = Between(0, 38);
    s.maleThreshold = Between(s.femaleThreshold + 1, 39);
    s.abortThreshold = Between(1, 40);
    s.randomPercent = Pick2({0, 1, 2, 3, 25, 25, 25, 50, 80, 100, 318, 81920, 2147483647, Between(0, 400)});
    if (Between(0, 2) == 0) {
      s.leafPruneCycle = Between(1, s.cycleCount);
      s.pruneStress = Between(1, 10);
    }
    if (Between(0, 2) == 0) s.trendAmplitude = Between(1, 10);
    if (s.cycleCount >= 2 && Between(0, 2) == 0) {
      s.irrigationStart = Between(1, s.cycleCount - 1);
      s.irrigationEnd = Between(s.irrigationStart + 1, s.cycleCount);
    }
    if (s.cycleCount >= 2 && Between(0, 2) == 0) {
      s.flowerPruneStart = Between(1, s.cycleCount - 1);
      s.flowerPruneEnd = Between(s.flowerPruneStart + 1, s.cycleCount);
    }
    return s;
  }
  std::uint32_t Seed() { return static_cast<std::uint32_t>(random()); }

 private:
  int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
  int Pick2(std::initializer_list<int> values) { return *(values.begin() + Between(0, static_cast<int>(values.size()) - 1)); }
  std::mt19937 random;
};

struct Case {
  ModelSettings settings;
  std::uint32_t seed;
  Outcome reference;
};

std::vector<Case> ReferenceCases(int count, int laneBlock) {
  SettingsDraw draw(20261208);
  std::vector<Case> cases;
  for (int i = 0; i < count; ++i) {
    Case c{draw.Next(laneBlock), draw.Seed(), {}};
    c.reference = Capture(c.settings, [&](FloweringModel& model) { model.Run(c.seed); });
    cases.push_back(std::move(c));
  }
  return cases;
}

class EveryTarget : public ::testing::Test {
 protected:
  void TearDown() override { hwy::SetSupportedTargetsForTest(0); }
};

TEST_F(EveryTarget, RandomSettingsGiveTheReferenceResultsByteForByte) {
  const std::vector<std::int64_t> targets = hwy::SupportedAndGeneratedTargets();
  ASSERT_FALSE(targets.empty());
  bool scalarSeen = false;
  for (std::int64_t target : targets) {
    hwy::SetSupportedTargetsForTest(target);
    SCOPED_TRACE(FastEngineTarget());
    scalarSeen |= FastEngineTarget() == "SCALAR" || FastEngineTarget() == "EMU128";
    const int laneBlock = FastEngineLaneCount() * 2;
    const std::vector<Case> cases = ReferenceCases(2000, laneBlock);
    int lanes = 0, failures = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
      const Case& c = cases[i];
      RunControl control;
      control.threads = 2;
      control.palmsPerTask = (i % 3 == 0) ? 1 : 0;  // also split the palms between the threads
      FastRun run;
      const Outcome fast = Capture(c.settings, [&](FloweringModel& model) { run = RunFast(model, c.seed, &control); });
      ExpectSame(c.reference, fast, std::to_string(i) + ": " + Describe(c.settings, c.seed));
      if (::testing::Test::HasFailure()) return;
      if (!c.reference.failed) {
        // The run names the path it took, the one the settings are planned for.
        ASSERT_TRUE(run.finished);
        ASSERT_EQ(run.path, FastEnginePath(c.settings)) << i;
        ASSERT_EQ(run.target, run.path == FastPath::Lanes ? FastEngineTarget() : "") << i;
        lanes += run.path == FastPath::Lanes;
      }
      failures += c.reference.failed;
      if (!c.reference.failed) {
        EXPECT_EQ(control.palmsDone.load(), static_cast<std::uint64_t>(c.settings.palmCount));
      }
    }
    // The draw covers both paths and both outcomes well.
    EXPECT_GT(lanes, 1500);
    EXPECT_GT(failures, 100);
    EXPECT_LT(failures, 1000);
  }
  EXPECT_TRUE(scalarSeen) << "the scalar path was not among the targets";
}

// A cancel reaches a block of palms part-way through its cycles, so that a run of
// very many cycles stops without finishing the block it is in; left alone, the
// same block counts its one palm in every cycle.
TEST_F(EveryTarget, TheKernelStopsInsideABlockWhenCancelled) {
  for (std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
    hwy::SetSupportedTargetsForTest(target);
    SCOPED_TRACE(FastEngineTarget());
    ModelSettings s = DefaultModelSettings();
    s.cycleCount = 5000;
    const std::optional<varnolt_lanes::LanePlan> plan = varnolt_lanes::MakeLanePlan(s);
    ASSERT_TRUE(plan.has_value());
    auto scratch = hwy::AllocateAligned<std::uint8_t>(varnolt_lanes::ScratchBytes());
    const std::vector<std::uint32_t> starts(varnolt_lanes::LaneBytes() * varnolt_lanes::VectorsPerBlock, 1);
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(s.cycleCount + 1) * 4, 0);
    std::atomic<bool> stop{false}, cancel{true};
    varnolt_lanes::LaneBlock block;
    block.startStates = starts.data();
    block.palms = 1;
    block.counts = counts.data();
    block.stop = &stop;
    block.cancel = &cancel;
    block.scratch = scratch.get();
    EXPECT_FALSE(varnolt_lanes::SimulateBlock(*plan, block));
    EXPECT_EQ(counts[static_cast<std::size_t>(s.cycleCount) * 4 + CodeOf(NodeSex::Aborted)], 0u)
        << "the last cycle was never reached";

    cancel = false;
    std::fill(counts.begin(), counts.end(), 0u);
    EXPECT_TRUE(varnolt_lanes::SimulateBlock(*plan, block));
    for (std::int64_t cycle = 1; cycle <= s.cycleCount; ++cycle) {
      const auto row = counts.begin() + cycle * 4;
      ASSERT_EQ(std::accumulate(row, row + 4, 0u), 1u) << cycle;
    }
  }
}

TEST(FastEngine, ThePalmByPalmPathGivesTheReferenceResults) {
  const std::vector<Case> cases = ReferenceCases(300, 64);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    RunControl control;
    control.threads = 2;
    control.palmsPerTask = 3;
    FastRun run;
    const Outcome fast =
        Capture(c.settings, [&](FloweringModel& model) { run = RunFast(model, c.seed, &control, FastPath::Palms); });
    ExpectSame(c.reference, fast, std::to_string(i) + ": " + Describe(c.settings, c.seed));
    if (::testing::Test::HasFailure()) return;
    if (!c.reference.failed) {
      ASSERT_EQ(run.path, FastPath::Palms);
      ASSERT_TRUE(run.target.empty());
    }
  }
}

TEST(FastEngine, RareSettingsTakeThePalmPath) {
  ModelSettings s = DefaultModelSettings();
  EXPECT_EQ(FastEnginePath(s), FastPath::Lanes);
  s.initialNodeSex = 4;
  EXPECT_EQ(FastEnginePath(s), FastPath::Palms);
  s.initialNodeSex = 0;
  s.abortThreshold = 2000000000;  // no draw can reach it: the draws have no cap
  s.randomPercent = 2147483647;
  EXPECT_EQ(FastEnginePath(s), FastPath::Palms);
  FloweringModel model;
  model.settings = s;
  const FastRun run = RunFast(model, 1);
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.path, FastPath::Palms);
  EXPECT_EQ(run.target, "");
}

// Long draws and treatments at research sizes, where a rare tie of the tolerant
// comparisons would show.
TEST(FastEngine, ResearchSizedRunsMatchTheReference) {
  ModelSettings s = DefaultModelSettings();
  s.cycleCount = 770;
  s.palmCount = 700;
  for (int variant = 0; variant < 3; ++variant) {
    if (variant == 1) {
      s.leafPruneCycle = 100;
      s.pruneStress = 7;
      s.trendAmplitude = 3;
      s.irrigationStart = 200;
      s.irrigationEnd = 400;
      s.flowerPruneStart = 300;
      s.flowerPruneEnd = 320;
    }
    if (variant == 2) {
      s.randomPercent = 50;
      s.sexStageEndNode = 60;
      s.abortionNode = 55;
    }
    const Outcome reference = Capture(s, [&](FloweringModel& model) { model.Run(7); });
    const Outcome fast = Capture(s, [&](FloweringModel& model) { RunFast(model, 7); });
    ExpectSame(reference, fast, Describe(s, 7));
  }
}

TEST(FastEngine, ReportsProgressAndStopsWhenCancelled) {
  FloweringModel model;
  model.settings = DefaultModelSettings();
  ASSERT_TRUE(RunFast(model, 1));
  const std::vector<CycleResult> previous(model.cycleResults.begin(), model.cycleResults.end());

  model.settings.cycleCount = 2000;
  model.settings.palmCount = 2000000000;  // hours if it were not stopped
  RunControl control;
  control.threads = 2;
  bool finished = true;
  std::thread run([&] { finished = RunFast(model, 1, &control).finished; });
  while (control.palmsDone.load() == 0) std::this_thread::yield();
  control.cancel = true;
  run.join();
  EXPECT_FALSE(finished);
  EXPECT_LT(control.palmsDone.load(), 2000000000u);
  EXPECT_TRUE(std::equal(previous.begin(), previous.end(), model.cycleResults.begin(), model.cycleResults.end()))
      << "a cancelled run leaves the previous results";
}

TEST(FastEngine, TheLargestPalmCountEndsAndCountsEveryPalm) {
  FloweringModel model;
  model.settings = DefaultModelSettings();
  model.settings.cycleCount = 1;
  model.settings.palmCount = INT_MAX;
  RunControl control;
  ASSERT_TRUE(RunFast(model, 1, &control));
  EXPECT_EQ(control.palmsDone.load(), static_cast<std::uint64_t>(INT_MAX));
  // With every first node Aborted, every palm records Aborted in cycle 1.
  EXPECT_EQ(model.stateCounts[1][0], static_cast<std::uint32_t>(INT_MAX));
  EXPECT_EQ(model.cycleResults[1].aborted, 100.0 / INT_MAX * INT_MAX);
}

}  // namespace

}  // namespace varnolt
