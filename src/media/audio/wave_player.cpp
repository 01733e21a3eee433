#include "media/audio/wave_player.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "media/audio/audio_backend.h"
#include "media/audio/pcm_level.h"

namespace corvel {
namespace {

// Blocks waiting for the cleanup thread: more than the device can ever hold back.
constexpr int kDoneListCapacity = 1000;

std::string StreamName(uint32_t ssrc) {
  char name[32];
  std::snprintf(name, sizeof name, "player-%08x", ssrc);
  return name;
}

}  // namespace

PlayoutLimits PlayoutLimits::ForDelay(int delayMs) {
  PlayoutLimits limits;
  if (delayMs <= 0) return limits;
  limits.lowWaterMs = std::clamp(delayMs, kMinDelayMs, kMaxDelayMs);
  limits.highWaterMs = 5 * limits.lowWaterMs;
  if (limits.lowWaterMs < kDefaultDelayMs) {
    limits.deviceRefillMs = std::max(WavePlayer::kPeriodMs, limits.lowWaterMs / 6);
    limits.deviceRefillBlocks = 2;
  }
  return limits;
}

WavePlayer::WavePlayer(uint32_t ssrc, const PcmFormat& format, int periodMs, int threshold,
                       LevelSink speakerLevel, const PlayoutLimits& limits)
    : ssrc_(ssrc),
      format_(format),
      periodMs_(periodMs),
      limits_(limits),
      frameBytes_(periodMs > 0 ? periodMs * format.averageBytesPerSecond() / 1000 : 0),
      lowFrames_(periodMs > 0 ? limits.lowWaterMs / periodMs : 0),
      highFrames_(periodMs > 0 ? limits.highWaterMs / periodMs : 0),
      speakerLevel_(std::move(speakerLevel)),
      threshold_(threshold) {}

std::unique_ptr<WavePlayer> WavePlayer::Create(AudioBackend& backend, uint32_t ssrc,
                                               const PcmFormat& format, int periodMs, int threshold,
                                               LevelSink speakerLevel, PlayoutLimits limits) {
  // A source's SSRC stays its key even when it is 0, so all its packets reach one player.
  if (!format.supported() || periodMs <= 0) return nullptr;
  try {
    std::unique_ptr<WavePlayer> player(
        new WavePlayer(ssrc, format, periodMs, threshold, std::move(speakerLevel), limits));
    WavePlayer* raw = player.get();
    player->doneList_ = BlockingQueue<PlaybackDevice::Block>::Create(kDoneListCapacity);
    if (!player->doneList_) return nullptr;
    player->cleanupThread_ = std::jthread([raw] {
      // Freeing here keeps allocator work off the device thread.
      while (raw->doneList_->Get(-1)) {
      }
    });
    // The device comes before the timer, so that no tick can find it missing.
    player->device_ = PlaybackDevice::Open(
        backend, format, StreamName(ssrc),
        [raw](PlaybackDevice::Block block) { raw->OutputDone(std::move(block)); });
    if (!player->device_) return nullptr;
    player->timer_ = RearmingTimer::Start(periodMs, [raw] { return raw->Tick(); });
    if (!player->timer_) return nullptr;
    return player;
  } catch (...) {
    return nullptr;
  }
}

WavePlayer::~WavePlayer() {
  alive_ = false;
  if (doneList_) doneList_->Close();  // the cleanup thread takes what is left and ends
  if (cleanupThread_.joinable()) cleanupThread_.join();
  if (timer_) timer_->Cancel();
  device_.reset();  // its last notices free their blocks at once, the player being dead
}

int WavePlayer::currentBytes() const {
  const std::lock_guard<std::mutex> guard(feedMutex_);
  return static_cast<int>(current_.size());
}

bool WavePlayer::QuietInput(const uint8_t* pcm, int byteCount, int times) const {
  return Quiet(pcm, byteCount, static_cast<int64_t>(times) * threshold_.load());
}

int WavePlayer::Feed(const uint8_t* pcm, int byteCount) {
  if (!alive_ || pcm == nullptr || byteCount <= 0 || frameBytes_ <= 0) return -1;
  if (Drop(pcm, byteCount)) {
    ++inputsDropped_;
    return 0;
  }
  try {
    const std::lock_guard<std::mutex> guard(feedMutex_);
    int offset = 0;
    while (offset < byteCount) {
      if (current_.capacity() < static_cast<std::size_t>(frameBytes_)) {
        current_.reserve(static_cast<std::size_t>(frameBytes_));
      }
      const int room = frameBytes_ - static_cast<int>(current_.size());
      const int take = std::min(room, byteCount - offset);
      current_.insert(current_.end(), pcm + offset, pcm + offset + take);
      offset += take;
      if (static_cast<int>(current_.size()) == frameBytes_) {
        // A frame that cannot be listed (memory) is lost; the next one starts afresh.
        if (pending_.Insert(std::move(current_), -1) == 0) ++framesQueued_;
        current_ = std::vector<uint8_t>();
      }
    }
    return 0;
  } catch (...) {
    return 0;  // memory is short: this input is lost, as if dropped
  }
}

bool WavePlayer::Drop(const uint8_t* pcm, int byteCount) {
  // The longer the queue, the louder input must be to join it; above the high water mark none
  // does, and the threshold rises for every chunk refused.
  const int queued = pending_.count();
  if (queued > highFrames_) {
    threshold_ += kThresholdStep;
    return true;
  }
  if (queued > 3 * lowFrames_) return QuietInput(pcm, byteCount, 3);
  if (queued > 2 * lowFrames_) return QuietInput(pcm, byteCount, 2);
  if (queued > lowFrames_) return QuietInput(pcm, byteCount, 1);
  if (!QuietInput(pcm, byteCount, 1)) return false;
  if (threshold_ > 0) threshold_ -= kThresholdStep;
  return true;
}

int WavePlayer::Tick() {
  if (!alive_ || periodMs_ <= 0) return 0;
  if (!buffering_) {
    std::optional<std::vector<uint8_t>> frame = pending_.Remove(0);
    if (frame) {
      WriteFrame(*frame);
      if (speakerLevel_) {
        speakerLevel_(PeakMagnitude(frame->data(), static_cast<int>(frame->size())));
      }
    }
    const int left = pending_.count();
    if (frame && left < lowFrames_ / 2) {
      if (QuietInput(frame->data(), static_cast<int>(frame->size()), 5)) buffering_ = true;
    } else if (left == 0) {
      buffering_ = true;
    }
  }
  if (buffering_ && pending_.count() > lowFrames_) buffering_ = false;
  const int blocks = outstanding_;
  const bool refill =
      blocks * periodMs_ < limits_.deviceRefillMs || blocks < limits_.deviceRefillBlocks;
  const int half = periodMs_ / 2;
  return refill && half > 0 ? half : periodMs_;
}

void WavePlayer::WriteFrame(const std::vector<uint8_t>& frame) {
  try {
    // One byte longer than the frame and zero-filled, as the device's blocks always are.
    PlaybackDevice::Block block(frame.size() + 1, 0);
    std::memcpy(block.data(), frame.data(), frame.size());
    ++outstanding_;  // before the write, so the done notice can never run ahead of it
    if (device_->Write(std::move(block), static_cast<int>(frame.size())) == 0) {
      ++framesPlayed_;
    } else {
      --outstanding_;  // the frame is dropped
    }
  } catch (...) {
    // Memory is short: the frame is dropped.
  }
}

void WavePlayer::OutputDone(PlaybackDevice::Block block) {
  if (!alive_) return;  // freed here and now
  --outstanding_;
  // A block that cannot be listed is freed at once, here.
  doneList_->Put(std::move(block), 0);
}

}  // namespace corvel
