#pragma once
// Long work from Python: it runs on a job's thread while the calling thread
// waits with the GIL released, so that other Python threads go on, and wakes
// to look for a signal (Ctrl+C raises KeyboardInterrupt within a fraction of a
// second) and to hand the progress to a Python callable. The work never
// touches a Python object.

#include <cstdint>
#include <functional>
#include <stop_token>

#include "model/FastEngine.h"
#include "python/Bindings.h"

namespace varnolt::python {

// The work: runs once on the job's thread; control.cancel is set when a stop
// is asked, control.palmsDone counts what is done out of `total`.
using WatchedWork = std::function<void(const std::stop_token& stop, RunControl& control)>;

// Runs the work and waits for it. A signal whose Python handler raises (Ctrl+C's
// KeyboardInterrupt), or a progress callable that raises, stops the work, waits
// for it to end and raises that exception; an exception of the work itself is
// raised here too. `progress`, when not None, is called with the fraction done
// (0 to 1) as it changes and with 1.0 at the end.
void RunWatched(const WatchedWork& work, std::uint64_t total, const py::object& progress, int threads);

// Whether a test seam is armed for the next watched work (which must then not
// be run inline).
bool TestSeamArmed();

// varnolt._varnolt._testing: the seams the tests hold the work with.
void BindTestSeams(py::module_& module);

}  // namespace varnolt::python
