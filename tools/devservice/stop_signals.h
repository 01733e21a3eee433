// SIGINT and SIGTERM taken as a request to stop: blocked in every thread and read from a
// signalfd by the thread that waits for them.
#pragma once

#include <optional>

#include "media/toolkit/unique_fd.h"

namespace corvel::devservice {

class StopSignals {
 public:
  // Call before starting any thread, so every thread inherits the blocked mask. None when the
  // signalfd cannot be made.
  static std::optional<StopSignals> Block();

  // The signal number that arrived.
  int Wait();

 private:
  explicit StopSignals(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;
};

}  // namespace corvel::devservice
