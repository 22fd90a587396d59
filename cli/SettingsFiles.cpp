#include "cli/SettingsFiles.h"

#include "cli/Messages.h"
#include "cli/OutputPaths.h"
#include "settings/SettingAssignments.h"
#include "settings/SettingsFile.h"

namespace varnolt {

void PrintLoadError(const FileError& error, const std::string& path, CliStreams& io) {
  PrintProblem(io, "cannot read settings from " + path + ": " + CauseText(error, path));
}

std::optional<RunSettings> LoadSettingsForCommand(const std::string& path, CliStreams& io) {
  RunSettings settings;
  if (FileStartsAsTable(path)) {
    PrintProblem(io, path + " is a table written by varnolt-cli, not a settings file; name a settings file (.dat)");
    return std::nullopt;
  }
  if (const std::optional<FileError> error = LoadSettingsFile(PathFromUtf8(path), settings)) {
    PrintLoadError(*error, path, io);
    return std::nullopt;
  }
  return settings;
}

std::optional<RunSettings> BaseSettings(const std::optional<std::string>& file,
                                        const std::vector<std::string>& assignments, CliStreams& io, int& status) {
  RunSettings settings = StartupDefaults();
  if (file) {
    std::optional<RunSettings> read = LoadSettingsForCommand(*file, io);
    if (!read) {
      io.err << "Nothing was run.\n";
      status = ExitFailure;
      return std::nullopt;
    }
    settings = *read;
  }
  for (const std::string& assignment : assignments) {
    if (std::optional<std::string> problem = ApplyAssignment(settings, assignment)) {
      status = UsageError(io, *problem);
      return std::nullopt;
    }
  }
  return settings;
}

}  // namespace varnolt
