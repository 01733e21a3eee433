#include "wav_file.h"

#include <sndfile.h>

#include <memory>

namespace corvel::codec_tool {
namespace {

constexpr int kSampleRate = 8000;

struct SndfileClose {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileClose>;

}  // namespace

bool ReadWav(const std::string& path, std::vector<int16_t>& samples, std::string& error) {
  SF_INFO info{};
  const SndfileHandle file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) {
    error = path + ": " + sf_strerror(nullptr);
    return false;
  }
  const int container = info.format & SF_FORMAT_TYPEMASK;
  const int encoding = info.format & SF_FORMAT_SUBMASK;
  if ((container != SF_FORMAT_WAV && container != SF_FORMAT_WAVEX) ||
      encoding != SF_FORMAT_PCM_16 || info.channels != 1 || info.samplerate != kSampleRate) {
    error = path + ": not an 8000 Hz mono 16-bit PCM WAV file";
    return false;
  }
  samples.assign(static_cast<std::size_t>(info.frames), 0);
  const sf_count_t read = sf_read_short(file.get(), samples.data(), info.frames);
  samples.resize(static_cast<std::size_t>(read < 0 ? 0 : read));
  return true;
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& samples, std::string& error) {
  SF_INFO info{};
  info.samplerate = kSampleRate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  const SndfileHandle file(sf_open(path.c_str(), SFM_WRITE, &info));
  if (!file) {
    error = path + ": " + sf_strerror(nullptr);
    return false;
  }
  const auto count = static_cast<sf_count_t>(samples.size());
  if (sf_write_short(file.get(), samples.data(), count) != count) {
    error = path + ": " + sf_strerror(file.get());
    return false;
  }
  return true;
}

}  // namespace corvel::codec_tool
