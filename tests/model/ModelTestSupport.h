#pragma once
// Settings and expectations shared by the model tests.

#include <initializer_list>
#include <vector>

#include "model/FloweringModel.h"

namespace varnolt {

// The start-up defaults as the run driver hands them over: fronds 20..29 and
// 20..25 are positions 50..59 and 50..55, the stage -28..-4 is 2..26, frond 10 is 40.
inline ModelSettings DefaultModelSettings() {
  ModelSettings s;
  s.cycleCount = 100;
  s.palmCount = 10;
  s.sexStressFirstNode = 50;
  s.sexStressLastNode = 59;
  s.abortStressFirstNode = 50;
  s.abortStressLastNode = 55;
  s.sexStageStartNode = 2;
  s.sexStageEndNode = 26;
  s.abortionNode = 40;
  s.femaleThreshold = 16;
  s.maleThreshold = 17;
  s.abortThreshold = 24;
  s.randomPercent = 25;
  return s;
}

struct Span {
  int first, last;
  NodeSex sex;
};

// A palm's record by cycle (index 0 unused) from runs of equal states.
inline std::vector<int> Record(std::initializer_list<Span> spans) {
  std::vector<int> codes(1, 0);
  for (const Span& span : spans) codes.insert(codes.end(), span.last - span.first + 1, CodeOf(span.sex));
  return codes;
}

// The record of a run whose every row is 100 in one field.
inline std::vector<int> UniformRecord(const FloweringModel& model) {
  std::vector<int> codes(1, 0);
  for (std::size_t c = 1; c < model.cycleResults.size(); ++c) {
    const CycleResult& row = model.cycleResults[c];
    codes.push_back(row.female == 100 ? 3 : row.herm == 100 ? 2 : row.male == 100 ? 1 : row.aborted == 100 ? 0 : -1);
  }
  return codes;
}

// A model ready to step its first palm by hand.
inline FloweringModel Ready(ModelSettings settings, std::uint32_t seed = 1) {
  FloweringModel model;
  model.settings = std::move(settings);
  model.random.Seed(seed);
  model.Initialise();
  model.StartPalm();
  return model;
}

// Steps the palm through all cycles, calling afterSums(cycle) once the cycle's
// stress sums are known.
template <typename Fn>
void StepPalm(FloweringModel& model, Fn afterSums) {
  for (int c = 1; c <= model.settings.cycleCount; ++c) {
    model.ComputeStressSums(c);
    afterSums(c);
    model.DetermineNodeSex(c);
    model.AdvanceNodes(c);
  }
}

}  // namespace varnolt
