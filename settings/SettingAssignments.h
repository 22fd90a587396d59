#pragma once
// The NAME=VALUE assignments that change one field of the run settings: the
// runner's --set, a batch design's cells, the Python module's keywords. Plain C++.

#include <optional>
#include <string>

#include "settings/RunSettings.h"

namespace varnolt {

// Sets one field from "NAME=VALUE": NAME as in RunSettingsFields(), a number as a
// whole 32-bit integer, a switch as 0 or 1, a text as it stands. On a bad name or
// value, leaves the settings as they were and returns a message that says what
// is wrong and what is accepted.
std::optional<std::string> ApplyAssignment(RunSettings& settings, const std::string& assignment);

// The accepted setting names, comma separated, in the record's order.
std::string SettingNames();

}  // namespace varnolt
