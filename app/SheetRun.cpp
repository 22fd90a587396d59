// The run of the main window: the settings into the model, the run, the report.
#include "app/Sheet.h"

RunOutcome CSheet::RunSimulation() {
  RunOutcome outcome = ::RunSimulation(model, settings, seedSource());
  if (outcome.Completed() || outcome.status == RunStatus::ReportNotWritten) {
    lastRun = LastRun{settings, outcome};
    ++resultsVersion;
  }
  return outcome;
}
