#pragma once
// What the runner writes besides the report: the CSV table, the JSON record
// beside it and the picture of the cycles; and the commands that work on results
// already written, `plot` and `analyse`.

#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/RunOptions.h"
#include "model/FloweringModel.h"
#include "run/RunDriver.h"

extern const char* const PlotUsage;
extern const char* const AnalyseUsage;

// Checks the output options of `run` before anything runs: at most one table on
// standard output, a picture named .png or .svg, a picture size that fits. On a
// problem answers the message for a usage error.
std::optional<std::string> CheckResultsOptions(const RunOptions& options);

// Writes the CSV, JSON record and picture that the options ask for, after a run
// that completed. Prints what it wrote (or why it could not) to err, or to out
// when `written` lines belong there; false when one of them failed.
bool WriteResultsOutputs(const FloweringModel& model, const RunSettings& settings, const RunOutcome& outcome,
                         const RunOptions& options, CliStreams& io, std::ostream& summary);

// `plot REPORT.dat|RESULTS.csv -o PICTURE [--plot-size WxH]`
int PlotCommand(const std::vector<std::string>& args, CliStreams& io);
// `analyse REPORT.dat|RESULTS.csv`
int AnalyseCommand(const std::vector<std::string>& args, CliStreams& io);
