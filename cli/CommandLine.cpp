#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <filesystem>
#include <iterator>

#include "cli/Help.h"
#include "cli/Messages.h"
#include "platform/FileError.h"
#include "platform/Version.h"

namespace varnolt {

namespace {

// The command the line named, if any.
CLI::App* ChosenCommand(CLI::App& runner) {
  const std::vector<CLI::App*> chosen = runner.get_subcommands();
  return chosen.empty() ? nullptr : chosen.front();
}

// CLI11's own words for what it refuses, in the runner's: a missing value, or
// a value given to a switch; the options' own checks throw the runner's texts
// as they stand.
std::string ParseProblem(const CLI::ParseError& error) {
  const std::string text = error.what();
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
    const std::size_t colon = text.find(':');
    const std::string name = text.substr(0, colon);
    if (name.rfind('-', 0) == 0) return name + " needs a value";
  }
  if (dynamic_cast<const CLI::ConversionError*>(&error) != nullptr) {
    // Only a switch converts what it is given: "Could not convert: --quiet = abc".
    const std::size_t name = text.find("--");
    const std::size_t equals = text.find(" = ");
    if (name != std::string::npos && equals != std::string::npos && equals > name) {
      return text.substr(name, equals - name) + " takes no value, not \"" + text.substr(equals + 3) + "\"";
    }
  }
  if (text.empty()) return "the command line cannot be read";
  std::string problem = text;
  if (problem.front() >= 'A' && problem.front() <= 'Z') problem.front() = static_cast<char>(problem.front() - 'A' + 'a');
  while (!problem.empty() && problem.back() == '.') problem.pop_back();
  return problem;
}

}  // namespace

void PrintProblem(CliStreams& io, const std::string& text) { io.err << "varnolt-cli: " << text << "\n"; }

int UsageError(CliStreams& io, const std::string& message) {
  PrintProblem(io, message);
  io.err << "Try 'varnolt-cli --help' for the usage.\n";
  return ExitUsage;
}

namespace {
std::string commandLineText = "varnolt-cli";
}  // namespace

const std::string& CommandLineText() { return commandLineText; }

int RunCommandLine(const std::vector<std::string>& args, CliStreams io) {
  commandLineText = "varnolt-cli";
  for (const std::string& arg : args) {
    const bool plain = !arg.empty() && arg.find_first_not_of(
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+=:,./@%") == std::string::npos;
    std::string quoted = "'";
    for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    commandLineText += " " + (plain ? arg : quoted + "'");
  }
  if (args.empty()) {
    PrintShortUsage(io.err);
    return ExitUsage;
  }
  CLI::App runner("varnolt-cli", "varnolt-cli");
  runner.allow_windows_style_options(false);
  runner.set_help_flag("-h,--help", "show this help");
  runner.allow_extras();
  // One command per line: a later word that names a command (a file called
  // "run", or the topic of help) is then an argument of the first.
  runner.require_subcommand(0, 1);
  // An option given twice takes its last value, as scripts that add to a line expect.
  runner.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  bool version = false;
  runner.add_flag("--version", version, "print the version");

  // Each command with the part of the parser it added.
  std::vector<std::pair<CLI::App*, std::unique_ptr<Command>>> commands;
  for (CommandMaker make : CommandMakers()) {
    std::unique_ptr<Command> made = make(runner);
    commands.emplace_back(runner.get_subcommands([](CLI::App*) { return true; }).back(), std::move(made));
  }

  // The words after "--" are arguments whatever they look like. CLI11 2.1
  // hands them back to the runner once a command's required arguments are
  // filled, where "-h" would read as --help; so they are kept apart here and
  // given to the command's arguments once the line is read.
  const auto dashes = std::find(args.begin(), args.end(), "--");
  const std::vector<std::string> afterDashes(dashes == args.end() ? dashes : dashes + 1, args.end());
  // CLI11 reads the line back to front; it wants the arguments reversed.
  std::vector<std::string> reversed(std::make_reverse_iterator(dashes), args.rend());
  try {
    runner.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    if (const CLI::App* command = ChosenCommand(runner)) {
      PrintCommandHelp(*command, io.out);
    } else {
      PrintOverview(runner, io.out);
    }
    return ExitSuccess;
  } catch (const CLI::ParseError& error) {
    return UsageError(io, ParseProblem(error));
  }

  CLI::App* command = ChosenCommand(runner);
  if (version) {
    if (command != nullptr || !runner.remaining().empty()) return UsageError(io, "--version takes no arguments");
    io.out << VersionText() << "\n";
    return ExitSuccess;
  }
  if (command == nullptr) {
    const std::vector<std::string> rest = runner.remaining();
    if (rest.empty() && !afterDashes.empty()) return UsageError(io, "no command given before --");
    if (rest.empty()) return UsageError(io, "no command given");
    if (rest.front().rfind('-', 0) == 0) return UsageError(io, "unknown option \"" + rest.front() + "\"");
    return UsageError(io, "unknown command \"" + rest.front() + "\"");
  }
  for (const std::string& arg : command->remaining()) {
    if (arg == "--") continue;
    PrintProblem(io, "unknown option \"" + arg + "\" for " + command->get_name());
    io.err << "Try 'varnolt-cli help " << command->get_name() << "' for its options.\n";
    return ExitUsage;
  }
  for (const std::string& word : afterDashes) {
    CLI::Option* slot = nullptr;
    for (CLI::Option* option : command->get_options([](CLI::Option* o) { return o->get_positional(); })) {
      if (static_cast<int>(option->count()) < option->get_items_expected_max()) {
        slot = option;
        break;
      }
    }
    if (slot == nullptr) {
      return UsageError(io, command->get_name() + " takes no more arguments, not also \"" + word + "\"");
    }
    slot->add_result(word);
    slot->run_callback();
  }
  for (auto& [part, made] : commands) {
    if (part == command) return made->Run(io);
  }
  return UsageError(io, "unknown command \"" + command->get_name() + "\"");
}

std::optional<std::string> ReadWholeFile(const std::string& path, CliStreams& io) {
  InputFile file;
  std::optional<FileError> error = file.Open(PathFromUtf8(path));
  std::string bytes;
  if (!error && file.SizeKnown()) {
    bytes.resize(static_cast<std::size_t>(file.Remaining()));
    error = file.Read(bytes.data(), bytes.size());
  } else if (!error) {
    // A pipe, FIFO or device sends what it has, read until its end, and no more
    // than a file this program reads whole could sensibly be.
    std::size_t got = 0;
    do {
      const std::size_t held = bytes.size();
      bytes.resize(held + (std::size_t{1} << 16));
      error = file.ReadSome(bytes.data() + held, std::size_t{1} << 16, got);
      bytes.resize(held + got);
    } while (!error && got > 0);
    if (!error && file.Remaining() == 0 && file.CountRest() > 0) {
      PrintProblem(io, "cannot read " + path + ": it sends more than " +
                           std::to_string(LargestUnsizedRead >> 20) +
                           " MiB, the most read whole from a pipe or device; save it to a file and give that");
      return std::nullopt;
    }
  }
  if (error) {
    PrintProblem(io, "cannot read " + path + ": " + CauseText(*error, path));
    return std::nullopt;
  }
  return bytes;
}

std::unique_ptr<std::istream> OpenForReading(const std::string& path, CliStreams& io) {
  std::error_code code;
  std::error_code cause;
  if (std::filesystem::is_directory(PathFromUtf8(path), code)) {
    cause = std::make_error_code(std::errc::permission_denied);  // a folder is refused as Windows refuses it
  } else {
    errno = 0;
    auto in = std::make_unique<std::ifstream>(PathFromUtf8(path), std::ios::binary);
    if (*in) return in;
    cause = std::error_code(errno != 0 ? errno : ENOENT, std::generic_category());
  }
  PrintProblem(io, "cannot read " + path + ": " + CauseText(MakeFileError(cause, PathFromUtf8(path)), path));
  return nullptr;
}

std::optional<std::string> SafelyReplaceFile(const std::string& path, const ContentWriter& writer) {
  if (path.empty()) return "no file name was given";
  std::error_code ignored;
  if (std::filesystem::is_directory(PathFromUtf8(path), ignored)) return "it is a folder";
  if (std::optional<ReplaceFailure> failed = ReplaceFileWith(PathFromUtf8(path), writer)) {
    if (failed->folderRefused) return CauseText(FileError{FileErrorCause::FolderAccessDenied, {}}, path);
    return CauseText(failed->code);
  }
  return std::nullopt;
}

}  // namespace varnolt
