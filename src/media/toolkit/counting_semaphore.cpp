#include "media/toolkit/counting_semaphore.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "media/toolkit/deadline.h"

namespace corvel {

CountingSemaphore::CountingSemaphore(int initial, int maximum)
    : maximum_(maximum), available_(std::clamp(initial, 0, maximum)) {}

std::unique_ptr<CountingSemaphore> CountingSemaphore::Create(int initial, int maximum) {
  if (maximum <= 0) return nullptr;
  return std::unique_ptr<CountingSemaphore>(new (std::nothrow) CountingSemaphore(initial, maximum));
}

int CountingSemaphore::Wait(int timeoutMs) {
  try {
    const Deadline deadline = Deadline::AfterMs(timeoutMs);
    std::unique_lock<std::mutex> guard(mutex_);
    if (!deadline.Wait(released_, guard, [this] { return available_ > 0; })) return 1;
    --available_;
    ++taken_;
    return 0;
  } catch (const std::system_error&) {
    return -3;
  }
}

int CountingSemaphore::Release() {
  try {
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      if (available_ >= maximum_) return -3;
      ++available_;
      --taken_;
    }
    released_.notify_one();
    return 0;
  } catch (const std::system_error&) {
    return -3;
  }
}

int CountingSemaphore::available() const {
  const std::lock_guard<std::mutex> guard(mutex_);
  return available_;
}

int CountingSemaphore::taken() const {
  const std::lock_guard<std::mutex> guard(mutex_);
  return taken_;
}

}  // namespace corvel
