#include "cli/CommandLine.h"
#include "cli/ExperimentCommands.h"
#include "cli/ResultsOutputs.h"
#include "cli/RunCommand.h"
#include "cli/SettingsFileCommands.h"

// One line per command; `help` lists them in this order.
const std::vector<Command>& Commands() {
  static const std::vector<Command> table = {
      {"run", RunUsage,
       "Runs the model from FILE.dat or the start-up settings, changed by each --set, and writes the report.",
       RunCommand},
      {"show", ShowUsage, "Prints the 27 settings of a settings file, one NAME=VALUE per line.", ShowCommand},
      {"set", SetUsage,
       "Changes settings in a settings file and saves it; a new file starts from the New defaults.", SetCommand},
      {"plot", PlotUsage, "Draws the cycles of a report or CSV into a PNG or SVG picture, without running.",
       PlotCommand},
      {"analyse", AnalyseUsage, "Prints the cycle period and mean percentages of a report or CSV.", AnalyseCommand},
      {"sweep", SweepUsage,
       "Runs the full factorial of the varied settings and writes one CSV row per point and replicate.",
       SweepCommand},
      {"batch", BatchUsage,
       "Runs a design made elsewhere, one CSV row per run with settings as columns, and appends the results.",
       BatchCommand},
      {"sensitivity", SensitivityUsage,
       "Ranks settings by their effect on the means and the period: Morris screening or Sobol indices.",
       SensitivityCommand},
      {"merge", MergeUsage, "Joins the parts of a run split with --shard into the table one machine writes.",
       MergeCommand},
      {"help", "", "Shows this help.", HelpCommand},
  };
  return table;
}
