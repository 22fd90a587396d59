#include "run/ReportTarget.h"

#include <cstdint>
#include <system_error>

#include "settings/SettingsFile.h"

namespace varnolt {

namespace fs = std::filesystem;

std::optional<Problem> ReportTargetProblem(const std::string& outputPath, const fs::path& settingsFile) {
  if (outputPath.empty()) return std::nullopt;
#ifndef _WIN32
  // A settings file from Windows names its report there; here that name would
  // make a file called "C:\VARNOLT\run1.dat" in the current folder.
  if (IsWindowsStylePath(outputPath)) {
    Problem problem = MakeProblem(ProblemKind::WindowsPath, outputPath);
    problem.setting = "outputPath";
    return problem;
  }
#endif
  const fs::path target = PathFromUtf8(outputPath);
  std::error_code code;
  // The same file on the same device, whatever links or "./" lead to it.
  bool holdsSettings = !settingsFile.empty() && fs::equivalent(target, settingsFile, code);
  // Only regular files are read: opening a pipe to look would wait for a writer.
  // Notes come from an edit or a command line, so settings files are small; a
  // large file is no settings file and is not read into memory to make sure.
  constexpr std::uintmax_t largestLookedAt = std::uintmax_t{64} << 20;
  if (!holdsSettings && fs::is_regular_file(target, code) && fs::file_size(target, code) <= largestLookedAt) {
    RunSettings found;
    holdsSettings = !LoadSettingsFile(target, found);
  }
  if (!holdsSettings) return std::nullopt;
  return MakeProblem(ProblemKind::ReportHoldsSettings, outputPath);
}

}  // namespace varnolt
