#pragma once
// The options of `run`, and the NAME=VALUE assignments that change one field of
// the run settings (shared with every command that edits settings).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/WholeNumbers.h"
#include "results/Statistics.h"
#include "settings/RunSettings.h"

namespace varnolt {

struct RunOptions {
  std::vector<std::string> assignments;  // each --set NAME=VALUE, in order
  std::optional<std::uint32_t> seed;     // --seed N
  std::optional<std::string> output;     // --output PATH, or "-" for standard output
  std::optional<int> threads;            // --threads N; without it all the machine runs at once
  std::optional<std::string> csv;        // --csv PATH, or "-" for standard output
  std::optional<std::string> json;       // --json PATH
  std::optional<std::string> plot;       // --plot PATH.png|PATH.svg
  std::optional<std::string> plotSize;   // --plot-size WxH
  bool quiet = false;                    // --quiet: no progress line
  std::int32_t replicates = 1;           // --replicates N: seeds seed to seed + N - 1
  std::vector<Statistic> statistics;     // the statistics summed up; the default set when empty
  std::optional<CyclesWindow> window;    // the cycles analysed; the burn-in rule when not given
  std::vector<std::string> positional;   // arguments that are no option, in order
};

// Sets one field from "NAME=VALUE": NAME as in RunSettingsFields(), a number as a
// whole 32-bit integer, a switch as 0 or 1, a text as it stands. On a bad name or
// value, leaves the settings as they were and returns a message that says what
// is wrong and what is accepted.
std::optional<std::string> ApplyAssignment(RunSettings& settings, const std::string& assignment);

// The accepted setting names, comma separated, in the record's order.
std::string SettingNames();

}  // namespace varnolt
