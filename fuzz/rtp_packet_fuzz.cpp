// Any datagram: Parse must neither crash nor read outside it, and whatever it accepts must build
// and parse back to the same record.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "media/rtp/packet_buffer.h"
#include "media/rtp/rtp_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  const int length = static_cast<int>(size);
  const std::optional<corvel::RtpPacket> packet = corvel::RtpPacket::Parse(data, length);
  if (!packet) return 0;
  if (length < corvel::RtpPacket::kFixedHeaderBytes || packet->csrcCount > 15 ||
      packet->payloadLength < 0 || packet->payloadLength > length - 12 ||
      packet->payload.size() != (packet->payloadLength > 0 ? packet->payloadLength + 2u : 0u) ||
      (packet->extension != 0) != packet->headerExtension.has_value()) {
    __builtin_trap();
  }
  std::optional<corvel::PacketBuffer> buffer = corvel::PacketBuffer::Create(4096);
  if (!buffer || corvel::RtpPacket::Build(*packet, *buffer) != 0) __builtin_trap();
  const std::optional<corvel::RtpPacket> again =
      corvel::RtpPacket::Parse(buffer->data(), buffer->length());
  if (!again || !(*again == *packet)) __builtin_trap();
  return 0;
}
