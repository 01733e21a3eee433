// Playback of one remote source: the decoded PCM is gathered into fixed frames of periodMs in a
// jitter buffer, and a timer thread hands one frame per tick to the output device. Playback
// starts once more than the playout delay (600 ms unless configured) is queued and pauses to
// re-buffer when the queue runs dry or runs low at a quiet frame; when the queue is long, quiet
// input is dropped, more eagerly the longer it is, and above five times the delay (3 s) all input
// is refused while the amplitude threshold rises.
//
// Threads: Feed on the RTP receive thread; the tick on the player's timer thread; the device's
// done notices on its device thread; freeing of finished blocks on a cleanup thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "media/audio/pcm_format.h"
#include "media/audio/playback_device.h"
#include "media/audio/rearming_timer.h"
#include "media/toolkit/blocking_queue.h"
#include "media/toolkit/sync_list.h"

namespace corvel {

class AudioBackend;

// Receives the peak sample magnitude (0 to 32767) of each frame handed to the device, on the
// player's timer thread.
using LevelSink = std::function<void(int level)>;

// The jitter buffer's marks for a playout delay ([WAVE] playoutDelay). A lower delay trades
// late speech for gaps on a network that delivers unevenly.
struct PlayoutLimits {
  static constexpr int kDefaultDelayMs = 600;
  static constexpr int kMinDelayMs = 40;  // one frame
  static constexpr int kMaxDelayMs = 3000;

  int lowWaterMs = kDefaultDelayMs;       // playback starts once more than this is queued
  int highWaterMs = 5 * kDefaultDelayMs;  // above this no input is taken
  // Audio kept at the output device: the player tops it up at double speed while less than
  // deviceRefillMs or fewer than deviceRefillBlocks are there. It adds to the delay, so a
  // lower delay keeps less there.
  int deviceRefillMs = 100;
  int deviceRefillBlocks = 4;

  // 0 or less (absent, unreadable) gives the default; others are held within the range.
  static PlayoutLimits ForDelay(int delayMs);
  bool operator==(const PlayoutLimits&) const = default;
};

class WavePlayer {
 public:
  static constexpr int kPeriodMs = 40;
  static constexpr int kThresholdStep = 10;

  // Opens the default output device of `backend` for `ssrc` and starts the timer. nullptr when
  // the device or the timer cannot be had; the source then stays silent until a later try works.
  static std::unique_ptr<WavePlayer> Create(AudioBackend& backend, uint32_t ssrc,
                                            const PcmFormat& format, int periodMs, int threshold,
                                            LevelSink speakerLevel, PlayoutLimits limits = {});

  ~WavePlayer();  // stops the timer, the device and the cleanup; queued audio is dropped
  WavePlayer(const WavePlayer&) = delete;
  WavePlayer& operator=(const WavePlayer&) = delete;

  // Adds decoded PCM to the jitter buffer, or drops it by the rules above. 0, also when the
  // input was dropped; -1 for empty input or a player without frames.
  int Feed(const uint8_t* pcm, int byteCount);

  uint32_t ssrc() const { return ssrc_; }
  int frameBytes() const { return frameBytes_; }
  int lowWaterFrames() const { return lowFrames_; }
  int highWaterFrames() const { return highFrames_; }

  // For the tests and the measurements.
  int pendingFrames() const { return pending_.count(); }
  bool buffering() const { return buffering_; }
  int threshold() const { return threshold_; }
  int outstanding() const { return outstanding_; }
  int framesPlayed() const { return framesPlayed_; }  // handed to the device
  int framesQueued() const { return framesQueued_; }  // completed into the jitter buffer
  int inputsDropped() const { return inputsDropped_; }
  int currentBytes() const;  // bytes of the frame being filled

 private:
  WavePlayer(uint32_t ssrc, const PcmFormat& format, int periodMs, int threshold,
             LevelSink speakerLevel, const PlayoutLimits& limits);
  int Tick();
  void WriteFrame(const std::vector<uint8_t>& frame);
  void OutputDone(PlaybackDevice::Block block);
  bool QuietInput(const uint8_t* pcm, int byteCount, int times) const;
  bool Drop(const uint8_t* pcm, int byteCount);

  std::atomic<bool> alive_{true};
  const uint32_t ssrc_;
  const PcmFormat format_;
  const int periodMs_;
  const PlayoutLimits limits_;
  const int frameBytes_;
  const int lowFrames_;   // L: lowWaterMs / periodMs
  const int highFrames_;  // H: highWaterMs / periodMs
  const LevelSink speakerLevel_;

  std::atomic<bool> buffering_{true};  // written by the tick only
  std::atomic<int> outstanding_{0};    // raised by the tick, lowered by the device's notices
  std::atomic<int> threshold_;         // written by Feed only
  std::atomic<int> framesPlayed_{0};
  std::atomic<int> framesQueued_{0};
  std::atomic<int> inputsDropped_{0};

  SyncList<std::vector<uint8_t>> pending_{true};  // complete frames, oldest first; locks itself
  mutable std::mutex feedMutex_;                  // guards current_
  std::vector<uint8_t> current_;                  // the frame being filled

  // Finished blocks on their way to the cleanup thread.
  std::unique_ptr<BlockingQueue<PlaybackDevice::Block>> doneList_;
  std::jthread cleanupThread_;
  std::unique_ptr<PlaybackDevice> device_;  // fixed once created
  std::unique_ptr<RearmingTimer> timer_;    // fixed once created
};

}  // namespace corvel
