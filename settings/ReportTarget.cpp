#include "settings/ReportTarget.h"

#include <system_error>

#include "settings/SettingsFile.h"

namespace fs = std::filesystem;

std::optional<std::string> ReportTargetProblem(const std::string& outputPath, const fs::path& settingsFile) {
  if (outputPath.empty()) return std::nullopt;
  const fs::path target = PathFromUtf8(outputPath);
  std::error_code code;
  // The same file on the same device, whatever links or "./" lead to it.
  bool holdsSettings = !settingsFile.empty() && fs::equivalent(target, settingsFile, code);
  // Only regular files are read: opening a pipe to look would wait for a writer.
  if (!holdsSettings && fs::is_regular_file(target, code)) {
    RunSettings found;
    holdsSettings = !LoadSettingsFile(target, found);
  }
  if (!holdsSettings) return std::nullopt;
  return "The output file " + outputPath + " holds run settings, not a report; choose another output file.";
}
