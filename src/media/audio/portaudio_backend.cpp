// "portaudio[:DEVICE][@RATE]": the sound card through PortAudio (ALSA, and PulseAudio or
// PipeWire through ALSA's pulse device). DEVICE picks the first device whose name contains it,
// otherwise the default input and output devices are used. Streams open at the asked rate; a
// device that refuses it is opened at its own rate, and @RATE forces a device rate, the audio
// being converted with libspeexdsp either way. Streams use PortAudio's blocking calls from the
// caller's device thread, so nothing runs inside a driver callback.
#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <portaudio.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "media/audio/audio_backend_registry.h"
#include "media/audio/resampler.h"

namespace corvel {
namespace {

// Latency asked of the devices: small for a call, with enough slack on the output side that a
// sound server's scheduling (PipeWire's 21 ms quantum) never runs it dry.
constexpr double kMinimumInputLatencySeconds = 0.04;
constexpr double kMinimumOutputLatencySeconds = 0.1;
constexpr int kChunksPerSecond = 50;  // device reads of 20 ms while converting

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
void IgnoreJackMessage(const char*) {}

// PortAudio's JACK host asks for a JACK server, and the JACK library prints its absence to
// stderr several times over. Its message hooks are reached through the library PortAudio has
// already loaded, so there is no link to JACK of our own.
void QuietJack() {
  using MessageHook = void (*)(void (*)(const char*));
  for (const char* setter : {"jack_set_error_function", "jack_set_info_function"}) {
    if (auto set = reinterpret_cast<MessageHook>(dlsym(RTLD_DEFAULT, setter)))
      set(IgnoreJackMessage);
  }
}

// PortAudio, started once for the whole process and never terminated: Pa_Terminate unloads
// ALSA's plugin modules, which strands what they allocated, and starting again means listing
// every device anew.
class PortAudioLibrary {
 public:
  static std::shared_ptr<PortAudioLibrary> Acquire() {
    static const std::shared_ptr<PortAudioLibrary> library = [] {
      // Listing the devices probes every ALSA name the configuration knows, and each one this
      // machine lacks prints a line to stderr; those lines say nothing about the devices in use.
      snd_lib_error_set_handler(IgnoreAlsaError);
      QuietJack();
      const PaError started = Pa_Initialize();
      snd_lib_error_set_handler(nullptr);
      return started == paNoError ? std::shared_ptr<PortAudioLibrary>(new PortAudioLibrary)
                                  : nullptr;
    }();
    return library;
  }

  PortAudioLibrary(const PortAudioLibrary&) = delete;
  PortAudioLibrary& operator=(const PortAudioLibrary&) = delete;

  // PortAudio's device list and stream creation are not safe between threads.
  std::mutex& mutex() { return mutex_; }

 private:
  PortAudioLibrary() = default;
  std::mutex mutex_;  // guards every call that opens, closes or queries devices
};

struct Options {
  std::string device;  // part of a device name; empty for the default devices
  int forcedRate = 0;  // 0: the asked rate when the device takes it
};

std::optional<Options> ParseOptions(std::string_view text) {
  Options options;
  const std::size_t at = text.rfind('@');
  options.device = std::string(text.substr(0, at));
  if (at != std::string_view::npos) {
    const std::string_view rate = text.substr(at + 1);
    const auto [end, error] =
        std::from_chars(rate.data(), rate.data() + rate.size(), options.forcedRate);
    if (error != std::errc() || end != rate.data() + rate.size() || options.forcedRate < 1000 ||
        options.forcedRate > 192000) {
      return std::nullopt;
    }
  }
  return options;
}

// An open PortAudio stream and what it needs to convert between the caller's rate and the
// device's.
class Stream {
 public:
  // Closes a stream under the library's lock; the library lives as long as its streams.
  struct Close {
    std::shared_ptr<PortAudioLibrary> library;
    void operator()(PaStream* stream) const {
      const std::lock_guard<std::mutex> guard(library->mutex());
      Pa_CloseStream(stream);
    }
  };
  using Handle = std::unique_ptr<PaStream, Close>;

  Stream(Handle stream, const PcmFormat& format, int deviceRate,
         std::unique_ptr<Resampler> resampler)
      : stream_(std::move(stream)),
        format_(format),
        deviceRate_(deviceRate),
        resampler_(std::move(resampler)) {}

  int Start() { return Pa_StartStream(stream_.get()) == paNoError ? 0 : -1; }
  void Stop() {
    if (Pa_IsStreamStopped(stream_.get()) == 0) Pa_StopStream(stream_.get());
  }

  int Read(int16_t* samples, int frames) {
    const std::size_t channels = static_cast<std::size_t>(format_.channels);
    const std::size_t wanted = static_cast<std::size_t>(frames) * channels;
    if (!resampler_) return ReadDevice(samples, frames);
    while (converted_.size() - taken_ < wanted) {
      const int chunk = deviceRate_ / kChunksPerSecond;
      deviceSamples_.resize(static_cast<std::size_t>(chunk) * channels);
      if (ReadDevice(deviceSamples_.data(), chunk) != 0) return -1;
      resampler_->Process(deviceSamples_.data(), chunk, converted_);
    }
    std::memcpy(samples, converted_.data() + taken_, wanted * sizeof(int16_t));
    taken_ += wanted;
    if (taken_ * 2 > converted_.size()) {
      converted_.erase(converted_.begin(),
                       converted_.begin() + static_cast<std::ptrdiff_t>(taken_));
      taken_ = 0;
    }
    return 0;
  }

  int Write(const int16_t* samples, int frames) {
    if (!resampler_) return WriteDevice(samples, frames);
    converted_.clear();
    resampler_->Process(samples, frames, converted_);
    const int deviceFrames = static_cast<int>(converted_.size()) / format_.channels;
    if (deviceFrames == 0) return 0;
    return WriteDevice(converted_.data(), deviceFrames);
  }

 private:
  int ReadDevice(int16_t* samples, int frames) {
    const PaError error = Pa_ReadStream(stream_.get(), samples, static_cast<unsigned long>(frames));
    // An overflow lost older samples; what was read is still good.
    return error == paNoError || error == paInputOverflowed ? 0 : -1;
  }
  int WriteDevice(const int16_t* samples, int frames) {
    const PaError error =
        Pa_WriteStream(stream_.get(), samples, static_cast<unsigned long>(frames));
    // After an underflow the device played silence; the new samples are queued all the same.
    return error == paNoError || error == paOutputUnderflowed ? 0 : -1;
  }

  const Handle stream_;
  const PcmFormat format_;
  const int deviceRate_;
  const std::unique_ptr<Resampler> resampler_;  // null when the device runs at format_'s rate
  std::vector<int16_t> deviceSamples_;
  std::vector<int16_t> converted_;
  std::size_t taken_ = 0;  // samples of converted_ already handed out (input only)
};

class PortAudioInput final : public AudioInput {
 public:
  explicit PortAudioInput(std::unique_ptr<Stream> stream) : stream_(std::move(stream)) {}
  int Start() override { return stream_->Start(); }
  int Read(int16_t* samples, int frames) override {
    if (samples == nullptr || frames <= 0) return -1;
    return stream_->Read(samples, frames);
  }
  void Stop() override { stream_->Stop(); }

 private:
  const std::unique_ptr<Stream> stream_;
};

class PortAudioOutput final : public AudioOutput {
 public:
  explicit PortAudioOutput(std::unique_ptr<Stream> stream) : stream_(std::move(stream)) {}
  int Start() override { return stream_->Start(); }
  int Write(const int16_t* samples, int frames) override {
    if (samples == nullptr || frames <= 0) return -1;
    return stream_->Write(samples, frames);
  }
  void Stop() override { stream_->Stop(); }

 private:
  const std::unique_ptr<Stream> stream_;
};

class PortAudioBackend final : public AudioBackend {
 public:
  PortAudioBackend(std::shared_ptr<PortAudioLibrary> library, Options options)
      : library_(std::move(library)), options_(std::move(options)) {}

  std::string name() const override { return "portaudio"; }

  std::unique_ptr<AudioInput> OpenInput(const PcmFormat& format) override {
    std::unique_ptr<Stream> stream = Open(format, true);
    if (!stream) return nullptr;
    return std::make_unique<PortAudioInput>(std::move(stream));
  }

  std::unique_ptr<AudioOutput> OpenOutput(const PcmFormat& format,
                                          std::string_view /*stream*/) override {
    std::unique_ptr<Stream> stream = Open(format, false);
    if (!stream) return nullptr;
    return std::make_unique<PortAudioOutput>(std::move(stream));
  }

 private:
  // Caller holds the library's lock.
  PaDeviceIndex FindDevice(bool input) const {
    if (options_.device.empty())
      return input ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex index = 0; index < count; ++index) {
      const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
      if (info == nullptr || info->name == nullptr) continue;
      const int channels = input ? info->maxInputChannels : info->maxOutputChannels;
      if (channels > 0 && std::strstr(info->name, options_.device.c_str()) != nullptr) return index;
    }
    return paNoDevice;
  }

  std::unique_ptr<Stream> Open(const PcmFormat& format, bool input) {
    if (!format.supported()) return nullptr;
    try {
      const std::lock_guard<std::mutex> guard(library_->mutex());
      const PaDeviceIndex device = FindDevice(input);
      if (device == paNoDevice) return nullptr;
      const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
      if (info == nullptr) return nullptr;
      PaStreamParameters parameters{};
      parameters.device = device;
      parameters.channelCount = format.channels;
      parameters.sampleFormat = paInt16;
      parameters.suggestedLatency =
          input ? std::max(info->defaultLowInputLatency, kMinimumInputLatencySeconds)
                : std::max(info->defaultLowOutputLatency, kMinimumOutputLatencySeconds);
      const PaStreamParameters* in = input ? &parameters : nullptr;
      const PaStreamParameters* out = input ? nullptr : &parameters;

      std::vector<int> rates;
      if (options_.forcedRate != 0) {
        rates.push_back(options_.forcedRate);
      } else {
        if (Pa_IsFormatSupported(in, out, format.samplesPerSecond) == paFormatIsSupported) {
          rates.push_back(format.samplesPerSecond);
        }
        rates.push_back(static_cast<int>(info->defaultSampleRate));
      }
      for (const int rate : rates) {
        std::unique_ptr<Resampler> resampler;
        if (rate != format.samplesPerSecond) {
          resampler = input ? Resampler::Create(format.channels, rate, format.samplesPerSecond)
                            : Resampler::Create(format.channels, format.samplesPerSecond, rate);
          if (!resampler) continue;
        }
        PaStream* opened = nullptr;
        if (Pa_OpenStream(&opened, in, out, rate, paFramesPerBufferUnspecified, paClipOff, nullptr,
                          nullptr) != paNoError) {
          continue;
        }
        Stream::Handle stream(opened, Stream::Close{library_});
        return std::make_unique<Stream>(std::move(stream), format, rate, std::move(resampler));
      }
      return nullptr;
    } catch (...) {
      return nullptr;
    }
  }

  const std::shared_ptr<PortAudioLibrary> library_;
  const Options options_;
};

std::unique_ptr<AudioBackend> MakePortAudioBackend(std::string_view text) {
  std::optional<Options> options = ParseOptions(text);
  if (!options) return nullptr;
  std::shared_ptr<PortAudioLibrary> library = PortAudioLibrary::Acquire();
  if (!library) return nullptr;
  return std::make_unique<PortAudioBackend>(std::move(library), std::move(*options));
}

const AudioBackendRegistration kRegistration("portaudio", MakePortAudioBackend);

}  // namespace
}  // namespace corvel
