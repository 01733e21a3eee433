// AMR-NB frames in the storage format (RFC 4867 section 5): a header byte with the frame type in
// bits 6..3 and the quality bit in bit 2, then the speech bits padded to whole bytes.
#pragma once

#include <cstdint>

namespace corvel {

inline constexpr int kAmrMaxFrameBytes = 32;  // a 12.2 kbit/s frame with its header byte

// The frame type of a header byte.
constexpr int AmrFrameType(uint8_t header) {
  return (header >> 3) & 0x0F;
}

// Bytes of a frame of this type, header included: 13, 14, 16, 18, 20, 21, 27, 32 for the eight
// speech modes, 6 for comfort noise (8), 1 for no data (15); 0 for types 9 to 14, which carry no
// size, and for anything outside 0..15.
constexpr int AmrFrameBytes(int frameType) {
  constexpr int kSizes[16] = {13, 14, 16, 18, 20, 21, 27, 32, 6, 0, 0, 0, 0, 0, 0, 1};
  return frameType >= 0 && frameType < 16 ? kSizes[frameType] : 0;
}

}  // namespace corvel
