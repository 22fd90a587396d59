#include "model/FastEngine.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <tbb/info.h>
#include <tbb/task_arena.h>
#include <tbb/task_group.h>

#include "model/FastEngineLanes.h"
#include "model/RandomJump.h"

namespace {

using varnolt_lanes::CyclePlan;
using varnolt_lanes::LanePlan;
using varnolt_lanes::TableBytes;

constexpr int MaxCode = 3;            // codes 0 to 3 fit the byte lanes' sums
constexpr int MaxDrawCap = 126;       // e and the table entries are compared as signed bytes
constexpr std::uint64_t MaxTableBytes = 512ull << 20;
constexpr double SaneThreshold = 1 << 20;  // far beyond what validation admits; 1e-8 still counts there

std::int64_t CycleCount(const ModelSettings& s) { return std::max<std::int64_t>(s.cycleCount, 0); }
std::int64_t PalmCount(const ModelSettings& s) { return std::max<std::int64_t>(s.palmCount, 0); }

// The reference reads both windows in the first cycle of the first palm, the
// abortion window first; a window outside the storage fails the run there.
void CheckWindow(std::int64_t first, std::int64_t last, const char* firstName, const char* lastName) {
  if (first > last) return;
  if (first < 0 || first >= NodeSlotCount) throw NodeRangeError(firstName, first);
  if (last >= NodeSlotCount) throw NodeRangeError(lastName, last);
}

void CheckWindows(const ModelSettings& s) {
  CheckWindow(s.abortStressFirstNode, s.abortStressLastNode, "abortStressFirstNode", "abortStressLastNode");
  CheckWindow(s.sexStressFirstNode, s.sexStressLastNode, "sexStressFirstNode", "sexStressLastNode");
}

int RandomRange(const ModelSettings& s) { return static_cast<int>(s.randomPercent * 0.4); }

// A window as the lanes see it: the positions it covers within 1 to 70 (the
// other slots always hold 0), the reference's scale, and its largest sum.
struct Window {
  int first = 1, last = 0;
  double scale = 0.0;  // an empty window sums to 0.0, whatever its bounds
  int largestSum = 0;
};

Window ClipWindow(std::int64_t first, std::int64_t last) {
  Window window;
  if (first > last) return window;
  window.scale = 10.0 / (static_cast<double>(last - first) + 1.0);
  const std::int64_t from = std::max<std::int64_t>(first, 1);
  const std::int64_t to = std::min<std::int64_t>(last, NodePositionCount);
  if (from <= to) {
    window.first = static_cast<int>(from);
    window.last = static_cast<int>(to);
    window.largestSum = MaxCode * (window.last - window.first + 1);
  }
  return window;
}

// The reference's arithmetic for a palm whose windows sum to v and whose draw
// this cycle is e + 1 (no draw when the range is 0).
struct Decider {
  double abortScale = 0.0, sexScale = 0.0;
  bool draws = false;
  double female = 0.0, male = 0.0, abort = 0.0;

  double AbortStress(int v, int e) const {
    double sum = static_cast<double>(v) * abortScale;
    if (draws) sum += e + 1;
    return sum;
  }
  double SexStress(int v, int e, double applied, double trend) const {
    double sum = static_cast<double>(v) * sexScale;
    if (draws) sum = 2.0 * sum + (e + 1);
    sum += applied;
    sum += trend;
    return sum;
  }
  int SexCode(double sum) const {
    if (IsAtMost(sum, female)) return 3;
    if (IsAbove(sum, female) && IsBelow(sum, male)) return 2;
    if (IsAtLeast(sum, male) && IsBelow(sum, abort)) return 1;
    return 0;
  }
};

// The per-cycle leaf-pruning and trend terms, computed by the reference itself
// on windows that hold no node and without draws.
class CycleTerms {
 public:
  explicit CycleTerms(const ModelSettings& s) {
    terms.settings = s;
    terms.settings.randomPercent = 0;
    terms.settings.sexStressFirstNode = terms.settings.abortStressFirstNode = 1;
    terms.settings.sexStressLastNode = terms.settings.abortStressLastNode = 0;
    terms.Initialise();
  }
  std::pair<double, double> At(std::int64_t cycle) {
    terms.ComputeStressSums(static_cast<int>(cycle));
    return {terms.appliedPruneStress, terms.trendStress};
  }

 private:
  FloweringModel terms;
};

// (least e for which the decision holds) - 1, for v = 0 to chunks x 16 - 1. The
// least e never grows with v, so one walk down the staircase finds them all.
template <class Holds>
void FillTable(std::int8_t* table, int chunks, int largestSum, int drawCap, Holds holds) {
  int least = drawCap + 1;
  for (int v = 0; v <= largestSum; ++v) {
    while (least > 0 && holds(v, least - 1)) --least;
    table[v] = static_cast<std::int8_t>(least - 1);
  }
  for (int v = largestSum + 1; v < chunks * TableBytes; ++v) table[v] = table[largestSum];
}

// A multiplier and shift that divide every draw (0 to 32767) by the range exactly.
bool FindDivision(int range, LanePlan& plan) {
  for (int shift = 0; shift < 16; ++shift) {
    const std::uint64_t multiplier = ((std::uint64_t{1} << (16 + shift)) + range - 1) / range;
    if (multiplier > 0xFFFF) continue;
    bool exact = true;
    for (std::uint32_t draw = 0; draw <= RuntimeRandom::Max && exact; ++draw) {
      exact = ((draw * multiplier) >> (16 + shift)) == draw / static_cast<std::uint32_t>(range);
    }
    if (exact) {
      plan.modMultiplier = static_cast<std::uint16_t>(multiplier);
      plan.modShift = shift;
      return true;
    }
  }
  return false;
}

bool SaneSettings(const ModelSettings& s) {
  return s.initialNodeSex >= 0 && s.initialNodeSex <= MaxCode &&
         std::abs(static_cast<double>(s.femaleThreshold)) < SaneThreshold &&
         std::abs(static_cast<double>(s.maleThreshold)) < SaneThreshold &&
         std::abs(static_cast<double>(s.abortThreshold)) < SaneThreshold;
}

int Chunks(int largestSum) { return largestSum / TableBytes + 1; }

std::uint64_t BitsOf(double value) { return std::bit_cast<std::uint64_t>(value); }

// The plan of the lanes, or nothing when these settings take the palms path.
std::optional<LanePlan> MakeLanePlan(const ModelSettings& s) {
  if (!SaneSettings(s)) return std::nullopt;
  LanePlan plan;
  plan.cycleCount = CycleCount(s);
  const Window sexWindow = ClipWindow(s.sexStressFirstNode, s.sexStressLastNode);
  const Window abortWindow = ClipWindow(s.abortStressFirstNode, s.abortStressLastNode);
  plan.sexFirst = sexWindow.first;
  plan.sexLast = sexWindow.last;
  plan.abortFirst = abortWindow.first;
  plan.abortLast = abortWindow.last;
  plan.sexChunks = Chunks(sexWindow.largestSum);
  plan.abortChunks = Chunks(abortWindow.largestSum);

  const std::int64_t stageFrom = std::max<std::int64_t>(s.sexStageStartNode, 1);
  const std::int64_t stageTo = std::min<std::int64_t>(s.sexStageEndNode, NodePositionCount);
  if (stageFrom <= stageTo) {
    plan.stageFirst = static_cast<int>(stageFrom);
    plan.stageLast = static_cast<int>(stageTo);
    // Inside the stage, after the fill, every node holds this cycle's code; only
    // the one leaving it must be written, unless something reads in between.
    const int staleFirst = plan.stageFirst + 1;
    const int staleLast = std::min(plan.stageLast, varnolt_lanes::MovingPositions);
    auto overlaps = [&](int first, int last) { return first <= last && first <= staleLast && staleFirst <= last; };
    plan.lazyStage = !overlaps(plan.sexFirst, plan.sexLast) && !overlaps(plan.abortFirst, plan.abortLast) &&
                     !overlaps(RecordedPosition, RecordedPosition);
  }
  if (s.abortionNode >= 1 && s.abortionNode <= NodePositionCount) {
    plan.abortionNode = static_cast<int>(s.abortionNode);
  } else {
    plan.abortionOutside = s.abortionNode < 0 || s.abortionNode >= NodeSlotCount;
  }
  plan.initialCode = static_cast<std::uint8_t>(s.initialNodeSex);

  Decider decider;
  decider.abortScale = abortWindow.scale;
  decider.sexScale = sexWindow.scale;
  const int range = RandomRange(s);
  decider.draws = range > 0;
  decider.female = s.femaleThreshold;
  decider.male = s.maleThreshold;
  decider.abort = s.abortThreshold;
  plan.draws = decider.draws;

  // The distinct pairs of per-cycle terms; without trend cycles there are few.
  std::vector<std::pair<double, double>> sets;
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::uint32_t> seen;
  std::vector<std::uint32_t> setOfCycle(static_cast<std::size_t>(plan.cycleCount) + 1, 0);
  plan.cycles.assign(static_cast<std::size_t>(plan.cycleCount) + 1, {});
  {
    CycleTerms terms(s);
    for (std::int64_t cycle = 1; cycle <= plan.cycleCount; ++cycle) {
      const std::pair<double, double> term = terms.At(cycle);
      const auto key = std::make_pair(BitsOf(term.first), BitsOf(term.second));
      std::uint32_t set;
      if (!sets.empty() && BitsOf(sets.back().first) == key.first && BitsOf(sets.back().second) == key.second) {
        set = static_cast<std::uint32_t>(sets.size() - 1);
      } else if (s.trendAmplitude == 0 && seen.count(key) != 0) {
        set = seen[key];
      } else {
        set = static_cast<std::uint32_t>(sets.size());
        sets.push_back(term);
        if (s.trendAmplitude == 0) seen[key] = set;
      }
      setOfCycle[static_cast<std::size_t>(cycle)] = set;
      CyclePlan& cyclePlan = plan.cycles[static_cast<std::size_t>(cycle)];
      cyclePlan.flowerPrune = s.flowerPruneStart > 0 && s.flowerPruneStart <= cycle && cycle <= s.flowerPruneEnd;
      cyclePlan.pruneAbort = term.first > 0.0;
    }
  }

  // e is the draw less one; draws above a cap where every decision already holds
  // are taken as the cap.
  int drawCap = 0;
  if (decider.draws) {
    const int largest = std::min(range, RuntimeRandom::Max + 1) - 1;
    plan.range = static_cast<std::uint16_t>(std::min(range, 0xFFFF));
    plan.modulo = range > 1 && range <= RuntimeRandom::Max;
    if (plan.modulo && !FindDivision(range, plan)) return std::nullopt;
    if (largest <= MaxDrawCap) {
      drawCap = largest;
    } else {
      auto saturated = [&](int e) {
        if (!IsAbove(decider.AbortStress(0, e), decider.abort)) return false;
        for (const auto& [applied, trend] : sets) {
          const double sum = decider.SexStress(0, e, applied, trend);
          if (decider.SexCode(sum) != 0) return false;
          if (applied > 0.0 && !IsAbove(sum, decider.abort)) return false;
        }
        return true;
      };
      if (!saturated(MaxDrawCap)) return std::nullopt;
      int low = 0, high = MaxDrawCap;  // saturated(high) holds
      while (low < high) {
        const int middle = (low + high) / 2;
        if (saturated(middle)) high = middle; else low = middle + 1;
      }
      drawCap = high;
    }
    // Without a division (a range of 1, or of 32768 and more) the draw itself must be capped.
    plan.capDraws = !plan.modulo || range - 1 > drawCap;
  }
  plan.drawCap = static_cast<std::uint16_t>(drawCap);

  const std::size_t setBytes = static_cast<std::size_t>(varnolt_lanes::SexDecisions) * plan.sexChunks * TableBytes;
  if (static_cast<std::uint64_t>(sets.size()) * setBytes > MaxTableBytes) return std::nullopt;
  plan.abortTable = hwy::AllocateAligned<std::int8_t>(static_cast<std::size_t>(plan.abortChunks) * TableBytes);
  plan.sexTables = hwy::AllocateAligned<std::int8_t>(std::max<std::size_t>(sets.size(), 1) * setBytes);
  if (!plan.abortTable || !plan.sexTables) throw std::bad_alloc();

  FillTable(plan.abortTable.get(), plan.abortChunks, abortWindow.largestSum, drawCap,
            [&](int v, int e) { return IsAbove(decider.AbortStress(v, e), decider.abort); });
  const std::size_t decisionBytes = static_cast<std::size_t>(plan.sexChunks) * TableBytes;
  for (std::size_t set = 0; set < sets.size(); ++set) {
    const auto [applied, trend] = sets[set];
    std::int8_t* tables = plan.sexTables.get() + set * setBytes;
    auto sexCode = [&](int v, int e) { return decider.SexCode(decider.SexStress(v, e, applied, trend)); };
    FillTable(tables, plan.sexChunks, sexWindow.largestSum, drawCap, [&](int v, int e) { return sexCode(v, e) <= 2; });
    FillTable(tables + decisionBytes, plan.sexChunks, sexWindow.largestSum, drawCap,
              [&](int v, int e) { return sexCode(v, e) <= 1; });
    FillTable(tables + 2 * decisionBytes, plan.sexChunks, sexWindow.largestSum, drawCap,
              [&](int v, int e) { return sexCode(v, e) == 0; });
    FillTable(tables + 3 * decisionBytes, plan.sexChunks, sexWindow.largestSum, drawCap, [&](int v, int e) {
      return applied > 0.0 && IsAbove(decider.SexStress(v, e, applied, trend), decider.abort);
    });
  }
  for (std::int64_t cycle = 1; cycle <= plan.cycleCount; ++cycle) {
    plan.cycles[static_cast<std::size_t>(cycle)].sexTable =
        static_cast<std::uint32_t>(setOfCycle[static_cast<std::size_t>(cycle)] * setBytes);
  }
  return plan;
}

// The palms of a run handed out to the workers a task at a time.
struct Work {
  Work(const ModelSettings& s, std::uint32_t runSeed, RunControl& runControl, std::int64_t perTask)
      : settings(s), seed(runSeed), control(runControl), cycles(CycleCount(s)), palms(PalmCount(s)),
        palmsPerTask(perTask), tasks((palms + perTask - 1) / perTask) {}

  const ModelSettings& settings;
  std::uint32_t seed;
  RunControl& control;
  std::int64_t cycles;
  std::int64_t palms;
  std::int64_t palmsPerTask;
  std::int64_t tasks;
  std::atomic<std::int64_t> nextTask{0};
  std::atomic<bool> stop{false};
  std::atomic<bool> abortedOutside{false};
  std::mutex failureLock;
  std::exception_ptr failure;

  // The generator's state at the start of palm `palm` (from 0): two draws per cycle
  // before it, or none at all when the range is 0.
  std::uint32_t StateAt(std::int64_t palm) const {
    if (RandomRange(settings) <= 0) return seed;
    return RandomJump::Steps(2 * static_cast<std::uint64_t>(cycles) * static_cast<std::uint64_t>(palm)).Apply(seed);
  }
  bool Stopped() const { return stop.load(std::memory_order_relaxed) || control.cancel.load(std::memory_order_relaxed); }
  void Fail(std::exception_ptr error) {
    std::lock_guard<std::mutex> lock(failureLock);
    if (!failure) failure = error;
    stop = true;
  }
};

using Counts = std::vector<std::uint32_t>;  // [cycle * 4 + code]

void RunLanesWorker(Work& work, const LanePlan& plan, Counts& counts) {
  const std::int64_t lanes = static_cast<std::int64_t>(varnolt_lanes::LaneBytes()) * varnolt_lanes::VectorsPerBlock;
  auto scratch = hwy::AllocateAligned<std::uint8_t>(varnolt_lanes::ScratchBytes());
  std::vector<std::uint32_t> starts(static_cast<std::size_t>(lanes));
  std::vector<RandomJump> laneJumps(static_cast<std::size_t>(lanes));
  const std::uint64_t palmSteps = plan.draws ? 2 * static_cast<std::uint64_t>(work.cycles) : 0;
  for (std::int64_t lane = 0; lane < lanes; ++lane) {
    laneJumps[static_cast<std::size_t>(lane)] = RandomJump::Steps(palmSteps * static_cast<std::uint64_t>(lane));
  }
  const RandomJump blockJump = RandomJump::Steps(palmSteps * static_cast<std::uint64_t>(lanes));
  counts.assign(static_cast<std::size_t>(work.cycles + 1) * 4, 0);

  varnolt_lanes::LaneBlock block;
  block.counts = counts.data();
  block.stop = &work.stop;
  block.scratch = scratch.get();
  block.startStates = starts.data();
  for (;;) {
    const std::int64_t task = work.nextTask++;
    if (task >= work.tasks || work.Stopped()) return;
    const std::int64_t first = task * work.palmsPerTask;
    const std::int64_t end = std::min(work.palms, first + work.palmsPerTask);
    std::uint32_t state = work.StateAt(first);
    for (std::int64_t palm = first; palm < end; palm += lanes) {
      for (std::size_t lane = 0; lane < starts.size(); ++lane) starts[lane] = laneJumps[lane].Apply(state);
      state = blockJump.Apply(state);
      block.palms = static_cast<std::size_t>(std::min(lanes, end - palm));
      if (!varnolt_lanes::SimulateBlock(plan, block)) {
        if (block.abortedOutside) {
          work.abortedOutside = true;
          work.stop = true;
        }
        return;
      }
      work.control.palmsDone += block.palms;
      if (work.Stopped()) return;
    }
  }
}

// The reference's own steps, palm after palm, each worker with its own model.
void RunPalmsWorker(Work& work, Counts& counts) {
  FloweringModel model;
  model.settings = work.settings;
  model.Initialise();
  for (;;) {
    const std::int64_t task = work.nextTask++;
    if (task >= work.tasks || work.Stopped()) break;
    const std::int64_t first = task * work.palmsPerTask;
    const std::int64_t end = std::min(work.palms, first + work.palmsPerTask);
    model.random.Seed(work.StateAt(first));  // each palm then leaves the generator where the next starts
    std::uint64_t done = 0;
    for (std::int64_t palm = first; palm < end; ++palm) {
      model.StartPalm();
      model.SimulatePalm(static_cast<int>(palm + 1));
      if (++done == 64) {
        work.control.palmsDone += done;
        done = 0;
        if (work.Stopped()) break;
      }
    }
    work.control.palmsDone += done;
  }
  counts.assign(static_cast<std::size_t>(work.cycles + 1) * 4, 0);
  for (std::int64_t cycle = 1; cycle <= work.cycles; ++cycle) {
    for (int code = 0; code < 4; ++code) {
      counts[static_cast<std::size_t>(cycle * 4 + code)] = model.stateCounts[cycle][code];
    }
  }
}

int ThreadCount(const RunControl& control) {
  return control.threads > 0 ? control.threads : FastEngineDefaultThreads();
}

}  // namespace

int FastEngineDefaultThreads() { return std::max(1, tbb::info::default_concurrency()); }

std::string FastEngineTarget() { return varnolt_lanes::TargetName(); }

int FastEngineLaneCount() { return static_cast<int>(varnolt_lanes::LaneBytes()); }

FastPath FastEnginePath(const ModelSettings& settings) {
  // The plan's tables are small; making one is the only sure test.
  if (!SaneSettings(settings)) return FastPath::Palms;
  return MakeLanePlan(settings) ? FastPath::Lanes : FastPath::Palms;
}

std::uint64_t FastEngineMemoryBytes(const ModelSettings& s, int threads) {
  if (threads <= 0) threads = FastEngineDefaultThreads();
  const std::uint64_t rows = static_cast<std::uint64_t>(CycleCount(s)) + 1;
  const std::uint64_t counts = 4 * sizeof(std::uint32_t);
  // Per cycle: each worker's counts and the sum, the cycle's plan and the
  // reference's terms, and the results built while the previous ones are kept.
  std::uint64_t lanes = rows * (counts * (threads + 1) + sizeof(varnolt_lanes::CyclePlan) + 32 + 2 * sizeof(CycleResult));
  if (s.trendAmplitude != 0) {
    const Window window = ClipWindow(s.sexStressFirstNode, s.sexStressLastNode);
    lanes += std::min<std::uint64_t>(rows * varnolt_lanes::SexDecisions * Chunks(window.largestSum) * TableBytes,
                                     MaxTableBytes);
  }
  const std::uint64_t palms = FloweringModel::RunMemoryBytes(CycleCount(s)) * (threads + 1);
  return std::max(lanes, palms);
}

FastRun RunFast(FloweringModel& model, std::uint32_t seed, RunControl* control) {
  return RunFast(model, seed, control, FastPath::Lanes);
}

// Lanes where the settings allow it, else palm by palm.
FastRun RunFast(FloweringModel& model, std::uint32_t seed, RunControl* control, FastPath path) {
  const ModelSettings& s = model.settings;
  RunControl ownControl;
  RunControl& ctl = control != nullptr ? *control : ownControl;
  const std::int64_t cycles = CycleCount(s);
  const std::int64_t palms = PalmCount(s);

  FastRun run;
  std::vector<std::uint64_t> total(static_cast<std::size_t>(cycles + 1) * 4, 0);
  if (cycles > 0 && palms > 0) {
    CheckWindows(s);
    std::optional<LanePlan> plan;
    if (path == FastPath::Lanes) plan = MakeLanePlan(s);
    run.path = plan ? FastPath::Lanes : FastPath::Palms;
    const std::int64_t block =
        plan ? static_cast<std::int64_t>(varnolt_lanes::LaneBytes()) * varnolt_lanes::VectorsPerBlock : 1;

    // A task is a few million palm-cycles: small enough to share the palms out
    // evenly and to answer a cancel promptly, large enough to cost nothing.
    std::int64_t perTask = ctl.palmsPerTask > 0 ? ctl.palmsPerTask : std::max<std::int64_t>(1, (4 << 20) / cycles);
    perTask = (perTask + block - 1) / block * block;
    Work work(s, seed, ctl, perTask);
    const int threads = static_cast<int>(std::min<std::int64_t>(ThreadCount(ctl), work.tasks));
    std::vector<Counts> counts(static_cast<std::size_t>(threads));

    tbb::task_arena arena(threads);
    arena.execute([&] {
      tbb::task_group group;
      for (int worker = 0; worker < threads; ++worker) {
        group.run([&, worker] {
          try {
            if (plan) RunLanesWorker(work, *plan, counts[static_cast<std::size_t>(worker)]);
            else RunPalmsWorker(work, counts[static_cast<std::size_t>(worker)]);
          } catch (...) {
            work.Fail(std::current_exception());
          }
        });
      }
      group.wait();
    });
    if (work.failure) std::rethrow_exception(work.failure);
    if (work.abortedOutside) throw NodeRangeError("abortionNode", s.abortionNode);
    if (ctl.cancel.load()) return run;
    for (const Counts& part : counts) {
      for (std::size_t i = 0; i < part.size(); ++i) total[i] += part[i];
    }
  } else if (path == FastPath::Lanes) {
    run.path = FastEnginePath(s);  // nothing to run: the path these settings would take
  }
  if (run.path == FastPath::Lanes) run.target = FastEngineTarget();

  model.stateCounts.Assign(static_cast<std::size_t>(cycles) + 1, {});
  for (std::int64_t cycle = 1; cycle <= cycles; ++cycle) {
    for (int code = 0; code < 4; ++code) {
      model.stateCounts[cycle][code] = static_cast<std::uint32_t>(total[static_cast<std::size_t>(cycle * 4 + code)]);
    }
  }
  model.AggregateResults();
  run.finished = true;
  return run;
}
