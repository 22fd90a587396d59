#pragma once
// A job: work that runs on a thread of its own while its owner stays free, with
// a progress count, a stop that may be asked from any thread at any time, and a
// word when it has ended. The window's Run command, the runner's `run` and the
// experiments all run their work this way, so a run is stopped, followed and
// waited for alike everywhere, without anyone polling a flag.
//
// The stop is C++20's: the job's thread is a std::jthread, and the work receives
// its std::stop_token. The model's engine reads a plain flag (RunControl::cancel),
// which the job sets from a std::stop_callback as soon as a stop is asked.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

#include "model/FastEngine.h"

namespace varnolt {

class Job {
 public:
  // The work, run once on the job's thread. `control` is the job's own: its
  // palmsDone is the job's progress count (the palms of a model run, or whatever
  // unit the work counts, such as the points of an experiment), its cancel is set
  // once a stop is asked, and its threads are the engine's worker threads.
  using Work = std::function<void(std::stop_token stop, RunControl& control)>;
  // Called on the job's thread right after the work has returned (before Ended()
  // answers true and Wait() returns), for an owner
  // that learns of the end through its own event queue (the window posts a
  // queued call from here). It must not destroy the job.
  using OnEnd = std::function<void()>;

  // Starts the work at once. `threads` goes to RunControl::threads (0 follows
  // the machine).
  explicit Job(Work work, int threads = 0, OnEnd ended = {});
  // Asks the work to stop and waits for it to end.
  ~Job();
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;

  // Asks the work to stop; it ends soon after. Safe from any thread, at any time,
  // more than once.
  void Stop() noexcept;
  bool StopRequested() const noexcept;

  // Whether the work has returned.
  bool Ended() const;
  // Blocks the calling thread until the work has returned; then throws what the
  // work threw, if it threw, on the caller's thread rather than ending the program.
  void Wait();
  // What the work threw, once it has ended; null when it returned.
  std::exception_ptr Error() const;

  // The progress count, and the counter itself for a display that follows it.
  std::uint64_t Done() const noexcept;
  const std::atomic<std::uint64_t>& DoneCounter() const noexcept;

  // The tests' seam: while set, every job calls `hook` on its thread before its
  // work, with the job's stop token and control. A test holds the job there (and
  // sets its progress) for as long as it likes, so that what it checks never
  // depends on how fast this machine runs the model. Empty to remove.
  using Hook = std::function<void(std::stop_token stop, RunControl& control)>;
  static void SetTestHook(Hook hook);

 private:
  void Body(std::stop_token stop, const Work& work, const OnEnd& ended);

  RunControl control_;
  mutable std::mutex lock_;
  std::condition_variable endedSignal_;
  bool ended_ = false;
  std::exception_ptr error_;  // what the work threw, set before ended_
  std::jthread thread_;  // last: started once everything above is in place
};

}  // namespace varnolt
