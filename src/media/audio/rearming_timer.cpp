#include "media/audio/rearming_timer.h"

#include <chrono>

namespace corvel {

RearmingTimer::RearmingTimer(int firstDelayMs, Tick tick)
    : firstDelayMs_(firstDelayMs), tick_(std::move(tick)) {}

std::unique_ptr<RearmingTimer> RearmingTimer::Start(int firstDelayMs, Tick tick) {
  if (firstDelayMs <= 0 || !tick) return nullptr;
  try {
    std::unique_ptr<RearmingTimer> timer(new RearmingTimer(firstDelayMs, std::move(tick)));
    timer->thread_ = std::jthread([raw = timer.get()](std::stop_token stop) { raw->Run(stop); });
    return timer;
  } catch (...) {
    return nullptr;
  }
}

RearmingTimer::~RearmingTimer() {
  Cancel();
}

void RearmingTimer::Cancel() {
  if (!thread_.joinable()) return;
  thread_.request_stop();  // wakes the wait
  thread_.join();
}

void RearmingTimer::Run(const std::stop_token& stop) {
  using Clock = std::chrono::steady_clock;
  int delayMs = firstDelayMs_;
  while (delayMs > 0) {
    const auto due = Clock::now() + std::chrono::milliseconds(delayMs);
    {
      // Only a stop request ends the wait early.
      std::unique_lock<std::mutex> guard(mutex_);
      wake_.wait_until(guard, stop, due, [] { return false; });
    }
    if (stop.stop_requested()) break;
    try {
      delayMs = tick_();
    } catch (...) {
      break;  // nothing on this thread could catch it
    }
  }
}

}  // namespace corvel
