// Both engines in one run on the same settings: the reference FloweringModel on
// 100,000 palms and the fast engine on 1,000,000, 770 cycles, on the default
// settings and again with all four treatments on. Rounds alternate between the
// engines and the best round of each counts, so that a busy machine tells less.
// Prints ns per palm-cycle (wall clock and processor time over all threads), the
// ratio, the SIMD target and the threads, and checks that both engines give the
// same results on the reference's palm count.
//
//   build/bin/engine_bench [--rounds N] [--threads N]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "model/FastEngine.h"
#include "run/RunDriver.h"

namespace varnolt {

namespace {

constexpr std::int32_t Cycles = 770;
constexpr std::int32_t ReferencePalms = 100000;
constexpr std::int32_t FastPalms = 1000000;

struct Timing {
  double wall = 1e300;
  double processor = 1e300;
};

template <class Fn>
void Time(Timing& best, Fn run) {
  const std::clock_t processorStart = std::clock();
  const auto wallStart = std::chrono::steady_clock::now();
  run();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  const double processor = static_cast<double>(std::clock() - processorStart) / CLOCKS_PER_SEC;
  best.wall = std::min(best.wall, wall);
  best.processor = std::min(best.processor, processor);
}

double NsPerPalmCycle(double seconds, std::int32_t palms) { return seconds * 1e9 / (double(Cycles) * palms); }

bool SameResults(const FloweringModel& a, const FloweringModel& b) {
  return a.cycleResults.size() == b.cycleResults.size() &&
         std::memcmp(a.cycleResults.data(), b.cycleResults.data(), a.cycleResults.size() * sizeof(CycleResult)) == 0;
}

void Compare(const char* name, RunSettings settings, int rounds, int threads) {
  settings.cycleCount = Cycles;
  ModelSettings model = TransferSettings(settings);
  FloweringModel reference, fast;
  reference.settings = model;
  reference.settings.palmCount = ReferencePalms;
  fast.settings = model;
  fast.settings.palmCount = FastPalms;

  Timing referenceTime, fastTime;
  for (int round = 0; round < rounds; ++round) {
    Time(referenceTime, [&] { reference.Run(1); });
    RunControl control;
    control.threads = threads;
    Time(fastTime, [&] { RunFast(fast, 1, &control); });
  }
  FloweringModel check;
  check.settings = reference.settings;
  RunControl control;
  control.threads = threads;
  const FastRun run = RunFast(check, 1, &control);

  const double referenceNs = NsPerPalmCycle(referenceTime.wall, ReferencePalms);
  const double fastNs = NsPerPalmCycle(fastTime.wall, FastPalms);
  std::printf("%s (%s)\n", name, run.path == FastPath::Lanes ? "SIMD lanes" : "palm by palm");
  std::printf("  reference, %7d palms: %8.3f s  %8.3f ns/palm-cycle  (processor %8.3f ns)\n", ReferencePalms,
              referenceTime.wall, referenceNs, NsPerPalmCycle(referenceTime.processor, ReferencePalms));
  std::printf("  fast,      %7d palms: %8.3f s  %8.3f ns/palm-cycle  (processor %8.3f ns)\n", FastPalms,
              fastTime.wall, fastNs, NsPerPalmCycle(fastTime.processor, FastPalms));
  std::printf("  fast / reference: %.1f times faster (%.1f in processor time); results on %d palms %s\n",
              referenceNs / fastNs,
              NsPerPalmCycle(referenceTime.processor, ReferencePalms) / NsPerPalmCycle(fastTime.processor, FastPalms),
              ReferencePalms, SameResults(reference, check) ? "identical" : "DIFFER");
}

}  // namespace

}  // namespace varnolt

int main(int argc, char** argv) {
  using namespace varnolt;
  int rounds = 3;
  int threads = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
    if (option == "--threads") threads = std::max(0, std::atoi(argv[i + 1]));
  }
  std::printf("SIMD target %s (%d palms a vector), %d threads, %d rounds, %d cycles\n", FastEngineTarget().c_str(),
              FastEngineLaneCount(), threads > 0 ? threads : FastEngineDefaultThreads(), rounds, Cycles);

  Compare("default settings", StartupDefaults(), rounds, threads);

  RunSettings treated = StartupDefaults();
  treated.leafPruning = 1;
  treated.leafPruneCycle = 100;
  treated.pruneStress = 5;
  treated.trendCycles = 1;
  treated.trendAmplitude = 3;
  treated.irrigation = 1;
  treated.irrigationStart = 200;
  treated.irrigationEnd = 400;
  treated.flowerPruning = 1;
  treated.flowerPruneStart = 300;
  treated.flowerPruneEnd = 320;
  Compare("all four treatments", treated, rounds, threads);
  return 0;
}
