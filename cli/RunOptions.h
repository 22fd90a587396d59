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
#include "settings/SettingAssignments.h"

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

}  // namespace varnolt
