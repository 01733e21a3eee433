// The shape of linear PCM as the sound devices and WAV files carry it: signed 16-bit
// little-endian samples, interleaved channels.
#pragma once

namespace corvel {

struct PcmFormat {
  int channels = 1;
  int bitsPerSample = 16;
  int samplesPerSecond = 8000;

  // The telephone format every call uses: mono, 16 bits, 8000 Hz (16000 bytes per second).
  static constexpr PcmFormat Telephone() { return PcmFormat{}; }

  constexpr int blockAlign() const { return channels * bitsPerSample / 8; }
  constexpr int averageBytesPerSecond() const { return blockAlign() * samplesPerSecond; }

  // The only formats the backends take: 16 bits, one or two channels, 1000 to 192000 Hz.
  constexpr bool supported() const {
    return bitsPerSample == 16 && (channels == 1 || channels == 2) && samplesPerSecond >= 1000 &&
           samplesPerSecond <= 192000;
  }

  friend constexpr bool operator==(const PcmFormat&, const PcmFormat&) = default;
};

}  // namespace corvel
