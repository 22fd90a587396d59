#pragma once
// Inside the fast engine: the SIMD kernel that runs one block of palms through
// all cycles as the plan (LanePlan.h) says. Not for use outside model/.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "model/LanePlan.h"

namespace varnolt {

namespace varnolt_lanes {

// A block of VectorsPerBlock x LaneBytes() palms through all cycles.
struct LaneBlock {
  const std::uint32_t* startStates = nullptr;  // each lane's generator state, in lane order
  std::size_t palms = 0;                       // lanes that hold a palm; the rest are not counted
  std::uint32_t* counts = nullptr;             // counts[cycle * 4 + code] += palms recording code
  const std::atomic<bool>* stop = nullptr;     // checked every few thousand cycles
  const std::atomic<bool>* cancel = nullptr;   // the same, when given
  std::uint8_t* scratch = nullptr;             // ScratchBytes(), aligned to 64
  bool abortedOutside = false;                 // out: an abortion hit a node outside the storage

  bool Stopped() const {
    return stop->load(std::memory_order_relaxed) || (cancel != nullptr && cancel->load(std::memory_order_relaxed));
  }
};

// Per dispatch target. Returns false when stopped part-way.
bool SimulateBlock(const LanePlan& plan, LaneBlock& block);
std::size_t LaneBytes();
std::size_t ScratchBytes();
const char* TargetName();

}  // namespace varnolt_lanes

}  // namespace varnolt
