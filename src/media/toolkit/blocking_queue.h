// A bounded first-in first-out queue between threads. Close() releases every waiter at once, so
// no thread stays blocked on a queue that is being torn down.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>

#include "media/toolkit/deadline.h"

namespace corvel {

template <typename T>
class BlockingQueue {
 public:
  // nullptr when capacity <= 0 (or memory is short).
  static std::unique_ptr<BlockingQueue> Create(int capacity) {
    if (capacity <= 0) return nullptr;
    try {
      return std::unique_ptr<BlockingQueue>(new BlockingQueue(capacity));
    } catch (...) {
      return nullptr;
    }
  }

  // Closes, then destroys the elements left. Threads still waiting must have been released by
  // Close() beforehand; share the queue (std::shared_ptr) with threads that may outlive its owner.
  ~BlockingQueue() { Close(); }

  BlockingQueue(const BlockingQueue&) = delete;
  BlockingQueue& operator=(const BlockingQueue&) = delete;

  // Appends the element, waiting at most timeoutMs (0: not at all; -1: no limit) for a free slot.
  // 0 when it was queued. Otherwise the element is left as it was, still the caller's: 1 when no
  // slot came free in time, -1 when the queue is closed, -4 when it could not be stored (memory),
  // -3 when the platform lock failed.
  int Put(T&& element, int timeoutMs) {
    try {
      const Deadline deadline = Deadline::AfterMs(timeoutMs);
      std::unique_lock<std::mutex> guard(mutex_);
      const bool ready = deadline.Wait(notFull_, guard,
                                       [this] { return !alive_ || elements_.size() < capacity_; });
      if (!alive_) return -1;
      if (!ready) return 1;
      try {
        // deque::push_back allocates before it moves the element in and undoes itself on
        // failure, so a failed insertion leaves the element with the caller.
        elements_.push_back(std::move(element));
      } catch (...) {
        return -4;
      }
      guard.unlock();
      notEmpty_.notify_one();
      return 0;
    } catch (const std::system_error&) {
      return -3;
    }
  }

  // The oldest element, waiting at most timeoutMs (0: not at all; -1: no limit). None when nothing
  // came in time, or the queue is closed and empty (a closed queue still gives what it holds).
  std::optional<T> Get(int timeoutMs) {
    try {
      const Deadline deadline = Deadline::AfterMs(timeoutMs);
      std::unique_lock<std::mutex> guard(mutex_);
      deadline.Wait(notEmpty_, guard, [this] { return !alive_ || !elements_.empty(); });
      if (elements_.empty()) return std::nullopt;
      std::optional<T> oldest(std::move(elements_.front()));
      elements_.pop_front();
      guard.unlock();
      notFull_.notify_one();
      return oldest;
    } catch (...) {
      return std::nullopt;
    }
  }

  // Refuses further Puts and wakes every waiter: waiting Puts return -1, waiting Gets take what
  // is left or return none.
  void Close() {
    try {
      const std::lock_guard<std::mutex> guard(mutex_);
      alive_ = false;
    } catch (const std::system_error&) {
      return;
    }
    notFull_.notify_all();
    notEmpty_.notify_all();
  }

  int count() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<int>(elements_.size());
  }
  bool closed() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return !alive_;
  }
  int capacity() const { return static_cast<int>(capacity_); }

 private:
  explicit BlockingQueue(int capacity) : capacity_(static_cast<std::size_t>(capacity)) {}

  const std::size_t capacity_;
  mutable std::mutex mutex_;  // guards elements_ and alive_
  std::condition_variable notFull_;
  std::condition_variable notEmpty_;
  std::deque<T> elements_;
  bool alive_ = true;
};

}  // namespace corvel
