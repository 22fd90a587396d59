#pragma once
// varnolt-cli: the model, rules and report without a window, for batch runs,
// scripts and reproducible runs. Each command is one entry of the command table
// (CommandTable.cpp) with its own handler in its own file; adding a command is
// a new file and one line in the table.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/FileIO.h"

enum ExitStatus : int {
  ExitSuccess = 0,
  ExitFailure = 1,  // the run, or reading or writing a file, failed
  ExitUsage = 2,    // bad usage, or settings that fail a rule
};

struct CliStreams {
  std::ostream& out;
  std::ostream& err;
};

// A command's arguments are those after its name.
using CommandHandler = int (*)(const std::vector<std::string>& args, CliStreams& io);

struct Command {
  const char* name;
  const char* usage;    // the arguments, after "varnolt-cli NAME"
  const char* summary;  // what it does, in a line or two
  CommandHandler handler;
};

const std::vector<Command>& Commands();

// The whole command line without the program's name; returns the exit status.
int RunCommandLine(const std::vector<std::string>& args, CliStreams io);

// Help, for `help`, `--help` and after a usage error.
void PrintHelp(std::ostream& out);
void PrintCommandUsage(const Command& command, std::ostream& out);

// Reports a usage error with a pointer to the help; returns ExitUsage.
int UsageError(CliStreams& io, const std::string& message);

// Reads a file whole for a command; prints why on failure.
std::optional<std::string> ReadWholeFile(const std::string& path, CliStreams& io);

// Writes a file through the safe replacement, which leaves any earlier file
// whole on failure; answers the reason on failure.
std::optional<std::string> SafelyReplaceFile(const std::string& path, const ContentWriter& writer);

int HelpCommand(const std::vector<std::string>& args, CliStreams& io);
