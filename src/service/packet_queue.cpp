#include "service/packet_queue.h"

#include <chrono>
#include <new>

namespace corvel {

PacketQueue::PacketQueue(std::size_t capacity) : slots_(capacity == 0 ? 1 : capacity) {}

bool PacketQueue::Push(const ServicePacket& packet) {
  {
    std::lock_guard lock(mutex_);
    if (closed_ || count_ == slots_.size()) return false;
  }
  std::unique_ptr<ServicePacket> copy(new (std::nothrow) ServicePacket(packet));
  if (!copy) return false;
  {
    std::lock_guard lock(mutex_);
    // Another producer may have filled the last slot meanwhile.
    if (closed_ || count_ == slots_.size()) return false;
    slots_[writePosition_] = std::move(copy);
    writePosition_ = (writePosition_ + 1) % slots_.size();
    ++count_;
  }
  filled_.notify_one();
  return true;
}

std::optional<ServicePacket> PacketQueue::Pop(int timeoutMs) {
  std::unique_lock lock(mutex_);
  auto ready = [this] { return count_ > 0 || kicked_ || closed_; };
  if (timeoutMs < 0) {
    filled_.wait(lock, ready);
  } else if (!filled_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
    return std::nullopt;
  }
  if (count_ == 0) {
    kicked_ = false;
    return std::nullopt;
  }
  std::unique_ptr<ServicePacket> packet = std::move(slots_[readPosition_]);
  readPosition_ = (readPosition_ + 1) % slots_.size();
  --count_;
  lock.unlock();
  return std::move(*packet);
}

void PacketQueue::Kick() {
  {
    std::lock_guard lock(mutex_);
    kicked_ = true;
  }
  filled_.notify_all();
}

void PacketQueue::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  filled_.notify_all();
}

std::size_t PacketQueue::count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

}  // namespace corvel
