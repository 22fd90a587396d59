#include "results/RunRecord.h"

#include <ctime>
#include <nlohmann/json.hpp>

#include "platform/Version.h"

namespace varnolt {

std::string UtcTimestamp(std::chrono::system_clock::time_point moment) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
  std::tm parts{};
#ifdef _WIN32
  gmtime_s(&parts, &seconds);
#else
  gmtime_r(&seconds, &parts);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

std::string RunRecordJson(const RunRecord& record) {
  using nlohmann::ordered_json;
  ordered_json settings = ordered_json::object();
  for (const auto& [name, value] : record.settings) {
    std::visit([&settings, &name = name](const auto& v) { settings[name] = v; }, value);
  }
  const CycleAnalysis& a = record.analysis;
  const auto optional = [](const auto& value) { return value ? ordered_json(*value) : ordered_json(nullptr); };
  ordered_json analysis = {
      {"firstCycle", a.firstCycle},
      {"lastCycle", a.lastCycle},
      {"meanFemale", a.meanFemale},
      {"meanHerm", a.meanHerm},
      {"meanMale", a.meanMale},
      {"meanAborted", a.meanAborted},
      {"sexRatio", optional(a.sexRatio)},
      {"femaleAmplitude", optional(a.femaleAmplitude)},
      {"period", optional(a.period)},
      {"strength", optional(a.strength)},
      {"summary", AnalysisLine(a)},
  };
  ordered_json json = {
      {"program", "VARNOLT"},
      {"version", VersionText()},
      {"seed", record.seed},
      {"cycleCount", record.cycleCount},
      {"palmCount", record.palmCount},
      {"engine", record.engine},
      {"simdTarget", record.simdTarget.empty() ? ordered_json(nullptr) : ordered_json(record.simdTarget)},
      {"startTime", UtcTimestamp(record.startTime)},
      {"runSeconds", record.runSeconds},
      {"settings", std::move(settings)},
      {"analysis", std::move(analysis)},
  };
  return json.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

std::filesystem::path RecordPathBeside(const std::filesystem::path& table) {
  std::filesystem::path record = table;
  record.replace_extension(".json");
  if (record == table) record += ".json";
  return record;
}

}  // namespace varnolt
