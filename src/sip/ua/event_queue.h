// The core's queue of events for the application: filled by the core's thread (and by the
// operations that report synchronously), emptied by whoever waits, with a time limit.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "sip/ua/ua_event.h"

namespace corvel::ua {

class EventQueue {
 public:
  // A flood of requests must not grow memory without bound: past this many waiting events new
  // ones are dropped (and counted).
  static constexpr std::size_t kCapacity = 1024;

  // False when the event was dropped because the queue is full or closed.
  bool Push(EventPtr event);

  // The oldest event, waiting up to timeoutMs (0: do not wait); null on time-out or once closed.
  EventPtr Wait(int timeoutMs);

  // Ends the current (or the next) Wait at once, without an event: the waiter has something
  // else to look at.
  void Wake();

  // Wakes every waiter and drops what is queued; later pushes are refused until Reopen.
  void Close();
  void Reopen();

  std::size_t size() const;
  std::size_t dropped() const;

 private:
  mutable std::mutex mutex_;  // guards events_, closed_, woken_, dropped_
  std::condition_variable ready_;
  std::deque<EventPtr> events_;
  bool closed_ = false;
  bool woken_ = false;
  std::size_t dropped_ = 0;
};

}  // namespace corvel::ua
