#pragma once
// The JSON record kept beside a run's CSV: where the numbers came from (program
// version, seed, the 27 settings under their names, the engine and its SIMD
// target, start and run time) and the cycle analysis, so that a table found
// later can be traced and repeated exactly. Plain C++.

#include <chrono>
#include <filesystem>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "results/CycleAnalysis.h"

namespace varnolt {

struct RunRecord {
  std::uint32_t seed = 0;
  // The settings in the record's order: numbers as numbers, texts as texts.
  std::vector<std::pair<std::string, std::variant<std::int32_t, std::string>>> settings;
  std::string engine;      // "reference" for FloweringModel
  std::string simdTarget;  // empty when the engine uses none
  std::chrono::system_clock::time_point startTime;
  double runSeconds = 0.0;
  std::int64_t cycleCount = 0;
  std::int64_t palmCount = 0;
  CycleAnalysis analysis;
};

// The record as indented JSON text (UTF-8, LF line breaks, a final line break).
// Text that is not valid UTF-8 is written with replacement characters rather
// than refused.
std::string RunRecordJson(const RunRecord& record);

// A moment as ISO 8601 in UTC to the second: "2026-12-08T05:40:00Z".
std::string UtcTimestamp(std::chrono::system_clock::time_point moment);

// Where the record of a results table goes when none is named: beside it, with
// the extension .json (a table whose own name ends in .json gets ".json" added).
std::filesystem::path RecordPathBeside(const std::filesystem::path& table);

}  // namespace varnolt
