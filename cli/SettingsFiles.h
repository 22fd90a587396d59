#pragma once
// Settings files as the commands read them: `run FILE.dat`, `show`, `set`, and
// the experiments' base settings.

#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "platform/FileError.h"
#include "settings/RunSettings.h"

namespace varnolt {

// Loads a settings file for a command. On failure prints why (the file error's
// own text) and answers nothing; the caller then exits with ExitFailure.
std::optional<RunSettings> LoadSettingsForCommand(const std::string& path, CliStreams& io);

// Prints why a settings file could not be read.
void PrintLoadError(const FileError& error, const std::string& path, CliStreams& io);

// The settings file (or the start-up defaults) with every --set applied; on a
// problem prints it, sets status and answers nothing.
std::optional<RunSettings> BaseSettings(const std::optional<std::string>& file,
                                        const std::vector<std::string>& assignments, CliStreams& io, int& status);

}  // namespace varnolt
