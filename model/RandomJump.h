#pragma once
// Jumping the runtime's generator ahead. Its step is the affine map
// x -> Multiplier x + Increment (mod 2^32), so n steps are one affine map too, found
// by repeated squaring. A palm's draws start at a known offset in the run's
// single sequence, so any palm can start from its own state without drawing the
// numbers of the palms before it.

#include <cstdint>

#include "model/RuntimeRandom.h"

namespace varnolt {

struct RandomJump {
  std::uint32_t multiplier = 1;
  std::uint32_t increment = 0;

  std::uint32_t Apply(std::uint32_t state) const { return state * multiplier + increment; }

  // This jump followed by next.
  RandomJump Then(const RandomJump& next) const {
    return {next.multiplier * multiplier, next.multiplier * increment + next.increment};
  }

  // The map of `steps` draws. The generator's period is 2^32, so only the low
  // 32 bits of the count matter.
  static RandomJump Steps(std::uint64_t steps) {
    RandomJump result;
    RandomJump power{RuntimeRandom::Multiplier, RuntimeRandom::Increment};
    for (std::uint64_t left = steps & 0xFFFFFFFFu; left != 0; left >>= 1) {
      if (left & 1u) result = result.Then(power);
      power = power.Then(power);
    }
    return result;
  }
};

}  // namespace varnolt
