// Sound files through libsndfile: whole files read into memory in the format a stream wants, and
// WAV recordings written as they play.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/audio/pcm_format.h"

typedef struct sf_private_tag SNDFILE;

namespace corvel {

// The samples of the file at `path` (any format libsndfile reads), converted to `format`: channels
// mixed down to mono or mono copied to both channels, the rate converted. None when the file
// cannot be read or the conversion is not possible.
std::optional<std::vector<int16_t>> LoadSound(const std::string& path, const PcmFormat& format);

// Closes a libsndfile handle.
struct SoundFileClose {
  void operator()(SNDFILE* file) const;
};

// A 16-bit PCM WAV file being written. Its header is brought up to date after every write, so the
// file is complete at all times, also while it is still being written.
class WavWriter {
 public:
  // nullptr when the file cannot be created or the format is not supported.
  static std::unique_ptr<WavWriter> Create(const std::string& path, const PcmFormat& format);

  ~WavWriter();  // closes the file
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // Appends `frames` sample frames; false when the file could not take them.
  bool Write(const int16_t* samples, int64_t frames);
  // Appends `frames` frames of silence.
  bool WriteSilence(int64_t frames);

  const std::string& path() const { return path_; }
  int64_t frames() const { return frames_; }  // written so far

 private:
  WavWriter(std::unique_ptr<SNDFILE, SoundFileClose> file, std::string path, int channels);

  const std::unique_ptr<SNDFILE, SoundFileClose> file_;
  const std::string path_;
  const int channels_;
  int64_t frames_ = 0;
};

}  // namespace corvel
