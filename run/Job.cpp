#include "run/Job.h"

#include <utility>

namespace varnolt {

namespace {

std::mutex hookLock;
Job::Hook& TestHook() {
  static Job::Hook hook;
  return hook;
}

}  // namespace

void Job::SetTestHook(Hook hook) {
  std::lock_guard guard(hookLock);
  TestHook() = std::move(hook);
}

Job::Job(Work work, int threads, OnEnd ended) {
  control_.threads = threads;
  thread_ = std::jthread([this, work = std::move(work), ended = std::move(ended)](std::stop_token stop) {
    Body(std::move(stop), work, ended);
  });
}

// The std::jthread asks for the stop and joins the thread as it goes.
Job::~Job() = default;

void Job::Body(std::stop_token stop, const Work& work, const OnEnd& ended) {
  {
    // The engine polls its own flag; a stop asked before this line sets it at once.
    std::stop_callback cancel(stop, [this] { control_.cancel.store(true); });
    Hook hook;
    {
      std::lock_guard guard(hookLock);
      hook = TestHook();
    }
    // What the work throws goes back to the owner (Wait, Error): on the job's
    // thread it would end the whole program.
    try {
      if (hook) hook(stop, control_);
      work(stop, control_);
    } catch (...) {
      std::lock_guard guard(lock_);
      error_ = std::current_exception();
    }
  }
  if (ended) ended();
  {
    std::lock_guard guard(lock_);
    ended_ = true;
  }
  endedSignal_.notify_all();
}

void Job::Stop() noexcept { thread_.request_stop(); }

bool Job::StopRequested() const noexcept { return thread_.get_stop_token().stop_requested(); }


bool Job::Ended() const {
  std::lock_guard guard(lock_);
  return ended_;
}

void Job::Wait() {
  std::unique_lock guard(lock_);
  endedSignal_.wait(guard, [this] { return ended_; });
  if (error_) std::rethrow_exception(error_);
}

std::exception_ptr Job::Error() const {
  std::lock_guard guard(lock_);
  return error_;
}

std::uint64_t Job::Done() const noexcept { return control_.palmsDone.load(); }

const std::atomic<std::uint64_t>& Job::DoneCounter() const noexcept { return control_.palmsDone; }

}  // namespace varnolt
