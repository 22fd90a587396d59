#include "cli/StopAndProgress.h"

#include <csignal>
#include <cmath>
#include <cstdio>

#include "platform/Interrupts.h"

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void OnStopSignal(int signal) {
  stopRequested.store(true);
  std::signal(signal, SIG_DFL);  // a second Ctrl+C ends the program at once
}

}  // namespace

StopOnSignal::StopOnSignal() {
  stopRequested = false;
  previousInterrupt_ = std::signal(SIGINT, OnStopSignal);
  previousTerminate_ = std::signal(SIGTERM, OnStopSignal);
}

StopOnSignal::~StopOnSignal() {
  std::signal(SIGINT, previousInterrupt_ == SIG_ERR ? SIG_DFL : previousInterrupt_);
  std::signal(SIGTERM, previousTerminate_ == SIG_ERR ? SIG_DFL : previousTerminate_);
}

const std::atomic<bool>& StopOnSignal::Requested() { return stopRequested; }
void StopOnSignal::Request() { stopRequested = true; }

std::string ClockText(double seconds) {
  const auto whole = static_cast<long long>(std::llround(std::max(0.0, seconds)));
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  }
  return text;
}

ProgressLine::ProgressLine(std::ostream& err, const std::atomic<std::uint64_t>& done, std::uint64_t total,
                           std::string what)
    : err_(err), done_(done), total_(total), what_(std::move(what)) {
  if (!StandardErrorIsTerminal()) return;
  thread_ = std::thread([this] {
    while (!finished_.load()) {
      Show(false);
      for (int i = 0; i < 10 && !finished_.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
}

ProgressLine::~ProgressLine() {
  finished_ = true;
  if (!thread_.joinable()) return;
  thread_.join();
  Show(true);
}

void ProgressLine::Show(bool last) {
  const std::uint64_t done = done_.load();
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::string line = "\r" + what_ + " " + std::to_string(done) + " of " + std::to_string(total_) + " done";
  if (done > 0 && done < total_) line += ", about " + ClockText(elapsed / done * (total_ - done)) + " left";
  line += "   ";
  err_ << line << (last ? "\n" : "") << std::flush;
}
