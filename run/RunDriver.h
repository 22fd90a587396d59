#pragma once
// The run driver: the one place where the run settings become the model's
// settings, the model runs with a given seed, and the report is written. The
// command-line runner and the window's Run command both come through here, so
// every outcome is handed back as data for the caller to show in its own way.
// The driver validates nothing: callers check the rules first.

#include <chrono>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "model/FastEngine.h"
#include "model/FloweringModel.h"
#include "platform/Problem.h"
#include "results/RunRecord.h"
#include "settings/RunSettings.h"

namespace varnolt {

// The fronds whose node positions the model can hold: -30 to 169, for node
// positions 0 to 199.
inline constexpr int LowestFrond = 0 - FrondOffset;
inline constexpr int HighestFrond = NodeSlotCount - 1 - FrondOffset;

// The model's copy of the settings: frond numbers as node positions (frond + 30,
// computed without overflow), and zeros for a treatment whose switch is off.
ModelSettings TransferSettings(const RunSettings& settings);

enum class RunStatus {
  Completed,
  FrondOutOfRange,    // a stress window or the abortion frond left the node storage
  TooLargeForMemory,  // the cycle count needs more memory than there is
  ReportNotWritten,   // the run completed, its report could not be written
  Cancelled,          // stopped through its RunControl; results and report untouched
};

// The engine that computes a run, as the record beside its results names it.
struct EngineInfo {
  std::string name;        // "fast", or "reference" for FloweringModel itself
  std::string simdTarget;  // the SIMD instructions it chose; empty for none
};

struct RunOutcome {
  RunStatus status = RunStatus::Completed;
  std::uint32_t seed = 0;
  EngineInfo engine;
  std::chrono::system_clock::time_point startTime;
  double runSeconds = 0.0;  // the model's run alone, without the report
  // Why it did not complete, for the caller to word: FrondOutOfRange (the frond
  // setting, its label and value, the fronds the model holds as low and high),
  // TooLittleMemory, RunCancelled or ReportCancelled, or one of the Report...
  // kinds when the report was not written (status ReportNotWritten).
  std::optional<Problem> problem;

  bool Completed() const { return status == RunStatus::Completed; }
};

// Copies the settings into the model and runs it with the seed on the fast
// engine. On success the model holds the new settings and results; on failure or
// cancellation it keeps the previous ones, as if the run had never started.
// control, when given, reports progress, takes a cancel and sets the threads.
RunOutcome RunModel(FloweringModel& model, const RunSettings& settings, std::uint32_t seed,
                    RunControl* control = nullptr);

// Writes the report of the model's last run to the file at path (UTF-8; relative
// to the current folder) the way every file is replaced (ReplaceFileWith): it is
// streamed into a temporary file beside it, flushed to the disk and renamed, so a
// write that fails part-way or a crash leaves the previous report whole. Devices
// and pipes (such as /dev/stdout) are written directly. Nothing on success;
// otherwise the problem: ReportNoName, ReportIsFolder, ReportFolderRefused (the
// folder by its full path) or ReportNotWritten, with the system's error.
// With `stop`, setting it stops the writing: the report is not written at all.
std::optional<Problem> WriteReportFile(const FloweringModel& model, const std::string& path,
                                             const std::atomic<bool>* stop = nullptr);

// The whole run: RunModel, then the report to settings.outputPath.
RunOutcome RunSimulation(FloweringModel& model, const RunSettings& settings, std::uint32_t seed,
                         RunControl* control = nullptr);

// The record of a completed run for the JSON file beside its results.
RunRecord RecordOfRun(const RunSettings& settings, const RunOutcome& outcome, std::span<const CycleResult> cycles);

}  // namespace varnolt
