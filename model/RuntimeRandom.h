#pragma once
// The random generator of the Windows C runtime (srand/rand), rebuilt so that a
// run draws the same numbers on every platform: seeded with 1 it returns 41,
// 18467, 6334, 26500, 19169, as VARNOLT's runs on Windows do. Its constants live
// here alone: the fast engine's jumps and SIMD lanes step the same state.

#include <cstdint>

namespace varnolt {

class RuntimeRandom {
 public:
  static constexpr int Max = 32767;
  // One step: state -> state * Multiplier + Increment, modulo 2^32; the draw is
  // bits 16 to 30 of the new state.
  static constexpr std::uint32_t Multiplier = 214013u;
  static constexpr std::uint32_t Increment = 2531011u;
  static constexpr int DrawShift = 16;

  static constexpr std::uint32_t Step(std::uint32_t state) { return state * Multiplier + Increment; }  // wraps
  static constexpr int DrawOf(std::uint32_t state) { return static_cast<int>((state >> DrawShift) & Max); }

  RuntimeRandom() = default;
  explicit RuntimeRandom(std::uint32_t seed) : state(seed) {}

  void Seed(std::uint32_t seed) { state = seed; }

  // The next draw, 0 to 32767.
  int Next() {
    state = Step(state);
    return DrawOf(state);
  }

 private:
  std::uint32_t state = 1;  // the runtime's state before any srand
};

}  // namespace varnolt
