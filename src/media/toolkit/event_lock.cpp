#include "media/toolkit/event_lock.h"

#include <new>

namespace corvel {

std::unique_ptr<EventLock> EventLock::Create() {
  return std::unique_ptr<EventLock>(new (std::nothrow) EventLock());
}

void EventLock::lock() {
  std::unique_lock<std::mutex> guard(mutex_);
  freed_.wait(guard, [this] { return !locked_; });
  locked_ = true;
}

bool EventLock::try_lock() {
  const std::lock_guard<std::mutex> guard(mutex_);
  if (locked_) return false;
  locked_ = true;
  return true;
}

void EventLock::unlock() {
  {
    const std::lock_guard<std::mutex> guard(mutex_);
    locked_ = false;
  }
  freed_.notify_one();
}

}  // namespace corvel
