// "file:IN.wav,OUTDIR": capture plays IN.wav in real time from the start of every capture, then
// silence; every output stream is recorded as OUTDIR/<stream>.wav (a second stream of the same
// name as <stream>-2.wav, and so on). Either part may be left out: no input file records
// silence, no folder discards what is played. For tests and demos without a sound card.
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "media/audio/audio_backend_registry.h"
#include "media/audio/paced_stream.h"
#include "media/audio/sound_file.h"

namespace corvel {
namespace {

class FileBackend final : public AudioBackend {
 public:
  FileBackend(std::string inputPath, std::string outputFolder)
      : inputPath_(std::move(inputPath)), outputFolder_(std::move(outputFolder)) {}

  std::string name() const override { return "file"; }

  std::unique_ptr<AudioInput> OpenInput(const PcmFormat& format) override {
    if (!format.supported()) return nullptr;
    try {
      std::vector<int16_t> recording;
      if (!inputPath_.empty()) {
        std::optional<std::vector<int16_t>> loaded = LoadSound(inputPath_, format);
        if (!loaded) return nullptr;  // like a microphone that is not there
        recording = std::move(*loaded);
      }
      return std::make_unique<PacedInput>(format, std::move(recording));
    } catch (...) {
      return nullptr;
    }
  }

  std::unique_ptr<AudioOutput> OpenOutput(const PcmFormat& format,
                                          std::string_view stream) override {
    if (!format.supported()) return nullptr;
    try {
      std::unique_ptr<WavWriter> recording;
      if (!outputFolder_.empty()) {
        recording = WavWriter::Create(RecordingPath(stream), format);
        if (!recording) return nullptr;
      }
      return std::make_unique<PacedOutput>(format, std::move(recording));
    } catch (...) {
      return nullptr;
    }
  }

 private:
  std::string RecordingPath(std::string_view stream) {
    std::string name(stream.empty() ? "output" : stream);
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    int count = 0;
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      count = ++streams_[name];
    }
    if (count > 1) name += "-" + std::to_string(count);
    return (std::filesystem::path(outputFolder_) / (name + ".wav")).string();
  }

  const std::string inputPath_;
  const std::string outputFolder_;
  std::mutex mutex_;                    // guards streams_
  std::map<std::string, int> streams_;  // output streams opened so far, by name
};

std::unique_ptr<AudioBackend> MakeFileBackend(std::string_view options) {
  const std::size_t comma = options.find(',');
  std::string input(options.substr(0, comma));
  std::string folder(comma == std::string_view::npos ? std::string_view()
                                                     : options.substr(comma + 1));
  if (!folder.empty()) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder, error)) return nullptr;
  }
  return std::make_unique<FileBackend>(std::move(input), std::move(folder));
}

const AudioBackendRegistration kRegistration("file", MakeFileBackend);

}  // namespace
}  // namespace corvel
