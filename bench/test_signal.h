// A deterministic speech-like signal for the benchmarks: a voiced sound with a wandering pitch,
// three formant-like harmonics bands, syllable-rate envelope and some noise, 8 kHz 16-bit.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace corvel::bench {

inline std::vector<int16_t> SpeechLikeSignal(std::size_t samples) {
  std::vector<int16_t> signal(samples);
  std::mt19937 random(1234);
  std::normal_distribution<double> noise(0.0, 300.0);
  double phase = 0;
  constexpr double kTwoPi = 6.283185307179586;
  for (std::size_t i = 0; i < samples; ++i) {
    const double t = static_cast<double>(i) / 8000.0;
    const double pitch = 120 + 30 * std::sin(kTwoPi * 0.7 * t);
    phase += kTwoPi * pitch / 8000.0;
    const double envelope = 0.5 + 0.5 * std::sin(kTwoPi * 4 * t);
    double value = 0;
    for (int harmonic = 1; harmonic <= 25; ++harmonic) {
      const double frequency = harmonic * pitch;
      const double formants = std::exp(-std::pow((frequency - 700) / 300, 2)) +
                              0.6 * std::exp(-std::pow((frequency - 1200) / 400, 2)) +
                              0.3 * std::exp(-std::pow((frequency - 2500) / 500, 2));
      value += formants * std::sin(harmonic * phase);
    }
    const double sample = 6000 * envelope * value + noise(random);
    signal[i] = static_cast<int16_t>(std::clamp(sample, -32768.0, 32767.0));
  }
  return signal;
}

}  // namespace corvel::bench
