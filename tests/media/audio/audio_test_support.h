// Helpers for the audio and RTP server tests: WAV files written and read independently of the
// code under test, test signals, a message recorder standing in for the windows, and a lag search
// that finds where a recording matches its source.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "support/recording_poster.h"

namespace corvel::testing {

using Samples = std::vector<int16_t>;

inline void PutLe(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A 16-bit PCM WAV file of interleaved samples.
inline bool WriteWav(const std::string& path, const Samples& samples, int rate = 8000,
                     int channels = 1) {
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  std::string out = "RIFF";
  PutLe(out, 36 + dataBytes, 4);
  out += "WAVEfmt ";
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);
  PutLe(out, static_cast<uint32_t>(channels), 2);
  PutLe(out, static_cast<uint32_t>(rate), 4);
  PutLe(out, static_cast<uint32_t>(rate * channels * 2), 4);
  PutLe(out, static_cast<uint32_t>(channels * 2), 2);
  PutLe(out, 16, 2);
  out += "data";
  PutLe(out, dataBytes, 4);
  out.append(reinterpret_cast<const char*>(samples.data()), dataBytes);
  std::ofstream file(path, std::ios::binary);
  file << out;
  return static_cast<bool>(file);
}

struct WavContent {
  bool ok = false;
  int rate = 0;
  int channels = 0;
  Samples samples;
};

// Reads a 16-bit PCM WAV by walking its chunks.
inline WavContent ReadWav(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  WavContent wav;
  const auto le = [&](std::size_t at, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
      value = value << 8 | static_cast<uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
  };
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
    return wav;
  }
  std::size_t at = 12;
  while (at + 8 <= bytes.size()) {
    const std::string id = bytes.substr(at, 4);
    const std::size_t size = le(at + 4, 4);
    const std::size_t body = at + 8;
    if (id == "fmt " && body + 16 <= bytes.size()) {
      wav.channels = static_cast<int>(le(body + 2, 2));
      wav.rate = static_cast<int>(le(body + 4, 4));
      if (le(body + 14, 2) != 16) return wav;
    } else if (id == "data") {
      const std::size_t count = std::min(size, bytes.size() - body) / 2;
      wav.samples.resize(count);
      std::memcpy(wav.samples.data(), bytes.data() + body, count * 2);
      wav.ok = wav.rate > 0;
      return wav;
    }
    at = body + size + (size & 1);
  }
  return wav;
}

inline Samples Tone(double hz, double seconds, int amplitude, int rate = 8000) {
  Samples samples(static_cast<std::size_t>(seconds * rate));
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(
        amplitude * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / rate));
  }
  return samples;
}

// A frame of PCM bytes holding a tone of this peak amplitude (a whole number of periods).
inline std::vector<uint8_t> ToneBytes(int bytes, int amplitude) {
  std::vector<uint8_t> out(static_cast<std::size_t>(bytes));
  for (int i = 0; i + 1 < bytes; i += 2) {
    const int16_t sample = static_cast<int16_t>(
        (i / 2) % 8 == 2 ? amplitude : ((i / 2) % 8 == 6 ? -amplitude : amplitude / 2));
    std::memcpy(&out[static_cast<std::size_t>(i)], &sample, 2);
  }
  return out;
}

inline int Peak(const Samples& samples, std::size_t from = 0, std::size_t to = SIZE_MAX) {
  int peak = 0;
  for (std::size_t i = from; i < std::min(to, samples.size()); ++i)
    peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
  return peak;
}

// Index of the first sample whose magnitude exceeds `level`; samples.size() when none does.
inline std::size_t FirstAbove(const Samples& samples, int level) {
  for (std::size_t i = 0; i < samples.size(); ++i)
    if (std::abs(static_cast<int>(samples[i])) > level) return i;
  return samples.size();
}

// Strength of `hz` in the samples relative to their energy (Goertzel), 0..1.
inline double ToneShare(const Samples& samples, double hz, int rate = 8000) {
  if (samples.empty()) return 0;
  const double coefficient = 2 * std::cos(2 * std::numbers::pi * hz / rate);
  double s1 = 0, s2 = 0, energy = 0;
  for (const int16_t sample : samples) {
    const double s = sample + coefficient * s1 - s2;
    s2 = s1;
    s1 = s;
    energy += static_cast<double>(sample) * sample;
  }
  const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
  return energy > 0 ? 2 * power / (energy * static_cast<double>(samples.size())) : 0;
}

struct Match {
  long lag = -1;             // samples by which `recording` trails `source`
  double correlation = 0.0;  // normalised cross-correlation at that lag
};

inline double CorrelationAt(const Samples& source, const Samples& recording, long lag, int step) {
  double cross = 0, a2 = 0, b2 = 0;
  for (std::size_t i = 0; i < source.size(); i += static_cast<std::size_t>(step)) {
    const long j = static_cast<long>(i) + lag;
    if (j < 0 || static_cast<std::size_t>(j) >= recording.size()) break;
    const double a = source[i];
    const double b = recording[static_cast<std::size_t>(j)];
    cross += a * b;
    a2 += a * a;
    b2 += b * b;
  }
  return a2 > 0 && b2 > 0 ? cross / std::sqrt(a2 * b2) : 0.0;
}

// Finds the lag in 0..maxLag at which `recording` follows `source` best: a coarse pass on every
// 4th sample and lag, then the neighbourhood of the best at full resolution.
inline Match FindSource(const Samples& source, const Samples& recording, long maxLag) {
  Match coarse;
  coarse.correlation = -2;
  for (long lag = 0; lag <= maxLag; lag += 4) {
    const double c = CorrelationAt(source, recording, lag, 4);
    if (c > coarse.correlation) coarse = Match{lag, c};
  }
  Match best;
  best.correlation = -2;
  for (long lag = std::max(0L, coarse.lag - 8); lag <= coarse.lag + 8; ++lag) {
    const double c = CorrelationAt(source, recording, lag, 1);
    if (c > best.correlation) best = Match{lag, c};
  }
  return best;
}

// The share of the source's spoken half-seconds that the recording holds with a correlation above
// `threshold`, each found at its own lag: a playback that re-buffered once under load shifts the
// rest of the speech, which one lag for the whole file would count as lost.
inline double SpokenShareFound(const Samples& source, const Samples& recording, long maxLag,
                               double threshold) {
  constexpr std::size_t kSegment = 4000;
  int spoken = 0;
  int found = 0;
  for (std::size_t at = 0; at + kSegment <= source.size(); at += kSegment) {
    const Samples segment(source.begin() + static_cast<long>(at),
                          source.begin() + static_cast<long>(at + kSegment));
    if (Peak(segment) < 2000) continue;  // a pause
    ++spoken;
    const Samples later(recording.begin() + std::min<long>(static_cast<long>(at),
                                                           static_cast<long>(recording.size())),
                        recording.end());
    // Every lag: a short stretch of voiced speech has near-peaks a pitch period apart that a
    // coarse search can pick instead of the true one.
    double best = 0;
    for (long lag = 0; lag <= maxLag && best <= threshold; ++lag)
      best = std::max(best, CorrelationAt(segment, later, lag, 2));
    found += best > threshold ? 1 : 0;
  }
  return spoken > 0 ? static_cast<double>(found) / spoken : 0.0;
}

// Polls `condition` every 5 ms until it holds or the time limit passes.
template <typename Condition>
bool Eventually(Condition condition, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

}  // namespace corvel::testing
