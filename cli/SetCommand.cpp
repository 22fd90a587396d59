// `set FILE.dat NAME=VALUE...`: changes fields and saves the file, replacing it
// whole; a file that does not exist yet starts from the New defaults.
#include <CLI/CLI.hpp>

#include "cli/Help.h"
#include "cli/Messages.h"
#include "cli/RunOptions.h"
#include "cli/SettingsFiles.h"
#include "cli/SharedOptions.h"
#include "platform/Interrupts.h"
#include "platform/Windows1252.h"
#include "settings/SettingsFile.h"

namespace varnolt {

namespace {

class SetCommand final : public Command {
 public:
  explicit SetCommand(CLI::App& parent) {
    CLI::App* command = AddCommand(
        parent, "set",
        "Changes settings in a settings file and saves it; a new file starts from the New defaults.",
        "FILE.dat NAME=VALUE...", SettingsNotes());
    command->add_option("FILE.dat", file_, "the settings file to change, or to create")->type_name("");
    AddArguments(*command, "NAME=VALUE", assignments_,
                 "a setting to change; all are checked before the file is written");
  }

  int Run(CliStreams& io) override {
    if (file_.empty() || assignments_.empty()) {
      return UsageError(io, "set takes a settings file and at least one NAME=VALUE, e.g. "
                            "varnolt-cli set trial4.dat palmCount=50");
    }
    const std::string& path = file_;
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
    for (const std::string& assignment : assignments_) {
      if (std::optional<std::string> problem = ApplyAssignment(settings, assignment)) {
        PrintProblem(io, *problem);
        io.err << "Nothing was changed.\n";
        return ExitUsage;
      }
    }
    if (const int signal = InterruptionSignal()) {
      io.err << "Interrupted; nothing was written.\n";
      return InterruptedExitStatus(signal);
    }
    if (const std::optional<FileError> error = SaveSettingsFile(PathFromUtf8(path), settings)) {
      PrintProblem(io, "cannot save " + path + ": " + CauseText(*error, path));
      io.err << (created ? "No file was created.\n" : "The file was left as it was.\n");
      return ExitFailure;
    }
    io.out << (created ? "Created " : "Saved ") << path << (created ? " from the New defaults with " : " with ")
           << assignments_.size() << (assignments_.size() == 1 ? " change.\n" : " changes.\n");
    if (const std::size_t lost = Windows1252Losses(settings.runNotes); lost != 0) {
      io.err << "varnolt-cli: warning: the notes hold " << lost << (lost == 1 ? " character" : " characters")
             << " that settings files cannot store; saved as ? in " << path << "\n";
    }
    return ExitSuccess;
  }

 private:
  std::string file_;
  std::vector<std::string> assignments_;
};

}  // namespace

std::unique_ptr<Command> MakeSetCommand(CLI::App& parent) { return std::make_unique<SetCommand>(parent); }

}  // namespace varnolt
