#include "delayed_sender.h"

namespace corvel::devservice {

DelayedSender::DelayedSender(SendFunction send)
    : send_(std::move(send)), thread_([this] { Run(); }) {}

DelayedSender::~DelayedSender() {
  Stop();
}

void DelayedSender::Post(const Outgoing& out) {
  if (out.delayMs <= 0) {
    send_(out);
    return;
  }
  {
    const std::lock_guard lock(mutex_);
    if (stopping_) return;
    pending_.emplace(Clock::now() + std::chrono::milliseconds(out.delayMs), out);
  }
  changed_.notify_one();
}

void DelayedSender::Stop() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    pending_.clear();
  }
  changed_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void DelayedSender::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (pending_.empty()) {
      changed_.wait(lock);
      continue;
    }
    const auto next = pending_.begin();
    // A copy: the wait reads its deadline after waking, when Stop may have freed the entry.
    const Clock::time_point due = next->first;
    if (due > Clock::now()) {
      changed_.wait_until(lock, due);
      continue;
    }
    const Outgoing out = next->second;
    pending_.erase(next);
    lock.unlock();
    send_(out);
    lock.lock();
  }
}

}  // namespace corvel::devservice
