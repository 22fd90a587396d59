// The planning half of the fast engine: from the settings and the rule's own
// functions to the kernel's lookup tables. The running half is FastEngine.cpp.

#include "model/LanePlan.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <map>
#include <new>
#include <utility>

#include "model/RuntimeRandom.h"

namespace varnolt {

namespace varnolt_lanes {
namespace {

constexpr int MaxDrawCap = 126;  // e and the table entries are compared as signed bytes
constexpr std::uint64_t MaxTableBytes = 512ull << 20;
constexpr double SaneThreshold = 1 << 20;  // far beyond what validation admits; 1e-8 still counts there

// A window as the lanes see it: the positions it covers within 1 to 70 (the
// other slots always hold 0), the rule's factor, and its largest code sum.
struct Window {
  int first = 1, last = 0;
  double factor = 0.0;  // an empty window's stress is 0.0, whatever its bounds
  int largestSum = 0;
};

Window ClipWindow(std::int64_t first, std::int64_t last) {
  Window window;
  if (first > last) return window;
  window.factor = WindowFactor(first, last);
  const PositionRange part = SimulatedPart(first, last);
  if (!part.Empty()) {
    window.first = static_cast<int>(part.first);
    window.last = static_cast<int>(part.last);
    window.largestSum = HighestCode * (window.last - window.first + 1);
  }
  return window;
}

int Chunks(int largestSum) { return largestSum / TableBytes + 1; }

// The rule for a palm whose windows sum to v and whose draw this cycle leaves the
// remainder e (no draw when the range is 0).
struct Decider {
  double abortFactor = 0.0, sexFactor = 0.0;
  bool draws = false;
  double female = 0.0, male = 0.0, abort = 0.0;

  double AbortStressOf(int v, int e) const { return AbortStress(WindowStress(v, abortFactor), draws, DrawTerm(e)); }
  double SexStressOf(int v, int e, const TreatmentTerms& terms) const {
    return SexStress(WindowStress(v, sexFactor), draws, DrawTerm(e), terms.appliedPrune, terms.trend);
  }
  int SexCode(int v, int e, const TreatmentTerms& terms) const {
    return CodeOf(SexOf(SexStressOf(v, e, terms), female, male, abort));
  }
  bool AbortsByStressAt(int v, int e) const { return AbortsByStress(AbortStressOf(v, e), abort); }
  bool AbortsByPruningAt(int v, int e, const TreatmentTerms& terms) const {
    return AbortsByPruning(SexStressOf(v, e, terms), abort, terms.appliedPrune);
  }
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
// The search below tries every draw for every shift (half a million steps, some
// 0.2 ms): far more than a short run takes. Its answer depends on the range
// alone, so each range's is kept once found, for every run after: sweeps and
// calibrations make thousands of plans over a handful of ranges.
struct Division {
  bool found = false;
  std::uint16_t multiplier = 0;
  int shift = 0;
};

Division SearchDivision(int range) {
  for (int shift = 0; shift < 16; ++shift) {
    const std::uint64_t multiplier = ((std::uint64_t{1} << (16 + shift)) + range - 1) / range;
    if (multiplier > 0xFFFF) continue;
    bool exact = true;
    for (std::uint32_t draw = 0; draw <= RuntimeRandom::Max && exact; ++draw) {
      exact = ((draw * multiplier) >> (16 + shift)) == draw / static_cast<std::uint32_t>(range);
    }
    if (exact) return {true, static_cast<std::uint16_t>(multiplier), shift};
  }
  return {};
}

bool FindDivision(int range, LanePlan& plan) {
  // Per range: 0 not yet known, else bit 31 set, bit 30 found, the shift in
  // bits 16 to 19 and the multiplier in the low 16 bits.
  static std::atomic<std::uint32_t> known[RuntimeRandom::Max + 2] = {};
  std::uint32_t entry = range >= 0 && range <= RuntimeRandom::Max + 1
                            ? known[range].load(std::memory_order_relaxed)
                            : 0;
  if (entry == 0) {
    const Division division = SearchDivision(range);
    entry = (1u << 31) | (division.found ? 1u << 30 : 0u) | (static_cast<std::uint32_t>(division.shift) << 16) |
            division.multiplier;
    if (range >= 0 && range <= RuntimeRandom::Max + 1) known[range].store(entry, std::memory_order_relaxed);
  }
  if ((entry & (1u << 30)) == 0) return false;
  plan.modMultiplier = static_cast<std::uint16_t>(entry & 0xFFFF);
  plan.modShift = static_cast<int>((entry >> 16) & 0xF);
  return true;
}

bool SaneSettings(const ModelSettings& s) {
  return s.initialNodeSex >= 0 && s.initialNodeSex <= HighestCode &&
         std::abs(static_cast<double>(s.femaleThreshold)) < SaneThreshold &&
         std::abs(static_cast<double>(s.maleThreshold)) < SaneThreshold &&
         std::abs(static_cast<double>(s.abortThreshold)) < SaneThreshold;
}

std::uint64_t BitsOf(double value) { return std::bit_cast<std::uint64_t>(value); }

}  // namespace

std::optional<LanePlan> MakeLanePlan(const ModelSettings& s) {
  if (!SaneSettings(s)) return std::nullopt;
  LanePlan plan;
  plan.cycleCount = std::max<std::int64_t>(s.cycleCount, 0);
  const Window sexWindow = ClipWindow(s.sexStressFirstNode, s.sexStressLastNode);
  const Window abortWindow = ClipWindow(s.abortStressFirstNode, s.abortStressLastNode);
  plan.sexFirst = sexWindow.first;
  plan.sexLast = sexWindow.last;
  plan.abortFirst = abortWindow.first;
  plan.abortLast = abortWindow.last;
  plan.sexChunks = Chunks(sexWindow.largestSum);
  plan.abortChunks = Chunks(abortWindow.largestSum);

  const PositionRange stage = SimulatedPart(s.sexStageStartNode, s.sexStageEndNode);
  if (!stage.Empty()) {
    plan.stageFirst = static_cast<int>(stage.first);
    plan.stageLast = static_cast<int>(stage.last);
    // Inside the stage, after the fill, every node holds this cycle's code; only
    // the one leaving it must be written, unless something reads in between.
    const int staleFirst = plan.stageFirst + 1;
    const int staleLast = std::min(plan.stageLast, MovingPositions);
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
  decider.abortFactor = abortWindow.factor;
  decider.sexFactor = sexWindow.factor;
  const int range = RandomRange(s.randomPercent);
  decider.draws = Draws(range);
  decider.female = s.femaleThreshold;
  decider.male = s.maleThreshold;
  decider.abort = s.abortThreshold;
  plan.draws = decider.draws;

  // The distinct treatment terms of the cycles; without trend cycles there are few.
  std::vector<TreatmentTerms> sets;
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::uint32_t> seen;
  std::vector<std::uint32_t> setOfCycle(static_cast<std::size_t>(plan.cycleCount) + 1, 0);
  plan.cycles.assign(static_cast<std::size_t>(plan.cycleCount) + 1, {});
  for (std::int64_t cycle = 1; cycle <= plan.cycleCount; ++cycle) {
    const TreatmentTerms terms = TermsOfCycle(s, cycle);
    const auto key = std::make_pair(BitsOf(terms.appliedPrune), BitsOf(terms.trend));
    std::uint32_t set;
    if (!sets.empty() && BitsOf(sets.back().appliedPrune) == key.first && BitsOf(sets.back().trend) == key.second) {
      set = static_cast<std::uint32_t>(sets.size() - 1);
    } else if (s.trendAmplitude == 0 && seen.count(key) != 0) {
      set = seen[key];
    } else {
      set = static_cast<std::uint32_t>(sets.size());
      sets.push_back(terms);
      if (s.trendAmplitude == 0) seen[key] = set;
    }
    setOfCycle[static_cast<std::size_t>(cycle)] = set;
    CyclePlan& cyclePlan = plan.cycles[static_cast<std::size_t>(cycle)];
    cyclePlan.flowerPrune = FlowerPruned(cycle, s.flowerPruneStart, s.flowerPruneEnd);
    cyclePlan.pruneAbort = PruningCanAbort(terms.appliedPrune);
  }

  // e is the draw's remainder; remainders above a cap where every decision
  // already holds are taken as the cap.
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
        if (!decider.AbortsByStressAt(0, e)) return false;
        for (const TreatmentTerms& terms : sets) {
          if (decider.SexCode(0, e, terms) != CodeOf(NodeSex::Aborted)) return false;
          if (PruningCanAbort(terms.appliedPrune) && !decider.AbortsByPruningAt(0, e, terms)) return false;
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

  const std::size_t setBytes = static_cast<std::size_t>(SexDecisions) * plan.sexChunks * TableBytes;
  if (static_cast<std::uint64_t>(sets.size()) * setBytes > MaxTableBytes) return std::nullopt;
  plan.abortTable = hwy::AllocateAligned<std::int8_t>(static_cast<std::size_t>(plan.abortChunks) * TableBytes);
  plan.sexTables = hwy::AllocateAligned<std::int8_t>(std::max<std::size_t>(sets.size(), 1) * setBytes);
  if (!plan.abortTable || !plan.sexTables) throw std::bad_alloc();

  FillTable(plan.abortTable.get(), plan.abortChunks, abortWindow.largestSum, drawCap,
            [&](int v, int e) { return decider.AbortsByStressAt(v, e); });
  const std::size_t decisionBytes = static_cast<std::size_t>(plan.sexChunks) * TableBytes;
  // The kernel counts a code down from Female, one for each decision that holds.
  static_assert(CodeOf(NodeSex::Female) == 3 && CodeOf(NodeSex::Mixed) == 2 && CodeOf(NodeSex::Male) == 1 &&
                CodeOf(NodeSex::Aborted) == 0);
  for (std::size_t set = 0; set < sets.size(); ++set) {
    const TreatmentTerms& terms = sets[set];
    std::int8_t* tables = plan.sexTables.get() + set * setBytes;
    for (int decision = 0; decision < PruneAbortDecision; ++decision) {
      const int below = CodeOf(NodeSex::Female) - decision;  // the decision: the code is below this
      FillTable(tables + decision * decisionBytes, plan.sexChunks, sexWindow.largestSum, drawCap,
                [&](int v, int e) { return decider.SexCode(v, e, terms) < below; });
    }
    FillTable(tables + PruneAbortDecision * decisionBytes, plan.sexChunks, sexWindow.largestSum, drawCap,
              [&](int v, int e) { return decider.AbortsByPruningAt(v, e, terms); });
  }
  for (std::int64_t cycle = 1; cycle <= plan.cycleCount; ++cycle) {
    plan.cycles[static_cast<std::size_t>(cycle)].sexTable =
        static_cast<std::uint32_t>(setOfCycle[static_cast<std::size_t>(cycle)] * setBytes);
  }
  return plan;
}

std::uint64_t LanePlanBytes(const ModelSettings& s, std::uint64_t rows) {
  std::uint64_t bytes = rows * (sizeof(CyclePlan) + 32);
  if (s.trendAmplitude != 0) {
    const Window window = ClipWindow(s.sexStressFirstNode, s.sexStressLastNode);
    bytes += std::min<std::uint64_t>(rows * SexDecisions * Chunks(window.largestSum) * TableBytes, MaxTableBytes);
  }
  return bytes;
}

}  // namespace varnolt_lanes

}  // namespace varnolt
