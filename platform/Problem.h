#pragma once
// What went wrong, as data: a kind and the fields that say which file, setting,
// value, bound or rule it is about. The layers below the faces hand problems
// back and never word them for a user; each face says them its own way: the
// runner and Python in one line (ProblemLine), the window in its message boxes
// with the texts of its own.

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

namespace varnolt {

enum class ProblemKind {
  BrokenRule,           // settings that fail one of the validation rules
  FrondOutOfRange,      // `setting` (`label` on its page) at `value` left the fronds `low` to `high`
  TooLittleMemory,      // a run of `value` cycles; `bytesNeeded` and `bytesFree` when they are known
  RunCancelled,         // a run stopped before its end; the previous results stand
  ReportCancelled,      // a run stopped while its report was written; no report was written
  ReportNoName,         // a report to an empty `path`
  ReportIsFolder,       // a report to `path`, a folder
  ReportFolderRefused,  // `folder` (its full path) refused a new file for `path`: `systemError`
  ReportNotWritten,     // writing `path` failed: `systemError`
  ReportHoldsSettings,  // `path`, where a report would go, holds run settings
  WindowsPath,          // `setting` names a Windows `path`, which names no file here
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
  std::string label;         // the setting's label in the window, for FrondOutOfRange
  std::string folder;        // the folder concerned, by its full path
  std::optional<std::uint64_t> bytesNeeded, bytesFree;  // for TooLittleMemory
};

// A problem of `kind`, about the file at `path` when it is about one.
inline Problem MakeProblem(ProblemKind kind, std::string path = {}) {
  Problem problem;
  problem.kind = kind;
  problem.path = std::move(path);
  return problem;
}

// The problem on one line, without a final period, as the runner prints it
// after "varnolt-cli: " and Python raises it, e.g.
// "femaleThreshold 17 must be below maleThreshold 17 (rule 5)".
std::string ProblemLine(const Problem& problem);

// The problem in the sentences of the window's message boxes (lines broken with
// "\n", full stops), which the message cells of tables keep on one line, e.g.
// "A run of 9 node initiation cycles needs more memory than this computer has
// free.\nChoose fewer cycles and run again." For BrokenRule, the ProblemLine.
std::string ProblemSentence(const Problem& problem);

// Why a report was not written (the Report... kinds) as the window's box and
// Python say it after the report's path: "it is a folder", the system's text.
std::string ReportFailureCause(const Problem& problem);

// The text of a system error as the runner's lines say causes: the system's
// own, begun in lower case, without a final period ("no such file or directory").
std::string SystemErrorText(std::error_code code);

}  // namespace varnolt
