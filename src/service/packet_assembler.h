// Cuts arriving datagrams into packets: one datagram may carry several packets back to back,
// and a packet longer than its datagram waits for the rest in the next one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "service/service_packet.h"

namespace corvel {

class PacketAssembler {
 public:
  static constexpr std::size_t kMaxPacket = 1024;

  // Called for every packet found, with its remoteAddress and localAddress filled in.
  using Deliver = std::function<void(const ServicePacket&)>;

  PacketAssembler(Endpoint localAddress, Deliver deliver)
      : localAddress_(localAddress), deliver_(std::move(deliver)) {}

  void HandleDatagram(const std::uint8_t* data, std::size_t n, Endpoint sender);
  void Reset() { pendingHave_ = pendingMissing_ = 0; }

  std::size_t pendingHave() const { return pendingHave_; }
  std::size_t pendingMissing() const { return pendingMissing_; }

 private:
  void ProcessStream(const std::uint8_t* data, std::size_t n, Endpoint sender);

  const Endpoint localAddress_;
  const Deliver deliver_;
  std::array<std::uint8_t, kMaxPacket> pending_{};
  std::size_t pendingHave_ = 0;
  std::size_t pendingMissing_ = 0;
};

}  // namespace corvel
