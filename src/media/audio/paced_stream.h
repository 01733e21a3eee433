// Streams without a sound card behind them, paced by the clock the way a device paces its
// callers, for the file and null backends: an input that "records" a prepared recording in real
// time and then silence, and an output that takes samples at the playing rate and can write what
// a listener would have heard, silences included, into a WAV file.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "media/audio/audio_backend.h"
#include "media/audio/sound_file.h"

namespace corvel {

// Told the moment from which a stream's first sample counts: an input's Start, an output's
// opening. Measurements line a recording up with its microphone file through it.
using StreamClockSink = std::function<void(std::chrono::steady_clock::time_point)>;

class PacedInput final : public AudioInput {
 public:
  // `recording`: interleaved samples in `format`, heard from the start of every Start; silence
  // follows them.
  PacedInput(const PcmFormat& format, std::vector<int16_t> recording, StreamClockSink started = {});

  int Start() override;
  int Read(int16_t* samples, int frames) override;
  void Stop() override {}

 private:
  using Clock = std::chrono::steady_clock;

  const PcmFormat format_;
  const std::vector<int16_t> recording_;
  const StreamClockSink startedSink_;
  Clock::time_point started_;
  int64_t position_ = 0;  // frames read since Start
};

class PacedOutput final : public AudioOutput {
 public:
  // How far ahead of the listener the "device" takes samples.
  static constexpr int kDeviceBufferMs = 20;

  // The timeline starts now; with a recording, every Write lands in it at the moment it would
  // have been heard, after silence for any time in which nothing was written.
  PacedOutput(const PcmFormat& format, std::unique_ptr<WavWriter> recording,
              const StreamClockSink& opened = {});

  int Start() override { return 0; }
  int Write(const int16_t* samples, int frames) override;
  void Stop() override;

 private:
  using Clock = std::chrono::steady_clock;

  Clock::time_point At(int64_t frame) const;
  int64_t FramesSinceOpen() const;

  const PcmFormat format_;
  const std::unique_ptr<WavWriter> recording_;  // null: what is played is discarded
  const Clock::time_point opened_;
  int64_t end_ = 0;  // frames of the timeline written so far, silences included
};

}  // namespace corvel
