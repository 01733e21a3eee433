#include "media/audio/sound_player.h"

#include <algorithm>

#include "media/audio/audio_backend.h"
#include "media/audio/sound_file.h"

namespace corvel {
namespace {

constexpr PcmFormat kFormat = PcmFormat::Telephone();
// Sounds are handed over in chunks this long, so a change of sound is heard this soon.
constexpr int kChunkFrames = kFormat.samplesPerSecond / 50;

}  // namespace

SoundPlayer::SoundPlayer(std::shared_ptr<AudioBackend> backend) : backend_(std::move(backend)) {}

SoundPlayer::~SoundPlayer() {
  if (thread_.joinable()) {
    thread_.request_stop();  // wakes the wait
    thread_.join();
  }
}

bool SoundPlayer::Play(const std::string& wavePath, bool loop) {
  if (wavePath.empty()) {
    StopAll();
    return true;
  }
  std::optional<std::vector<int16_t>> samples = LoadSound(wavePath, kFormat);
  if (!samples) {
    StopAll();  // like any new sound, a missing one ends the old
    return false;
  }
  try {
    auto shared = std::make_shared<const std::vector<int16_t>>(std::move(*samples));
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      request_ = Sound{std::move(shared), loop, ++generation_};
      playing_ = true;
      if (!thread_.joinable()) {
        thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
      }
    }
    changed_.notify_all();
    return true;
  } catch (...) {
    StopAll();
    return false;
  }
}

void SoundPlayer::StopAll() {
  std::unique_lock<std::mutex> guard(mutex_);
  const uint64_t ended = ++generation_;
  request_.reset();
  playing_ = false;
  changed_.notify_all();
  // Wait until the thread has let go of every earlier sound: at most one chunk.
  changed_.wait(guard, [&] { return active_ == 0 || active_ >= ended; });
}

bool SoundPlayer::playing() const {
  const std::lock_guard<std::mutex> guard(mutex_);
  return playing_;
}

bool SoundPlayer::Current(uint64_t generation, const std::stop_token& stop) {
  const std::lock_guard<std::mutex> guard(mutex_);
  return generation == generation_ && !stop.stop_requested();
}

void SoundPlayer::Run(const std::stop_token& stop) {
  bool running = false;  // the output stream has been started and not stopped since
  while (!stop.stop_requested()) {
    Sound sound;
    {
      std::unique_lock<std::mutex> guard(mutex_);
      if (!request_ && running) {
        // Nothing more to play: let the device finish and rest, outside the lock.
        guard.unlock();
        output_->Stop();
        running = false;
        guard.lock();
      }
      if (!changed_.wait(guard, stop, [this] { return request_.has_value(); })) break;
      sound = std::move(*request_);
      request_.reset();
      active_ = sound.generation;
    }
    if (!output_ && backend_) output_ = backend_->OpenOutput(kFormat, "sound");
    if (output_ && !running) running = output_->Start() == 0;
    if (running) PlaySound(sound, stop);
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      active_ = 0;
      if (sound.generation == generation_) playing_ = false;
    }
    changed_.notify_all();
  }
  if (running) output_->Stop();
}

void SoundPlayer::PlaySound(const Sound& sound, const std::stop_token& stop) {
  const std::vector<int16_t>& samples = *sound.samples;
  if (samples.empty()) return;
  std::size_t position = 0;
  while (Current(sound.generation, stop)) {
    if (position >= samples.size()) {
      if (!sound.loop) return;
      position = 0;
    }
    const std::size_t count = std::min(samples.size() - position, std::size_t{kChunkFrames});
    if (output_->Write(samples.data() + position, static_cast<int>(count)) != 0) return;
    position += count;
  }
}

}  // namespace corvel
