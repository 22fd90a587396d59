// The runner's side of the drawing part: every picture function loads the part
// once, the first time a picture is asked for, and passes the call on; without
// the part it answers why nothing can be drawn.
#include <cstdlib>
#include <mutex>

#include "platform/FileIO.h"
#include "platform/LoadableModule.h"
#include "platform/Version.h"
#include "plot/DrawingModule.h"

namespace varnolt {

const char* DrawingModuleFileName() {
#if defined(_WIN32)
  return "varnolt-drawing.dll";
#else
  return "libvarnolt-drawing.so";
#endif
}

namespace {

struct LoadedDrawing {
  const DrawingFunctions* functions = nullptr;
  std::string why;  // when there are none
};

// Where the part may be: VARNOLT_DRAWING_MODULE when set, else beside the
// program (a build, or Windows), then in the library folder of an install.
std::vector<std::filesystem::path> Candidates() {
  if (const char* chosen = std::getenv("VARNOLT_DRAWING_MODULE"); chosen != nullptr && *chosen != '\0') {
    return {PathFromUtf8(chosen)};
  }
  std::vector<std::filesystem::path> candidates;
  if (const std::optional<std::filesystem::path> folder = ProgramFolder()) {
    candidates.push_back(*folder / DrawingModuleFileName());
    candidates.push_back((*folder / VARNOLT_DRAWING_RELATIVE_DIR / DrawingModuleFileName()).lexically_normal());
  }
  return candidates;
}

LoadedDrawing Load() {
  LoadedDrawing loaded;
  const std::vector<std::filesystem::path> candidates = Candidates();
  std::string looked;
  for (const std::filesystem::path& candidate : candidates) {
    std::error_code code;
    if (!std::filesystem::exists(candidate, code)) {
      looked += (looked.empty() ? "" : ", ") + PathToUtf8(candidate);
      continue;
    }
    std::string why;
    // A name without a folder would be looked for on the system's library path.
    void* entry = LoadModuleEntry(std::filesystem::absolute(candidate, code), DrawingEntryName, why);
    if (entry == nullptr) {
      loaded.why = "its drawing part " + PathToUtf8(candidate) + " could not be loaded (" + why +
                   "); it needs Qt 6 Widgets, Charts and SVG";
      return loaded;
    }
    const DrawingFunctions* functions = reinterpret_cast<DrawingEntry>(entry)();
    if (functions == nullptr || std::string(functions->version) != VersionText()) {
      loaded.why = "its drawing part " + PathToUtf8(candidate) + " is of another version (" +
                   (functions != nullptr ? functions->version : "unknown") + "); install both from the same build";
      return loaded;
    }
    loaded.functions = functions;
    return loaded;
  }
  loaded.why = std::string("this varnolt-cli draws pictures with its drawing part, ") + DrawingModuleFileName() +
               ", which is not installed (looked for " + (looked.empty() ? std::string("it nowhere") : looked) +
               "); install VARNOLT's drawing part, or leave out the picture";
  return loaded;
}

const LoadedDrawing& Drawing() {
  static const LoadedDrawing loaded = Load();
  return loaded;
}

// The call passed on to the part, or why it cannot be made.
template <typename Member, typename... Arguments>
std::optional<std::string> Draw(Member member, Arguments&&... arguments) {
  const LoadedDrawing& drawing = Drawing();
  if (drawing.functions == nullptr) return drawing.why;
  return (drawing.functions->*member)(std::forward<Arguments>(arguments)...);
}

}  // namespace

std::optional<std::string> WritePlotPicture(std::span<const CycleResult> cycles, const std::filesystem::path& path,
                                            PictureSize size) {
  return Draw(&DrawingFunctions::plotPicture, cycles, path, size);
}

std::optional<std::string> WriteFitPicture(const FitPicture& picture, const std::filesystem::path& path,
                                           PictureSize size) {
  return Draw(&DrawingFunctions::fitPicture, picture, path, size);
}

std::optional<std::string> WriteSettingPicture(const SettingPlot& plot, const std::filesystem::path& path,
                                               PictureSize size, const std::string& title) {
  return Draw(&DrawingFunctions::settingPicture, plot, path, size, title);
}

std::optional<std::string> WriteHeatMapPicture(const HeatMapPlot& plot, const std::filesystem::path& path,
                                               PictureSize size, const std::string& title) {
  return Draw(&DrawingFunctions::heatMapPicture, plot, path, size, title);
}

std::optional<std::string> WriteMorrisPicture(const std::vector<MorrisPanel>& panels,
                                              const std::filesystem::path& path, PictureSize size,
                                              const std::string& title) {
  return Draw(&DrawingFunctions::morrisPicture, panels, path, size, title);
}

std::optional<std::string> WriteSobolPicture(const std::vector<SobolPanel>& panels, const std::filesystem::path& path,
                                             PictureSize size, const std::string& title) {
  return Draw(&DrawingFunctions::sobolPicture, panels, path, size, title);
}

std::optional<std::string> WriteCycleLinesPicture(const CycleLinesPlot& plot, const std::filesystem::path& path,
                                                  PictureSize size, const std::string& title) {
  return Draw(&DrawingFunctions::cycleLinesPicture, plot, path, size, title);
}

std::optional<std::string> DrawingProblem() {
  if (Drawing().functions == nullptr) return Drawing().why;
  return std::nullopt;
}

}  // namespace varnolt
