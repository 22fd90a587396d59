#include "cli/SettingsFiles.h"

#include "cli/Messages.h"
#include "cli/OutputPaths.h"
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

}  // namespace varnolt
