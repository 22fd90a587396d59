#pragma once
// The results grid of the RUN MODEL page: one read-only row per cycle with the
// cycle number and the percentages of female, hermaphrodite, male and aborted
// palms and their total, under a fixed header row. Percentages are shown as
// whole numbers, cut toward zero, so 12.9 shows as 12 and 99.99 as 99.

#include <QFont>
#include <QString>
#include <array>
#include <span>

#include "model/FloweringModel.h"

namespace varnolt {

class CGridCtrl;

inline constexpr int ResultsGridColumnCount = 6;

// The header texts, trailing blanks included: they are what the user sees and
// what a copy of the header row gives.
inline constexpr std::array<const char*, ResultsGridColumnCount> ResultsGridHeaders = {
    "Cycle No.", "Female %", "Herm. % ", "Male %  ", "Abort % ", "Total % "};

// The grid's font: Arial, 11 pixels high, normal weight.
QFont ResultsGridFont();

// A percentage as the grid shows it: cut toward zero to a whole number. A value
// that no int can hold (or not a number) shows as the nearest one, or 0.
int ShownPercent(double percent);

// Rebuilds the grid from the results of the last run, row c holding cycle c
// (row 0 holds no data and is not shown). Every cell is read-only. With no
// results the grid keeps its header row alone. Column widths are fitted to the
// grid's width before any data row is written, so they never depend on the data.
void FillResultsGrid(CGridCtrl& grid, std::span<const CycleResult> results);

inline std::span<const CycleResult> ResultRows(const CheckedVector<CycleResult>& results) {
  return {results.data(), results.size()};
}

}  // namespace varnolt
