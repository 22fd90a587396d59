// The SIMD kernel of the fast engine, compiled once per instruction set that
// Highway supports here and chosen when the program first runs it. The rule's
// decisions come in the plan's tables; the positions, codes and the generator's
// step are the rule's own constants (FloweringRule.h, RuntimeRandom.h), here in
// their lane forms.

#include "model/FastEngineLanes.h"

#include <cstring>

#include "model/FloweringRule.h"
#include "model/RuntimeRandom.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "model/FastEngineLanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

namespace varnolt {

HWY_BEFORE_NAMESPACE();
namespace varnolt_lanes {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Positions slide through a buffer instead of being moved: position p lives at
// index p - 1 + shift, and each cycle shift goes down by one. Every Slack cycles
// the 69 moving positions are copied back up in one go.
constexpr std::size_t Slack = 64;
constexpr std::size_t BufferPositions = MovingPositions + Slack;

const char* TargetNameImpl() { return hwy::TargetName(HWY_TARGET); }

#if HWY_TARGET == HWY_SCALAR

// Without SIMD the same plan runs one palm after another in plain code: the
// lanes become a loop, the table lookups plain indexing.
constexpr std::size_t ScalarLanes = 16;

std::size_t LaneBytesImpl() { return ScalarLanes; }

std::size_t ScratchBytesImpl() {
  const std::size_t stride = VectorsPerBlock * ScalarLanes;
  return (BufferPositions + 1) * stride + 4 * stride;
}

bool SimulateBlockImpl(const LanePlan& plan, LaneBlock& block) {
  const std::size_t stride = VectorsPerBlock * ScalarLanes;
  std::uint8_t* buffer = block.scratch;
  std::uint8_t* fixed70 = buffer + BufferPositions * stride;
  auto* states = reinterpret_cast<std::uint32_t*>(fixed70 + stride);
  std::memset(buffer + Slack * stride, plan.initialCode, MovingPositions * stride);
  std::memset(fixed70, plan.initialCode, stride);
  std::memcpy(states, block.startStates, stride * sizeof(std::uint32_t));

  std::size_t shift = Slack;
  auto at = [&](int position) -> std::uint8_t* {
    return position == NodePositionCount ? fixed70
                                         : buffer + (static_cast<std::size_t>(position) - 1 + shift) * stride;
  };
  auto sum = [&](int first, int last, std::size_t lane) {
    int total = 0;
    for (int position = first; position <= last; ++position) total += at(position)[lane];
    return total;
  };
  auto draw = [&](std::uint32_t& state) {
    state = RuntimeRandom::Step(state);
    const int value = RuntimeRandom::DrawOf(state);
    const unsigned e = static_cast<unsigned>(plan.modulo ? DrawRemainder(value, plan.range) : value);
    return static_cast<std::int8_t>(e < plan.drawCap ? e : plan.drawCap);
  };
  auto lookup = [](const std::int8_t* table, int v) { return table[v]; };
  const std::size_t decisionStride = static_cast<std::size_t>(plan.sexChunks) * TableBytes;

  for (std::int64_t cycle = 1; cycle <= plan.cycleCount; ++cycle) {
    if ((cycle & 2047) == 0 && block.Stopped()) return false;
    const CyclePlan& info = plan.cycles[static_cast<std::size_t>(cycle)];
    const std::int8_t* sexTable = plan.sexTables.get() + info.sexTable;
    for (std::size_t lane = 0; lane < block.palms; ++lane) {
      const int sexSum = sum(plan.sexFirst, plan.sexLast, lane);
      const int abortSum = sum(plan.abortFirst, plan.abortLast, lane);
      std::int8_t abortDraw = 0, sexDraw = 0;
      if (plan.draws) {
        abortDraw = draw(states[lane]);
        sexDraw = draw(states[lane]);
      }
      int code = CodeOf(NodeSex::Female);
      for (int decision = 0; decision < PruneAbortDecision; ++decision) {
        if (sexDraw > lookup(sexTable + decision * decisionStride, sexSum)) --code;
      }
      bool abort = abortDraw > lookup(plan.abortTable.get(), abortSum);
      if (info.pruneAbort && sexDraw > lookup(sexTable + PruneAbortDecision * decisionStride, sexSum)) abort = true;
      if (abort && plan.abortionNode != 0) at(plan.abortionNode)[lane] = CodeOf(NodeSex::Aborted);
      if (abort && plan.abortionOutside) {
        block.abortedOutside = true;
        return false;
      }
      if (plan.stageFirst <= plan.stageLast) {
        const int from = plan.lazyStage ? plan.stageLast : plan.stageFirst;
        for (int position = from; position <= plan.stageLast; ++position) {
          at(position)[lane] = static_cast<std::uint8_t>(code);
        }
      }
      if (info.flowerPrune) at(FlowerPrunePosition)[lane] = CodeOf(NodeSex::Aborted);
    }
    if (shift == 0) {
      std::memmove(buffer + Slack * stride, buffer, MovingPositions * stride);
      shift = Slack;
    }
    --shift;
    std::uint32_t* counts = block.counts + cycle * 4;
    for (std::size_t lane = 0; lane < block.palms; ++lane) {
      at(NewNodePosition)[lane] = CodeOf(NewNodeSex);
      at(FemalePosition)[lane] = static_cast<std::uint8_t>(MaturedCode(at(FemalePosition)[lane]));
      ++counts[at(RecordedPosition)[lane]];
    }
  }
  return true;
}

#else

using D8 = hn::ScalableTag<std::uint8_t>;
using DI8 = hn::RebindToSigned<D8>;
using D16 = hn::Repartition<std::uint16_t, D8>;
using D32 = hn::Repartition<std::uint32_t, D8>;
using V8 = hn::Vec<D8>;
using V32 = hn::Vec<D32>;

std::size_t LaneBytesImpl() { return hn::Lanes(D8()); }

std::size_t ScratchBytesImpl() {
  const std::size_t stride = VectorsPerBlock * hn::Lanes(D8());
  // The moving positions, position 70, the generator states (four bytes a lane),
  // and the valid-lane masks of a partial block.
  return (BufferPositions + 1) * stride + 4 * stride + stride;
}

// e = min(DrawRemainder(draw, range), cap) for draws (0 to 32767) in 16-bit
// lanes, the division done as the plan's multiply and shift.
HWY_INLINE hn::Vec<D16> Reduce(const LanePlan& plan, hn::Vec<D16> draw) {
  const D16 d16;
  if (plan.modulo) {
    auto quotient = hn::MulHigh(draw, hn::Set(d16, plan.modMultiplier));
    if (plan.modShift != 0) quotient = hn::ShiftRightSame(quotient, plan.modShift);
    draw = hn::Sub(draw, hn::Mul(quotient, hn::Set(d16, plan.range)));
  }
  return plan.capDraws ? hn::Min(draw, hn::Set(d16, plan.drawCap)) : draw;
}

// Each palm's generator state sits in a 32-bit lane of one of four vectors; its
// byte lane is 4i + q for lane i of state vector StateOfByte[q]. This order lets
// two vectors' draws share the 16-bit lanes of one reduction.
constexpr int StateOfByte[4] = {0, 2, 1, 3};

// RuntimeRandom::Step in 32-bit lanes.
HWY_INLINE V32 Step(V32 state) {
  const D32 d32;
  return hn::Add(hn::Mul(state, hn::Set(d32, RuntimeRandom::Multiplier)), hn::Set(d32, RuntimeRandom::Increment));
}

// RuntimeRandom::DrawOf takes the upper half of the state, less its top bit;
// Draws below picks those halves out as 16-bit lanes.
static_assert(RuntimeRandom::DrawShift == 16 && RuntimeRandom::Max == 0x7FFF, "a draw is the upper half, 15 bits");

// The e of the draws the four state vectors have just made, as bytes.
HWY_INLINE V8 Draws(const LanePlan& plan, V32 s0, V32 s1, V32 s2, V32 s3) {
  const D16 d16;
  // The high halves of two states side by side, less the top bit: the draws.
  constexpr int shift = RuntimeRandom::DrawShift;
  const auto low15 = hn::Set(d16, static_cast<std::uint16_t>(RuntimeRandom::Max));
  const auto pair01 = hn::And(hn::OddEven(hn::BitCast(d16, s1), hn::BitCast(d16, hn::ShiftRight<shift>(s0))), low15);
  const auto pair23 = hn::And(hn::OddEven(hn::BitCast(d16, s3), hn::BitCast(d16, hn::ShiftRight<shift>(s2))), low15);
  const auto e01 = Reduce(plan, pair01);
  const auto e23 = Reduce(plan, pair23);
  return hn::BitCast(D8(), hn::Or(e01, hn::ShiftLeft<8>(e23)));  // e fits a byte
}

// The abortion draw and the sex draw of one cycle for the palms of one vector.
HWY_INLINE void DrawPair(const LanePlan& plan, std::uint32_t* states, V8& abortDraw, V8& sexDraw) {
  const D32 d32;
  const std::size_t n32 = hn::Lanes(d32);
  V32 s0 = Step(hn::Load(d32, states));
  V32 s1 = Step(hn::Load(d32, states + n32));
  V32 s2 = Step(hn::Load(d32, states + 2 * n32));
  V32 s3 = Step(hn::Load(d32, states + 3 * n32));
  abortDraw = Draws(plan, s0, s1, s2, s3);
  s0 = Step(s0);
  s1 = Step(s1);
  s2 = Step(s2);
  s3 = Step(s3);
  sexDraw = Draws(plan, s0, s1, s2, s3);
  hn::Store(s0, d32, states);
  hn::Store(s1, d32, states + n32);
  hn::Store(s2, d32, states + 2 * n32);
  hn::Store(s3, d32, states + 3 * n32);
}

// The least deciding e minus one, looked up per lane from a table of chunks x 16.
// FixedChunks > 0 fixes the number of chunks when compiled, so that the loop
// unrolls and the chunk masks are shared between the lookups.
template <int FixedChunks>
HWY_INLINE V8 Lookup(const std::int8_t* table, int runtimeChunks, V8 index, V8 high) {
  const D8 d8;
  const int chunks = FixedChunks > 0 ? FixedChunks : runtimeChunks;
  V8 result = hn::TableLookupBytes(hn::LoadDup128(d8, reinterpret_cast<const std::uint8_t*>(table)), index);
  for (int chunk = 1; chunk < chunks; ++chunk) {
    const V8 part = hn::TableLookupBytes(
        hn::LoadDup128(d8, reinterpret_cast<const std::uint8_t*>(table + chunk * TableBytes)), index);
    result = hn::IfThenElse(hn::Eq(high, hn::Set(d8, static_cast<std::uint8_t>(chunk))), part, result);
  }
  return result;
}

// e >= least deciding e, as a mask.
HWY_INLINE hn::Mask<D8> Decides(V8 draw, V8 leastMinusOne) {
  const DI8 di8;
  return hn::RebindMask(D8(), hn::Gt(hn::BitCast(di8, draw), hn::BitCast(di8, leastMinusOne)));
}

HWY_INLINE V8 WindowSum(const std::uint8_t* first, std::size_t positions, std::size_t stride,
                        const std::uint8_t* fixed70) {
  const D8 d8;
  V8 sum = hn::Zero(d8);
  for (std::size_t i = 0; i < positions; ++i) sum = hn::Add(sum, hn::Load(d8, first + i * stride));
  if (fixed70 != nullptr) sum = hn::Add(sum, hn::Load(d8, fixed70));
  return sum;
}

template <int SexChunks, int AbortChunks>
bool SimulateLanes(const LanePlan& plan, LaneBlock& block) {
  const D8 d8;
  const std::size_t n8 = hn::Lanes(d8);
  const std::size_t n32 = n8 / 4;
  const std::size_t stride = VectorsPerBlock * n8;  // bytes of one position across the block
  std::uint8_t* buffer = block.scratch;
  std::uint8_t* fixed70 = buffer + BufferPositions * stride;
  auto* states = reinterpret_cast<std::uint32_t*>(fixed70 + stride);
  std::uint8_t* validLanes = fixed70 + 5 * stride;

  // Positions 1 to 69 start at index Slack onwards; the rest of the buffer is
  // written before it is read.
  std::memset(buffer + Slack * stride, plan.initialCode, MovingPositions * stride);
  std::memset(fixed70, plan.initialCode, stride);
  for (int j = 0; j < VectorsPerBlock; ++j) {
    for (int q = 0; q < 4; ++q) {
      for (std::size_t i = 0; i < n32; ++i) {
        states[(j * 4 + StateOfByte[q]) * n32 + i] = block.startStates[j * n8 + 4 * i + q];
      }
    }
  }
  const bool partial = block.palms < stride;
  if (partial) {
    for (std::size_t lane = 0; lane < stride; ++lane) validLanes[lane] = lane < block.palms ? 0xFF : 0;
  }

  std::size_t shift = Slack;
  auto at = [&](int position) -> std::uint8_t* {
    return position == NodePositionCount ? fixed70
                                         : buffer + (static_cast<std::size_t>(position) - 1 + shift) * stride;
  };
  auto countable = [&](hn::Mask<D8> mask, int j) {
    return partial ? hn::And(mask, hn::MaskFromVec(hn::Load(d8, validLanes + j * n8))) : mask;
  };
  auto windowRange = [](int first, int last, std::size_t& count, bool& with70) {
    const int movingLast = last < MovingPositions ? last : MovingPositions;
    count = first <= movingLast ? static_cast<std::size_t>(movingLast - first + 1) : 0;
    with70 = first <= NodePositionCount && last >= NodePositionCount;
  };
  std::size_t sexCount = 0, abortCount = 0;
  bool sex70 = false, abort70 = false;
  windowRange(plan.sexFirst, plan.sexLast, sexCount, sex70);
  windowRange(plan.abortFirst, plan.abortLast, abortCount, abort70);

  const V8 fifteen = hn::Set(d8, 15);
  const V8 zero = hn::Zero(d8);
  static_assert(CodeOf(NodeSex::Aborted) == 0, "zero is Aborted");
  const V8 mixed = hn::Set(d8, static_cast<std::uint8_t>(CodeOf(NodeSex::Mixed)));
  const V8 female = hn::Set(d8, static_cast<std::uint8_t>(CodeOf(NodeSex::Female)));
  const V8 male = hn::Set(d8, static_cast<std::uint8_t>(CodeOf(NodeSex::Male)));
  const V8 newNode = hn::Set(d8, static_cast<std::uint8_t>(CodeOf(NewNodeSex)));
  const std::int8_t* abortTable = plan.abortTable.get();
  // The plan's values in locals: stores through byte pointers could alias them.
  const int sexFirst = plan.sexFirst, abortFirst = plan.abortFirst;
  const int sexChunks = plan.sexChunks, abortChunks = plan.abortChunks;
  const std::size_t decisionStride = static_cast<std::size_t>(sexChunks) * TableBytes;
  const int abortionNode = plan.abortionNode;
  const bool abortionOutside = plan.abortionOutside, draws = plan.draws;
  const int stageLast = plan.stageFirst <= plan.stageLast ? plan.stageLast : 0;
  const int stageFrom = plan.stageFirst <= plan.stageLast ? (plan.lazyStage ? plan.stageLast : plan.stageFirst) : 1;

  for (std::int64_t cycle = 1; cycle <= plan.cycleCount; ++cycle) {
    if ((cycle & 2047) == 0 && block.Stopped()) return false;
    const CyclePlan& info = plan.cycles[static_cast<std::size_t>(cycle)];
    const std::int8_t* sexTable = plan.sexTables.get() + info.sexTable;

    for (int j = 0; j < VectorsPerBlock; ++j) {
      const std::size_t lanes = j * n8;
      const V8 sexSum = WindowSum(at(sexFirst) + lanes, sexCount, stride, sex70 ? fixed70 + lanes : nullptr);
      const V8 abortSum =
          WindowSum(at(abortFirst) + lanes, abortCount, stride, abort70 ? fixed70 + lanes : nullptr);
      V8 abortDraw = zero, sexDraw = zero;
      if (draws) DrawPair(plan, states + j * 4 * n32, abortDraw, sexDraw);

      // The sex code is Female less one for each of the three decisions that holds.
      const V8 sexIndex = hn::And(sexSum, fifteen);
      const V8 sexHigh = hn::ShiftRight<4>(sexSum);
      V8 code = female;  // a mask is all ones, so adding it takes one away
      for (int decision = 0; decision < PruneAbortDecision; ++decision) {
        const V8 least = Lookup<SexChunks>(sexTable + decision * decisionStride, sexChunks, sexIndex, sexHigh);
        code = hn::Add(code, hn::VecFromMask(d8, Decides(sexDraw, least)));
      }
      const V8 abortLeast =
          Lookup<AbortChunks>(abortTable, abortChunks, hn::And(abortSum, fifteen), hn::ShiftRight<4>(abortSum));
      auto abort = Decides(abortDraw, abortLeast);
      if (info.pruneAbort) {
        const V8 least =
            Lookup<SexChunks>(sexTable + PruneAbortDecision * decisionStride, sexChunks, sexIndex, sexHigh);
        abort = hn::Or(abort, Decides(sexDraw, least));
      }

      if (abortionNode != 0) {
        std::uint8_t* node = at(abortionNode) + lanes;
        hn::Store(hn::IfThenZeroElse(abort, hn::Load(d8, node)), d8, node);
      } else if (abortionOutside && !hn::AllFalse(d8, countable(abort, j))) {
        block.abortedOutside = true;
        return false;
      }

      for (int position = stageFrom; position <= stageLast; ++position) hn::Store(code, d8, at(position) + lanes);
      if (info.flowerPrune) hn::Store(zero, d8, at(FlowerPrunePosition) + lanes);
    }

    // Every node moves one position on; the node at 69 drops out.
    if (shift == 0) {
      std::memmove(buffer + Slack * stride, buffer, MovingPositions * stride);
      shift = Slack;
    }
    --shift;
    std::uint32_t* counts = block.counts + cycle * 4;
    for (int j = 0; j < VectorsPerBlock; ++j) {
      const std::size_t lanes = j * n8;
      hn::Store(newNode, d8, at(NewNodePosition) + lanes);
      // MaturedCode: a Mixed node turns Female; the all-ones mask subtracted adds one.
      std::uint8_t* turningNode = at(FemalePosition) + lanes;
      const V8 turning = hn::Load(d8, turningNode);
      hn::Store(hn::Sub(turning, hn::VecFromMask(d8, hn::Eq(turning, mixed))), d8, turningNode);

      const V8 recorded = hn::Load(d8, at(RecordedPosition) + lanes);
      const std::size_t valid =
          block.palms > lanes ? (block.palms - lanes < n8 ? block.palms - lanes : n8) : 0;
      const std::size_t females = hn::CountTrue(d8, countable(hn::Eq(recorded, female), j));
      const std::size_t herms = hn::CountTrue(d8, countable(hn::Eq(recorded, mixed), j));
      const std::size_t males = hn::CountTrue(d8, countable(hn::Eq(recorded, male), j));
      counts[CodeOf(NodeSex::Female)] += static_cast<std::uint32_t>(females);
      counts[CodeOf(NodeSex::Mixed)] += static_cast<std::uint32_t>(herms);
      counts[CodeOf(NodeSex::Male)] += static_cast<std::uint32_t>(males);
      counts[CodeOf(NodeSex::Aborted)] += static_cast<std::uint32_t>(valid - females - herms - males);
    }
  }
  return true;
}

// Windows of up to five nodes (one chunk) and up to ten (two chunks), the usual
// ones, get a kernel of their own; any other size takes the general one.
bool SimulateBlockImpl(const LanePlan& plan, LaneBlock& block) {
  if (plan.sexChunks == 2 && plan.abortChunks == 2) return SimulateLanes<2, 2>(plan, block);
  if (plan.sexChunks == 1 && plan.abortChunks == 1) return SimulateLanes<1, 1>(plan, block);
  return SimulateLanes<0, 0>(plan, block);
}

#endif  // HWY_TARGET == HWY_SCALAR

}  // namespace HWY_NAMESPACE
}  // namespace varnolt_lanes
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace varnolt_lanes {

HWY_EXPORT(SimulateBlockImpl);
HWY_EXPORT(LaneBytesImpl);
HWY_EXPORT(ScratchBytesImpl);
HWY_EXPORT(TargetNameImpl);

bool SimulateBlock(const LanePlan& plan, LaneBlock& block) {
  return HWY_DYNAMIC_DISPATCH(SimulateBlockImpl)(plan, block);
}
std::size_t LaneBytes() { return HWY_DYNAMIC_DISPATCH(LaneBytesImpl)(); }
std::size_t ScratchBytes() { return HWY_DYNAMIC_DISPATCH(ScratchBytesImpl)(); }
const char* TargetName() { return HWY_DYNAMIC_DISPATCH(TargetNameImpl)(); }

}  // namespace varnolt_lanes
#endif

}  // namespace varnolt
