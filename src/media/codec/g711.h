// G.711 µ-law (PCMU) and A-law (PCMA), ITU-T G.711 in the 16-bit segment-search formulation:
// segment ends 0xFF, 0x1FF, ..., 0x7FFF, the segment being the first end not below the magnitude.
// PCM is 16-bit signed, 8000 Hz, mono, in host order (little-endian on every platform we build
// for). Stateless; safe from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace corvel {

namespace g711 {

inline constexpr std::array<int, 8> kSegmentEnds = {0xFF,  0x1FF,  0x3FF,  0x7FF,
                                                    0xFFF, 0x1FFF, 0x3FFF, 0x7FFF};
inline constexpr int kUlawBias = 132;

constexpr int Segment(int magnitude) {
  for (int segment = 0; segment < 8; ++segment) {
    if (magnitude <= kSegmentEnds[static_cast<std::size_t>(segment)]) return segment;
  }
  return 8;
}

constexpr uint8_t LinearToUlaw(int16_t sample) {
  const int magnitude = sample >= 0 ? sample + kUlawBias : kUlawBias - sample;
  const int mask = sample >= 0 ? 0xFF : 0x7F;
  const int segment = Segment(magnitude);
  if (segment == 8) return static_cast<uint8_t>(0x7F ^ mask);
  return static_cast<uint8_t>(((segment << 4) | ((magnitude >> (segment + 3)) & 0xF)) ^ mask);
}

constexpr uint8_t LinearToAlaw(int16_t sample) {
  // -s - 8 alone turns -1..-7 negative, which would encode them as -248; they belong in the
  // smallest negative step.
  const int magnitude = sample >= 0 ? sample : (-sample - 8 > 0 ? -sample - 8 : 0);
  const int mask = sample >= 0 ? 0xD5 : 0x55;
  const int segment = Segment(magnitude);
  if (segment == 8) return static_cast<uint8_t>(0x7F ^ mask);
  const int shift = segment < 2 ? 4 : segment + 3;
  return static_cast<uint8_t>(((segment << 4) | ((magnitude >> shift) & 0xF)) ^ mask);
}

constexpr int16_t UlawToLinear(uint8_t code) {
  const int inverted = ~code;
  const int magnitude = (((inverted & 0xF) << 3) + kUlawBias) << ((inverted >> 4) & 7);
  return static_cast<int16_t>((code & 0x80) != 0 ? magnitude - kUlawBias : kUlawBias - magnitude);
}

constexpr int16_t AlawToLinear(uint8_t code) {
  const int toggled = code ^ 0x55;
  const int quantum = (toggled & 0xF) << 4;
  const int segment = (toggled >> 4) & 7;
  int magnitude = 0;
  if (segment == 0) {
    magnitude = quantum + 8;
  } else if (segment == 1) {
    magnitude = quantum + 0x108;
  } else {
    magnitude = (quantum + 0x108) << (segment - 1);
  }
  return static_cast<int16_t>((code & 0x80) != 0 ? magnitude : -magnitude);
}

}  // namespace g711

// Encoders: one byte per whole sample of `byteCount` PCM bytes (an odd trailing byte is
// ignored); the result is byteCount / 2. Decoders: two PCM bytes per code byte; the result is
// 2 * length. -1 for a null buffer or a count <= 0.
int PcmuEncode(const int16_t* pcm, int byteCount, uint8_t* out);
int PcmaEncode(const int16_t* pcm, int byteCount, uint8_t* out);
int PcmuDecode(const uint8_t* data, int length, int16_t* out);
int PcmaDecode(const uint8_t* data, int length, int16_t* out);

}  // namespace corvel
