#include "platform/Problem.h"

namespace varnolt {

namespace {

std::string Named(const std::string& name, std::int64_t value) { return name + " " + std::to_string(value); }

// The bound `value` of a limit: the setting that sets it with its value, or the number alone.
std::string BoundText(const Problem& problem, std::int64_t value) {
  return problem.boundSetting.empty() ? std::to_string(value) : Named(problem.boundSetting, value);
}

std::string BrokenRuleLine(const Problem& problem) {
  const std::string subject = Named(problem.setting, problem.value);
  std::string line;
  switch (problem.limit) {
    case Limit::AtLeast: line = subject + " must be " + std::to_string(problem.low) + " or more"; break;
    case Limit::AtMost: line = subject + " must be at most " + BoundText(problem, problem.high); break;
    case Limit::FromTo:
      line = subject + " must be from " + std::to_string(problem.low) + " to " + BoundText(problem, problem.high);
      break;
    case Limit::Above: line = subject + " must be above " + BoundText(problem, problem.low); break;
    case Limit::AboveZeroBelow: line = subject + " must be above 0 and below " + BoundText(problem, problem.high); break;
    case Limit::OtherBelow: line = BoundText(problem, problem.low) + " must be below " + subject; break;
  }
  if (!problem.condition.empty()) line += " while " + problem.condition + " is on";
  return line + " (rule " + std::to_string(problem.rule) + ")";
}

}  // namespace

std::string ProblemLine(const Problem& problem) {
  switch (problem.kind) {
    case ProblemKind::BrokenRule: return BrokenRuleLine(problem);
  }
  return "an unknown problem";
}

}  // namespace varnolt
