#include "media/rtp/rtp_packet.h"

#include <algorithm>
#include <cstddef>
#include <new>

namespace corvel {
namespace {

constexpr int kExtensionHeaderBytes = 4;
constexpr int kPaddingAlignment = 4;

uint16_t ReadU16(const uint8_t* at) {
  return static_cast<uint16_t>((at[0] << 8) | at[1]);
}

uint32_t ReadU32(const uint8_t* at) {
  return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) | at[3];
}

void WriteU16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value);
}

void WriteU32(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value >> 24);
  at[1] = static_cast<uint8_t>(value >> 16);
  at[2] = static_cast<uint8_t>(value >> 8);
  at[3] = static_cast<uint8_t>(value);
}

}  // namespace

int RtpPacket::SetPayload(const uint8_t* bytes, int length) {
  if (length < 0 || (bytes == nullptr && length > 0)) return -1;
  if (length == 0) {
    payload.clear();
    payloadLength = 0;
    return 0;
  }
  try {
    std::vector<uint8_t> copy(static_cast<std::size_t>(length) + 2, 0);
    std::copy(bytes, bytes + length, copy.begin());
    payload = std::move(copy);
    payloadLength = length;
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

std::optional<RtpPacket> RtpPacket::Parse(const uint8_t* bytes, int length) {
  if (bytes == nullptr || length < kFixedHeaderBytes) return std::nullopt;
  try {
    RtpPacket packet;
    packet.version = static_cast<uint8_t>(bytes[0] >> 6);
    packet.padding = (bytes[0] >> 5) & 1;
    packet.extension = (bytes[0] >> 4) & 1;
    packet.csrcCount = bytes[0] & 0x0F;
    packet.marker = static_cast<uint8_t>(bytes[1] >> 7);
    packet.payloadType = bytes[1] & 0x7F;
    packet.sequence = ReadU16(bytes + 2);
    packet.timestamp = ReadU32(bytes + 4);
    packet.ssrc = ReadU32(bytes + 8);

    int position = kFixedHeaderBytes + 4 * packet.csrcCount;
    if (position > length) return std::nullopt;
    for (int i = 0; i < packet.csrcCount; ++i) {
      packet.csrc[static_cast<std::size_t>(i)] = ReadU32(bytes + kFixedHeaderBytes + 4 * i);
    }
    int rest = length - position;

    if (packet.extension != 0) {
      if (rest < kExtensionHeaderBytes) return std::nullopt;
      RtpHeaderExtension extension;
      extension.profile = {bytes[position], bytes[position + 1]};
      extension.length = ReadU16(bytes + position + 2);
      const int dataBytes = 4 * extension.length;
      if (rest < kExtensionHeaderBytes + dataBytes) return std::nullopt;
      const uint8_t* data = bytes + position + kExtensionHeaderBytes;
      extension.data.assign(data, data + dataBytes);
      packet.headerExtension = std::move(extension);
      rest -= kExtensionHeaderBytes + dataBytes;
      position += kExtensionHeaderBytes + dataBytes;
    }
    if (rest < 0) return std::nullopt;

    // RFC 3550: the last byte of a padded packet counts the padding, itself included.
    if (packet.padding != 0) rest -= bytes[length - 1];
    if (rest > 0 && packet.SetPayload(bytes + position, rest) != 0) return std::nullopt;
    return packet;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

int RtpPacket::Build(const RtpPacket& packet, PacketBuffer& buffer) {
  if (packet.csrcCount > kMaxCsrcCount) return -1;
  if (packet.payloadLength < 0 ||
      static_cast<std::size_t>(packet.payloadLength) > packet.payload.size()) {
    return -1;
  }
  const bool withExtension = packet.extension != 0 && packet.headerExtension.has_value();
  if (withExtension && packet.headerExtension->data.size() != 4u * packet.headerExtension->length) {
    return -1;
  }

  // The fixed header, the CSRC list and the extension's own header fit in one small block.
  uint8_t header[kFixedHeaderBytes + 4 * kMaxCsrcCount + kExtensionHeaderBytes];
  header[0] = static_cast<uint8_t>(((packet.version & 3) << 6) | ((packet.padding & 1) << 5) |
                                   ((withExtension ? 1 : 0) << 4) | packet.csrcCount);
  header[1] = static_cast<uint8_t>(((packet.marker & 1) << 7) | (packet.payloadType & 0x7F));
  WriteU16(header + 2, packet.sequence);
  WriteU32(header + 4, packet.timestamp);
  WriteU32(header + 8, packet.ssrc);
  int headerBytes = kFixedHeaderBytes;
  for (int i = 0; i < packet.csrcCount; ++i) {
    WriteU32(header + headerBytes, packet.csrc[static_cast<std::size_t>(i)]);
    headerBytes += 4;
  }
  if (withExtension) {
    header[headerBytes] = packet.headerExtension->profile[0];
    header[headerBytes + 1] = packet.headerExtension->profile[1];
    WriteU16(header + headerBytes + 2, packet.headerExtension->length);
    headerBytes += kExtensionHeaderBytes;
  }

  int packetBytes = headerBytes;
  if (buffer.Append(header, headerBytes) != 0) return -1;
  if (withExtension) {
    const std::vector<uint8_t>& data = packet.headerExtension->data;
    if (buffer.Append(data.data(), static_cast<int>(data.size())) != 0) return -1;
    packetBytes += static_cast<int>(data.size());
  }
  if (buffer.Append(packet.payload.data(), packet.payloadLength) != 0) return -1;
  packetBytes += packet.payloadLength;

  if (packet.padding != 0) {
    const int count = kPaddingAlignment - packetBytes % kPaddingAlignment;  // 1 to 4
    uint8_t padding[kPaddingAlignment] = {0, 0, 0, 0};
    padding[count - 1] = static_cast<uint8_t>(count);
    if (buffer.Append(padding, count) != 0) return -1;
  }
  return 0;
}

}  // namespace corvel
