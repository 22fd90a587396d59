#pragma once
// The commands that run many points of the model at once: `sweep`, `batch`,
// `sensitivity` and `merge`, and the replicates of `run` (--replicates N).
// They build their points here and run them in the experiments folder.

#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/RunOptions.h"
#include "model/FloweringModel.h"
#include "run/RunDriver.h"

extern const char* const SweepUsage;
extern const char* const BatchUsage;
extern const char* const SensitivityUsage;
extern const char* const MergeUsage;
// The help's sections on the options of these commands.
extern const char* const ExperimentOptionsHelp;

int SweepCommand(const std::vector<std::string>& args, CliStreams& io);
int BatchCommand(const std::vector<std::string>& args, CliStreams& io);
int SensitivityCommand(const std::vector<std::string>& args, CliStreams& io);
int MergeCommand(const std::vector<std::string>& args, CliStreams& io);

// Checks --replicates against the other options of `run`; the message for a
// usage error, or nothing.
std::optional<std::string> CheckReplicateOptions(const RunOptions& options);

// After replicate 1 of `run --replicates N` has run in `model` and its report is
// written: runs replicates 2 to N, writes the CSV of per-cycle mean, standard
// deviation and 95 % confidence half-width, and prints each replicate's analysis
// and their mean and spread. Returns the exit status.
int FinishReplicates(const FloweringModel& model, const RunSettings& settings, const RunOutcome& first,
                     const RunOptions& options, const std::string& source, CliStreams& io);
