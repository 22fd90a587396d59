#pragma once
// The thirteen rules a run's settings must pass, in the order they are tested.
// The window and the command-line runner both report the first failure from
// this one table: each rule names its setting (the table of fields gives its
// page; the window knows the control), the window's message for it, and the
// one line the runner prints with the values that failed.

#include <array>
#include <optional>
#include <string>

#include "platform/Problem.h"
#include "settings/RunSettings.h"

namespace varnolt {

struct ValidationRule {
  int number;           // 1 to 13, the order of testing
  const char* field;    // the setting the rule is about
  const char* message;  // shown in the window's "Invalid data" box; '\n' breaks the line
  bool (*fails)(const RunSettings&);
  // The failure as a BrokenRule problem: the rule's setting with its value, and
  // the bound it broke (ProblemLine says "femaleThreshold 17 must be below
  // maleThreshold 17 (rule 5)").
  Problem (*problem)(const RunSettings&);
};

const std::array<ValidationRule, 13>& ValidationRules();

// The first rule that the settings fail, or null when they pass them all.
const ValidationRule* FirstFailedRule(const RunSettings& settings);

// The first rule that the settings fail as a problem, or nothing when they
// pass them all.
std::optional<Problem> SettingsProblem(const RunSettings& settings);

// The rule's failure for these settings on one line, for the runner and the
// experiments' tables: what is wrong, with the bound, and the rule's number.
std::string RuleFailureLine(const ValidationRule& rule, const RunSettings& settings);

// The page that holds the rule's setting.
SettingsPage RulePage(const ValidationRule& rule);

}  // namespace varnolt
