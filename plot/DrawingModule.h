#pragma once
// The boundary between the runner and its drawing part. The pictures are drawn
// with the window toolkit (Qt Widgets, Charts, SVG), which a run, a sweep or a
// scheduler's thousand small tasks do not need: the runner links none of it and
// loads the drawing part, a library of its own, the first time it draws. The
// window links the drawing code directly. Plain C++.

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "plot/PlotPicture.h"
#include "plot/TablePicture.h"

namespace varnolt {

// The drawing part's file: libvarnolt-drawing.so (varnolt-drawing.dll on
// Windows), beside the runner in a build, in LIBDIR/varnolt when installed.
const char* DrawingModuleFileName();

// What the drawing part offers. The runner and the drawing part pass the
// plot records as they are, so both must come from the same build: the part
// answers its version, and one of another version is refused.
struct DrawingFunctions {
  const char* version;
  decltype(&WritePlotPicture) plotPicture;
  decltype(&WriteFitPicture) fitPicture;
  decltype(&WriteSettingPicture) settingPicture;
  decltype(&WriteHeatMapPicture) heatMapPicture;
  decltype(&WriteMorrisPicture) morrisPicture;
  decltype(&WriteSobolPicture) sobolPicture;
  decltype(&WriteCycleLinesPicture) cycleLinesPicture;
};

// The one function the drawing part exports.
inline constexpr const char* DrawingEntryName = "VarnoltDrawingFunctions";
using DrawingEntry = const DrawingFunctions* (*)();

}  // namespace varnolt
