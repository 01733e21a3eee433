// Running a short-lived helper program and collecting its standard output within bounds: the
// helper may crash, hang or write without end, and the caller still gets an answer in time.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace corvel::store_detail {

struct HelperLimits {
  std::size_t maxOutputBytes = 0;
  int timeLimitMs = 0;  // for reading and waiting together; negative counts as 0
};

struct HelperResult {
  enum class End { kNotStarted, kExited, kSignalled, kTimedOut, kTooMuchOutput, kFailed };
  End end = End::kNotStarted;
  int code = 0;        // exit status (kExited), signal (kSignalled), errno (kNotStarted)
  std::string output;  // what it wrote; empty unless it exited
};

// Starts args[0] with args as its argv (no shell, no PATH search) and the process environment;
// stdin is /dev/null, stdout a pipe read here, stderr shared, and no other descriptor is
// passed on. Reads until the helper closes stdout, then waits for it. Past the time limit or
// the output limit it is killed and reaped. Called from any thread; uses no fork(). Never throws.
HelperResult RunHelper(const std::vector<std::string>& args, const HelperLimits& limits) noexcept;

}  // namespace corvel::store_detail
