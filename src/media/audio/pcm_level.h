// Sample magnitudes of 16-bit PCM, as the level meters, the silence suppression and the quiet
// tests of playback measure them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace corvel {

// The largest sample magnitude of the whole 16-bit samples in `bytes` (an odd last byte is not a
// sample), at most 32767 so that it fits the meters' range; 0 for no samples.
inline int PeakMagnitude(const uint8_t* bytes, int byteCount) {
  if (bytes == nullptr || byteCount < 2) return 0;
  int peak = 0;
  const int samples = byteCount / 2;
  for (int i = 0; i < samples; ++i) {
    int16_t sample = 0;
    std::memcpy(&sample, bytes + 2 * static_cast<std::size_t>(i), sizeof sample);
    const int magnitude = sample < 0 ? -static_cast<int>(sample) : sample;
    if (magnitude > peak) peak = magnitude;
  }
  return peak > 32767 ? 32767 : peak;
}

// True when no sample has a magnitude above `limit`; a limit of 0 or less makes nothing quiet.
inline bool Quiet(const uint8_t* bytes, int byteCount, int64_t limit) {
  if (limit <= 0) return false;
  return PeakMagnitude(bytes, byteCount) <= limit;
}

}  // namespace corvel
