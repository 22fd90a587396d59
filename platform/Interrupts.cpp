#include "platform/Interrupts.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

volatile std::sig_atomic_t caught = 0;
std::atomic<bool> flag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

void Note(int signal) {
  if (caught != 0 && signal == SIGINT) std::_Exit(InterruptedExitStatus(SIGINT));  // the second Ctrl+C
  if (caught == 0) caught = signal;
  flag.store(true);
}

extern "C" void OnInterruption(int signal) {
  Note(signal);
  std::signal(signal, OnInterruption);  // some systems reset the handler on delivery
}

#ifdef _WIN32
// Windows tells a console program of Ctrl+C, Ctrl+Break and a closed console
// through this handler, on a thread of its own; no SIGTERM ever arrives. A closed
// console (or the end of the session) ends the process as soon as the handler
// returns, so the handler waits instead: the work stops at its safe point, the
// program exits, and Windows' own time limit is the last resort.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT: Note(SIGINT); return TRUE;
    case CTRL_BREAK_EVENT: Note(SIGBREAK); return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      Note(SIGTERM);
      Sleep(INFINITE);
      return TRUE;
    default: return FALSE;
  }
}
#endif

void Catch(int signal) {
  if (std::signal(signal, OnInterruption) == SIG_IGN) std::signal(signal, SIG_IGN);
}

}  // namespace

void CatchInterruptions() {
#ifdef _WIN32
  // A program started with Ctrl+C ignored (as in the background) never gets it.
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  Catch(SIGINT);
  Catch(SIGTERM);
  Catch(SIGHUP);
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
