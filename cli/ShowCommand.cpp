// `show FILE.dat`: the 27 values one per line as NAME=VALUE, in the record's
// order, texts as they stand in UTF-8.
#include <CLI/CLI.hpp>

#include "cli/Help.h"
#include "cli/SettingsFiles.h"
#include "cli/SharedOptions.h"

namespace varnolt {

namespace {

std::string ValueText(const RunSettings& settings, const FieldInfo& field) {
  if (field.kind == FieldKind::Text) return settings.*(field.text);
  return std::to_string(settings.*(field.integer));
}

class ShowCommand final : public Command {
 public:
  explicit ShowCommand(CLI::App& parent) {
    CLI::App* command = AddCommand(parent, "show",
                                   "Prints the 27 settings of a settings file, one NAME=VALUE per line.", "FILE.dat");
    AddArguments(*command, "FILE.dat", files_, "the settings file to show");
  }

  int Run(CliStreams& io) override {
    if (files_.size() != 1) return UsageError(io, "show takes one settings file, e.g. varnolt-cli show trial4.dat");
    const std::optional<RunSettings> settings = LoadSettingsForCommand(files_[0], io);
    if (!settings) return ExitFailure;
    for (const FieldInfo& field : RunSettingsFields()) {
      io.out << field.name << '=' << ValueText(*settings, field) << '\n';
    }
    io.out.flush();
    return io.out ? ExitSuccess : ExitFailure;
  }

 private:
  std::vector<std::string> files_;
};

}  // namespace

std::unique_ptr<Command> MakeShowCommand(CLI::App& parent) { return std::make_unique<ShowCommand>(parent); }

}  // namespace varnolt
