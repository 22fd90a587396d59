#pragma once
// Which files a run's report may replace. Outside Windows, a Windows path (from a
// settings file written there) names no file here and is refused. A report never
// takes the place of run settings: neither of the settings file being run, however its path is spelled,
// nor of any other file that reads whole as settings. Reports, empty files and
// everything else are replaced as usual. Plain C++.

#include <filesystem>
#include <optional>
#include <string>

#include "platform/Problem.h"

namespace varnolt {

// Why the report of a run may not be written to `outputPath` (UTF-8, relative to
// the current folder) when its settings came from `settingsFile` (empty when
// they came from no file): WindowsPath (setting "outputPath") or ReportHoldsSettings;
// nothing when it may.
std::optional<Problem> ReportTargetProblem(const std::string& outputPath,
                                               const std::filesystem::path& settingsFile);

}  // namespace varnolt
