#include "python/Watch.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>

#include "run/Job.h"

namespace varnolt::python {

namespace {

// How often the waiting thread wakes to look for signals and progress.
constexpr std::chrono::milliseconds LookInterval{40};
// How long a seam holds the work before it gives up waiting, so that a test
// whose stop never comes fails on its assertions instead of hanging.
constexpr std::chrono::seconds SeamPatience{60};

enum class Seam { None, Interrupt, Hold };
std::atomic<Seam> armedSeam{Seam::None};
std::mutex seamLock;
std::condition_variable seamSignal;
bool seamReleased = false;
bool seamHolding = false;

// On the job's thread before the work, when a test armed a seam: Interrupt
// sends this process SIGINT as a person's Ctrl+C would and holds the work
// until its stop arrives; Hold holds it until the test releases it (or a stop).
void PassTestSeam(const std::stop_token& stop) {
  const Seam seam = armedSeam.exchange(Seam::None);
  if (seam == Seam::None) return;
  bool stopped = false;
  const std::stop_callback onStop(stop, [&stopped] {
    std::lock_guard<std::mutex> held(seamLock);
    stopped = true;
    seamSignal.notify_all();
  });
  std::unique_lock<std::mutex> held(seamLock);
  if (seam == Seam::Interrupt) {
    held.unlock();
    std::raise(SIGINT);
    held.lock();
    seamSignal.wait_for(held, SeamPatience, [&stopped] { return stopped; });
  } else {
    seamHolding = true;
    seamSignal.notify_all();
    seamSignal.wait_for(held, SeamPatience, [&stopped] { return stopped || seamReleased; });
    seamHolding = false;
  }
}

struct EndSignal {
  std::mutex lock;
  std::condition_variable ended;
  bool done = false;
};

}  // namespace

bool TestSeamArmed() { return armedSeam.load() != Seam::None; }

void RunWatched(const WatchedWork& work, std::uint64_t total, const py::object& progress, int threads) {
  auto end = std::make_shared<EndSignal>();
  std::exception_ptr failure;
  std::optional<Job> job;
  job.emplace(
      [&work, &failure](const std::stop_token& stop, RunControl& control) {
        try {
          PassTestSeam(stop);
          work(stop, control);
        } catch (...) {
          failure = std::current_exception();
        }
      },
      threads,
      [end] {
        std::lock_guard<std::mutex> held(end->lock);
        end->done = true;
        end->ended.notify_all();
      });
  // Ends the job with the GIL released (it never needs it, but its end may
  // take a moment), and hands on the exception being raised.
  const auto stopJob = [&job] {
    py::gil_scoped_release release;
    job->Stop();
    job.reset();
  };
  double reported = -1.0;
  const auto report = [&](double fraction) {
    if (progress.is_none() || fraction == reported) return;
    reported = fraction;
    progress(fraction);
  };
  for (;;) {
    bool done = false;
    {
      py::gil_scoped_release release;
      std::unique_lock<std::mutex> held(end->lock);
      done = end->ended.wait_for(held, LookInterval, [&end] { return end->done; });
    }
    if (done) break;
    if (PyErr_CheckSignals() != 0) {
      py::error_already_set raised;
      stopJob();
      throw raised;
    }
    try {
      const std::uint64_t count = job->Done();
      report(total == 0 ? 0.0 : static_cast<double>(std::min(count, total)) / static_cast<double>(total));
    } catch (...) {
      stopJob();
      throw;
    }
  }
  {
    py::gil_scoped_release release;
    job.reset();
  }
  if (failure) std::rethrow_exception(failure);
  report(1.0);
}

void BindTestSeams(py::module_& module) {
  py::module_ testing = module.def_submodule("_testing", "Seams for the module's own tests; not for use.");
  testing.def("interrupt_next_run", [] { armedSeam = Seam::Interrupt; },
              "The next long call sends this process SIGINT as its work starts and holds the work until it is "
              "stopped.");
  testing.def(
      "hold_next_run",
      [] {
        std::lock_guard<std::mutex> held(seamLock);
        seamReleased = false;
        seamHolding = false;
        armedSeam = Seam::Hold;
      },
      "The next long call holds its work until release_held_run() is called.");
  testing.def(
      "wait_until_held",
      [] {
        py::gil_scoped_release release;
        std::unique_lock<std::mutex> held(seamLock);
        return seamSignal.wait_for(held, SeamPatience, [] { return seamHolding; });
      },
      "Waits (without the GIL) until the held work has reached its seam; False after a minute without.");
  testing.def(
      "release_held_run",
      [] {
        std::lock_guard<std::mutex> held(seamLock);
        seamReleased = true;
        seamSignal.notify_all();
      },
      "Lets the held work go on.");
  testing.def("disarm", [] { armedSeam = Seam::None; }, "Removes a seam that no call has taken.");
}

}  // namespace varnolt::python
