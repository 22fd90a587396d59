#include "cli/CommandLine.h"

#include <filesystem>

#include "cli/ExperimentCommands.h"
#include "cli/RunOptions.h"
#include "platform/FileError.h"
#include "platform/FileIO.h"
#include "platform/Version.h"

namespace {

const Command* FindCommand(const std::string& name) {
  for (const Command& command : Commands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

// Breaks a list into lines of at most width characters after the indent.
std::string Wrapped(const std::string& text, const std::string& indent, std::size_t width) {
  std::string result, line = indent;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (line.size() > indent.size() && line.size() + 1 + word.size() > width) {
      result += line + "\n";
      line = indent;
    }
    line += (line.size() > indent.size() ? " " : "") + word;
    start = end + 1;
  }
  return result + line + "\n";
}

bool IsHelpFlag(const std::string& arg) { return arg == "--help" || arg == "-h"; }

}  // namespace

void PrintCommandUsage(const Command& command, std::ostream& out) {
  out << "  varnolt-cli " << command.name;
  if (*command.usage != '\0') out << ' ' << command.usage;
  out << "\n      " << command.summary << "\n";
}

void PrintHelp(std::ostream& out) {
  out << "varnolt-cli runs the VARNOLT flowering model of oil palms without a window\n"
         "and writes the same report as the desktop program.\n\n"
         "Usage:\n";
  for (const Command& command : Commands()) PrintCommandUsage(command, out);
  out << "  varnolt-cli --version\n"
         "      Prints the version, for bug reports.\n"
         "  varnolt-cli --help, varnolt-cli COMMAND --help\n"
         "      Shows this help, or the usage of one command.\n"
         "\nOptions of run:\n"
         "  --set NAME=VALUE  change one setting; may be given many times\n"
         "  --seed N          seed the random generator with N (0 to 4294967295);\n"
         "                    without it the seed is the current time in seconds\n"
         "  --threads N       run on N threads (1 to 256); without it, one per processor\n"
         "  --quiet           no progress line on a terminal during a long run\n"
         "  --output PATH     write the report to PATH instead of outputPath\n"
         "  --output -        write the report to standard output\n"
         "  --csv PATH|-      also write the table as CSV (cycle,female,herm,male,aborted,total),\n"
         "                    with a JSON record of the run beside it (PATH with .json)\n"
         "  --json PATH       write the JSON record of the run to PATH\n"
         "  --plot PATH       draw the cycles into PATH.png or PATH.svg\n"
         "  --plot-size WxH   the picture's size in pixels (1600x900 unless given)\n"
         "  --replicates N    run N times, seeds S to S+N-1 from --seed S; the CSV gets\n"
         "                    per cycle the mean, sd and 95 % confidence half-width\n"
      << ExperimentOptionsHelp << "\nSettings (NAME):\n"
      << Wrapped(SettingNames() + ".", "  ", 78)
      << "Numbers are whole numbers; the switches leafPruning, trendCycles, irrigation\n"
         "and flowerPruning take 0 (off) or 1 (on); frond positions count from the\n"
         "spear leaf, negative before it.\n"
         "\nExit status: 0 done; 1 the run or a file failed; 2 bad usage, or settings\n"
         "that fail a rule; 128 + the signal when stopped by one (130 for Ctrl+C).\n"
         "\nExamples:\n"
         "  varnolt-cli run\n"
         "  varnolt-cli run --set cycleCount=770 --set palmCount=1000 --output large.dat\n"
         "  varnolt-cli run --seed 1 --set palmCount=1 --output -\n"
         "  varnolt-cli set trial4.dat palmCount=50 \"runNotes=Trial 4\"\n"
         "  varnolt-cli show trial4.dat\n"
         "  varnolt-cli run trial4.dat --seed 7\n";
}

int UsageError(CliStreams& io, const std::string& message) {
  io.err << "varnolt-cli: " << message << "\nTry 'varnolt-cli help' for the usage.\n";
  return ExitUsage;
}

int HelpCommand(const std::vector<std::string>& args, CliStreams& io) {
  if (!args.empty()) return UsageError(io, "help takes no arguments");
  PrintHelp(io.out);
  return ExitSuccess;
}

int RunCommandLine(const std::vector<std::string>& args, CliStreams io) {
  if (args.empty()) {
    io.err << "varnolt-cli: no command given.\n\n";
    PrintHelp(io.err);
    return ExitUsage;
  }
  if (IsHelpFlag(args[0])) return HelpCommand({}, io);
  if (args[0] == "--version") {
    if (args.size() > 1) return UsageError(io, "--version takes no arguments");
    io.out << VersionText() << "\n";
    return ExitSuccess;
  }
  const Command* command = FindCommand(args[0]);
  if (command == nullptr) return UsageError(io, "unknown command \"" + args[0] + "\"");
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (rest.size() == 1 && IsHelpFlag(rest[0])) {
    io.out << "Usage:\n";
    PrintCommandUsage(*command, io.out);
    return ExitSuccess;
  }
  return command->handler(rest, io);
}

std::optional<std::string> ReadWholeFile(const std::string& path, CliStreams& io) {
  InputFile file;
  std::optional<FileError> error = file.Open(PathFromUtf8(path));
  std::string bytes;
  if (!error) {
    bytes.resize(static_cast<std::size_t>(file.Remaining()));
    error = file.Read(bytes.data(), bytes.size());
  }
  if (error) {
    io.err << "varnolt-cli: " << FileErrorText(*error) << "\n";
    return std::nullopt;
  }
  return bytes;
}

std::optional<std::string> SafelyReplaceFile(const std::string& path, const ContentWriter& writer) {
  if (path.empty()) return "no file name was given";
  std::error_code ignored;
  if (std::filesystem::is_directory(PathFromUtf8(path), ignored)) return "it is a folder";
  if (std::optional<ReplaceFailure> failed = ReplaceFileWith(PathFromUtf8(path), writer)) {
    return failed->code.message();
  }
  return std::nullopt;
}
