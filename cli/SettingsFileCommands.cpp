#include "cli/SettingsFileCommands.h"

#include "platform/Interrupts.h"

#include "cli/RunOptions.h"
#include "platform/Windows1252.h"
#include "settings/SettingsFile.h"

const char* const ShowUsage = "FILE.dat";
const char* const SetUsage = "FILE.dat NAME=VALUE [NAME=VALUE]...";

namespace {

// The reader's own errors name no file; the second line says which and why.
void PrintLoadError(const FileError& error, const std::string& path, CliStreams& io) {
  io.err << "varnolt-cli: " << FileErrorText(error) << "\n";
  if (error.cause == FileErrorCause::EndOfFile || error.cause == FileErrorCause::BadLength) {
    io.err << path << " is not a whole settings file: it ends too early or is damaged.\n";
  }
}

std::string ValueText(const RunSettings& settings, const FieldInfo& field) {
  if (field.kind == FieldKind::Text) return settings.*(field.text);
  return std::to_string(settings.*(field.integer));
}

}  // namespace

std::optional<RunSettings> LoadSettingsForCommand(const std::string& path, CliStreams& io) {
  RunSettings settings;
  if (const std::optional<FileError> error = LoadSettingsFile(PathFromUtf8(path), settings)) {
    PrintLoadError(*error, path, io);
    return std::nullopt;
  }
  return settings;
}

int ShowCommand(const std::vector<std::string>& args, CliStreams& io) {
  if (args.size() != 1 || args[0].empty() || (args[0][0] == '-' && args[0] != "-")) {
    return UsageError(io, "show takes one settings file, e.g. varnolt-cli show trial4.dat");
  }
  const std::optional<RunSettings> settings = LoadSettingsForCommand(args[0], io);
  if (!settings) return ExitFailure;
  for (const FieldInfo& field : RunSettingsFields()) {
    io.out << field.name << '=' << ValueText(*settings, field) << '\n';
  }
  io.out.flush();
  return io.out ? ExitSuccess : ExitFailure;
}

int SetCommand(const std::vector<std::string>& args, CliStreams& io) {
  if (args.size() < 2) {
    return UsageError(io, "set takes a settings file and at least one NAME=VALUE, e.g. "
                          "varnolt-cli set trial4.dat palmCount=50");
  }
  const std::string& path = args[0];
  RunSettings settings = NewDefaults();
  bool created = false;
  if (const std::optional<FileError> error = LoadSettingsFile(PathFromUtf8(path), settings)) {
    if (error->cause != FileErrorCause::NotFound) {
      PrintLoadError(*error, path, io);
      io.err << "Nothing was changed.\n";
      return ExitFailure;
    }
    created = true;
  }
  // Every assignment is checked before anything is written.
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (std::optional<std::string> problem = ApplyAssignment(settings, args[i])) {
      return UsageError(io, *problem + "\nNothing was changed.");
    }
  }
  if (const int signal = InterruptionSignal()) {
    io.err << "Interrupted; nothing was written.\n";
    return InterruptedExitStatus(signal);
  }
  if (const std::optional<FileError> error = SaveSettingsFile(PathFromUtf8(path), settings)) {
    io.err << "varnolt-cli: " << FileErrorText(*error) << "\n"
           << (created ? "No file was created.\n" : "The file was left as it was.\n");
    return ExitFailure;
  }
  io.out << (created ? "Created " : "Saved ") << path
         << (created ? " from the New defaults with " : " with ") << (args.size() - 1)
         << (args.size() == 2 ? " change.\n" : " changes.\n");
  if (const std::size_t lost = Windows1252Losses(settings.runNotes); lost != 0) {
    io.err << "varnolt-cli: warning: the notes hold " << lost
           << (lost == 1 ? " character" : " characters")
           << " that settings files cannot store; saved as ? in " << path << ".\n";
  }
  return ExitSuccess;
}
