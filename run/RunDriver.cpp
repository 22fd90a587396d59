#include "run/RunDriver.h"

#include <array>
#include <chrono>
#include <atomic>
#include <filesystem>
#include <limits>
#include <new>
#include <stdexcept>
#include <system_error>

#include "platform/FileIO.h"
#include "platform/SystemResources.h"
#include "results/ReportWriter.h"

namespace varnolt {

namespace fs = std::filesystem;

namespace {

std::int64_t NodeOf(std::int32_t frond) { return static_cast<std::int64_t>(frond) + FrondOffset; }

// The frond settings that the model uses as node positions: the model's name
// and the setting's.
struct FrondField {
  const char* modelSetting;
  const char* field;
};
constexpr std::array<FrondField, 5> FrondFields = {{
    {"sexStressFirstNode", "sexStressFirstFrond"},
    {"sexStressLastNode", "sexStressLastFrond"},
    {"abortStressFirstNode", "abortStressFirstFrond"},
    {"abortStressLastNode", "abortStressLastFrond"},
    {"abortionNode", "abortionFrond"},
}};

RunOutcome Failure(Problem problem, std::uint32_t seed, RunStatus status) {
  RunOutcome outcome;
  outcome.status = status;
  outcome.seed = seed;
  outcome.problem = std::move(problem);
  return outcome;
}

RunOutcome FrondFailure(const NodeRangeError& error, std::uint32_t seed) {
  Problem problem;
  problem.kind = ProblemKind::FrondOutOfRange;
  problem.setting = error.setting;
  problem.label = error.setting;
  for (const FrondField& known : FrondFields) {
    if (error.setting != known.modelSetting) continue;
    problem.setting = known.field;
    if (const FieldInfo* field = FindField(known.field)) problem.label = FieldLabel(*field);
  }
  problem.value = static_cast<std::int32_t>(error.node - FrondOffset);
  problem.low = LowestFrond;
  problem.high = HighestFrond;
  return Failure(std::move(problem), seed, RunStatus::FrondOutOfRange);
}

RunOutcome MemoryFailure(std::int32_t cycleCount, std::uint32_t seed, std::optional<std::uint64_t> need,
                         std::optional<std::uint64_t> available) {
  Problem problem;
  problem.kind = ProblemKind::TooLittleMemory;
  problem.value = cycleCount;
  if (need && available) {
    problem.bytesNeeded = need;
    problem.bytesFree = available;
  }
  return Failure(std::move(problem), seed, RunStatus::TooLargeForMemory);
}

}  // namespace

ModelSettings TransferSettings(const RunSettings& settings) {
  ModelSettings model;
  model.runNotes = settings.runNotes;
  model.cycleCount = settings.cycleCount;
  model.palmCount = settings.palmCount;
  model.sexStressFirstNode = NodeOf(settings.sexStressFirstFrond);
  model.sexStressLastNode = NodeOf(settings.sexStressLastFrond);
  model.abortStressFirstNode = NodeOf(settings.abortStressFirstFrond);
  model.abortStressLastNode = NodeOf(settings.abortStressLastFrond);
  model.sexStageStartNode = NodeOf(settings.sexStageStartFrond);
  model.sexStageEndNode = NodeOf(settings.sexStageEndFrond);
  model.abortionNode = NodeOf(settings.abortionFrond);
  model.initialNodeSex = settings.initialNodeSex;
  model.femaleThreshold = settings.femaleThreshold;
  model.maleThreshold = settings.maleThreshold;
  model.abortThreshold = settings.abortThreshold;
  model.randomPercent = settings.randomPercent;
  if (IsOn(settings.leafPruning)) {
    model.leafPruneCycle = settings.leafPruneCycle;
    model.pruneStress = settings.pruneStress;
  }
  if (IsOn(settings.trendCycles)) model.trendAmplitude = settings.trendAmplitude;
  if (IsOn(settings.irrigation)) {
    model.irrigationStart = settings.irrigationStart;
    model.irrigationEnd = settings.irrigationEnd;
  }
  if (IsOn(settings.flowerPruning)) {
    model.flowerPruneStart = settings.flowerPruneStart;
    model.flowerPruneEnd = settings.flowerPruneEnd;
  }
  return model;
}

RunOutcome RunModel(FloweringModel& model, const RunSettings& settings, std::uint32_t seed, RunControl* control) {
  ModelSettings next = TransferSettings(settings);

  // Refuse a cycle count the memory cannot hold before taking any of it: a run
  // that exhausted memory could end the whole program.
  // Below a few megabytes no check is needed, and asking the system what is free
  // (a file read on Linux) would cost more than a short run itself.
  constexpr std::uint64_t UncheckedNeed = std::uint64_t{16} << 20;
  const std::uint64_t need = FastEngineMemoryBytes(next, control != nullptr ? control->threads : 0);
  const std::optional<std::uint64_t> available =
      need > UncheckedNeed ? AvailableMemoryBytes() : std::optional<std::uint64_t>();
  if ((available && need > *available) || need > std::numeric_limits<std::size_t>::max() / 2) {
    return MemoryFailure(next.cycleCount, seed, need, available);
  }

  ModelSettings previous = std::move(model.settings);
  model.settings = std::move(next);
  const auto startTime = std::chrono::system_clock::now();
  const auto started = std::chrono::steady_clock::now();
  FastRun run;
  try {
    run = RunFast(model, seed, control);
    if (!run) {
      model.settings = std::move(previous);
      return Failure(MakeProblem(ProblemKind::RunCancelled), seed, RunStatus::Cancelled);
    }
  } catch (const NodeRangeError& error) {
    model.settings = std::move(previous);
    return FrondFailure(error, seed);
  } catch (const std::bad_alloc&) {
    model.settings = std::move(previous);
    return MemoryFailure(settings.cycleCount, seed, std::nullopt, std::nullopt);
  } catch (const std::length_error&) {
    model.settings = std::move(previous);
    return MemoryFailure(settings.cycleCount, seed, std::nullopt, std::nullopt);
  }
  RunOutcome outcome;
  outcome.seed = seed;
  outcome.engine = run.path == FastPath::Lanes ? EngineInfo{"fast", run.target} : EngineInfo{"fast, palm by palm", ""};
  outcome.startTime = startTime;
  outcome.runSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return outcome;
}

namespace {

// Passes writes on until `stop` is set, then fails them all, so that a report
// stopped part-way is dropped whole.
class StoppableBuffer : public std::streambuf {
 public:
  StoppableBuffer(std::streambuf* target, const std::atomic<bool>& stop) : target_(target), stop_(stop) {}

 protected:
  int_type overflow(int_type c) override {
    if (stop_.load(std::memory_order_relaxed)) return traits_type::eof();
    return traits_type::eq_int_type(c, traits_type::eof()) ? traits_type::not_eof(c) : target_->sputc(static_cast<char>(c));
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    return stop_.load(std::memory_order_relaxed) ? 0 : target_->sputn(text, count);
  }

 private:
  std::streambuf* target_;
  const std::atomic<bool>& stop_;
};

}  // namespace

std::optional<Problem> WriteReportFile(const FloweringModel& model, const std::string& path,
                                       const std::atomic<bool>* stop) {
  auto failure = [&](ProblemKind kind) { return MakeProblem(kind, path); };
  if (path.empty()) return failure(ProblemKind::ReportNoName);

  const fs::path target = PathFromUtf8(path);
  std::error_code error;
  if (fs::is_directory(target, error)) return failure(ProblemKind::ReportIsFolder);

  const std::optional<ReplaceFailure> failed = ReplaceFileWith(target, [&model, stop](std::ostream& out) {
    if (stop == nullptr) return WriteReport(model, out);
    StoppableBuffer buffer(out.rdbuf(), *stop);
    std::ostream stoppable(&buffer);
    WriteReport(model, stoppable);
    if (stop->load()) out.setstate(std::ios::badbit);  // the replacement fails and leaves no file
  });
  if (!failed) return std::nullopt;
  Problem problem = failure(failed->folderRefused ? ProblemKind::ReportFolderRefused : ProblemKind::ReportNotWritten);
  problem.systemError = failed->code;
  if (failed->folderRefused) problem.folder = failed->error.path;
  return problem;
}

RunOutcome RunSimulation(FloweringModel& model, const RunSettings& settings, std::uint32_t seed,
                         RunControl* control) {
  RunOutcome outcome = RunModel(model, settings, seed, control);
  if (!outcome.Completed()) return outcome;
  if (std::optional<Problem> failure =
          WriteReportFile(model, settings.outputPath, control != nullptr ? &control->cancel : nullptr)) {
    const bool cancelled = control != nullptr && control->cancel;
    outcome.status = cancelled ? RunStatus::Cancelled : RunStatus::ReportNotWritten;
    outcome.problem = cancelled ? MakeProblem(ProblemKind::ReportCancelled) : std::move(*failure);
  }
  return outcome;
}

RunRecord RecordOfRun(const RunSettings& settings, const RunOutcome& outcome, std::span<const CycleResult> cycles) {
  RunRecord record;
  record.seed = outcome.seed;
  for (const FieldInfo& field : RunSettingsFields()) {
    if (field.kind == FieldKind::Text) {
      record.settings.emplace_back(field.name, settings.*(field.text));
    } else {
      record.settings.emplace_back(field.name, settings.*(field.integer));
    }
  }
  record.engine = outcome.engine.name;
  record.simdTarget = outcome.engine.simdTarget;
  record.startTime = outcome.startTime;
  record.runSeconds = outcome.runSeconds;
  record.cycleCount = static_cast<std::int64_t>(cycles.size());
  record.palmCount = settings.palmCount;
  record.analysis = AnalyseCycles(cycles);
  return record;
}

}  // namespace varnolt
