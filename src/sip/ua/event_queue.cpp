#include "sip/ua/event_queue.h"

#include <chrono>
#include <utility>

namespace corvel::ua {

bool EventQueue::Push(EventPtr event) {
  if (!event) return false;
  {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (closed_ || events_.size() >= kCapacity) {
      ++dropped_;
      return false;
    }
    events_.push_back(std::move(event));
  }
  ready_.notify_one();
  return true;
}

EventPtr EventQueue::Wait(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto ready = [this] { return closed_ || woken_ || !events_.empty(); };
  if (timeoutMs > 0) {
    ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
  }
  woken_ = false;
  if (closed_ || events_.empty()) return nullptr;
  EventPtr event = std::move(events_.front());
  events_.pop_front();
  return event;
}

void EventQueue::Wake() {
  {
    const std::lock_guard<std::mutex> guard(mutex_);
    woken_ = true;
  }
  ready_.notify_all();
}

void EventQueue::Close() {
  std::deque<EventPtr> dropped;
  {
    const std::lock_guard<std::mutex> guard(mutex_);
    closed_ = true;
    dropped.swap(events_);
  }
  ready_.notify_all();
  // The events (and their messages) are freed here, outside the lock.
}

void EventQueue::Reopen() {
  const std::lock_guard<std::mutex> guard(mutex_);
  closed_ = false;
  dropped_ = 0;
}

std::size_t EventQueue::size() const {
  const std::lock_guard<std::mutex> guard(mutex_);
  return events_.size();
}

std::size_t EventQueue::dropped() const {
  const std::lock_guard<std::mutex> guard(mutex_);
  return dropped_;
}

}  // namespace corvel::ua
