#pragma once
// The options several commands take, each declared once here so that it has
// one name, one reading, one range and one meaning wherever it appears.

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/RunOptions.h"
#include "platform/WholeNumbers.h"
#include "results/Statistics.h"

namespace varnolt {

// The groups the help lists options under, in this order.
inline constexpr const char* SettingsGroup = "Settings to run";
inline constexpr const char* OutputsGroup = "What to write";
inline constexpr const char* RunningGroup = "How to run";
inline constexpr const char* DesignGroup = "The design";

// --set NAME=VALUE, as many times as wanted; each changes one setting.
void AddSetOption(CLI::App& command, std::vector<std::string>& assignments, const std::string& description);

// --seed N, 0 to 4294967295.
void AddSeedOption(CLI::App& command, std::optional<std::uint32_t>& seed, const std::string& description);

// --threads N: the worker threads, 1 to the number this machine can run at once.
void AddThreadsOption(CLI::App& command, std::optional<int>& threads);

// --quiet: no progress line, for every command that draws one on a terminal.
void AddQuietOption(CLI::App& command, bool& quiet);

// The most worker threads --threads admits: what this machine can run at once.
int MaxWorkerThreads();

// --replicates N, 1 to 100000.
void AddReplicatesOption(CLI::App& command, std::int32_t& replicates, const std::string& description);

// --csv PATH|-.
void AddCsvOption(CLI::App& command, std::optional<std::string>& csv, const std::string& description);

// -o, --output PATH: the one file a command writes (for run, the report).
void AddOutputOption(CLI::App& command, std::optional<std::string>& output, const std::string& what,
                     const std::string& description);

// --plot-size WxH.
void AddPlotSizeOption(CLI::App& command, std::optional<std::string>& plotSize, const std::string& description);

// The results outputs of a single run: -o/--output, --csv, --json, --plot and
// --plot-size.
void AddResultsOutputs(CLI::App& command, RunOptions& options);

// --stat NAME,...: the statistics a command reports (the columns of its table),
// given once or more; each name once.
void AddStatisticsOption(CLI::App& command, std::vector<Statistic>& statistics, const std::string& description);

// --cycles-window FROM:TO: the cycles every statistic covers.
void AddCyclesWindowOption(CLI::App& command, std::optional<CyclesWindow>& window);

// --point N: one point of a per-cycle table, a whole number from 1.
void AddPointOption(CLI::App& command, std::optional<std::int64_t>& point, const std::string& description);

// --shard K/N and --resume, for commands that write a table of runs.
void AddShardOptions(CLI::App& command, std::optional<std::string>& shard, bool& resume,
                     const std::string& table);

// A whole-number option read strictly (CLI11's own reading would take "0x10"
// and "1e3"), from low to high; `what` names the number in messages.
template <typename Integer>
CLI::Option* AddCountOption(CLI::App& command, const std::string& name, Integer& into, Integer low, Integer high,
                            const std::string& what, const std::string& description) {
  return command
      .add_option_function<std::string>(
          name,
          [&into, name, low, high, what](const std::string& text) {
            const std::optional<Integer> value = ReadWholeNumber<Integer>(text);
            if (!value || *value < low || *value > high) {
              throw CLI::ValidationError(name + " " + text + ": " + what + " must be a whole number from " +
                                         std::to_string(low) + " to " + std::to_string(high));
            }
            into = *value;
          },
          description)
      ->type_name("N");
}

// An option that takes a text as it stands.
CLI::Option* AddTextOption(CLI::App& command, const std::string& name, std::optional<std::string>& into,
                           const std::string& type, const std::string& description);

// An option given many times, each one kept in order.
CLI::Option* AddListOption(CLI::App& command, const std::string& name, std::vector<std::string>& into,
                           const std::string& type, const std::string& description);

// The arguments that are no option, kept in order for the command to check.
CLI::Option* AddArguments(CLI::App& command, const std::string& name, std::vector<std::string>& into,
                          const std::string& description);

}  // namespace varnolt
