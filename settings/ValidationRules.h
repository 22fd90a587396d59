#pragma once
// The thirteen rules a run's settings must pass, in the order they are tested.
// The window and the command-line runner both report the first failure from
// this one table: its message, the page that holds the value and the edit.

#include <array>
#include <cstdint>

#include "settings/RunSettings.h"

// The settings pages, numbered as the main window's tabs.
enum class SettingsPage : int {
  Size = 0,
  FrondNumbers = 1,
  FirstNodeSex = 2,
  StressThresholds = 3,
  LeafPruning = 4,
  TrendCycles = 5,
  Irrigation = 6,
  FlowerPruning = 7,
  OutputFile = 8,
};

struct ValidationRule {
  int number;                 // 1 to 13, the order of testing
  SettingsPage page;          // the page made current on failure
  int controlId;              // the edit that receives the focus
  const char* field;          // the field the rule is about
  const char* message;        // shown in the "Invalid data" box; '\n' breaks the line
  bool (*fails)(const RunSettings&);
};

const std::array<ValidationRule, 13>& ValidationRules();

// The first rule that the settings fail, or null when they pass them all.
const ValidationRule* FirstFailedRule(const RunSettings& settings);
