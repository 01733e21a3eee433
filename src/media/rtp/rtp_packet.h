// One RTP packet in memory, and its conversion to and from the RFC 3550 wire format. Numeric
// fields are in host order; a record is a value and owns everything it refers to.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "media/rtp/packet_buffer.h"
#include "media/rtp/rtp_header_extension.h"

namespace corvel {

struct RtpPacket {
  static constexpr int kFixedHeaderBytes = 12;
  // The CC field has four bits; a 16th entry would spill into the extension bit on the wire.
  static constexpr int kMaxCsrcCount = 15;

  // The record of a datagram, or none when it is malformed: shorter than the fixed header, a CSRC
  // list or header extension running past its end. Any version is accepted. A padding count that
  // eats the whole payload leaves a valid packet without payload.
  static std::optional<RtpPacket> Parse(const uint8_t* bytes, int length);

  // Appends the wire form of `packet` to `buffer`. -1 when csrcCount exceeds kMaxCsrcCount, the
  // payload or extension blocks are shorter than their stated lengths, or memory is short. The
  // extension is written (and the X bit set) only when `extension` is 1 and a headerExtension is
  // present. With `padding` 1, 1 to 4 bytes are added so the length becomes a multiple of 4, the
  // last holding their count.
  static int Build(const RtpPacket& packet, PacketBuffer& buffer);

  // Replaces the payload with a private copy of `length` bytes; 0, or -1 for a negative length,
  // a null source with length > 0 or a failed allocation (the record is then unchanged).
  int SetPayload(const uint8_t* bytes, int length);

  const uint8_t* payloadData() const { return payload.empty() ? nullptr : payload.data(); }

  bool operator==(const RtpPacket&) const = default;

  uint8_t version = 2;
  uint8_t padding = 0;    // P bit, 0 or 1
  uint8_t extension = 0;  // X bit, 0 or 1
  uint8_t csrcCount = 0;  // the first csrcCount entries of csrc are meaningful
  uint8_t marker = 0;     // M bit, 0 or 1
  uint8_t payloadType = 0;
  uint16_t sequence = 0;
  uint32_t timestamp = 0;
  uint32_t ssrc = 0;
  std::array<uint32_t, 16> csrc{};
  std::optional<RtpHeaderExtension> headerExtension;
  // payloadLength bytes followed by two zero bytes, so a text payload reads as a terminated
  // string; empty when there is no payload.
  std::vector<uint8_t> payload;
  int32_t payloadLength = 0;
  // Received packet: the sender. Outgoing packet: an explicit destination (0: none).
  uint32_t peerAddress = 0;
  uint16_t peerPort = 0;
};

}  // namespace corvel
