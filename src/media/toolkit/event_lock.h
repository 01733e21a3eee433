// A lock that any thread may release, not only the one that took it: a binary semaphore. It is
// not reentrant: a thread that locks it twice without an unlock in between waits for ever.
// Meets BasicLockable and Lockable, so std::lock_guard and std::unique_lock work with it.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

namespace corvel {

class EventLock {
 public:
  // nullptr when memory is short. The lock starts unlocked.
  static std::unique_ptr<EventLock> Create();

  EventLock() = default;
  EventLock(const EventLock&) = delete;
  EventLock& operator=(const EventLock&) = delete;

  void lock();      // waits, without a time limit, until the lock is free, then takes it
  bool try_lock();  // takes the lock if free, without waiting
  void unlock();    // frees the lock, from any thread; freeing a free lock leaves it free

 private:
  std::mutex mutex_;  // guards locked_
  std::condition_variable freed_;
  bool locked_ = false;
};

}  // namespace corvel
