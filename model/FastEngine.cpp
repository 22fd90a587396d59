// The running half of the fast engine: the palms of a run cut into tasks of
// whole blocks, shared out over the worker threads by oneTBB, each thread with
// its own counts. The planning half is LanePlan.cpp; the kernel is
// FastEngineLanes.cpp.

#include "model/FastEngine.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>
#include <tbb/task_arena.h>

#include "model/FastEngineLanes.h"
#include "model/RandomJump.h"

namespace varnolt {

namespace {

using varnolt_lanes::LanePlan;

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

// The palms of a run, cut into tasks of palmsPerTask palms.
struct Work {
  Work(const ModelSettings& s, std::uint32_t runSeed, RunControl& runControl, std::int64_t perTask)
      : settings(s), seed(runSeed), control(runControl), cycles(CycleCount(s)), palms(PalmCount(s)),
        palmsPerTask(perTask), tasks((palms + perTask - 1) / perTask), draws(Draws(RandomRange(s.randomPercent))) {}

  const ModelSettings& settings;
  std::uint32_t seed;
  RunControl& control;
  std::int64_t cycles;
  std::int64_t palms;
  std::int64_t palmsPerTask;
  std::int64_t tasks;
  bool draws;
  std::atomic<bool> stop{false};  // a failure or an abortion outside the storage ends the run
  std::atomic<bool> abortedOutside{false};
  std::mutex failureLock;
  std::exception_ptr failure;

  std::int64_t FirstPalm(std::int64_t task) const { return task * palmsPerTask; }
  std::int64_t EndPalm(std::int64_t task) const { return std::min(palms, FirstPalm(task) + palmsPerTask); }
  // The generator's state at the start of palm `palm` (from 0): two draws per cycle
  // before it, or none at all without draws.
  std::uint32_t StateAt(std::int64_t palm) const {
    if (!draws) return seed;
    return RandomJump::Steps(2 * static_cast<std::uint64_t>(cycles) * static_cast<std::uint64_t>(palm)).Apply(seed);
  }
  bool Stopped() const {
    return stop.load(std::memory_order_relaxed) || control.cancel.load(std::memory_order_relaxed);
  }
  void Fail(std::exception_ptr error) {
    std::lock_guard<std::mutex> lock(failureLock);
    if (!failure) failure = error;
    stop = true;
  }
};

using Counts = std::vector<std::uint32_t>;  // [cycle * 4 + code]

// What a thread keeps between its tasks on the lanes: its counts, its scratch
// and the generator jumps from a block's first palm to each lane's.
class LanesWorker {
 public:
  LanesWorker(const Work& work, const LanePlan& plan)
      : lanes_(static_cast<std::int64_t>(varnolt_lanes::LaneBytes()) * varnolt_lanes::VectorsPerBlock),
        scratch_(hwy::AllocateAligned<std::uint8_t>(varnolt_lanes::ScratchBytes())),
        starts_(static_cast<std::size_t>(lanes_)), laneJumps_(static_cast<std::size_t>(lanes_)) {
    if (!scratch_) throw std::bad_alloc();
    const std::uint64_t palmSteps = plan.draws ? 2 * static_cast<std::uint64_t>(work.cycles) : 0;
    for (std::int64_t lane = 0; lane < lanes_; ++lane) {
      laneJumps_[static_cast<std::size_t>(lane)] = RandomJump::Steps(palmSteps * static_cast<std::uint64_t>(lane));
    }
    blockJump_ = RandomJump::Steps(palmSteps * static_cast<std::uint64_t>(lanes_));
    counts.assign(static_cast<std::size_t>(work.cycles + 1) * 4, 0);
  }

  void RunTask(Work& work, const LanePlan& plan, std::int64_t task) {
    varnolt_lanes::LaneBlock block;
    block.counts = counts.data();
    block.stop = &work.stop;
    block.cancel = &work.control.cancel;
    block.scratch = scratch_.get();
    block.startStates = starts_.data();
    const std::int64_t end = work.EndPalm(task);
    std::uint32_t state = work.StateAt(work.FirstPalm(task));
    for (std::int64_t palm = work.FirstPalm(task); palm < end; palm += lanes_) {
      for (std::size_t lane = 0; lane < starts_.size(); ++lane) starts_[lane] = laneJumps_[lane].Apply(state);
      state = blockJump_.Apply(state);
      block.palms = static_cast<std::size_t>(std::min(lanes_, end - palm));
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

  Counts counts;

 private:
  std::int64_t lanes_;
  hwy::AlignedFreeUniquePtr<std::uint8_t[]> scratch_;
  std::vector<std::uint32_t> starts_;
  std::vector<RandomJump> laneJumps_;
  RandomJump blockJump_;
};

// Palm by palm: the reference's own steps, each thread with its own model.
class PalmsWorker {
 public:
  explicit PalmsWorker(const Work& work) {
    model_.settings = work.settings;
    model_.Initialise();
  }

  void RunTask(Work& work, std::int64_t task) {
    // Each palm then leaves the generator where the next one starts.
    model_.random.Seed(work.StateAt(work.FirstPalm(task)));
    std::uint64_t done = 0;
    for (std::int64_t palm = work.FirstPalm(task); palm < work.EndPalm(task); ++palm) {
      model_.StartPalm();
      model_.SimulatePalm(static_cast<int>(palm + 1));
      if (++done == 64) {
        work.control.palmsDone += done;
        done = 0;
        if (work.Stopped()) break;
      }
    }
    work.control.palmsDone += done;
  }

  void AddCounts(std::vector<std::uint64_t>& total, std::int64_t cycles) const {
    for (std::int64_t cycle = 1; cycle <= cycles; ++cycle) {
      for (int code = 0; code <= HighestCode; ++code) {
        total[static_cast<std::size_t>(cycle * 4 + code)] += model_.stateCounts[cycle][code];
      }
    }
  }

 private:
  FloweringModel model_;
};

// Every task once over `threads` threads, each thread with a worker of its own
// from `workers`; no task starts once the work is stopped. A failure in a task
// stops the work and is kept in work.failure.
template <class Worker, class RunTask>
void RunTasks(Work& work, int threads, tbb::enumerable_thread_specific<Worker>& workers, RunTask runTask) {
  tbb::task_arena arena(threads);
  arena.execute([&] {
    tbb::parallel_for(
        tbb::blocked_range<std::int64_t>(0, work.tasks, 1),
        [&](const tbb::blocked_range<std::int64_t>& range) {
          try {
            Worker& worker = workers.local();
            for (std::int64_t task = range.begin(); task != range.end(); ++task) {
              if (work.Stopped()) return;
              runTask(worker, task);
            }
          } catch (...) {
            work.Fail(std::current_exception());
          }
        },
        tbb::simple_partitioner());
  });
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
  return varnolt_lanes::MakeLanePlan(settings) ? FastPath::Lanes : FastPath::Palms;
}

std::uint64_t FastEngineMemoryBytes(const ModelSettings& s, int threads) {
  if (threads <= 0) threads = FastEngineDefaultThreads();
  const std::uint64_t rows = static_cast<std::uint64_t>(CycleCount(s)) + 1;
  const std::uint64_t counts = 4 * sizeof(std::uint32_t);
  // Per cycle: each thread's counts and the sum, the plan, and the results built
  // while the previous ones are kept.
  const std::uint64_t lanes =
      rows * (counts * (threads + 1) + 2 * sizeof(CycleResult)) + varnolt_lanes::LanePlanBytes(s, rows);
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
    if (path == FastPath::Lanes) plan = varnolt_lanes::MakeLanePlan(s);
    run.path = plan ? FastPath::Lanes : FastPath::Palms;
    const std::int64_t block =
        plan ? static_cast<std::int64_t>(varnolt_lanes::LaneBytes()) * varnolt_lanes::VectorsPerBlock : 1;

    // A task is a few million palm-cycles: small enough to share the palms out
    // evenly and to answer a cancel promptly, large enough to cost nothing.
    std::int64_t perTask = ctl.palmsPerTask > 0 ? ctl.palmsPerTask : std::max<std::int64_t>(1, (4 << 20) / cycles);
    perTask = (perTask + block - 1) / block * block;
    Work work(s, seed, ctl, perTask);
    const int threads = static_cast<int>(std::min<std::int64_t>(ThreadCount(ctl), work.tasks));

    if (plan) {
      tbb::enumerable_thread_specific<LanesWorker> workers([&] { return LanesWorker(work, *plan); });
      RunTasks(work, threads, workers,
               [&](LanesWorker& worker, std::int64_t task) { worker.RunTask(work, *plan, task); });
      for (const LanesWorker& worker : workers) {
        for (std::size_t i = 0; i < worker.counts.size(); ++i) total[i] += worker.counts[i];
      }
    } else {
      tbb::enumerable_thread_specific<PalmsWorker> workers([&] { return PalmsWorker(work); });
      RunTasks(work, threads, workers, [&](PalmsWorker& worker, std::int64_t task) { worker.RunTask(work, task); });
      for (const PalmsWorker& worker : workers) worker.AddCounts(total, cycles);
    }
    if (work.failure) std::rethrow_exception(work.failure);
    if (work.abortedOutside) throw NodeRangeError("abortionNode", s.abortionNode);
    if (ctl.cancel.load()) return run;
  } else if (path == FastPath::Lanes) {
    run.path = FastEnginePath(s);  // nothing to run: the path these settings would take
  }
  if (run.path == FastPath::Lanes) run.target = FastEngineTarget();

  model.stateCounts.Assign(static_cast<std::size_t>(cycles) + 1, {});
  for (std::int64_t cycle = 1; cycle <= cycles; ++cycle) {
    for (int code = 0; code <= HighestCode; ++code) {
      model.stateCounts[cycle][code] = static_cast<std::uint32_t>(total[static_cast<std::size_t>(cycle * 4 + code)]);
    }
  }
  model.AggregateResults();
  run.finished = true;
  return run;
}

}  // namespace varnolt
