#pragma once
// The commands over settings files: `show` prints one, `set` changes one, and
// `run FILE.dat` runs one (RunCommand.cpp hands the file to these helpers).

#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "settings/RunSettings.h"

extern const char* const ShowUsage;
extern const char* const SetUsage;

// `show FILE.dat`: the 27 values one per line as NAME=VALUE, in the record's
// order, texts as they stand in UTF-8.
int ShowCommand(const std::vector<std::string>& args, CliStreams& io);

// `set FILE.dat NAME=VALUE [NAME=VALUE]...`: changes fields and saves the file,
// replacing it whole; a file that does not exist yet starts from the New defaults.
int SetCommand(const std::vector<std::string>& args, CliStreams& io);

// Loads a settings file for a command. On failure prints why (the file error's
// own text) and answers nothing; the caller then exits with ExitFailure.
std::optional<RunSettings> LoadSettingsForCommand(const std::string& path, CliStreams& io);
