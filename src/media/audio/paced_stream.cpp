#include "media/audio/paced_stream.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace corvel {

PacedInput::PacedInput(const PcmFormat& format, std::vector<int16_t> recording,
                       StreamClockSink started)
    : format_(format), recording_(std::move(recording)), startedSink_(std::move(started)) {}

int PacedInput::Start() {
  started_ = Clock::now();
  position_ = 0;
  if (startedSink_) startedSink_(started_);
  return 0;
}

int PacedInput::Read(int16_t* samples, int frames) {
  if (samples == nullptr || frames <= 0) return -1;
  const int64_t end = position_ + frames;
  // A device hands the samples over once the last of them has been recorded.
  std::this_thread::sleep_until(
      started_ + std::chrono::nanoseconds(end * 1'000'000'000 / format_.samplesPerSecond));
  const std::size_t channels = static_cast<std::size_t>(format_.channels);
  const std::size_t first = static_cast<std::size_t>(position_) * channels;
  const std::size_t wanted = static_cast<std::size_t>(frames) * channels;
  const std::size_t available = first < recording_.size() ? recording_.size() - first : 0;
  const std::size_t copied = std::min(wanted, available);
  if (copied > 0) std::memcpy(samples, recording_.data() + first, copied * sizeof(int16_t));
  std::fill(samples + copied, samples + wanted, int16_t{0});
  position_ = end;
  return 0;
}

PacedOutput::PacedOutput(const PcmFormat& format, std::unique_ptr<WavWriter> recording,
                         const StreamClockSink& opened)
    : format_(format), recording_(std::move(recording)), opened_(Clock::now()) {
  if (opened) opened(opened_);
}

PacedOutput::Clock::time_point PacedOutput::At(int64_t frame) const {
  return opened_ + std::chrono::nanoseconds(frame * 1'000'000'000 / format_.samplesPerSecond);
}

int64_t PacedOutput::FramesSinceOpen() const {
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - opened_).count();
  return elapsed * format_.samplesPerSecond / 1'000'000'000;
}

int PacedOutput::Write(const int16_t* samples, int frames) {
  if (samples == nullptr || frames <= 0) return -1;
  const int64_t now = FramesSinceOpen();
  if (now > end_) {
    // The device ran dry: the listener heard silence until now.
    if (recording_ && !recording_->WriteSilence(now - end_)) return -1;
    end_ = now;
  }
  if (recording_ && !recording_->Write(samples, frames)) return -1;
  end_ += frames;
  const int64_t buffered = static_cast<int64_t>(kDeviceBufferMs) * format_.samplesPerSecond / 1000;
  std::this_thread::sleep_until(At(end_ - buffered));
  return 0;
}

void PacedOutput::Stop() {
  std::this_thread::sleep_until(At(end_));
}

}  // namespace corvel
