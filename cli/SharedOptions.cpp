#include "cli/SharedOptions.h"

#include "cli/OutputPaths.h"
#include "model/FastEngine.h"

namespace varnolt {

CLI::Option* AddTextOption(CLI::App& command, const std::string& name, std::optional<std::string>& into,
                           const std::string& type, const std::string& description) {
  return command
      .add_option_function<std::string>(
          name, [&into](const std::string& text) { into = text; }, description)
      ->type_name(type);
}

CLI::Option* AddListOption(CLI::App& command, const std::string& name, std::vector<std::string>& into,
                           const std::string& type, const std::string& description) {
  // One value per occurrence: a file name after it stays an argument.
  return command.add_option(name, into, description)
      ->type_name(type)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

CLI::Option* AddArguments(CLI::App& command, const std::string& name, std::vector<std::string>& into,
                          const std::string& description) {
  return command.add_option(name, into, description)->type_name("");
}

void AddSetOption(CLI::App& command, std::vector<std::string>& assignments, const std::string& description) {
  AddListOption(command, "--set", assignments, "NAME=VALUE", description)->group(SettingsGroup);
}

void AddSeedOption(CLI::App& command, std::optional<std::uint32_t>& seed, const std::string& description) {
  command
      .add_option_function<std::string>(
          "--seed",
          [&seed](const std::string& text) {
            seed = ReadWholeNumber<std::uint32_t>(text);
            if (!seed) throw CLI::ValidationError("--seed " + text + ": the seed must be a whole number from 0 to 4294967295");
          },
          description)
      ->type_name("N")
      ->group(RunningGroup);
}

int MaxWorkerThreads() { return FastEngineDefaultThreads(); }

void AddThreadsOption(CLI::App& command, std::optional<int>& threads) {
  command
      .add_option_function<std::string>(
          "--threads",
          [&threads](const std::string& text) {
            const int most = MaxWorkerThreads();
            const std::optional<int> value = ReadWholeNumber<int>(text);
            if (!value || *value < 1) {
              throw CLI::ValidationError("--threads " + text +
                                         ": the number of worker threads must be a whole number from 1 to " +
                                         std::to_string(most));
            }
            if (*value > most) {
              throw CLI::ValidationError("--threads " + text + ": this machine runs " +
                                         (most == 1 ? std::string("1 worker thread at a time; give 1, or leave it out")
                                                    : "at most " + std::to_string(most) +
                                                          " worker threads at once; give a number from 1 to " +
                                                          std::to_string(most)));
            }
            threads = *value;
          },
          "the worker threads, from 1 to the number this machine runs at once (" + std::to_string(MaxWorkerThreads()) +
              " here; all of them unless given)")
      ->type_name("N")
      ->group(RunningGroup);
}

void AddQuietOption(CLI::App& command, bool& quiet) {
  command.add_flag("--quiet", quiet, "no progress line on a terminal during long work")->group(RunningGroup);
}

void AddReplicatesOption(CLI::App& command, std::int32_t& replicates, const std::string& description) {
  AddCountOption<std::int32_t>(command, "--replicates", replicates, 1, 100000, "the number of replicates",
                               description)
      ->group(RunningGroup);
}

namespace {

// An output that may go to standard output: its names for it (/dev/stdout,
// /dev/fd/1) mean "-", so that the summary then keeps out of its way too.
CLI::Option* AddStandardOutputOption(CLI::App& command, const std::string& name, std::optional<std::string>& into,
                                     const std::string& type, const std::string& description) {
  return command
      .add_option_function<std::string>(
          name, [&into](const std::string& text) { into = NamesStandardOutput(text) ? "-" : text; }, description)
      ->type_name(type);
}

}  // namespace

void AddCsvOption(CLI::App& command, std::optional<std::string>& csv, const std::string& description) {
  AddStandardOutputOption(command, "--csv", csv, "PATH|-", description)->group(OutputsGroup);
}

void AddOutputOption(CLI::App& command, std::optional<std::string>& output, const std::string& type,
                     const std::string& description) {
  if (type.find("|-") != std::string::npos) {
    AddStandardOutputOption(command, "-o,--output", output, type, description)->group(OutputsGroup);
  } else {
    AddTextOption(command, "-o,--output", output, type, description)->group(OutputsGroup);
  }
}

void AddPlotSizeOption(CLI::App& command, std::optional<std::string>& plotSize, const std::string& description) {
  AddTextOption(command, "--plot-size", plotSize, "WxH", description)->group(OutputsGroup);
}

void AddResultsOutputs(CLI::App& command, RunOptions& options) {
  AddOutputOption(command, options.output, "PATH|-",
                  "write the report to PATH instead of the settings' outputPath; - writes it to standard output");
  AddCsvOption(command, options.csv,
               "also write the table as CSV (cycle,female,herm,male,aborted,total), with a JSON record of the run "
               "beside it (PATH with .json); - writes the table to standard output");
  AddTextOption(command, "--json", options.json, "PATH", "write the JSON record of the run to PATH")
      ->group(OutputsGroup);
  AddTextOption(command, "--plot", options.plot, "PATH", "draw the cycles into a picture, PATH.png or PATH.svg")
      ->group(OutputsGroup);
  AddPlotSizeOption(command, options.plotSize, "the picture's size in pixels (1600x900 unless given)");
}

void AddShardOptions(CLI::App& command, std::optional<std::string>& shard, bool& resume, const std::string& table) {
  AddTextOption(command, "--shard", shard, "K/N",
                "run only the K-th of N slices of the runs (needs a seed); join the parts with merge")
      ->group(RunningGroup);
  command.add_flag("--resume", resume, "continue " + table + " that a stopped run left (after Ctrl+C)")
      ->group(RunningGroup);
}

void AddStatisticsOption(CLI::App& command, std::vector<Statistic>& statistics, const std::string& description) {
  command
      .add_option_function<std::vector<std::string>>(
          "--stat",
          [&statistics](const std::vector<std::string>& texts) {
            if (std::optional<std::string> problem = ParseStatistics(texts, statistics)) {
              throw CLI::ValidationError(*problem);
            }
          },
          description + "; the names: " + StatisticNames())
      ->type_name("NAME,...")
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->group(OutputsGroup);
}

void AddCyclesWindowOption(CLI::App& command, std::optional<CyclesWindow>& window) {
  command
      .add_option_function<std::string>(
          "--cycles-window",
          [&window](const std::string& text) {
            CyclesWindow read;
            if (std::optional<std::string> problem = ParseCyclesWindow(text, read)) {
              throw CLI::ValidationError("--cycles-window " + *problem);
            }
            window = read;
          },
          "the cycles every statistic covers, first to last (FROM: to the last); cycles 101 to the last "
          "unless given (the second half of a run under 200 cycles)")
      ->type_name("FROM:TO")
      ->group(OutputsGroup);
}

void AddPointOption(CLI::App& command, std::optional<std::int64_t>& point, const std::string& description) {
  command
      .add_option_function<std::string>(
          "--point",
          [&point](const std::string& text) {
            point = ReadWholeNumber<std::int64_t>(text);
            if (!point || *point < 1) {
              point.reset();
              throw CLI::ValidationError("--point " + text + ": the point must be a whole number from 1 (the table's "
                                         "first column)");
            }
          },
          description)
      ->type_name("N");
}

}  // namespace varnolt
