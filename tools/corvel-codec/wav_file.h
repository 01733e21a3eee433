// 8 kHz mono 16-bit PCM WAV files, the only kind the codecs take.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvel::codec_tool {

// The samples of `path`; false with a reason in `error` when it cannot be read or is not 8000 Hz
// mono 16-bit PCM.
bool ReadWav(const std::string& path, std::vector<int16_t>& samples, std::string& error);

// Writes `samples` as an 8000 Hz mono 16-bit PCM WAV; false with a reason in `error`.
bool WriteWav(const std::string& path, const std::vector<int16_t>& samples, std::string& error);

}  // namespace corvel::codec_tool
