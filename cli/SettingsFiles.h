#pragma once
// Settings files as the commands read them: `run FILE.dat`, `show`, `set`, and
// the experiments' base settings.

#include <optional>
#include <string>

#include "cli/CommandLine.h"
#include "platform/FileError.h"
#include "settings/RunSettings.h"

namespace varnolt {

// Loads a settings file for a command. On failure prints why (the file error's
// own text) and answers nothing; the caller then exits with ExitFailure.
std::optional<RunSettings> LoadSettingsForCommand(const std::string& path, CliStreams& io);

// Prints why a settings file could not be read.
void PrintLoadError(const FileError& error, const std::string& path, CliStreams& io);

}  // namespace varnolt
