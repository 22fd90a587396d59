#pragma once
// Long commands (sweeps, batches, sensitivity runs) stop cleanly on Ctrl+C or
// SIGTERM and tell how far they are on a terminal. The stop is a flag the work
// polls; a second Ctrl+C ends the program at once, as users expect.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <thread>

// The exit status of a command stopped by Ctrl+C, as shells report it.
inline constexpr int ExitStopped = 130;

// While alive, Ctrl+C and SIGTERM set Requested() instead of ending the program.
class StopOnSignal {
 public:
  StopOnSignal();
  ~StopOnSignal();
  StopOnSignal(const StopOnSignal&) = delete;
  StopOnSignal& operator=(const StopOnSignal&) = delete;
  static const std::atomic<bool>& Requested();
  // For the tests and callers that stop for their own reasons.
  static void Request();

 private:
  void (*previousInterrupt_)(int);
  void (*previousTerminate_)(int);
};

// A line on standard error, rewritten about twice a second while work goes on:
// "Points 120 of 1000 done, about 0:42 left". Only on a terminal, so files and
// pipes that collect standard error get no clutter.
class ProgressLine {
 public:
  ProgressLine(std::ostream& err, const std::atomic<std::uint64_t>& done, std::uint64_t total, std::string what);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

 private:
  void Show(bool last);
  std::ostream& err_;
  const std::atomic<std::uint64_t>& done_;
  std::uint64_t total_;
  std::string what_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

// "1:05" or "2:03:10" for a duration in seconds.
std::string ClockText(double seconds);
