#include "platform/Problem.h"

#include "platform/FileError.h"

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

std::string WithoutFinalPeriod(std::string text) {
  while (!text.empty() && (text.back() == '.' || text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

std::string LowerFirst(std::string text) {
  // Only an ordinary capital that starts a sentence; "VARNOLT" or "CSV" stay.
  if (text.size() >= 2 && text[0] >= 'A' && text[0] <= 'Z' && !(text[1] >= 'A' && text[1] <= 'Z')) {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  return text;
}

std::string Megabytes(std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB"; }

// "needs more memory than this computer has free", with the figures when known.
std::string MemoryShortfall(const Problem& problem) {
  std::string text = "needs more memory than this computer has free";
  if (problem.bytesNeeded && problem.bytesFree) {
    text += " (" + Megabytes(*problem.bytesNeeded) + " needed, " + Megabytes(*problem.bytesFree) + " free)";
  }
  return text;
}

std::string FrondRange(const Problem& problem) {
  return "the model works only with fronds from " + std::to_string(problem.low) + " to " + std::to_string(problem.high);
}

// The folder of the report as the user named it, for the runner's line.
std::string TypedFolder(const std::string& path) {
  std::string folder = PathToUtf8(PathFromUtf8(path).parent_path());
  return folder.empty() ? "." : folder;
}

}  // namespace

std::string SystemErrorText(std::error_code code) { return LowerFirst(WithoutFinalPeriod(code.message())); }

std::string ProblemLine(const Problem& problem) {
  const std::string report = "cannot write the report to " + problem.path + ": ";
  switch (problem.kind) {
    case ProblemKind::BrokenRule: return BrokenRuleLine(problem);
    case ProblemKind::FrondOutOfRange:
      return Named(problem.setting, problem.value) + ": " + FrondRange(problem) + "; choose a frond in that range";
    case ProblemKind::TooLittleMemory:
      return "a run of " + std::to_string(problem.value) + " node initiation cycles " + MemoryShortfall(problem) +
             "; choose fewer cycles and run again";
    case ProblemKind::RunCancelled: return "the run was cancelled; the previous results are unchanged";
    case ProblemKind::ReportCancelled: return "the run was cancelled; no report was written";
    case ProblemKind::ReportNoName:
    case ProblemKind::ReportIsFolder: return report + ReportFailureCause(problem);
    case ProblemKind::ReportFolderRefused:
      // Said as every other file's refusing folder is: by the folder the user named.
      return report + "the folder " + TypedFolder(problem.path) + " refuses a new file (" +
             SystemErrorText(std::make_error_code(std::errc::permission_denied)) + ")";
    case ProblemKind::ReportNotWritten: return report + SystemErrorText(problem.systemError);
    case ProblemKind::ReportHoldsSettings:
      return "the output file " + problem.path + " holds run settings, not a report; choose another output file";
    case ProblemKind::WindowsPath: return problem.setting + " " + problem.path + " is a Windows path; choose an output file";
  }
  return "an unknown problem";
}

std::string ReportFailureCause(const Problem& problem) {
  switch (problem.kind) {
    case ProblemKind::ReportNoName: return "no file name was given";
    case ProblemKind::ReportIsFolder: return "it is a folder";
    case ProblemKind::ReportFolderRefused:
      return "the folder " + problem.folder + " refused a new file (" + problem.systemError.message() + ")";
    case ProblemKind::ReportNotWritten: return problem.systemError.message();
    default: return ProblemLine(problem);
  }
}

std::string ProblemSentence(const Problem& problem) {
  switch (problem.kind) {
    case ProblemKind::FrondOutOfRange:
      return "\"" + problem.label + "\" is " + std::to_string(problem.value) + ", but " + FrondRange(problem) +
             ".\nChoose a frond in that range and run again.";
    case ProblemKind::TooLittleMemory:
      return "A run of " + std::to_string(problem.value) + " node initiation cycles " + MemoryShortfall(problem) +
             ".\nChoose fewer cycles and run again.";
    case ProblemKind::RunCancelled: return "The run was cancelled; the previous results are unchanged.";
    case ProblemKind::ReportCancelled: return "The run was cancelled; no report was written.";
    case ProblemKind::ReportNoName:
    case ProblemKind::ReportIsFolder:
    case ProblemKind::ReportFolderRefused:
    case ProblemKind::ReportNotWritten:
      return "The report could not be written to \"" + problem.path + "\": " + ReportFailureCause(problem) +
             ".\nAny earlier report there is unchanged.";
    case ProblemKind::ReportHoldsSettings:
      return "The output file " + problem.path + " holds run settings, not a report; choose another output file.";
    case ProblemKind::BrokenRule:
    case ProblemKind::WindowsPath: break;
  }
  return ProblemLine(problem);
}

}  // namespace varnolt
