#pragma once
// The rule of the flowering model in one place: the node positions it names, the
// sex codes, the tolerant comparisons, and pure functions for each decision of a
// cycle (the random range and draw term, the stress sums, the treatment terms, the
// sex, the two abortions, the flower pruning, the node turning Female). The
// reference FloweringModel steps through them palm by palm; the fast engine plans
// its lookup tables with the same functions and its SIMD kernel reads the same
// constants, so a change of the rule is made here and nowhere else.
// Plain C++ with no state: every function gives the same result for the same
// arguments, on every platform.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace varnolt {

// The state of a node, and at the same time the stress it generates. The codes
// are ordered: each step down from Female is one more of the sex decisions
// holding (the fast engine counts them), and Mixed + 1 is Female.
enum class NodeSex : std::int32_t { Aborted = 0, Male = 1, Mixed = 2, Female = 3 };
constexpr std::int32_t CodeOf(NodeSex sex) { return static_cast<std::int32_t>(sex); }
inline constexpr std::int32_t HighestCode = CodeOf(NodeSex::Female);  // codes 0 to 3 are states

inline constexpr int NodePositionCount = 70;   // positions 1 to 70 are simulated
inline constexpr int NodeSlotCount = 200;      // node storage: positions 0 to 199
inline constexpr int FrondOffset = 30;         // node position = frond + 30
inline constexpr int NewNodePosition = 1;      // where each cycle's new node starts
inline constexpr int MovingPositions = NodePositionCount - 1;  // 1 to 69 move each cycle; 70 stays put
inline constexpr int RecordedPosition = 50;    // frond 20, recorded each cycle
inline constexpr int FemalePosition = 28;      // frond -2: a Mixed node turns Female here
inline constexpr int FlowerPrunePosition = 48; // frond 18, removed by flower pruning
inline constexpr NodeSex NewNodeSex = NodeSex::Mixed;  // the sex of a new node
inline constexpr double CompareTolerance = 1e-8;
inline constexpr double TrendRadiansPerCycle = 0.26553651;
inline constexpr double WindowScale = 10.0;        // a window's stress is ten times its mean code
inline constexpr double RandomRangePerPercent = 0.4;
inline constexpr double PruneStressDecay = 0.5;    // per cycle after the leaf-pruning cycle

// Stress sums against whole-number thresholds, with a tolerance: a sum within
// 1e-8 of the threshold counts as equal to it. Every comparison with NaN is false.
inline bool IsNearly(double sum, double threshold) {
  return sum > threshold - CompareTolerance && sum < threshold + CompareTolerance;
}
inline bool IsAtMost(double sum, double threshold) { return sum < threshold || IsNearly(sum, threshold); }
inline bool IsAtLeast(double sum, double threshold) { return sum > threshold || IsNearly(sum, threshold); }
inline bool IsAbove(double sum, double threshold) { return sum > threshold && !IsNearly(sum, threshold); }
inline bool IsBelow(double sum, double threshold) { return sum < threshold && !IsNearly(sum, threshold); }

// The model's own copy of the run settings, with frond numbers turned into node
// positions and a switched-off treatment held as zeros. Node positions are 64-bit
// so that frond + 30 never overflows, whatever a frond setting holds.
struct ModelSettings {
  std::string runNotes;
  std::int32_t cycleCount = 0;
  std::int32_t palmCount = 0;
  std::int64_t sexStressFirstNode = 0;
  std::int64_t sexStressLastNode = 0;
  std::int64_t abortStressFirstNode = 0;
  std::int64_t abortStressLastNode = 0;
  std::int64_t sexStageStartNode = 0;
  std::int64_t sexStageEndNode = 0;
  std::int64_t abortionNode = 0;
  std::int32_t initialNodeSex = 0;  // a NodeSex code, passed on unchecked
  std::int32_t femaleThreshold = 0;
  std::int32_t maleThreshold = 0;
  std::int32_t abortThreshold = 0;
  std::int32_t randomPercent = 0;
  std::int32_t leafPruneCycle = 0;   // 0: no leaf pruning
  std::int32_t pruneStress = 0;
  std::int32_t trendAmplitude = 0;   // 0: no annual trend cycles
  std::int32_t irrigationStart = 0;  // 0: no irrigation
  std::int32_t irrigationEnd = 0;
  std::int32_t flowerPruneStart = 0; // 0: no flower pruning
  std::int32_t flowerPruneEnd = 0;

  bool operator==(const ModelSettings&) const = default;
};

// --- The random element ---

// The draws add 1 to range to each stress sum; a range of 0 or less means no
// draws at all. The percentage is scaled and truncated towards zero.
inline int RandomRange(std::int32_t randomPercent) { return static_cast<int>(randomPercent * RandomRangePerPercent); }
inline bool Draws(int range) { return range > 0; }
// A draw (0 to 32767) counts by its remainder modulo the range; the term it adds
// to a stress sum is that remainder plus 1.
constexpr int DrawRemainder(int draw, int range) { return draw % range; }
constexpr int DrawTerm(int remainder) { return remainder + 1; }

// --- The stress sums ---

// The factor that turns a window's sum of codes into its stress: ten divided by
// the positions it covers. Only for a window whose first position is not after
// its last; an empty window's stress is 0.
inline double WindowFactor(std::int64_t first, std::int64_t last) {
  return WindowScale / (static_cast<double>(last - first) + 1.0);
}
inline double WindowStress(std::int64_t codeSum, double factor) { return static_cast<double>(codeSum) * factor; }

// The abortion stress: the window's stress, plus the first draw's term.
inline double AbortStress(double window, bool draws, int drawTerm) {
  double sum = window;
  if (draws) sum += drawTerm;
  return sum;
}

// The sex stress: twice the window's stress plus the second draw's term (the
// window's stress alone without draws), then the leaf-pruning and trend terms.
inline double SexStress(double window, bool draws, int drawTerm, double appliedPrune, double trend) {
  double sum = window;
  if (draws) sum = 2.0 * sum + drawTerm;
  sum += appliedPrune;
  sum += trend;
  return sum;
}

// --- The treatments, per cycle (the same for every palm) ---

// Leaf pruning: P in the pruning cycle, half a unit less in each cycle after, never below 0.
inline double LeafPruneStress(std::int64_t cycle, std::int32_t leafPruneCycle, std::int32_t pruneStress) {
  double stress;
  if (cycle < leafPruneCycle) {
    stress = 0.0;
  } else if (cycle == leafPruneCycle) {
    stress = pruneStress;
  } else {
    stress = pruneStress - PruneStressDecay * (static_cast<double>(cycle) - static_cast<double>(leafPruneCycle));
  }
  return stress < 0.0 ? 0.0 : stress;
}
// The part of it the sex stress takes: none before the pruning cycle.
inline double AppliedPruneStress(std::int64_t cycle, std::int32_t leafPruneCycle, double leafPruneStress) {
  return cycle < leafPruneCycle ? 0.0 : leafPruneStress;
}
// While an applied pruning stress lasts, the sex stress can abort a node too.
inline bool PruningCanAbort(double appliedPrune) { return appliedPrune > 0.0; }

// The annual trend term of a cycle, before irrigation.
inline double TrendTerm(std::int64_t cycle, std::int32_t amplitude) {
  return std::sin(static_cast<double>(cycle) * TrendRadiansPerCycle) * amplitude;
}
// Irrigation takes the trend away between its start and end cycles, both excluded.
inline bool Irrigated(std::int64_t cycle, std::int32_t irrigationStart, std::int32_t irrigationEnd) {
  return irrigationStart != 0 && irrigationStart < cycle && cycle < irrigationEnd;
}
inline double AppliedTrend(std::int64_t cycle, const ModelSettings& s, double trendOfCycle) {
  return Irrigated(cycle, s.irrigationStart, s.irrigationEnd) ? 0.0 : trendOfCycle;
}

// Flower pruning clears FlowerPrunePosition after the stage in its cycles, both included.
inline bool FlowerPruned(std::int64_t cycle, std::int32_t flowerPruneStart, std::int32_t flowerPruneEnd) {
  return flowerPruneStart > 0 && flowerPruneStart <= cycle && cycle <= flowerPruneEnd;
}

// The two terms a cycle adds to every palm's sex stress.
struct TreatmentTerms {
  double leafPrune = 0.0;     // the leaf-pruning stress
  double appliedPrune = 0.0;  // the part the sex stress takes
  double trend = 0.0;         // the trend term after irrigation
};
inline TreatmentTerms TermsOfCycle(const ModelSettings& s, std::int64_t cycle, double trendOfCycle) {
  TreatmentTerms terms;
  terms.leafPrune = LeafPruneStress(cycle, s.leafPruneCycle, s.pruneStress);
  terms.appliedPrune = AppliedPruneStress(cycle, s.leafPruneCycle, terms.leafPrune);
  terms.trend = AppliedTrend(cycle, s, trendOfCycle);
  return terms;
}
// The same with the trend term computed here.
inline TreatmentTerms TermsOfCycle(const ModelSettings& s, std::int64_t cycle) {
  return TermsOfCycle(s, cycle, s.trendAmplitude != 0 ? TrendTerm(cycle, s.trendAmplitude) : 0.0);
}

// --- The decisions of a cycle ---

// The sex the nodes in the sex determining stage take from the sex stress.
inline NodeSex SexOf(double sexStress, double female, double male, double abort) {
  if (IsAtMost(sexStress, female)) return NodeSex::Female;
  if (IsAbove(sexStress, female) && IsBelow(sexStress, male)) return NodeSex::Mixed;
  if (IsAtLeast(sexStress, male) && IsBelow(sexStress, abort)) return NodeSex::Male;
  return NodeSex::Aborted;
}
inline NodeSex SexOf(double sexStress, const ModelSettings& s) {
  return SexOf(sexStress, s.femaleThreshold, s.maleThreshold, s.abortThreshold);
}

// Stress-induced abortion of the node at the abortion frond.
inline bool AbortsByStress(double abortStress, double abort) { return IsAbove(abortStress, abort); }
// The abortion by the sex stress while leaf pruning stress lasts.
inline bool AbortsByPruning(double sexStress, double abort, double appliedPrune) {
  return IsAbove(sexStress, abort) && PruningCanAbort(appliedPrune);
}

// A range of node positions, clipped to the simulated positions 1 to 70; first
// after last when none of them lies inside.
struct PositionRange {
  std::int64_t first = 1, last = 0;
  bool Empty() const { return first > last; }
};
inline PositionRange SimulatedPart(std::int64_t first, std::int64_t last) {
  return {std::max<std::int64_t>(first, 1), std::min<std::int64_t>(last, NodePositionCount)};
}

// The code a node has after moving onto FemalePosition: a Mixed node turns Female.
constexpr std::int32_t MaturedCode(std::int32_t code) {
  return code == CodeOf(NodeSex::Mixed) ? CodeOf(NodeSex::Female) : code;
}

static_assert(CodeOf(NodeSex::Mixed) + 1 == CodeOf(NodeSex::Female), "turning Female adds one");
static_assert(NodePositionCount < NodeSlotCount && RecordedPosition <= NodePositionCount &&
                  FemalePosition <= MovingPositions && FlowerPrunePosition <= MovingPositions,
              "the named positions lie among the simulated ones");

}  // namespace varnolt
