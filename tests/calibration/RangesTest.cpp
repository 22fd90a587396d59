// The calibrated ranges and the lack of fit, judged as a modeller would judge
// them: on many small censuses that the program makes from settings known in
// advance, how often the range holds the truth, and how often a census the
// model does fit is flagged. Fixed seeds throughout, so every count is the same
// on every run; the grids are small so the whole costs seconds.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "calibration/Calibration.h"
#include "run/RunDriver.h"

namespace {

RunSettings Truth(std::int32_t cycles) {
  RunSettings settings = StartupDefaults();
  settings.cycleCount = cycles;
  settings.maleThreshold = 19;
  settings.abortThreshold = 25;
  return settings;
}

// A census of `palms` palms over the settings' cycles, every series observed.
Census CensusOf(const RunSettings& truth, std::int32_t palms, std::uint32_t seed, int every = 1) {
  RunSettings settings = truth;
  settings.palmCount = palms;
  FloweringModel model;
  EXPECT_TRUE(RunModel(model, settings, seed).Completed());
  Census census;
  census.hasPalms = true;
  for (std::int64_t cycle = 1; cycle <= settings.cycleCount; cycle += every) {
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

int EnvironmentOr(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr ? std::atoi(text) : fallback;
}

TEST(CalibratedRanges, HoldTheTruthAboutNineteenTimesInTwenty) {
  const int trials = EnvironmentOr("VARNOLT_TRIALS", 40);
  const int palms = EnvironmentOr("VARNOLT_PALMS", 60);
  const int cycles = EnvironmentOr("VARNOLT_CYCLES", 120);
  RunSettings truth = Truth(cycles);
  if (EnvironmentOr("VARNOLT_TREND", 0) > 0) {
    truth.trendCycles = 1;
    truth.trendAmplitude = EnvironmentOr("VARNOLT_TREND", 0);
  }
  const int every = EnvironmentOr("VARNOLT_EVERY", 1);
  int held = 0, ranges = 0, flagged = 0;
  double width = 0.0;
  for (int trial = 0; trial < trials; ++trial) {
    CalibrationRequest request;
    request.base = truth;
    request.census = CensusOf(truth, palms, 1000 + static_cast<std::uint32_t>(trial), every);
    if (every > 1) {
      for (CensusRow& row : request.census.rows) row.percent[1] = row.percent[2] = std::nullopt;
    }
    request.fits = {{"maleThreshold", 16, 22}, {"abortThreshold", 22, 28}};
    request.palms = EnvironmentOr("VARNOLT_RUNPALMS", 300);
    request.replicates = EnvironmentOr("VARNOLT_REPLICATES", 1);
    request.simulatedCensuses = EnvironmentOr("VARNOLT_B", 100);
    request.seed = 77 + static_cast<std::uint32_t>(trial) * 10;
    CalibrationControl control;
    const CalibrationResult result = Calibrate(request, control);
    ASSERT_TRUE(result.failure.empty()) << result.failure;
    for (std::size_t f = 0; f < 2; ++f) {
      const SettingProfile& profile = result.profiles[f];
      const std::int32_t value = f == 0 ? 19 : 25;
      held += profile.fitLow <= value && value <= profile.fitHigh ? 1 : 0;
      width += profile.fitHigh - profile.fitLow + 1;
      ++ranges;
    }
    flagged += result.lackOfFit.flagged ? 1 : 0;
    if (std::getenv("VARNOLT_VERBOSE")) {
      std::printf("trial %d best %d,%d ranges %d-%d %d-%d thresholds %.1f %.1f p %.3f ratio %.2f\n", trial,
                  result.best[0], result.best[1], result.profiles[0].fitLow, result.profiles[0].fitHigh,
                  result.profiles[1].fitLow, result.profiles[1].fitHigh, result.profiles[0].threshold,
                  result.profiles[1].threshold, result.lackOfFit.pValue, result.lackOfFit.ratio);
    }
  }
  const double coverage = static_cast<double>(held) / ranges;
  std::printf("coverage %.3f over %d ranges, mean width %.2f, flagged %d of %d\n", coverage, ranges, width / ranges,
              flagged, trials);
  EXPECT_GE(coverage, 0.88);
  EXPECT_LE(flagged, trials / 8);
}

}  // namespace
