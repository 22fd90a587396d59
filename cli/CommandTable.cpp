#include "cli/CommandLine.h"
#include "cli/RunCommand.h"

// One line per command; `help` lists them in this order.
const std::vector<Command>& Commands() {
  static const std::vector<Command> table = {
      {"run", RunUsage,
       "Runs the model from the start-up settings, changed by each --set, and writes the report.", RunCommand},
      {"help", "", "Shows this help.", HelpCommand},
  };
  return table;
}
