#include "media/codec/g711.h"

#include <cstddef>
#include <limits>

namespace corvel {
namespace {

// Every 16-bit sample and every code byte looked up once from the formulas above: one load per
// sample is cheaper than the segment search. Built on first use (the 64 KiB tables exceed what
// some compilers evaluate at compile time), then only read, from any thread.
template <uint8_t (*Encode)(int16_t)>
std::array<uint8_t, 65536> MakeEncodeTable() {
  std::array<uint8_t, 65536> table{};
  for (int sample = -32768; sample <= 32767; ++sample) {
    table[static_cast<uint16_t>(sample)] = Encode(static_cast<int16_t>(sample));
  }
  return table;
}

template <int16_t (*Decode)(uint8_t)>
constexpr std::array<int16_t, 256> MakeDecodeTable() {
  std::array<int16_t, 256> table{};
  for (int code = 0; code < 256; ++code) {
    table[static_cast<std::size_t>(code)] = Decode(static_cast<uint8_t>(code));
  }
  return table;
}

const std::array<uint8_t, 65536>& UlawEncodeTable() {
  static const std::array<uint8_t, 65536> table = MakeEncodeTable<g711::LinearToUlaw>();
  return table;
}

const std::array<uint8_t, 65536>& AlawEncodeTable() {
  static const std::array<uint8_t, 65536> table = MakeEncodeTable<g711::LinearToAlaw>();
  return table;
}

constexpr std::array<int16_t, 256> kUlawDecode = MakeDecodeTable<g711::UlawToLinear>();
constexpr std::array<int16_t, 256> kAlawDecode = MakeDecodeTable<g711::AlawToLinear>();

int Encode(const std::array<uint8_t, 65536>& table, const int16_t* pcm, int byteCount,
           uint8_t* out) {
  if (pcm == nullptr || out == nullptr || byteCount <= 0) return -1;
  const int samples = byteCount / 2;
  for (int i = 0; i < samples; ++i) {
    out[i] = table[static_cast<uint16_t>(pcm[i])];
  }
  return samples;
}

int Decode(const std::array<int16_t, 256>& table, const uint8_t* data, int length, int16_t* out) {
  if (data == nullptr || out == nullptr || length <= 0) return -1;
  if (length > std::numeric_limits<int>::max() / 2) return -1;  // the byte count would not fit
  for (int i = 0; i < length; ++i) {
    out[i] = table[data[i]];
  }
  return 2 * length;
}

}  // namespace

int PcmuEncode(const int16_t* pcm, int byteCount, uint8_t* out) {
  return Encode(UlawEncodeTable(), pcm, byteCount, out);
}

int PcmaEncode(const int16_t* pcm, int byteCount, uint8_t* out) {
  return Encode(AlawEncodeTable(), pcm, byteCount, out);
}

int PcmuDecode(const uint8_t* data, int length, int16_t* out) {
  return Decode(kUlawDecode, data, length, out);
}

int PcmaDecode(const uint8_t* data, int length, int16_t* out) {
  return Decode(kAlawDecode, data, length, out);
}

}  // namespace corvel
