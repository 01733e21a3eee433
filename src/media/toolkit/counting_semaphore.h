// A counting semaphore with a maximum, as the audio and network threads hand work units to each
// other. Safe from any thread.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

namespace corvel {

class CountingSemaphore {
 public:
  // nullptr when maximum <= 0 (or memory is short). The initial count is clamped to 0..maximum.
  static std::unique_ptr<CountingSemaphore> Create(int initial, int maximum);

  CountingSemaphore(const CountingSemaphore&) = delete;
  CountingSemaphore& operator=(const CountingSemaphore&) = delete;

  // Takes a unit, waiting at most timeoutMs (0: not at all; -1 or any negative: no limit).
  // 0 when a unit was taken, 1 on time-out, -3 when the platform lock failed.
  int Wait(int timeoutMs);

  // Gives a unit back. 0, or -3 when the count is already at its maximum (nothing changes).
  int Release();

  int available() const;  // units that Wait could take now
  int taken() const;      // Waits that succeeded minus Releases that did; negative when more was
                          // released than taken (the initial count was below maximum)
  int maximum() const { return maximum_; }

 private:
  CountingSemaphore(int initial, int maximum);

  const int maximum_;
  mutable std::mutex mutex_;  // guards available_ and taken_
  std::condition_variable released_;
  int available_;
  int taken_ = 0;
};

}  // namespace corvel
