// Calls a function at a fixed period on a thread of its own; the program's stand-in for the
// periodic multimedia timer of its original platform. Ticks follow a fixed grid of absolute
// deadlines, so they do not drift; ticks missed while the callback overran are skipped, not
// delivered in a burst.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace corvel {

class PeriodicTimer {
 public:
  // The first call comes one period after the start. nullptr when periodMs <= 0, the callback is
  // empty, or the thread cannot be created.
  static std::unique_ptr<PeriodicTimer> Start(int periodMs, std::function<void()> callback);

  // Stops as Stop() does.
  ~PeriodicTimer();
  PeriodicTimer(const PeriodicTimer&) = delete;
  PeriodicTimer& operator=(const PeriodicTimer&) = delete;

  // Ends the ticks. Once it returns no callback runs or will run (it waits for a running one,
  // so the callback must not wait for the thread that stops the timer). Called from inside the
  // callback it only prevents further ticks and returns at once; the timer thread then ends on
  // its own when the callback returns.
  void Stop();

  int periodMs() const { return periodMs_; }

 private:
  struct Control;

  PeriodicTimer(int periodMs, std::shared_ptr<Control> control);
  static void Body(std::shared_ptr<Control> control);

  const int periodMs_;
  const std::shared_ptr<Control> control_;  // shared with the thread
  std::mutex threadMutex_;  // guards thread_ and threadId_ (Stop may run on two threads at once)
  std::thread thread_;
  std::thread::id threadId_;  // kept after the thread is detached, to recognise it
};

}  // namespace corvel
