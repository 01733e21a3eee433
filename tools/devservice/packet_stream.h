// Service packets in and out of datagrams. The client may put several packets back to back in
// one datagram, each announcing its own length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "service/service_packet.h"

namespace corvel::devservice {

struct SplitResult {
  std::vector<ServicePacket> packets;
  std::size_t unusedBytes = 0;  // bytes after the last packet that did not form one
};

SplitResult SplitDatagram(const std::uint8_t* bytes, std::size_t count);

// The bytes to send for one packet.
std::vector<std::uint8_t> PacketBytes(ServicePacket packet);

}  // namespace corvel::devservice
