#include "model/FloweringModel.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace varnolt {

namespace {

// Rows for a run of that many cycles: row 0 and rows 1 to cycleCount. The model
// trusts validation for cycleCount >= 1, but never sizes a vector from a negative.
std::size_t RowCount(std::int64_t cycleCount) { return static_cast<std::size_t>(std::max<std::int64_t>(cycleCount, 0)) + 1; }

}  // namespace

void FloweringModel::Run() { Run(ClockSeed()); }

void FloweringModel::Run(std::uint32_t seed) {
  random.Seed(seed);
  Initialise();
  // 64-bit counters: an int would wrap at a palm count of 2147483647 and never end.
  for (std::int64_t palm = 1; palm <= settings.palmCount; ++palm) {
    StartPalm();
    SimulatePalm(static_cast<int>(palm));
  }
  AggregateResults();
}

std::uint32_t FloweringModel::ClockSeed() {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return static_cast<std::uint32_t>(seconds.count());  // as srand((unsigned)time(NULL))
}

std::uint64_t FloweringModel::RunMemoryBytes(std::int64_t cycleCount) {
  // Per cycle: the palm's record, the counts, the trend term, and the new results built while
  // the previous ones are kept.
  constexpr std::uint64_t perRow =
      sizeof(std::int32_t) + sizeof(std::array<std::uint32_t, 4>) + sizeof(double) + 2 * sizeof(CycleResult);
  return RowCount(cycleCount) * perRow + NodeSlotCount * sizeof(std::int32_t);
}

void FloweringModel::Initialise() {
  nodeStates.Assign(NodeSlotCount, 0);
  recordedStates.Assign(RowCount(settings.cycleCount), 0);
  stateCounts.Assign(RowCount(settings.cycleCount), {});
  // The trend term depends on the cycle alone: one sine per cycle, not per palm.
  trendByCycle.Assign(RowCount(settings.cycleCount), 0.0);
  if (settings.trendAmplitude != 0) {
    for (std::int64_t cycle = 1; cycle <= settings.cycleCount; ++cycle) {
      trendByCycle[cycle] = TrendTerm(cycle, settings.trendAmplitude);
    }
  }
}

std::int32_t* FloweringModel::Nodes() {
  // The steps below work on whole ranges of positions 1 to 70; one check of the
  // storage's size covers them all.
  if (nodeStates.size() < NodeSlotCount) throw std::out_of_range(InvalidSubscriptText);
  return nodeStates.data();
}

void FloweringModel::StartPalm() {
  std::int32_t* nodes = Nodes();
  std::fill(nodes + NewNodePosition, nodes + NewNodePosition + NodePositionCount, settings.initialNodeSex);
}

void FloweringModel::SimulatePalm(int /*palm*/) {
  for (std::int64_t cycle = 1; cycle <= settings.cycleCount; ++cycle) {
    ComputeStressSums(static_cast<int>(cycle));
    DetermineNodeSex(static_cast<int>(cycle));
    AdvanceNodes(static_cast<int>(cycle));
  }
  CountPalmRecord();
}

void FloweringModel::CountPalmRecord() {
  for (std::int64_t cycle = 1; cycle <= settings.cycleCount; ++cycle) {
    const std::int32_t code = recordedStates[cycle];
    if (code >= 0 && code <= HighestCode) ++stateCounts[cycle][code];  // any other code counts nowhere
  }
}

void FloweringModel::AggregateResults() {
  CheckedVector<CycleResult> results;
  results.Assign(RowCount(settings.cycleCount), CycleResult{});
  const double share = 100.0 / settings.palmCount;
  for (std::int64_t cycle = 1; cycle <= settings.cycleCount; ++cycle) {
    const std::array<std::uint32_t, 4>& count = stateCounts[cycle];
    CycleResult& row = results[cycle];
    row.female = share * count[CodeOf(NodeSex::Female)];
    row.herm = share * count[CodeOf(NodeSex::Mixed)];
    row.male = share * count[CodeOf(NodeSex::Male)];
    row.aborted = share * count[CodeOf(NodeSex::Aborted)];
    row.total = ((row.aborted + row.male) + row.herm) + row.female;
  }
  cycleResults = std::move(results);
}

// The sum of the window's node states, scaled to ten times their mean. A window
// whose first position lies after its last holds no node and sums to 0, whatever
// the gap. A window reaching outside the storage is refused before any read.
double FloweringModel::WindowSum(std::int64_t first, std::int64_t last, const char* firstName,
                                 const char* lastName) const {
  if (first > last) return 0.0;
  // The window is read from its first position on, so that end is named first when both lie outside.
  const std::int64_t slots = static_cast<std::int64_t>(nodeStates.size());
  if (first < 0 || first >= slots) throw NodeRangeError(firstName, first);
  if (last >= slots) throw NodeRangeError(lastName, last);
  const std::int32_t* nodes = nodeStates.data();
  std::int64_t sum = 0;  // exact: at most 200 codes of 32 bits
  for (std::int64_t k = first; k <= last; ++k) sum += nodes[k];
  return WindowStress(sum, WindowFactor(first, last));
}

void FloweringModel::ComputeStressSums(int cycle) {
  const ModelSettings& s = settings;
  const int range = RandomRange(s.randomPercent);
  const bool draws = Draws(range);

  // The abortion window is read and drawn for before the sex window.
  const double abortWindow =
      WindowSum(s.abortStressFirstNode, s.abortStressLastNode, "abortStressFirstNode", "abortStressLastNode");
  abortStressSum = AbortStress(abortWindow, draws, draws ? DrawTerm(DrawRemainder(random.Next(), range)) : 0);

  const double sexWindow =
      WindowSum(s.sexStressFirstNode, s.sexStressLastNode, "sexStressFirstNode", "sexStressLastNode");
  const int sexDraw = draws ? DrawTerm(DrawRemainder(random.Next(), range)) : 0;

  const TreatmentTerms terms = TermsOfCycle(s, cycle, trendByCycle[cycle]);
  leafPruneStress = terms.leafPrune;
  appliedPruneStress = terms.appliedPrune;
  trendStress = terms.trend;
  sexStressSum = SexStress(sexWindow, draws, sexDraw, appliedPruneStress, trendStress);
}

void FloweringModel::AbortAt(std::int64_t node) {
  if (node < 0 || node >= static_cast<std::int64_t>(nodeStates.size())) throw NodeRangeError("abortionNode", node);
  nodeStates[node] = CodeOf(NodeSex::Aborted);
}

void FloweringModel::DetermineNodeSex(int cycle) {
  const ModelSettings& s = settings;
  const NodeSex sex = SexOf(sexStressSum, s);

  // Stress-induced abortion at the abortion frond; while leaf pruning stress
  // lasts, the sex stress sum can abort there too.
  if (AbortsByStress(abortStressSum, s.abortThreshold)) AbortAt(s.abortionNode);
  if (AbortsByPruning(sexStressSum, s.abortThreshold, appliedPruneStress)) AbortAt(s.abortionNode);

  // Every node in the sex determining stage takes this cycle's sex; positions
  // outside 1 to 70 are never touched, whatever the stage bounds.
  const PositionRange stage = SimulatedPart(s.sexStageStartNode, s.sexStageEndNode);
  if (!stage.Empty()) std::fill(Nodes() + stage.first, Nodes() + stage.last + 1, CodeOf(sex));

  if (FlowerPruned(cycle, s.flowerPruneStart, s.flowerPruneEnd)) {
    nodeStates[FlowerPrunePosition] = CodeOf(NodeSex::Aborted);
  }
}

void FloweringModel::AdvanceNodes(int cycle) {
  std::int32_t* nodes = Nodes();
  // Positions 1..68 move to 2..69; the state at 69 drops out and 70 stays put.
  std::memmove(nodes + NewNodePosition + 1, nodes + NewNodePosition, (MovingPositions - 1) * sizeof(std::int32_t));
  nodes[NewNodePosition] = CodeOf(NewNodeSex);
  nodes[FemalePosition] = MaturedCode(nodes[FemalePosition]);
  recordedStates[cycle] = nodes[RecordedPosition];
}

}  // namespace varnolt
