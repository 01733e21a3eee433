#include "media/toolkit/periodic_timer.h"

#include <chrono>
#include <condition_variable>

namespace corvel {

struct PeriodicTimer::Control {
  using Clock = std::chrono::steady_clock;

  Control(std::chrono::milliseconds periodIn, std::function<void()> callbackIn)
      : period(periodIn), callback(std::move(callbackIn)) {}

  const std::chrono::milliseconds period;
  std::function<void()> callback;  // used by the thread only, once it has started
  std::mutex mutex;                // guards stopping and finished
  std::condition_variable changed;
  bool stopping = false;
  bool finished = false;  // the thread is past its last callback
};

PeriodicTimer::PeriodicTimer(int periodMs, std::shared_ptr<Control> control)
    : periodMs_(periodMs), control_(std::move(control)) {}

std::unique_ptr<PeriodicTimer> PeriodicTimer::Start(int periodMs, std::function<void()> callback) {
  if (periodMs <= 0 || !callback) return nullptr;
  try {
    auto control =
        std::make_shared<Control>(std::chrono::milliseconds(periodMs), std::move(callback));
    std::unique_ptr<PeriodicTimer> timer(new PeriodicTimer(periodMs, control));
    const std::lock_guard<std::mutex> guard(timer->threadMutex_);
    timer->thread_ = std::thread(&PeriodicTimer::Body, std::move(control));
    timer->threadId_ = timer->thread_.get_id();
    return timer;
  } catch (...) {
    return nullptr;
  }
}

void PeriodicTimer::Body(std::shared_ptr<Control> control) {
  const auto period = control->period;
  auto next = Control::Clock::now() + period;
  std::unique_lock<std::mutex> guard(control->mutex);
  for (;;) {
    if (control->changed.wait_until(guard, next, [&] { return control->stopping; })) break;
    guard.unlock();
    try {
      control->callback();
    } catch (...) {
      // Nothing on this thread could catch it; the next tick comes as usual.
    }
    guard.lock();
    next += period;
    const auto now = Control::Clock::now();
    if (next <= now) next += period * ((now - next) / period + 1);  // skip what the call overran
  }
  guard.unlock();
  control->callback = nullptr;  // release the callback's captures on this thread
  guard.lock();
  control->finished = true;
  guard.unlock();
  control->changed.notify_all();
}

PeriodicTimer::~PeriodicTimer() {
  Stop();
}

void PeriodicTimer::Stop() {
  {
    const std::lock_guard<std::mutex> guard(control_->mutex);
    control_->stopping = true;
  }
  control_->changed.notify_all();
  std::thread thread;
  {
    const std::lock_guard<std::mutex> guard(threadMutex_);
    if (threadId_ == std::this_thread::get_id()) {
      // Inside the callback: the thread ends once it returns; waiting here would never end.
      if (thread_.joinable()) thread_.detach();
      return;
    }
    thread = std::move(thread_);
  }
  // Another Stop may hold the thread, or the callback stopped the timer itself: either way the
  // promise is that no callback is running once this returns.
  {
    std::unique_lock<std::mutex> guard(control_->mutex);
    control_->changed.wait(guard, [this] { return control_->finished; });
  }
  if (thread.joinable()) thread.join();
}

}  // namespace corvel
