#include "cli/DryRun.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "cli/Messages.h"
#include "platform/Interrupts.h"
#include "platform/WholeNumbers.h"
#include "settings/ValidationRules.h"

namespace varnolt {

namespace {

// The runs of a calibration stay this small, so that a dry run takes well under a
// second however big the experiment.
constexpr double CalibrationPalmCycles = 400'000;

std::string Digits(double value) { return std::to_string(static_cast<long long>(std::llround(value))); }

std::string Bytes(double bytes) {
  const char* units[] = {"bytes", "kB", "MB", "GB", "TB"};
  int unit = 0;
  while (bytes >= 1000 && unit < 4) {
    bytes /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

std::string Duration(double seconds) {
  char text[48];
  if (seconds < 1) std::snprintf(text, sizeof text, "under a second");
  else if (seconds < 120) std::snprintf(text, sizeof text, "%.0f s", seconds);
  else if (seconds < 7200) std::snprintf(text, sizeof text, "%.0f min", seconds / 60);
  else std::snprintf(text, sizeof text, "%.1f h", seconds / 3600);
  return text;
}

int Interrupted(CliStreams& io) {
  io.err << "Interrupted; nothing was run or written.\n";
  return ExitFailure;
}

// " (femaleThreshold=3, maleThreshold=20)": a design point's settings for a message.
std::string NamedCells(const PointTable& table, const std::string& joined) {
  if (table.leadColumns.empty()) return "";
  std::vector<std::string> cells(1);
  for (char c : joined) {
    if (c == ',') cells.emplace_back();
    else cells.back() += c;
  }
  if (cells.size() != table.leadColumns.size()) return " (" + joined + ")";
  std::string text;
  for (std::size_t c = 0; c < cells.size(); ++c) text += (c == 0 ? "" : ", ") + table.leadColumns[c] + "=" + cells[c];
  return " (" + text + ")";
}

std::string Grouped(double value) { return WithThousands(static_cast<std::int64_t>(std::llround(value))); }

}  // namespace

void PrintTimeEstimate(const RunSettings& sample, std::uint32_t seed, std::size_t runs, double palmCycles, int threads,
                       std::ostream& out) {
  RunSettings small = sample;
  small.cycleCount = static_cast<std::int32_t>(std::min<double>(small.cycleCount, CalibrationPalmCycles));
  small.palmCount = static_cast<std::int32_t>(
      std::clamp<double>(std::floor(CalibrationPalmCycles / small.cycleCount), 1, small.palmCount));
  if (FirstFailedRule(small) != nullptr) small = sample;  // the smaller run breaks a rule: time the point itself
  const std::size_t copies = std::min<std::size_t>(runs, static_cast<std::size_t>(threads));
  std::vector<ExperimentPoint> points(copies, ExperimentPoint{small, seed});
  ExperimentControl control;
  control.threads = threads;
  const auto start = std::chrono::steady_clock::now();
  RunPoints(points, control);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double sampled = static_cast<double>(copies) * small.cycleCount * small.palmCount;
  // Each run pays a fixed cost besides its palm-cycles, and the calibration's
  // time holds both: scale it by the palm-cycles or by the runs, the larger.
  const double estimate = seconds * std::max(palmCycles / std::max(1.0, sampled),
                                             static_cast<double>(runs) / static_cast<double>(copies));
  out << "Time on this machine: " << (estimate < 1 ? "" : "about ") << Duration(estimate) << " with " << threads
      << (threads == 1 ? " thread" : " threads") << " (from a calibration of " << Grouped(sampled) << " palm-cycles in "
      << Digits(seconds * 1000) << " ms).\n";
}

int DryRunPointTable(const PointTable& table, const ExperimentOptions& options, CliStreams& io) {
  Shard shard;
  if (options.shard) {
    if (auto problem = ParseShard(*options.shard, shard.k, shard.n)) return UsageError(io, *problem);
  }
  // A signal stops the planning and the sample; one that lands as it starts
  // is taken at once.
  std::stop_source stop;
  InterruptionWatch interruption([&stop] { stop.request_stop(); });
  InterruptionTestPoint("planning");
  if (InterruptionFlag().load()) stop.request_stop();
  const std::optional<TablePlan> plan = PlanTable(table, shard, options.cycles.has_value(), stop.get_token());
  if (!plan) return Interrupted(io);
  io.out << table.command << " --dry-run: nothing is run or written.\n";
  io.out << "Points: " << WithThousands(static_cast<std::int64_t>(plan->designPoints)) << ", replicates "
         << std::max(1, options.replicates) << ": " << WithThousands(static_cast<std::int64_t>(plan->runs)) << " runs"
         << (options.shard ? " in shard " + *options.shard : std::string()) << ".\n";
  io.out << "Refused by a rule: " << WithThousands(static_cast<std::int64_t>(plan->refusedRuns)) << " runs";
  if (plan->refused.empty()) {
    io.out << ".\n";
  } else {
    io.out << " (" << WithThousands(static_cast<std::int64_t>(plan->refusedPoints))
           << (plan->refusedPoints == 1 ? " point" : " points") << ")"
           << (plan->refusedPoints > 10 ? ", the first ten:" : ":") << "\n";
    for (const RefusedPoint& refused : plan->refused) {
      io.out << "  point " << refused.design + 1 << NamedCells(table, refused.leadCells) << ": rule "
             << refused.rule->number << " (" << refused.rule->field << ")\n";
    }
  }
  const std::size_t willRun = plan->runs - plan->refusedRuns;
  io.out << "To run: " << WithThousands(static_cast<std::int64_t>(willRun)) << " runs, "
         << Grouped(plan->palmCycles) << " palm-cycles.\n";
  if (willRun > 0) {
    const std::optional<TimeEstimate> time = EstimateTableTime(table, *plan, options.threads.value_or(0), stop.get_token());
    if (!time) return Interrupted(io);
    io.out << "Time on this machine: " << (time->seconds < 1 ? "" : "about ") << Duration(time->seconds) << " with "
           << time->threads << (time->threads == 1 ? " thread" : " threads") << " (from a sample of "
           << WithThousands(static_cast<std::int64_t>(time->sampleRuns)) << (time->sampleRuns == 1 ? " run, " : " runs, ")
           << Grouped(time->samplePalmCycles) << " palm-cycles, in " << Digits(time->sampleSeconds * 1000) << " ms).\n";
  }
  // Tables are written row by row as the runs finish: their size is on disk only.
  io.out << "Files: the table about " << Bytes(plan->tableBytes);
  if (options.cycles) io.out << ", the per-cycle table about " << Bytes(plan->cycleTableBytes);
  io.out << ", written row by row.\n";
  return ExitSuccess;
}

}  // namespace varnolt
