#include "service/packet_assembler.h"

#include <cstring>

namespace corvel {
namespace {

std::size_t FindMarker(const std::uint8_t* data, std::size_t n) {
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (data[i] == ServicePacket::kMarker[0] && data[i + 1] == ServicePacket::kMarker[1]) return i;
  }
  return n;
}

}  // namespace

void PacketAssembler::HandleDatagram(const std::uint8_t* data, std::size_t n, Endpoint sender) {
  if (data == nullptr || n == 0) return;
  if (pendingMissing_ == 0) {
    ProcessStream(data, n, sender);
    return;
  }
  const std::size_t marker = FindMarker(data, n);
  if (marker == n) {
    if (n != pendingMissing_) return;  // not the rest of the pending packet
    std::memcpy(pending_.data() + pendingHave_, data, n);
    const std::size_t whole = pendingHave_ + n;
    Reset();
    ProcessStream(pending_.data(), whole, sender);
    return;
  }
  if (marker == pendingMissing_) {
    std::memcpy(pending_.data() + pendingHave_, data, marker);
    const std::size_t whole = pendingHave_ + marker;
    Reset();
    ProcessStream(pending_.data(), whole, sender);
  } else {
    Reset();  // a new packet began before the old one was complete
  }
  ProcessStream(data + marker, n - marker, sender);
}

void PacketAssembler::ProcessStream(const std::uint8_t* data, std::size_t n, Endpoint sender) {
  // A stream too short to hold its Length field cannot be read.
  while (n >= 4) {
    const std::size_t length = static_cast<std::size_t>(data[2]) << 8 | data[3];
    if (length < ServicePacket::kEmptyLength || length > kMaxPacket) return;
    if (n < length) {
      // Kept aside for the next datagram; the data may point into pending_ itself.
      std::memmove(pending_.data(), data, n);
      pendingHave_ = n;
      pendingMissing_ = length - n;
      return;
    }
    ServicePacket packet;
    // A stream without the marker still yields a packet: an empty one with command 0.
    packet.Parse(data, length);
    packet.remoteAddress = sender;
    packet.localAddress = localAddress_;
    deliver_(packet);
    data += length;
    n -= length;
  }
}

}  // namespace corvel
