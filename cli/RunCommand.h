#pragma once
// `run`: validate the settings, run the model, write the report; from the
// settings file when one is given, else from the start-up defaults.

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/RunOptions.h"
#include "run/RunDriver.h"
#include "settings/RunSettings.h"

namespace varnolt {

// Runs from the given settings with the options applied on top; `source` says
// where the settings came from, for the summary ("the start-up defaults", a file),
// and `settingsFile` names the file they were read from, which the report may
// not replace. The options' positional arguments must have been taken out by the
// caller.
int ExecuteRun(RunSettings settings, const RunOptions& options, const std::string& source, CliStreams& io,
               const std::string& settingsFile = {});

// Runs `run` as a job (on a thread of its own, with `threads` engine threads)
// and waits for it: an interruption (Ctrl+C, kill) stops the job, and with
// `progressLine` a run that lasts over a second draws a progress line on `err`,
// cleared at the end.
RunOutcome WatchRun(const std::function<RunOutcome(RunControl&)>& run, int threads, std::int64_t palms,
                    bool progressLine, std::ostream& err);

}  // namespace varnolt
