// Elapsed wall time for the timing bounds in the toolkit tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace corvel::test {

class Stopwatch {
 public:
  int64_t elapsedMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
  }
  void restart() { start_ = Clock::now(); }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point start_ = Clock::now();
};

// Polls `done` every few milliseconds until it holds or limitMs passes; returns done().
template <typename Done>
bool WaitFor(Done done, int64_t limitMs) {
  const Stopwatch watch;
  while (!done()) {
    if (watch.elapsedMs() > limitMs) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace corvel::test
