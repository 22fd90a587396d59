#pragma once
// Inside the fast engine: the plan that its SIMD kernel follows, made once per
// run from the settings. Not for use outside model/.
//
// Each palm's node codes (0 to 3) sit in one byte lane. The stress sums of a
// window are whole numbers v (at most 3 x 70 = 210), and a draw gives e = draw
// mod range, so a cycle's outcome is decided by (v, e). The reference compares
// doubles built from v and e with a tolerance; for a fixed cycle each outcome
// is monotone in v and in e, so it is exactly "e >= table[v]" with a table made
// by evaluating the rule's own functions (FloweringRule.h). The kernel looks the
// tables up per lane and never touches a double.

#include <cstdint>
#include <optional>
#include <vector>

#include <hwy/aligned_allocator.h>

#include "model/FloweringRule.h"

namespace varnolt {

namespace varnolt_lanes {

inline constexpr int VectorsPerBlock = 2;  // vectors of palms stepped side by side
inline constexpr int TableBytes = 16;      // one lookup table chunk: v = 16k to 16k + 15

// One sex table set per distinct (leaf-pruning term, trend term) pair: the four
// decisions "not Female", "Male or Aborted", "Aborted", and abortion by the sex
// sum under leaf pruning, each chunks x 16 bytes of (least e that decides) - 1.
// The sex code is Female less one for each of the first three that holds.
inline constexpr int SexDecisions = 4;
inline constexpr int PruneAbortDecision = 3;

struct CyclePlan {
  std::uint32_t sexTable = 0;   // byte offset into LanePlan::sexTables
  std::uint8_t flowerPrune = 0; // FlowerPrunePosition is cleared after the stage
  std::uint8_t pruneAbort = 0;  // the leaf-pruning abortion can happen this cycle
};

struct LanePlan {
  std::int64_t cycleCount = 0;
  // Windows and stage clipped to positions 1 to 70 (first > last: none there).
  int sexFirst = 1, sexLast = 0;
  int abortFirst = 1, abortLast = 0;
  int stageFirst = 1, stageLast = 0;
  // Only the node leaving the stage needs its code when nothing reads inside it.
  bool lazyStage = false;
  int abortionNode = 0;         // 1 to 70; 0 when an abortion changes nothing
  bool abortionOutside = false; // an abortion anywhere fails the run
  std::uint8_t initialCode = 0;
  bool draws = false;           // two draws per palm and cycle
  bool modulo = false;          // e = draw mod range needs a division
  std::uint16_t range = 0;
  std::uint16_t modMultiplier = 0; // draw / range = (draw * m) >> (16 + modShift)
  int modShift = 0;
  std::uint16_t drawCap = 0;    // e above this decides nothing new
  bool capDraws = false;        // some draws exceed the cap
  int sexChunks = 1;
  int abortChunks = 1;
  hwy::AlignedFreeUniquePtr<std::int8_t[]> abortTable;  // abortChunks x 16
  hwy::AlignedFreeUniquePtr<std::int8_t[]> sexTables;   // per set: SexDecisions x sexChunks x 16
  std::vector<CyclePlan> cycles;                         // by cycle, 1 to cycleCount
};

// The plan of the lanes, or nothing when these settings take the palms path: the
// first nodes hold a code other than 0 to 3, a threshold lies far outside what
// validation admits, no draw cap fits the kernel's bytes, or the per-cycle tables
// would need more memory than MaxTableBytes. Throws std::bad_alloc.
std::optional<LanePlan> MakeLanePlan(const ModelSettings& settings);

// What the plan of these settings holds per cycle at most, in bytes: the cycle's
// plan and the planner's working values, and the sex tables when the trend makes
// every cycle's terms differ (up to MaxTableBytes in all).
std::uint64_t LanePlanBytes(const ModelSettings& settings, std::uint64_t rows);

}  // namespace varnolt_lanes

}  // namespace varnolt
