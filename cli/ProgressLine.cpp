#include "cli/ProgressLine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace varnolt {

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

std::string PalmsProgressText(std::uint64_t done, std::uint64_t palms, double elapsed) {
  constexpr int BarWidth = 20;
  palms = std::max<std::uint64_t>(palms, 1);
  const double share = std::min(1.0, static_cast<double>(done) / static_cast<double>(palms));
  const int filled = static_cast<int>(share * BarWidth);
  std::string line = std::string(share < 0.1 ? 2 : share < 1 ? 1 : 0, ' ') +
                     std::to_string(static_cast<int>(share * 100)) + "% [" + std::string(filled, '#') +
                     std::string(BarWidth - filled, '.') + "] " + WithThousands(static_cast<std::int64_t>(done)) + " of " +
                     WithThousands(static_cast<std::int64_t>(palms)) + " palms, " + ClockText(elapsed) + " elapsed";
  if (share > 0) line += ", " + ClockText(elapsed / share - elapsed) + " left";
  return line;
}

std::string CountProgressText(const std::string& what, std::uint64_t done, std::uint64_t total, double elapsed) {
  std::string line = what + " " + std::to_string(done) + " of " + std::to_string(total) + " done";
  if (done > 0 && done < total) {
    line += ", about " + ClockText(elapsed / static_cast<double>(done) * static_cast<double>(total - done)) + " left";
  }
  return line;
}

ProgressLine::ProgressLine(std::ostream& err, const std::atomic<std::uint64_t>& done, Text text, bool shown)
    : err_(err), done_(done), text_(std::move(text)) {
  if (shown) thread_ = std::jthread([this](std::stop_token stop) { Watch(std::move(stop)); });
}

ProgressLine::~ProgressLine() {
  // Stops the drawing and waits for it, before the last line is cleared.
  if (thread_.joinable()) {
    thread_.request_stop();
    thread_.join();
  }
  if (width_ != 0) err_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
}

void ProgressLine::Watch(std::stop_token stop) {
  using namespace std::chrono;
  const auto start = steady_clock::now();
  const auto over = [&stop] { return stop.stop_requested(); };
  std::unique_lock<std::mutex> guard(lock_);
  // Work that ends within a second gets no line at all.
  if (ended_.wait_for(guard, stop, seconds(1), over)) return;
  do {
    const std::string line = text_(done_.load(), duration<double>(steady_clock::now() - start).count());
    width_ = std::max(width_, line.size());
    err_ << '\r' << line << std::string(width_ - line.size(), ' ') << std::flush;
  } while (!ended_.wait_for(guard, stop, milliseconds(100), over));
}

}  // namespace varnolt
