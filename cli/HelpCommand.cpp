// `help [COMMAND]`: the runner's help, or one command's with every option.
#include <CLI/CLI.hpp>

#include "cli/Help.h"
#include "cli/SharedOptions.h"

namespace varnolt {

namespace {

class HelpCommand final : public Command {
 public:
  explicit HelpCommand(CLI::App& parent) : runner_(parent) {
    CLI::App* command = AddCommand(parent, "help", "Shows this help, or a command's help with every option.",
                                   "[COMMAND]");
    AddArguments(*command, "COMMAND", topics_, "the command whose arguments and options to show");
  }

  int Run(CliStreams& io) override {
    if (topics_.empty()) {
      PrintOverview(runner_, io.out);
      return ExitSuccess;
    }
    if (topics_.size() > 1) return UsageError(io, "help takes one command, not also \"" + topics_[1] + "\"");
    for (const CLI::App* command : runner_.get_subcommands([](const CLI::App*) { return true; })) {
      if (command->get_name() == topics_[0]) {
        PrintCommandHelp(*command, io.out);
        return ExitSuccess;
      }
    }
    return UsageError(io, "unknown command \"" + topics_[0] + "\"");
  }

 private:
  CLI::App& runner_;
  std::vector<std::string> topics_;
};

}  // namespace

std::unique_ptr<Command> MakeHelpCommand(CLI::App& parent) { return std::make_unique<HelpCommand>(parent); }

}  // namespace varnolt
