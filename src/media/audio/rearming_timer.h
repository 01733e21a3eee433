// A timer thread that calls its tick after a delay and then again after whatever delay each
// tick returns, measured from the end of that tick: the one-shot multimedia timer that a
// playback tick cancels and arms anew, without a thread per arming.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace corvel {

class RearmingTimer {
 public:
  // Returns the delay in milliseconds before the next call; 0 or less ends the timer.
  using Tick = std::function<int()>;

  // nullptr when firstDelayMs <= 0, the tick is empty or the thread cannot be created.
  static std::unique_ptr<RearmingTimer> Start(int firstDelayMs, Tick tick);

  ~RearmingTimer();  // Cancel()
  RearmingTimer(const RearmingTimer&) = delete;
  RearmingTimer& operator=(const RearmingTimer&) = delete;

  // No tick runs once this returns (it waits for one in progress); must not be called from the
  // tick itself.
  void Cancel();

 private:
  RearmingTimer(int firstDelayMs, Tick tick);
  void Run(const std::stop_token& stop);

  const int firstDelayMs_;
  const Tick tick_;
  std::mutex mutex_;  // only for the waits on wake_
  std::condition_variable_any wake_;
  std::jthread thread_;  // last member: it ends before the rest goes
};

}  // namespace corvel
