// A point in time computed once from a millisecond time limit, so that waits woken early (spurious
// wake-ups, a competitor taking the slot first) do not restart the full limit.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace corvel {

class Deadline {
 public:
  using Clock = std::chrono::steady_clock;

  // A negative limit (-1 by convention) means no limit.
  static Deadline AfterMs(int timeoutMs) {
    Deadline deadline;
    if (timeoutMs >= 0) deadline.at_ = Clock::now() + std::chrono::milliseconds(timeoutMs);
    return deadline;
  }

  bool unlimited() const { return !at_.has_value(); }

  // Milliseconds left, rounded up so a poll() does not wake just before the deadline; -1 when
  // unlimited, 0 once passed.
  int remainingMs() const {
    if (!at_) return -1;
    const auto left = *at_ - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
  }

  // Waits on `cv` until `ready()` holds or the deadline passes; returns ready().
  template <typename Predicate>
  bool Wait(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
            Predicate ready) const {
    if (!at_) {
      cv.wait(lock, ready);
      return true;
    }
    return cv.wait_until(lock, *at_, ready);
  }

 private:
  std::optional<Clock::time_point> at_;
};

}  // namespace corvel
