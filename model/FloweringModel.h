#pragma once
// The flowering model of one simulation run: a column of leaf nodes per palm,
// the stress that older nodes feed back from two windows of fronds, and the sex
// that this stress gives the nodes still in their sex determining stage. Palms
// are simulated one after another, cycle by cycle; the state at frond 20 is
// recorded every cycle and summed up into one CycleResult row per cycle.
// The rule itself (positions, comparisons, decisions) is in FloweringRule.h; this
// is the step-by-step reference that applies it.
// Plain C++: the model knows nothing of pages, files or windows.

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include "model/CheckedVector.h"
#include "model/FloweringRule.h"
#include "model/RuntimeRandom.h"

namespace varnolt {

// One cycle's results, in percent of the palms.
struct CycleResult {
  double female = 0.0;
  double herm = 0.0;
  double male = 0.0;
  double aborted = 0.0;
  double total = 0.0;  // ((aborted + male) + herm) + female

  bool operator==(const CycleResult&) const = default;
};

// A run that reads a stress window or writes the abortion node outside the node
// storage. what() is the checked access's "invalid vector<T> subscript"; the
// error also names the model setting at fault and its node position.
class NodeRangeError : public std::out_of_range {
 public:
  NodeRangeError(std::string settingName, std::int64_t nodePosition)
      : std::out_of_range(InvalidSubscriptText), setting(std::move(settingName)), node(nodePosition) {}
  std::string setting;  // e.g. "sexStressFirstNode"
  std::int64_t node;
};

class FloweringModel {
 public:
  // Working values of the current cycle.
  double abortStressSum = 0.0;
  double sexStressSum = 0.0;
  double leafPruneStress = 0.0;
  double appliedPruneStress = 0.0;
  double trendStress = 0.0;

  // Storage of the run in progress.
  CheckedVector<std::int32_t> nodeStates;      // NodeSex codes by node position, 0 to 199
  CheckedVector<std::int32_t> recordedStates;  // the current palm's state at position 50, by cycle
  // How many palms recorded each NodeSex code, by cycle. A palm is counted when it
  // has finished its cycles, so memory grows with cycles only, never with palms.
  CheckedVector<std::array<std::uint32_t, 4>> stateCounts;
  // The annual trend term of each cycle (0 without trend cycles), the same for every palm.
  CheckedVector<double> trendByCycle;

  ModelSettings settings;

  // Results of the last completed run: row c holds cycle c, row 0 stays zero.
  // A run that fails leaves the previous results as they were.
  CheckedVector<CycleResult> cycleResults;

  RuntimeRandom random;

  // A whole run on the settings already copied in, seeded from the clock.
  void Run();
  // The same run with a given seed, so that it can be repeated exactly.
  void Run(std::uint32_t seed);
  // The clock's seed: the current calendar time in whole seconds since 1970.
  static std::uint32_t ClockSeed();
  // What a run of that many cycles holds in memory at its peak, in bytes.
  static std::uint64_t RunMemoryBytes(std::int64_t cycleCount);

  // Sizes and zeroes the storage of a run.
  void Initialise();
  // Gives the next palm its first nodes: positions 1 to 70 take initialNodeSex.
  void StartPalm();
  // Cycles 1 to cycleCount for one palm, then counts what the palm recorded.
  void SimulatePalm(int palm);
  // Turns the counts into cycleResults, replacing the previous results.
  void AggregateResults();

  // The three steps of one cycle, in this order.
  void ComputeStressSums(int cycle);
  void DetermineNodeSex(int cycle);
  void AdvanceNodes(int cycle);

 private:
  std::int32_t* Nodes();
  double WindowSum(std::int64_t first, std::int64_t last, const char* firstName, const char* lastName) const;
  void AbortAt(std::int64_t node);
  void CountPalmRecord();
};

}  // namespace varnolt
