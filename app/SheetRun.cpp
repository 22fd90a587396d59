// The run of the main window: the settings into the model, the run, the report.
#include "app/Sheet.h"

RunOutcome CSheet::RunSimulation() { return ::RunSimulation(model, settings, seedSource()); }
