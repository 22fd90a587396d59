#include "platform/Interrupts.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <windows.h>

#include <semaphore>
#else
#include <semaphore.h>
#include <unistd.h>
#endif

namespace varnolt {

namespace {

// The signal handler wakes the listener thread through a semaphore, whose post
// is safe in a signal handler (on Windows the handler runs on a thread of its own).
#ifdef _WIN32
std::counting_semaphore<>& Wakeup() {
  static auto* semaphore = new std::counting_semaphore<>(0);
  return *semaphore;
}
void Post() { Wakeup().release(); }
void AwaitPost() { Wakeup().acquire(); }
#else
sem_t wakeup;
void Post() { sem_post(&wakeup); }
void AwaitPost() {
  while (sem_wait(&wakeup) != 0) {
  }
}
#endif

// The watches alive; never freed, so that a signal during the program's exit
// finds them still there.
std::mutex& WatchLock() {
  static auto* lock = new std::mutex;
  return *lock;
}
std::vector<InterruptionWatch*>& Watches() {
  static auto* watches = new std::vector<InterruptionWatch*>;
  return *watches;
}

volatile std::sig_atomic_t caught = 0;
std::atomic<bool> flag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

void Note(int signal) {
  if (caught != 0 && signal == SIGINT) std::_Exit(InterruptedExitStatus(SIGINT));  // the second Ctrl+C
  if (caught == 0) caught = signal;
  flag.store(true);
  Post();
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

void CallInterruptionWatches() {
  std::lock_guard guard(WatchLock());
  for (InterruptionWatch* watch : Watches()) watch->Fire();
}

namespace {

void Listen() {
  for (;;) {
    AwaitPost();
    CallInterruptionWatches();
  }
}

}  // namespace

InterruptionWatch::InterruptionWatch(std::function<void()> stop) : stop_(std::move(stop)) {
  std::lock_guard guard(WatchLock());
  Watches().push_back(this);
  if (flag.load()) Fire();
}

InterruptionWatch::~InterruptionWatch() {
  std::lock_guard guard(WatchLock());
  std::vector<InterruptionWatch*>& watches = Watches();
  watches.erase(std::remove(watches.begin(), watches.end(), this), watches.end());
}

void InterruptionWatch::Fire() {
  if (fired_) return;
  fired_ = true;
  stop_();
}

void CatchInterruptions() {
  static std::once_flag listening;
  std::call_once(listening, [] {
#ifndef _WIN32
    sem_init(&wakeup, 0, 0);
#endif
    std::thread(Listen).detach();
  });
#ifdef _WIN32
  // A program started with Ctrl+C ignored (as in the background) never gets it.
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  Catch(SIGINT);
  Catch(SIGTERM);
  Catch(SIGHUP);
#endif
}

void InterruptionTestPoint(const char* name) {
  static const char* const asked = std::getenv("VARNOLT_TEST_INTERRUPT");
  static std::atomic<bool> sent{false};  // once: a second Ctrl+C would end the program at once
  if (asked == nullptr || sent.load()) return;
  const char* colon = std::strchr(asked, ':');
  if (colon == nullptr || std::strncmp(asked, name, static_cast<std::size_t>(colon - asked)) != 0 ||
      name[colon - asked] != '\0') {
    return;
  }
  const int signal = std::atoi(colon + 1);
  if (signal <= 0 || sent.exchange(true)) return;
#ifdef _WIN32
  Note(signal);  // as the console handler notes an event
#else
  std::raise(signal);  // through the handler, as a signal from outside
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

}  // namespace varnolt
