#include "media/audio/sound_file.h"

#include <sndfile.h>

#include <algorithm>

#include "media/audio/resampler.h"

namespace corvel {
namespace {

constexpr sf_count_t kReadChunkFrames = 4096;

// Interleaved samples of `from` channels to `to` channels (1 or 2).
std::vector<int16_t> MapChannels(const std::vector<int16_t>& in, int from, int to) {
  if (from == to) return in;
  const std::size_t frames = in.size() / static_cast<std::size_t>(from);
  std::vector<int16_t> out(frames * static_cast<std::size_t>(to));
  for (std::size_t frame = 0; frame < frames; ++frame) {
    const int16_t* source = &in[frame * static_cast<std::size_t>(from)];
    if (to == 1) {
      int64_t sum = 0;
      for (int c = 0; c < from; ++c)
        sum += source[c];
      out[frame] = static_cast<int16_t>(sum / from);
    } else {
      // Mono is spread to both sides; of wider layouts the first two channels are kept.
      out[2 * frame] = source[0];
      out[2 * frame + 1] = from == 1 ? source[0] : source[1];
    }
  }
  return out;
}

}  // namespace

void SoundFileClose::operator()(SNDFILE* file) const {
  sf_close(file);
}

std::optional<std::vector<int16_t>> LoadSound(const std::string& path, const PcmFormat& format) {
  if (!format.supported()) return std::nullopt;
  try {
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SoundFileClose> file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file || info.channels <= 0 || info.samplerate <= 0) return std::nullopt;
    std::vector<int16_t> samples;
    std::vector<int16_t> chunk(static_cast<std::size_t>(kReadChunkFrames * info.channels));
    for (;;) {
      const sf_count_t got = sf_readf_short(file.get(), chunk.data(), kReadChunkFrames);
      if (got <= 0) break;
      samples.insert(samples.end(), chunk.begin(), chunk.begin() + got * info.channels);
    }
    samples = MapChannels(samples, info.channels, format.channels);
    if (info.samplerate != format.samplesPerSecond) {
      samples =
          Resampler::ConvertAll(samples, format.channels, info.samplerate, format.samplesPerSecond);
    }
    return samples;
  } catch (...) {
    return std::nullopt;
  }
}

WavWriter::WavWriter(std::unique_ptr<SNDFILE, SoundFileClose> file, std::string path, int channels)
    : file_(std::move(file)), path_(std::move(path)), channels_(channels) {}

WavWriter::~WavWriter() = default;

std::unique_ptr<WavWriter> WavWriter::Create(const std::string& path, const PcmFormat& format) {
  if (!format.supported()) return nullptr;
  SF_INFO info{};
  info.samplerate = format.samplesPerSecond;
  info.channels = format.channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  std::unique_ptr<SNDFILE, SoundFileClose> file(sf_open(path.c_str(), SFM_WRITE, &info));
  if (!file) return nullptr;
  sf_command(file.get(), SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
  try {
    return std::unique_ptr<WavWriter>(new WavWriter(std::move(file), path, format.channels));
  } catch (...) {
    return nullptr;
  }
}

bool WavWriter::Write(const int16_t* samples, int64_t frames) {
  if (frames <= 0) return true;
  const sf_count_t written = sf_writef_short(file_.get(), samples, frames);
  if (written > 0) frames_ += written;
  return written == frames;
}

bool WavWriter::WriteSilence(int64_t frames) {
  static constexpr int64_t kChunk = 1024;
  const std::vector<int16_t> zeros(static_cast<std::size_t>(kChunk * channels_), 0);
  while (frames > 0) {
    const int64_t now = std::min(frames, kChunk);
    if (!Write(zeros.data(), now)) return false;
    frames -= now;
  }
  return true;
}

}  // namespace corvel
