#include "media/audio/playback_device.h"

#include <cstring>

namespace corvel {

PlaybackDevice::PlaybackDevice(std::unique_ptr<AudioOutput> output, const PcmFormat& format,
                               Played played)
    : output_(std::move(output)), format_(format), played_(std::move(played)) {}

std::unique_ptr<PlaybackDevice> PlaybackDevice::Open(AudioBackend& backend, const PcmFormat& format,
                                                     std::string_view stream, Played played) {
  if (!played || !format.supported()) return nullptr;
  std::unique_ptr<AudioOutput> output = backend.OpenOutput(format, stream);
  if (!output) return nullptr;
  try {
    std::unique_ptr<PlaybackDevice> device(
        new PlaybackDevice(std::move(output), format, std::move(played)));
    device->thread_ = std::jthread([raw = device.get()](std::stop_token stop) { raw->Play(stop); });
    return device;
  } catch (...) {
    return nullptr;
  }
}

PlaybackDevice::~PlaybackDevice() {
  if (thread_.joinable()) {
    thread_.request_stop();  // wakes the wait on queued_
    thread_.join();          // a write in progress ends within one block
  }
}

int PlaybackDevice::Write(Block&& block, int bytes) {
  const int blockAlign = format_.blockAlign();
  if (bytes <= 0 || bytes % blockAlign != 0 || static_cast<std::size_t>(bytes) > block.size()) {
    return -1;
  }
  try {
    {
      const std::lock_guard<std::mutex> guard(mutex_);
      queue_.emplace_back(std::move(block), bytes);
    }
    queued_.notify_one();
    return 0;
  } catch (...) {
    return -1;
  }
}

void PlaybackDevice::Play(const std::stop_token& stop) {
  bool started = false;
  std::vector<int16_t> samples;
  while (!stop.stop_requested()) {
    std::pair<Block, int> next;
    {
      std::unique_lock<std::mutex> guard(mutex_);
      if (!queued_.wait(guard, stop, [this] { return !queue_.empty(); })) break;
      next = std::move(queue_.front());
      queue_.pop_front();
    }
    if (!started) started = output_->Start() == 0;
    const int bytes = next.second;
    samples.resize(static_cast<std::size_t>(bytes) / sizeof(int16_t));
    std::memcpy(samples.data(), next.first.data(), static_cast<std::size_t>(bytes));
    // A block the device refuses is handed back all the same: it is finished with.
    if (started) output_->Write(samples.data(), bytes / format_.blockAlign());
    played_(std::move(next.first));
  }
}

}  // namespace corvel
