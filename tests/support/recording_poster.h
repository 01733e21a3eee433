// A window stand-in that records the messages posted to it, with their arrival times, and lets a
// test wait for them. Safe from any thread.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "app/window_poster.h"

namespace corvel::testing {

// A window stand-in that records what is posted to it.
class RecordingPoster final : public WindowPoster {
 public:
  struct Message {
    int number;
    uint32_t wParam;
    intptr_t lParam;
    std::chrono::steady_clock::time_point at;
  };

  void Post(int message, uint32_t wParam, intptr_t lParam) override {
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      messages_.push_back({message, wParam, lParam, std::chrono::steady_clock::now()});
    }
    changed_.notify_all();
  }

  std::vector<Message> messages() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return messages_;
  }
  int count(int number) const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<int>(std::count_if(messages_.begin(), messages_.end(),
                                          [&](const Message& m) { return m.number == number; }));
  }
  // Waits until `count` messages of `number` have come; false at the time limit.
  bool WaitFor(int number, int count, int timeoutMs) {
    std::unique_lock<std::mutex> guard(mutex_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
      return std::count_if(messages_.begin(), messages_.end(),
                           [&](const Message& m) { return m.number == number; }) >= count;
    });
  }

 private:
  mutable std::mutex mutex_;  // guards messages_
  std::condition_variable changed_;
  std::vector<Message> messages_;
};

}  // namespace corvel::testing
