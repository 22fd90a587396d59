#pragma once
// Pictures of the tables the experiments write, drawn from what the
// experiments library reads of them (experiments/TableReading.h); also the
// runs of one point of a per-cycle table, for `analyse`.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "experiments/TableReading.h"
#include "model/FloweringModel.h"
#include "plot/PictureFile.h"

namespace varnolt {

// What a kind is called in messages: "a table of points", "a per-cycle table"...
std::string TableKindName(TableKind kind);

struct TablePictureRequest {
  std::string source;                    // the table, as the user named it
  std::string picture;                   // -o
  PictureSize size;
  std::optional<std::string> statistic;  // --stat
  std::optional<std::int64_t> point;     // --point, for a per-cycle table
};

// Draws the table: one varied setting gives the statistics against it
// (`statistic`, or the four mean percentages), two give a heat map of `statistic`
// (the first statistic unless given); Morris and Sobol tables give a panel per
// output (or only `statistic`'s); a per-cycle table the female series of every
// run, or of the runs of `point`. The title says what made the table, from the
// record beside it when there is one. Answers the exit status.
int PlotTable(TableKind kind, const std::string& text, const TablePictureRequest& request, CliStreams& io);

struct ReplicateCycles {
  std::int64_t replicate = 1;
  std::vector<CycleResult> cycles;
};
// The runs of `point` in a per-cycle table, replicate after replicate
// (cycles[0] is cycle 1). On a problem (a point the table does not hold, a
// damaged table) prints it and answers nothing, with the status in `status`.
std::optional<std::vector<ReplicateCycles>> RunsOfPoint(const std::string& text, const std::string& source,
                                                        std::int64_t point, CliStreams& io, int& status);

}  // namespace varnolt
