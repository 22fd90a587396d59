#include "platform/Interrupts.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

volatile std::sig_atomic_t caught = 0;
std::atomic<bool> flag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

extern "C" void OnInterruption(int signal) {
  if (caught != 0 && signal == SIGINT) std::_Exit(InterruptedExitStatus(SIGINT));  // the second Ctrl+C
  if (caught == 0) caught = signal;
  flag.store(true);
  std::signal(signal, OnInterruption);  // some systems reset the handler on delivery
}

void Catch(int signal) {
  if (std::signal(signal, OnInterruption) == SIG_IGN) std::signal(signal, SIG_IGN);
}

}  // namespace

void CatchInterruptions() {
  Catch(SIGINT);
  Catch(SIGTERM);
#ifdef SIGHUP
  Catch(SIGHUP);
#endif
#ifdef SIGBREAK
  Catch(SIGBREAK);
#endif
}

int InterruptionSignal() { return caught; }

const std::atomic<bool>& InterruptionFlag() { return flag; }

int InterruptedExitStatus(int signal) { return 128 + signal; }

bool StandardErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}
