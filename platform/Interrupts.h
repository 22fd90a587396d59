#pragma once
// Interruptions of the command-line runner and its terminal. Ctrl+C, a kill
// (SIGTERM) and a closed terminal (SIGHUP) are caught and only noted (on
// Windows: Ctrl+C, Ctrl+Break, and a closed console or session as SIGTERM),
// so that long work stops at a safe point, removes what it began and leaves
// every file whole. A second Ctrl+C ends the program at once.

#include <atomic>
#include <functional>

namespace varnolt {

// Catches the signals from now on; a signal that was ignored when the program
// started (as for a job in the background) stays ignored.
void CatchInterruptions();

// The first signal caught, or 0.
int InterruptionSignal();

// Set from the first signal on, for work that polls a flag.
const std::atomic<bool>& InterruptionFlag();

// While it lives, calls `stop` once when an interruption is caught (on a thread
// of its own, woken by the signal: nothing polls), or at once if one was caught
// before; for work that stops through a std::stop_source rather than a flag.
// `stop` must be quick and must not create or end a watch.
class InterruptionWatch {
 public:
  explicit InterruptionWatch(std::function<void()> stop);
  ~InterruptionWatch();
  InterruptionWatch(const InterruptionWatch&) = delete;
  InterruptionWatch& operator=(const InterruptionWatch&) = delete;

 private:
  friend void CallInterruptionWatches();
  void Fire();
  std::function<void()> stop_;
  bool fired_ = false;
};

// A place where work must notice a signal that arrives just then: the end of a
// table's last row, the analysis after a run. Tests cannot time a signal to land
// there, so when the environment says VARNOLT_TEST_INTERRUPT=NAME:SIGNAL (for
// example final-write:15), the program sends itself SIGNAL on reaching the place
// called NAME, the first time only. Without that variable it does nothing.
void InterruptionTestPoint(const char* name);

// The exit status for a program ended by that signal: 128 + its number, so 130
// for Ctrl+C.
int InterruptedExitStatus(int signal);

// Whether standard error is a terminal a person watches.
bool StandardErrorIsTerminal();

}  // namespace varnolt
