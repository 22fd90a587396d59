#pragma once
// The reference of the 27 settings for the documentation, written from the
// settings' own table (RunSettingsFields), their two default sets and the
// rules, so the guide and the program cannot disagree. Plain C++.

#include <ostream>

namespace varnolt {

// Two Markdown tables: one row per setting in the record's order (name,
// meaning, unit, default at start-up and after New, the values a run admits,
// page and control), then one row per rule (number, setting, page, the window's
// message and an example of the runner's line).
void WriteSettingsReference(std::ostream& out);

}  // namespace varnolt
