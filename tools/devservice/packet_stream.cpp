#include "packet_stream.h"

namespace corvel::devservice {

SplitResult SplitDatagram(const std::uint8_t* bytes, std::size_t count) {
  SplitResult result;
  std::size_t offset = 0;
  while (offset < count) {
    const std::size_t left = count - offset;
    ServicePacket packet;
    if (packet.Parse(bytes + offset, left) < 0) break;
    // Step by the announced length: a body beyond the packet's capacity is cut by Parse, but
    // the bytes are still on the wire before the next packet.
    const std::size_t announced =
        static_cast<std::size_t>(bytes[offset + 2]) << 8 | bytes[offset + 3];
    result.packets.push_back(packet);
    offset += announced;
  }
  result.unusedBytes = count - offset;
  return result;
}

std::vector<std::uint8_t> PacketBytes(ServicePacket packet) {
  std::vector<std::uint8_t> bytes(ServicePacket::kEmptyLength + ServicePacket::kMaxBody);
  bytes.resize(packet.Serialize(bytes.data(), bytes.size()));
  return bytes;
}

}  // namespace corvel::devservice
