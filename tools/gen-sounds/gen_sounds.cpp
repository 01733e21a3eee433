// corvel-gen-sounds OUTDIR: writes the client's keypad and call-progress sounds as 8 kHz mono
// 16-bit PCM WAV files. The output depends only on the tables below, so every run gives the same
// bytes and the files can be rebuilt instead of shipped.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <numbers>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace {

constexpr int kSampleRate = 8000;
constexpr int kSamplesPerMs = kSampleRate / 1000;
// Long enough to keep every burst edge free of clicks, short enough not to blur a 200 ms gap.
constexpr int kFadeMs = 5;

struct Tone {
  double hz;
  double dbfs;  // peak level of this sine on its own
};

// One stretch of the sound. No tones means silence. A non-zero trill_hz swaps smoothly between
// exactly two tones at that rate instead of sounding them together, like an electronic ringer.
struct Segment {
  int ms;
  std::vector<Tone> tones;
  double trill_hz = 0.0;
};

struct Sound {
  std::string name;
  std::vector<Segment> segments;
};

// Keypad, ITU-T Q.23. Files are numbered by key value: 0-8 are '1'-'9', then '*', '0', '#'.
constexpr double kDtmfRowHz[] = {697.0, 770.0, 852.0, 941.0};
constexpr double kDtmfColumnHz[] = {1209.0, 1336.0, 1477.0};
constexpr int kDtmfMs = 140;
// Both tones together peak at -3.5 dBFS.
constexpr double kDtmfDbfs = -9.5;

std::vector<Sound> CallProgressSounds() {
  // Ring-back as callers in China hear it: 450 Hz, 1 s on, 4 s off.
  const Segment ringback{1000, {{450.0, -8.0}}};
  // Incoming call: a major third (880/1100 Hz) trilled at 16 Hz, in the double-ring cadence.
  const Segment incoming_burst{400, {{880.0, -5.0}, {1100.0, -5.0}}, 16.0};
  // The spare ring: one longer, lower trilled burst.
  const Segment spare_burst{1000, {{660.0, -5.0}, {825.0, -5.0}}, 20.0};
  // Call failed: North American fast busy (reorder), 480+620 Hz, 0.25 s on/off three times.
  const Segment reorder_on{250, {{480.0, -10.0}, {620.0, -10.0}}};
  const Segment reorder_off{250, {}};

  return {
      {"RingFile", {ringback, {4000, {}}}},
      {"RingCRVT", {incoming_burst, {200, {}}, incoming_burst, {2000, {}}}},
      {"RingCall", {spare_burst, {1000, {}}}},
      {"Bye", {reorder_on, reorder_off, reorder_on, reorder_off, reorder_on, reorder_off}},
  };
}

std::vector<Sound> DtmfSounds() {
  std::vector<Sound> sounds;
  for (int key = 0; key < 12; ++key) {
    const double row = kDtmfRowHz[key / 3];
    const double column = kDtmfColumnHz[key % 3];
    sounds.push_back(
        {"DTMF" + std::to_string(key), {{kDtmfMs, {{row, kDtmfDbfs}, {column, kDtmfDbfs}}}}});
  }
  return sounds;
}

double Amplitude(double dbfs) {
  return std::pow(10.0, dbfs / 20.0);
}

// Raised-cosine gain for sample n of a burst of count samples: 0 at both ends, 1 in between.
double EdgeGain(int n, int count) {
  const int fade = kFadeMs * kSamplesPerMs;
  const int from_edge = std::min(n, count - 1 - n);
  if (from_edge >= fade) return 1.0;
  return 0.5 * (1.0 - std::cos(std::numbers::pi * from_edge / fade));
}

void Render(const Segment& segment, std::vector<std::int16_t>& out) {
  const int count = segment.ms * kSamplesPerMs;
  for (int n = 0; n < count; ++n) {
    double value = 0.0;
    const double t = static_cast<double>(n) / kSampleRate;
    for (std::size_t i = 0; i < segment.tones.size(); ++i) {
      const Tone& tone = segment.tones[i];
      double weight = 1.0;
      if (segment.trill_hz > 0.0) {
        const double first = 0.5 * (1.0 + std::cos(2.0 * std::numbers::pi * segment.trill_hz * t));
        weight = i == 0 ? first : 1.0 - first;
      }
      value += weight * Amplitude(tone.dbfs) * std::sin(2.0 * std::numbers::pi * tone.hz * t);
    }
    value *= EdgeGain(n, count);
    const long quantized = std::lround(value * 32767.0);
    out.push_back(static_cast<std::int16_t>(std::clamp(quantized, -32768L, 32767L)));
  }
}

void PutLe(std::string& bytes, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i)
    bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Canonical 44-byte RIFF/WAVE header followed by little-endian samples, whatever the host order.
std::string EncodeWav(const std::vector<std::int16_t>& samples) {
  const auto data_size = static_cast<std::uint32_t>(samples.size() * 2);
  std::string bytes;
  bytes.reserve(44 + data_size);
  bytes += "RIFF";
  PutLe(bytes, 36 + data_size, 4);
  bytes += "WAVEfmt ";
  PutLe(bytes, 16, 4);               // fmt chunk size
  PutLe(bytes, 1, 2);                // PCM
  PutLe(bytes, 1, 2);                // mono
  PutLe(bytes, kSampleRate, 4);      // sample rate
  PutLe(bytes, kSampleRate * 2, 4);  // byte rate
  PutLe(bytes, 2, 2);                // block align
  PutLe(bytes, 16, 2);               // bits per sample
  bytes += "data";
  PutLe(bytes, data_size, 4);
  for (const std::int16_t sample : samples)
    PutLe(bytes, static_cast<std::uint16_t>(sample), 2);
  return bytes;
}

bool WriteSound(const Sound& sound, const std::filesystem::path& dir) {
  std::vector<std::int16_t> samples;
  for (const Segment& segment : sound.segments)
    Render(segment, samples);
  const std::string bytes = EncodeWav(samples);
  const std::filesystem::path path = dir / (sound.name + ".wav");
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) {
    std::cerr << "corvel-gen-sounds: cannot write " << path.string() << '\n';
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: corvel-gen-sounds OUTDIR\n";
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    std::cerr << "corvel-gen-sounds: cannot create " << dir.string() << ": " << error.message()
              << '\n';
    return 1;
  }
  std::vector<Sound> sounds = DtmfSounds();
  for (Sound& sound : CallProgressSounds())
    sounds.push_back(std::move(sound));
  for (const Sound& sound : sounds) {
    if (!WriteSound(sound, dir)) return 1;
  }
  return 0;
}
