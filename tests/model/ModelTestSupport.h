#pragma once
// Settings and expectations shared by the model tests.

#include <initializer_list>
#include <vector>

#include "model/FloweringModel.h"

// The start-up defaults as the run driver hands them to the model: fronds
// 20..29 and 20..25 are positions 50..59 and 50..55, the stage -28..-4 is 2..26,
// the abortion frond 10 is position 40.
inline ModelSettings DefaultModelSettings() {
  ModelSettings s;
  s.runNotes = "VARNOLT Simulation Run";
  s.cycleCount = 100;
  s.palmCount = 10;
  s.sexStressFirstNode = 50;
  s.sexStressLastNode = 59;
  s.abortStressFirstNode = 50;
  s.abortStressLastNode = 55;
  s.sexStageStartNode = 2;
  s.sexStageEndNode = 26;
  s.abortionNode = 40;
  s.initialNodeSex = 0;
  s.femaleThreshold = 16;
  s.maleThreshold = 17;
  s.abortThreshold = 24;
  s.randomPercent = 25;
  return s;
}

struct Span {
  int first;
  int last;
  NodeSex sex;
};

// A palm's record, cycle by cycle (index 0 unused), from runs of equal states.
inline std::vector<int> Record(std::initializer_list<Span> spans) {
  std::vector<int> codes(1, 0);
  for (const Span& span : spans) {
    for (int c = span.first; c <= span.last; ++c) codes.push_back(CodeOf(span.sex));
  }
  return codes;
}

// What a run recorded for one palm, read back from its 100% rows.
inline std::vector<int> SinglePalmRecord(const FloweringModel& model) {
  std::vector<int> codes(1, 0);
  for (std::size_t c = 1; c < model.cycleResults.size(); ++c) {
    const CycleResult& row = model.cycleResults[c];
    int code = -1;
    if (row.female == 100) code = 3;
    if (row.herm == 100) code = 2;
    if (row.male == 100) code = 1;
    if (row.aborted == 100) code = 0;
    codes.push_back(code);
  }
  return codes;
}

// Steps one palm by hand, calling fn(cycle) after each cycle's stress sums.
template <typename Fn>
void StepPalm(FloweringModel& model, Fn afterSums) {
  for (int c = 1; c <= model.settings.cycleCount; ++c) {
    model.ComputeStressSums(c);
    afterSums(c);
    model.DetermineNodeSex(c);
    model.AdvanceNodes(c);
  }
}
