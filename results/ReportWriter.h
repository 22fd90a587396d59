#pragma once
// The plain-text report of a run: the settings the run used, in words, then one
// table row per cycle with the percentages of female, hermaphrodite, male and
// aborted palms and their total. The bytes are the same on every platform, and
// the same as in reports VARNOLT writes on Windows: CR LF line breaks, table cells left-aligned in 14 characters, percentages in
// printf's %g with a three-digit exponent, texts in Windows-1252.

#include <ostream>
#include <string>

#include "model/FloweringModel.h"

namespace varnolt {

inline constexpr int ReportColumnWidth = 14;

// Writes the whole report of the model's last run to an open stream. The stream
// should be binary: the line breaks are written as CR LF here, on every platform.
void WriteReport(const FloweringModel& model, std::ostream& out);

// A percentage as the Windows runtime's printf("%g") writes it: six significant
// digits, no trailing zeros, and an exponent of at least three digits (1e-005).
// Independent of the C locale.
std::string FormatPercent(double value);

}  // namespace varnolt
