#pragma once
// What the runner writes besides the report: the CSV table, the JSON record
// beside it and the picture of the cycles; and the reading of results already
// written, for `plot` and `analyse`.

#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/OutputPaths.h"
#include "cli/RunOptions.h"
#include "model/FloweringModel.h"
#include "results/CycleAnalysis.h"
#include "run/RunDriver.h"

namespace varnolt {

// Checks the output options of `run` before anything runs: at most one table on
// standard output, a picture named .png or .svg, a picture size that fits. On a
// problem answers the message for a usage error.
std::optional<std::string> CheckResultsOptions(const RunOptions& options);

// Where the JSON record of a run goes: --json, or beside a --csv file; nothing
// for a table on standard output, a device or a pipe.
std::optional<std::string> RecordPathOf(const RunOptions& options);

// Adds the files the results options write (table, record, picture) to `files`.
void AddResultsFiles(const RunOptions& options, CommandFiles& files);

// Writes the CSV, JSON record and picture that the options ask for, after a run
// that completed and its analysis. Prints what it wrote (or why it could not) to
// err, or to out when `written` lines belong there; false when one of them
// failed. A signal stops it before the next file, and drops the one being
// written; the files written before stay whole.
bool WriteResultsOutputs(const FloweringModel& model, const RunSettings& settings, const RunOutcome& outcome,
                         const CycleAnalysis& analysis, const RunOptions& options, CliStreams& io,
                         std::ostream& summary);

// Reads a report or CSV whole and takes its table; prints why on failure.
std::optional<std::vector<CycleResult>> LoadResults(const std::string& path, CliStreams& io);
// The same from its text, read already (a pipe can be read only once).
std::optional<std::vector<CycleResult>> LoadResults(const std::string& text, const std::string& path, CliStreams& io);

}  // namespace varnolt
