#pragma once
// The fast engine: the same run as FloweringModel::Run, with the same results bit
// for bit and the same failures, many times faster. Palms are independent once
// each starts from its own place in the generator's sequence, so they are run
// side by side: many palms in the lanes of a SIMD vector (Google Highway picks
// the widest instruction set the processor has when the program starts) and
// blocks of palms on several threads (oneTBB). The per-cycle counts are whole
// numbers, so any split of the palms sums to the same results.
//
// FloweringModel stays the step-by-step reference; every run of the program goes
// through here, and the tests hold both engines to the same results.

#include <atomic>
#include <cstdint>
#include <string>

#include "model/FloweringModel.h"

namespace varnolt {

// Progress and cancellation of a run in progress, shared with the thread that
// watches it: read palmsDone at any time, set cancel to stop between blocks.
struct RunControl {
  std::atomic<std::uint64_t> palmsDone{0};
  std::atomic<bool> cancel{false};
  int threads = 0;               // worker threads; 0 follows the machine
  std::int64_t palmsPerTask = 0; // palms a worker takes at a time; 0 chooses
};

// How a run is simulated. Lanes is the SIMD path; Palms runs the reference's own
// steps palm by palm on the worker threads, for the settings the lanes do not
// take (see FastEnginePath).
enum class FastPath { Lanes, Palms };

// Which path the settings take (planning the lanes to find out; RunFast says it
// without a second plan): Lanes unless the first nodes hold a code other
// than 0 to 3, a threshold or treatment value lies far outside what validation
// admits, or the treatments' per-cycle tables would need more memory than the run's
// counts themselves.
FastPath FastEnginePath(const ModelSettings& settings);

// What a run did: whether it finished, and which path it took, so that the
// caller can name the engine without planning the run a second time. Tests as
// true when the run finished.
struct FastRun {
  bool finished = false;            // false: cancelled, the model's results as they were
  FastPath path = FastPath::Palms;  // the path the palms went through
  std::string target;               // the SIMD target of the lanes, e.g. "AVX2"; empty palm by palm

  explicit operator bool() const { return finished; }
};

// Runs model.settings with the seed, like model.Run(seed): on success fills
// model.cycleResults (and stateCounts) and finishes. A cancelled run leaves the
// model's results as they were; so does a failure, which throws the reference's
// NodeRangeError (or std::bad_alloc).
FastRun RunFast(FloweringModel& model, std::uint32_t seed, RunControl* control = nullptr);

// The same with the path forced, for the tests: Palms always runs palm by palm,
// Lanes takes the lanes where the settings allow it.
FastRun RunFast(FloweringModel& model, std::uint32_t seed, RunControl* control, FastPath path);

// The SIMD instruction set the lanes run on, for example "AVX2", and the palms
// one vector holds.
std::string FastEngineTarget();
int FastEngineLaneCount();

// The worker threads a run uses when RunControl::threads is 0.
int FastEngineDefaultThreads();

// What a run of these settings holds in memory at its peak, in bytes, beyond the
// previous results.
std::uint64_t FastEngineMemoryBytes(const ModelSettings& settings, int threads = 0);

}  // namespace varnolt
