#pragma once
// varnolt-cli: the model, rules and report without a window, for batch runs,
// scripts and reproducible runs. The command line is read by CLI11: each
// command declares its arguments and options in a file of its own
// (NameCommand.cpp), the options several commands share are declared once
// (SharedOptions.h), and CommandTable.cpp lists the commands, one line each.

#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/FileIO.h"

namespace CLI {
class App;
}

namespace varnolt {

enum ExitStatus : int {
  ExitSuccess = 0,
  ExitFailure = 1,  // the run, or reading or writing a file, failed
  ExitUsage = 2,    // bad usage, or settings that fail a rule
};

struct CliStreams {
  std::ostream& out;
  std::ostream& err;
};

// One command of the runner. Its maker adds the command's part of the command
// line to the parser, bound to the command's own fields; once the whole line is
// read, Run does the work.
class Command {
 public:
  virtual ~Command() = default;
  virtual int Run(CliStreams& io) = 0;
};

// Adds a command to `parent` (with add_subcommand) and answers it.
using CommandMaker = std::unique_ptr<Command> (*)(CLI::App& parent);

// The commands in the order the help lists them (CommandTable.cpp).
const std::vector<CommandMaker>& CommandMakers();

// The whole command line without the program's name; returns the exit status.
int RunCommandLine(const std::vector<std::string>& args, CliStreams io);

// The command line this runner was given, as one text (for the records it
// writes beside its tables): "varnolt-cli" and the arguments, each quoted where
// a shell would need it.
const std::string& CommandLineText();

// Every message of the runner: "varnolt-cli: " and the text, on one line.
void PrintProblem(CliStreams& io, const std::string& text);

// Reports a usage error with a pointer to the help; returns ExitUsage.
int UsageError(CliStreams& io, const std::string& message);

// Reads a file whole for a command; prints why on failure.
std::optional<std::string> ReadWholeFile(const std::string& path, CliStreams& io);

// Opens a file to read it through in pieces (a table larger than memory, a
// pipe read as it sends); prints why and answers nothing on failure.
std::unique_ptr<std::istream> OpenForReading(const std::string& path, CliStreams& io);

// Writes a file through the safe replacement, which leaves any earlier file
// whole on failure; answers the reason on failure.
std::optional<std::string> SafelyReplaceFile(const std::string& path, const ContentWriter& writer);

}  // namespace varnolt
