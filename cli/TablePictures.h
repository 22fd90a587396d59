#pragma once
// Pictures of the tables `sweep` and `batch` write: read by their header (stamp
// and closing lines of shard parts are skipped), drawn by the plot code.

#include <optional>
#include <string>

#include "cli/CommandLine.h"
#include "plot/PictureFile.h"

// Whether text is a table of points (its header starts with "point" and holds
// "replicate" and "status").
bool IsPointTable(const std::string& text);

// Draws the table read from `source`: one varied setting gives the statistics
// against it (`statistic`, or the four mean percentages), two give a heat map of
// `statistic` (the first statistic unless given). Answers the exit status.
int PlotPointTable(const std::string& text, const std::string& source, const std::string& picture, PictureSize size,
                   const std::optional<std::string>& statistic, CliStreams& io);
