#include "cli/SettingsFiles.h"

#include "cli/Messages.h"
#include "settings/SettingsFile.h"

void PrintLoadError(const FileError& error, const std::string& path, CliStreams& io) {
  PrintProblem(io, "cannot read settings from " + path + ": " + CauseText(error, path));
}

std::optional<RunSettings> LoadSettingsForCommand(const std::string& path, CliStreams& io) {
  RunSettings settings;
  if (const std::optional<FileError> error = LoadSettingsFile(PathFromUtf8(path), settings)) {
    PrintLoadError(*error, path, io);
    return std::nullopt;
  }
  return settings;
}
