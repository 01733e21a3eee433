// Holds packets back for their delay on one thread of its own, which sleeps until the next one
// is due (or indefinitely when none is waiting).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "outgoing.h"

namespace corvel::devservice {

class DelayedSender {
 public:
  using SendFunction = std::function<void(const Outgoing&)>;

  explicit DelayedSender(SendFunction send);
  ~DelayedSender();  // Stop()
  DelayedSender(const DelayedSender&) = delete;
  DelayedSender& operator=(const DelayedSender&) = delete;

  // A delay of 0 or less sends at once on the caller's thread, keeping the caller's order.
  void Post(const Outgoing& out);
  // Drops what is still waiting and joins the thread; later posts with a delay are dropped.
  void Stop();

 private:
  using Clock = std::chrono::steady_clock;
  void Run();

  const SendFunction send_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::multimap<Clock::time_point, Outgoing> pending_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the fields above exist
};

}  // namespace corvel::devservice
