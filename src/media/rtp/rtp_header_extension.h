// The RFC 3550 header extension of an RTP packet.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace corvel {

struct RtpHeaderExtension {
  // The two "defined by profile" bytes exactly as they stand on the wire, never byte-swapped.
  std::array<uint8_t, 2> profile{};
  uint16_t length = 0;        // number of 32-bit words in data
  std::vector<uint8_t> data;  // length * 4 bytes, in wire order

  bool operator==(const RtpHeaderExtension&) const = default;
};

}  // namespace corvel
