// Speech for codec round trips: a sentence spoken by espeak-ng, resampled by sox to 8 kHz mono
// 16-bit, made in a temporary folder; and a measure of how closely a decoded signal follows it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace corvel::testing {

// The samples, or empty when the tools failed.
inline std::vector<int16_t> MakeSpeech(const TempFolder& folder) {
  const std::string wav = folder / "speech.wav";
  const std::string raw = folder / "speech.raw";
  const std::string command =
      "espeak-ng -w '" + wav +
      "' 'The quick brown fox jumps over the lazy dog, then calls home to say hello.' "
      "&& sox '" +
      wav + "' -r 8000 -c 1 -b 16 -e signed-integer -t raw '" + raw + "'";
  if (std::system(command.c_str()) != 0) return {};
  const std::string bytes = ReadFile(raw);
  std::vector<int16_t> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto low = static_cast<uint8_t>(bytes[2 * i]);
    const auto high = static_cast<uint8_t>(bytes[2 * i + 1]);
    samples[i] = static_cast<int16_t>(low | (high << 8));
  }
  return samples;
}

struct Similarity {
  int lag = 0;               // samples by which the decoded signal trails the original
  double correlation = 0.0;  // normalised cross-correlation at that lag
  double snrDb = 0.0;        // original over difference at that lag
};

// The lag in 0..maxLag at which `decoded` matches `original` best.
inline Similarity Compare(const std::vector<int16_t>& original, const std::vector<int16_t>& decoded,
                          int maxLag) {
  Similarity best;
  best.correlation = -2.0;
  for (int lag = 0; lag <= maxLag; ++lag) {
    const std::size_t n =
        std::min(original.size(), decoded.size() - std::min<std::size_t>(decoded.size(), lag));
    double cross = 0, energyA = 0, energyB = 0, noise = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double a = original[i];
      const double b = decoded[i + static_cast<std::size_t>(lag)];
      cross += a * b;
      energyA += a * a;
      energyB += b * b;
      noise += (a - b) * (a - b);
    }
    if (energyA == 0 || energyB == 0) continue;
    const double correlation = cross / std::sqrt(energyA * energyB);
    if (correlation > best.correlation) {
      best.lag = lag;
      best.correlation = correlation;
      best.snrDb = noise > 0 ? 10 * std::log10(energyA / noise) : 99.0;
    }
  }
  return best;
}

}  // namespace corvel::testing
