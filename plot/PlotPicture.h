#pragma once
// Pictures of a run's cycles, PNG or SVG, drawn by the same chart the window's
// Plot page shows. This header is plain C++ so that the command-line runner can
// include it; the drawing renders offscreen and needs no display.

#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "model/FloweringModel.h"
#include "plot/PictureFile.h"

// Draws the four percentages of the cycles (cycles[0] is cycle 1) with the
// analysis line as title, and replaces the file at path with the picture. On
// failure answers why; a file already there is then left as it was.
std::optional<std::string> WritePlotPicture(std::span<const CycleResult> cycles, const std::filesystem::path& path,
                                            PictureSize size);
