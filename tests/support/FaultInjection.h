#pragma once
// Makes the file layer's steps fail on request: counts every step a file
// operation takes, and fails the one with a chosen number.

#include <cerrno>
#include <functional>
#include <system_error>

#include "platform/FileIO.h"

namespace varnolt {

class FailingStep : public FileFaultInjector {
 public:
  // Fails step number `failAt` (from 1) with `error`; 0 fails none.
  explicit FailingStep(int failAt = 0, std::errc error = std::errc::io_error) : failAt_(failAt), error_(error) {
    previous_ = SetFileFaultInjector(this);
  }
  ~FailingStep() override { SetFileFaultInjector(previous_); }
  FailingStep(const FailingStep&) = delete;
  FailingStep& operator=(const FailingStep&) = delete;

  std::error_code Before(FileStep step) override {
    ++count_;
    if (count_ != failAt_) return {};
    failedStep_ = step;
    return std::make_error_code(error_);
  }

  int Count() const { return count_; }
  FileStep FailedStep() const { return failedStep_; }

  // The number of steps `operation` takes when nothing fails.
  static int StepsOf(const std::function<void()>& operation) {
    FailingStep counter;
    operation();
    return counter.Count();
  }

 private:
  int failAt_;
  std::errc error_;
  int count_ = 0;
  FileStep failedStep_ = FileStep::Create;
  FileFaultInjector* previous_ = nullptr;
};

}  // namespace varnolt
