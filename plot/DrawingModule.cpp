// The drawing part's one entry: the plot code's picture functions.
#include "plot/DrawingModule.h"

#include "platform/Version.h"

namespace varnolt {

#if defined(_WIN32)
#define VARNOLT_DRAWING_EXPORT __declspec(dllexport)
#else
#define VARNOLT_DRAWING_EXPORT __attribute__((visibility("default")))
#endif

extern "C" VARNOLT_DRAWING_EXPORT const DrawingFunctions* VarnoltDrawingFunctions() {
  static const DrawingFunctions functions{VersionText(),        &WritePlotPicture,    &WriteFitPicture,
                                          &WriteSettingPicture, &WriteHeatMapPicture, &WriteMorrisPicture,
                                          &WriteSobolPicture,   &WriteCycleLinesPicture};
  return &functions;
}

}  // namespace varnolt
