#pragma once
// The thirteen rules a run's settings must pass, in the order they are tested.
// The window and the command-line runner both report the first failure from
// this one table: each rule names its setting (the table of fields gives its
// page; the window knows the control), the window's message for it, and the
// one line the runner prints with the values that failed.

#include <array>
#include <string>

#include "settings/RunSettings.h"

namespace varnolt {

struct ValidationRule {
  int number;           // 1 to 13, the order of testing
  const char* field;    // the setting the rule is about
  const char* message;  // shown in the window's "Invalid data" box; '\n' breaks the line
  bool (*fails)(const RunSettings&);
  // The failure on one line with the values and the bound that failed, e.g.
  // "femaleThreshold 17 must be below maleThreshold 17 (rule 5)".
  std::string (*describe)(const RunSettings&);
};

const std::array<ValidationRule, 13>& ValidationRules();

// The first rule that the settings fail, or null when they pass them all.
const ValidationRule* FirstFailedRule(const RunSettings& settings);

// The rule's failure for these settings on one line, for the runner and the
// experiments' tables: what is wrong, with the bound, and the rule's number.
std::string RuleFailureLine(const ValidationRule& rule, const RunSettings& settings);

// The page that holds the rule's setting.
SettingsPage RulePage(const ValidationRule& rule);

}  // namespace varnolt
