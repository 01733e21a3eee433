// A value behind its own lock, for state that several threads read and write as a whole.
#pragma once

#include <mutex>
#include <utility>

namespace corvel {

template <typename T>
class Synchronized {
 public:
  Synchronized() = default;
  explicit Synchronized(T value) : value_(std::move(value)) {}
  Synchronized(const Synchronized&) = delete;
  Synchronized& operator=(const Synchronized&) = delete;

  T get() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return value_;
  }

  void set(T value) {
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      std::swap(value_, value);
    }
    // The old value is destroyed here, outside the lock.
  }

  // Runs access(value) under the lock, for a read-modify-write, and returns its result by value;
  // access must not use this object.
  template <typename Access>
  auto with(Access&& access) {
    const std::lock_guard<std::mutex> guard(mutex_);
    return std::forward<Access>(access)(value_);
  }
  template <typename Access>
  auto with(Access&& access) const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return std::forward<Access>(access)(std::as_const(value_));
  }

 private:
  mutable std::mutex mutex_;  // guards value_
  T value_{};
};

}  // namespace corvel
