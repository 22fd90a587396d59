#include "settings/RunSettings.h"

RunSettings StartupDefaults() { return RunSettings{}; }

RunSettings NewDefaults() {
  RunSettings settings;
  settings.runNotes = "VRT Simulation Run";
  return settings;
}

namespace {
constexpr FieldInfo Int(const char* name, std::int32_t RunSettings::*member) {
  return {name, FieldKind::Integer, member, nullptr};
}
constexpr FieldInfo Switch(const char* name, std::int32_t RunSettings::*member) {
  return {name, FieldKind::Switch, member, nullptr};
}
constexpr FieldInfo Text(const char* name, std::string RunSettings::*member) {
  return {name, FieldKind::Text, nullptr, member};
}
}  // namespace

const std::array<FieldInfo, 27>& RunSettingsFields() {
  static const std::array<FieldInfo, 27> fields = {
      Text("runNotes", &RunSettings::runNotes),
      Int("cycleCount", &RunSettings::cycleCount),
      Int("palmCount", &RunSettings::palmCount),
      Int("sexStressFirstFrond", &RunSettings::sexStressFirstFrond),
      Int("sexStressLastFrond", &RunSettings::sexStressLastFrond),
      Int("abortStressFirstFrond", &RunSettings::abortStressFirstFrond),
      Int("abortStressLastFrond", &RunSettings::abortStressLastFrond),
      Int("sexStageStartFrond", &RunSettings::sexStageStartFrond),
      Int("sexStageEndFrond", &RunSettings::sexStageEndFrond),
      Int("abortionFrond", &RunSettings::abortionFrond),
      Int("femaleThreshold", &RunSettings::femaleThreshold),
      Int("maleThreshold", &RunSettings::maleThreshold),
      Int("abortThreshold", &RunSettings::abortThreshold),
      Int("randomPercent", &RunSettings::randomPercent),
      Switch("leafPruning", &RunSettings::leafPruning),
      Int("leafPruneCycle", &RunSettings::leafPruneCycle),
      Int("pruneStress", &RunSettings::pruneStress),
      Switch("trendCycles", &RunSettings::trendCycles),
      Int("trendAmplitude", &RunSettings::trendAmplitude),
      Switch("irrigation", &RunSettings::irrigation),
      Int("irrigationStart", &RunSettings::irrigationStart),
      Int("irrigationEnd", &RunSettings::irrigationEnd),
      Switch("flowerPruning", &RunSettings::flowerPruning),
      Int("flowerPruneStart", &RunSettings::flowerPruneStart),
      Int("flowerPruneEnd", &RunSettings::flowerPruneEnd),
      Int("initialNodeSex", &RunSettings::initialNodeSex),
      Text("outputPath", &RunSettings::outputPath),
  };
  return fields;
}

const FieldInfo* FindField(const std::string& name) {
  for (const FieldInfo& field : RunSettingsFields()) {
    if (name == field.name) return &field;
  }
  return nullptr;
}
