#pragma once
// The line of progress that long commands (a run, a sweep, a batch, replicates)
// keep on standard error while they work. It is redrawn in place at most ten
// times a second, only once the work has lasted a second, and cleared when the
// work ends so that the words after it start on a clean line. The caller shows
// it only on a terminal, so files and pipes that collect standard error get no
// clutter.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <stop_token>
#include <string>
#include <thread>

#include "platform/WholeNumbers.h"

namespace varnolt {

// "1:05" or "2:03:10" for a duration in seconds.
std::string ClockText(double seconds);

// "  5% [#...................] 3,000,000 of 60,000,000 palms, 0:03 elapsed, 0:57 left"
std::string PalmsProgressText(std::uint64_t done, std::uint64_t palms, double elapsed);

// "Runs 120 of 1000 done, about 0:42 left"
std::string CountProgressText(const std::string& what, std::uint64_t done, std::uint64_t total, double elapsed);

class ProgressLine {
 public:
  // The line's text for `done` after `elapsed` seconds.
  using Text = std::function<std::string(std::uint64_t done, double elapsed)>;

  // While alive and `shown`, draws the text for the count `done` from a thread
  // of its own; the work updates `done` from wherever it runs.
  ProgressLine(std::ostream& err, const std::atomic<std::uint64_t>& done, Text text, bool shown);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

 private:
  void Watch(std::stop_token stop);
  std::ostream& err_;
  const std::atomic<std::uint64_t>& done_;
  Text text_;
  std::size_t width_ = 0;  // the longest line drawn, which a shorter one must cover
  std::mutex lock_;
  std::condition_variable_any ended_;  // wakes the drawing thread when the line is stopped
  std::jthread thread_;
};

}  // namespace varnolt
