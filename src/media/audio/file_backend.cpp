// "file:IN.wav,OUTDIR": capture plays IN.wav in real time from the start of every capture, then
// silence; every output stream is recorded as OUTDIR/<stream>.wav (a second stream of the same
// name as <stream>-2.wav, and so on). Either part may be left out: no input file records
// silence, no folder discards what is played. For tests and demos without a sound card.
//
// OUTDIR/timeline.txt tells when each stream's first sample counts, on the monotonic clock in
// nanoseconds: "capture NS" for every start of the microphone, "<recording>.wav NS" for every
// output. A sample k of either lies k / rate seconds later, so a measurement can find how long a
// sound took from the microphone file into a recording, here or in another process.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "media/audio/audio_backend_registry.h"
#include "media/audio/paced_stream.h"
#include "media/audio/sound_file.h"

namespace corvel {
namespace {

// Shared with the streams, which may outlive the backend that opened them.
class Timeline {
 public:
  explicit Timeline(std::string path) : path_(std::move(path)) {}

  void Note(const std::string& what, std::chrono::steady_clock::time_point at) {
    const long long ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
    const std::lock_guard<std::mutex> guard(mutex_);
    if (FILE* file = std::fopen(path_.c_str(), "a")) {
      std::fprintf(file, "%s %lld\n", what.c_str(), ns);
      std::fclose(file);
    }
  }

 private:
  const std::string path_;
  std::mutex mutex_;  // one line at a time
};

class FileBackend final : public AudioBackend {
 public:
  FileBackend(std::string inputPath, std::string outputFolder)
      : inputPath_(std::move(inputPath)), outputFolder_(std::move(outputFolder)) {
    if (!outputFolder_.empty()) {
      timeline_ = std::make_shared<Timeline>(
          (std::filesystem::path(outputFolder_) / "timeline.txt").string());
    }
  }

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
      return std::make_unique<PacedInput>(format, std::move(recording), Sink("capture"));
    } catch (...) {
      return nullptr;
    }
  }

  std::unique_ptr<AudioOutput> OpenOutput(const PcmFormat& format,
                                          std::string_view stream) override {
    if (!format.supported()) return nullptr;
    try {
      std::unique_ptr<WavWriter> recording;
      std::string path;
      if (!outputFolder_.empty()) {
        path = RecordingPath(stream);
        recording = WavWriter::Create(path, format);
        if (!recording) return nullptr;
      }
      const std::string name = std::filesystem::path(path).filename().string();
      return std::make_unique<PacedOutput>(format, std::move(recording), Sink(name));
    } catch (...) {
      return nullptr;
    }
  }

 private:
  StreamClockSink Sink(std::string what) const {
    if (!timeline_) return {};
    return [timeline = timeline_, what = std::move(what)](
               std::chrono::steady_clock::time_point at) { timeline->Note(what, at); };
  }

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
  std::shared_ptr<Timeline> timeline_;  // none without a folder
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
