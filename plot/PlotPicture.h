#pragma once
// Pictures of a run's cycles, PNG or SVG, drawn by the same chart the window's
// Plot page shows. This header is plain C++ so that the command-line runner can
// include it; the drawing renders offscreen and needs no display.

#include <array>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "model/FloweringModel.h"
#include "plot/PictureFile.h"

namespace varnolt {

// Draws the four percentages of the cycles (cycles[0] is cycle 1) with the
// analysis line as title, and replaces the file at path with the picture. On
// failure answers why; a file already there is then left as it was.
std::optional<std::string> WritePlotPicture(std::span<const CycleResult> cycles, const std::filesystem::path& path,
                                            PictureSize size);

// A calibration's picture: the observed percentages of a census as points over
// the simulated cycles, one colour per state.
struct FitPicture {
  std::vector<CycleResult> cycles;  // cycles[0] is cycle 1
  // (cycle, percent) per state: female, hermaphrodite, male, aborted.
  std::array<std::vector<std::pair<double, double>>, 4> observed;
  // (cycle, simulated minus observed) per state, drawn in a panel beneath; none: no panel.
  std::array<std::vector<std::pair<double, double>>, 4> residuals;
  std::vector<std::pair<double, double>> heldOut;  // cycles first to last shaded as not fitted
  bool residualsOnly = false;  // the residuals' panel alone over the whole picture (when there are residuals)
  std::string title;
};
std::optional<std::string> WriteFitPicture(const FitPicture& picture, const std::filesystem::path& path,
                                           PictureSize size);

// Why this program cannot draw (a runner without its drawing part, or built
// without the window toolkit), or nothing when it can: asked before a long run
// whose picture would fail at the end.
std::optional<std::string> DrawingProblem();

}  // namespace varnolt
