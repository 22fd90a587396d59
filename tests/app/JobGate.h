#pragma once
// A seam for tests of long runs: while a JobGate lives, every job waits at its
// start until the test releases it or the job is stopped, so what a test sees
// while a run lasts never depends on how fast this machine runs the model.

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "run/Job.h"

namespace varnolt {

// Holds every job at its start, with `palms` palms counted as done, until
// Release() or a stop of the job.
class JobGate {
 public:
  explicit JobGate(std::uint64_t palms) {
    Job::SetTestHook([this, palms](std::stop_token stop, RunControl& control) {
      control.palmsDone = palms;
      std::unique_lock guard(lock_);
      ++held_;
      opened_.wait(guard, stop, [this] { return released_; });
    });
  }
  ~JobGate() {
    Release();
    Job::SetTestHook({});
  }
  void Release() {
    {
      std::lock_guard guard(lock_);
      released_ = true;
    }
    opened_.notify_all();
  }
  int Held() {
    std::lock_guard guard(lock_);
    return held_;
  }

 private:
  std::mutex lock_;
  std::condition_variable_any opened_;
  bool released_ = false;
  int held_ = 0;
};

}  // namespace varnolt

