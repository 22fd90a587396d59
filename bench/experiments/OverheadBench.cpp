// What an experiment costs beyond its runs: the runner's whole sweep path
// (design, rules, runs, analysis, table, record) against the bare engine doing
// the same palm-cycles, in one process and one sitting so that the ratios hold
// on a noisy machine. Two cases:
//   - 20,480 runs of 1 cycle x 1 palm: the fixed cost of a run, which a
//     calibration of thousands of small runs pays again and again;
//   - a 1,000-point sweep of 770 cycles x 1,000 palms (770 million palm-cycles)
//     against one run of 770 cycles x 1,000,000 palms.
// Each is timed three times, the best kept. Run build/bin/overhead_bench by hand.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "experiments/Experiments.h"
#include "model/FloweringModel.h"
#include "run/RunDriver.h"

namespace varnolt {

namespace {

double BestSeconds(const std::function<void()>& work, int times = 3) {
  double best = 1e300;
  for (int i = 0; i < times; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

// The runner's command line in this process, its table in a scratch folder.
void RunRunner(std::vector<std::string> args) {
  std::ostringstream out, err;
  if (RunCommandLine(args, {out, err}) != 0) {
    std::fprintf(stderr, "the runner failed: %s\n", err.str().c_str());
    std::exit(1);
  }
}

RunSettings Sized(int cycles, int palms) {
  RunSettings settings = StartupDefaults();
  settings.cycleCount = cycles;
  settings.palmCount = palms;
  return settings;
}

void Line(const char* what, double seconds, double per, const char* unit) {
  std::printf("  %-58s %9.3f s  %10.2f %s\n", what, seconds, per, unit);
}

}  // namespace

}  // namespace varnolt

int main() {
  using namespace varnolt;
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "varnolt-overhead-bench";
  std::filesystem::create_directories(folder);
  const std::string table = (folder / "table.csv").string();

  // --- 20,480 runs of 1 x 1 ---------------------------------------------------
  constexpr int tinyRuns = 20480;
  const RunSettings tiny = Sized(1, 1);
  const double tinyEngine = BestSeconds([&] {
    for (int i = 0; i < tinyRuns; ++i) {
      FloweringModel model;
      RunModel(model, tiny, static_cast<std::uint32_t>(i + 1));
    }
  });
  std::vector<ExperimentPoint> tinyPoints(tinyRuns);
  for (int i = 0; i < tinyRuns; ++i) tinyPoints[i] = {tiny, static_cast<std::uint32_t>(i + 1)};
  const double tinyPointsTime = BestSeconds([&] {
    ExperimentControl control;
    RunPoints(tinyPoints, control);
  });
  const double tinySweep = BestSeconds([&] {
    // One point at the start-up defaults (randomPercent 25), as the bare engine runs.
    RunRunner({"sweep", "--vary", "randomPercent=25:25", "--replicates", std::to_string(tinyRuns), "--set", "cycleCount=1",
               "--set", "palmCount=1", "--seed", "1", "--csv", table});
  });
  std::printf("20,480 runs of 1 cycle x 1 palm (%d worker threads)\n", ExperimentDefaultThreads());
  Line("bare engine, one run after another (RunModel)", tinyEngine, tinyEngine / tinyRuns * 1e6, "us a run");
  Line("experiment points (RunPoints: rules, runs, analysis)", tinyPointsTime, tinyPointsTime / tinyRuns * 1e6,
       "us a run");
  Line("varnolt-cli sweep --replicates 20480 --csv (whole path)", tinySweep, tinySweep / tinyRuns * 1e6, "us a run");
  std::printf("  ratio sweep / bare engine: %.2f\n\n", tinySweep / tinyEngine);

  // --- 1,000 points of 770 x 1,000 against one run of 770 x 1,000,000 ----------
  const RunSettings big = Sized(770, 1000000);
  const double bigEngine = BestSeconds([&] {
    FloweringModel model;
    RunModel(model, big, 1);
  });
  // The sweep's own points, each run bare by the engine over every thread: the
  // same palm-cycles with the same settings, without rules, analysis or table.
  std::vector<RunSettings> sweepSettings;
  for (int female = 10; female <= 19; ++female) {
    for (int first = 15; first <= 24; ++first) {
      for (int random = 0; random <= 45; random += 5) {
        RunSettings settings = Sized(770, 1000);
        settings.maleThreshold = 30;
        settings.femaleThreshold = female;
        settings.sexStressFirstFrond = first;
        settings.randomPercent = random;
        sweepSettings.push_back(settings);
      }
    }
  }
  const double bigPointsBare = BestSeconds([&] {
    FloweringModel model;
    for (const RunSettings& settings : sweepSettings) RunModel(model, settings, 1);
  });
  const double bigSweep = BestSeconds([&] {
    RunRunner({"sweep", "--vary", "femaleThreshold=10:19", "--vary", "sexStressFirstFrond=15:24", "--vary",
               "randomPercent=0:45:5", "--set", "cycleCount=770", "--set", "palmCount=1000", "--set",
               "maleThreshold=30", "--seed", "1", "--csv", table});
  });
  std::printf("770 million palm-cycles\n");
  Line("bare engine, one run of 770 cycles x 1,000,000 palms", bigEngine, bigEngine / 770e6 * 1e9, "ns a palm-cycle");
  Line("varnolt-cli sweep of 1,000 points of 770 x 1,000 (whole path)", bigSweep, bigSweep / 770e6 * 1e9,
       "ns a palm-cycle");
  Line("bare engine, the sweep's 1,000 points one after another", bigPointsBare, bigPointsBare / 770e6 * 1e9,
       "ns a palm-cycle");
  std::printf("  ratio sweep / one bare run: %.2f\n", bigSweep / bigEngine);
  std::printf("  ratio sweep / its points run bare: %.2f\n", bigSweep / bigPointsBare);
  std::filesystem::remove_all(folder);
  return 0;
}
