// The bounded first-in-first-out queue of packet copies between the service link's threads:
// the socket's receive queue and the business worker's queue. Push never waits, so a full
// queue costs a producer nothing but the packet.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "service/service_packet.h"

namespace corvel {

class PacketQueue {
 public:
  static constexpr std::size_t kCapacity = 1024;

  explicit PacketQueue(std::size_t capacity = kCapacity);

  // Queues a copy at the tail; false (and nothing queued) when the queue is full or closed.
  bool Push(const ServicePacket& packet);

  // The packet at the head, waiting at most timeoutMs (negative: without limit). None when the
  // time ran out, the queue was closed, or a Kick ended the wait.
  std::optional<ServicePacket> Pop(int timeoutMs);

  // Ends one wait of Pop early (or the next one, when nobody waits): used to make a consumer
  // look at its flags and timers again.
  void Kick();

  // Wakes every waiter for good; Push fails from now on, Pop returns what is left, then none.
  void Close();

  std::size_t count() const;
  std::size_t capacity() const { return slots_.size(); }

 private:
  mutable std::mutex mutex_;  // guards everything below
  std::condition_variable filled_;
  std::vector<std::unique_ptr<ServicePacket>> slots_;
  std::size_t readPosition_ = 0;
  std::size_t writePosition_ = 0;
  std::size_t count_ = 0;
  bool kicked_ = false;
  bool closed_ = false;
};

}  // namespace corvel
