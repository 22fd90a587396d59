#pragma once
// `run --replicates N`: the same settings over consecutive seeds, with the mean
// and spread of every cycle and of the analysis.

#include <optional>
#include <string>

#include "cli/CommandLine.h"
#include "cli/RunOptions.h"
#include "model/FloweringModel.h"
#include "run/RunDriver.h"

namespace varnolt {

// Checks --replicates against the other options of `run`; the message for a
// usage error, or nothing.
std::optional<std::string> CheckReplicateOptions(const RunOptions& options);

// After replicate 1 of `run --replicates N` has run in `model` and its report is
// written: runs replicates 2 to N, writes the CSV of per-cycle mean, standard
// deviation and 95 % confidence half-width, and prints each replicate's analysis
// and their mean and spread. Returns the exit status.
int FinishReplicates(const FloweringModel& model, const RunSettings& settings, const RunOutcome& first,
                     const RunOptions& options, const std::string& source, CliStreams& io);

}  // namespace varnolt
