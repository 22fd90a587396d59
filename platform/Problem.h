#pragma once
// What went wrong, as data: a kind and the fields that say which file, setting,
// value, bound or rule it is about. The layers below the faces hand problems
// back and never word them for a user; each face says them its own way: the
// runner and Python in one line (ProblemLine), the window in its message boxes
// with the texts of its own.

#include <cstdint>
#include <string>
#include <system_error>

namespace varnolt {

enum class ProblemKind {
  BrokenRule,  // settings that fail one of the validation rules
};

// How a value broke its bound (for BrokenRule).
enum class Limit {
  AtLeast,         // must be `low` or more
  AtMost,          // must be at most `high` (the value of `boundSetting` when named)
  FromTo,          // must be from `low` to `high` (`high` the value of `boundSetting` when named)
  Above,           // must be above `boundSetting`, whose value is `low`
  AboveZeroBelow,  // must be above 0 and below `boundSetting`, whose value is `high`
  OtherBelow,      // `boundSetting`, whose value is `low`, must be below this setting
};

struct Problem {
  ProblemKind kind = ProblemKind::BrokenRule;
  std::string path;          // the file concerned, as the user named it
  std::string setting;       // the setting concerned, by its name in files
  std::int64_t value = 0;    // that setting's value
  Limit limit = Limit::AtLeast;
  std::int64_t low = 0;      // the bounds that the value broke
  std::int64_t high = 0;
  std::string boundSetting;  // the setting that sets the bound, if one does
  std::string condition;     // the switch under which the rule applies ("irrigation"), if any
  int rule = 0;              // the validation rule's number, 1 to 13
  std::error_code systemError;
};

// The problem on one line, without a final period, as the runner prints it
// after "varnolt-cli: " and Python raises it, e.g.
// "femaleThreshold 17 must be below maleThreshold 17 (rule 5)".
std::string ProblemLine(const Problem& problem);

}  // namespace varnolt
