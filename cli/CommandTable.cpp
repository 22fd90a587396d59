#include "cli/CommandLine.h"

namespace varnolt {

// NAME's maker, MakeNAMECommand, is defined in its own file, cli/NAMECommand.cpp.
#define VARNOLT_COMMAND(NAME)                                     \
  [](CLI::App& parent) {                                          \
    std::unique_ptr<Command> Make##NAME##Command(CLI::App& parent); \
    return Make##NAME##Command(parent);                           \
  }

// One line per command; the help lists them in this order.
const std::vector<CommandMaker>& CommandMakers() {
  static const std::vector<CommandMaker> table = {
      VARNOLT_COMMAND(Run),
      VARNOLT_COMMAND(Show),
      VARNOLT_COMMAND(Set),
      VARNOLT_COMMAND(Plot),
      VARNOLT_COMMAND(Analyse),
      VARNOLT_COMMAND(Sweep),
      VARNOLT_COMMAND(Batch),
      VARNOLT_COMMAND(Sensitivity),
      VARNOLT_COMMAND(Calibrate),
      VARNOLT_COMMAND(Merge),
      VARNOLT_COMMAND(Help),
  };
  return table;
}

}  // namespace varnolt
