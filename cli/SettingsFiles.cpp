#include "cli/SettingsFiles.h"

#include "settings/SettingsFile.h"

void PrintLoadError(const FileError& error, const std::string& path, CliStreams& io) {
  // The reader's own errors name no file; the second line says which and why.
  io.err << "varnolt-cli: " << FileErrorText(error) << "\n";
  if (error.cause == FileErrorCause::EndOfFile || error.cause == FileErrorCause::BadLength) {
    io.err << path << " is not a whole settings file: it ends too early or is damaged.\n";
  }
}

std::optional<RunSettings> LoadSettingsForCommand(const std::string& path, CliStreams& io) {
  RunSettings settings;
  if (const std::optional<FileError> error = LoadSettingsFile(PathFromUtf8(path), settings)) {
    PrintLoadError(*error, path, io);
    return std::nullopt;
  }
  return settings;
}
