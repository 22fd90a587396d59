#pragma once
// A census made by the program itself, for the calibration tests.

#include <cstdint>

#include <gtest/gtest.h>

#include "calibration/Calibration.h"
#include "run/RunDriver.h"

namespace varnolt {

// A census of `palms` palms over the settings' cycles, every series of every
// cycle observed: a plantation whose palms follow the model with these settings.
inline Census CensusOf(const RunSettings& truth, std::int32_t palms, std::uint32_t seed) {
  RunSettings settings = truth;
  settings.palmCount = palms;
  FloweringModel model;
  EXPECT_TRUE(RunModel(model, settings, seed).Completed());
  Census census;
  census.hasPalms = true;
  for (std::int64_t cycle = 1; cycle <= settings.cycleCount; ++cycle) {
    const CycleResult& row = model.cycleResults[static_cast<std::size_t>(cycle)];
    CensusRow observed;
    observed.cycle = cycle;
    observed.line = static_cast<std::size_t>(cycle) + 1;
    observed.percent = {row.female, row.herm, row.male, row.aborted};
    observed.palms = palms;
    census.rows.push_back(observed);
  }
  return census;
}

}  // namespace varnolt
