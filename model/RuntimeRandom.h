#pragma once
// The random generator of the Windows C runtime (srand/rand), rebuilt so that a
// run draws the same numbers on every platform: seeded with 1 it returns 41,
// 18467, 6334, 26500, 19169, as VARNOLT's runs on Windows do.

#include <cstdint>

class RuntimeRandom {
 public:
  static constexpr int Max = 32767;

  RuntimeRandom() = default;
  explicit RuntimeRandom(std::uint32_t seed) : state(seed) {}

  void Seed(std::uint32_t seed) { state = seed; }

  // The next draw, 0 to 32767.
  int Next() {
    state = state * 214013u + 2531011u;  // wraps modulo 2^32
    return static_cast<int>((state >> 16) & 0x7FFFu);
  }

 private:
  std::uint32_t state = 1;  // the runtime's state before any srand
};
