// The driver side of playback, in the manner of a wave-output driver: blocks written to it are
// played in order by a device thread that feeds the output stream at the device's pace, and each
// block is handed back on that thread once the device has taken all of it. An idle device thread
// sleeps until the next block arrives.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "media/audio/audio_backend.h"

namespace corvel {

class PlaybackDevice {
 public:
  using Block = std::vector<uint8_t>;
  // Runs on the device thread for each block the device has finished with.
  using Played = std::function<void(Block block)>;

  // The default output device of `backend` in `format`; `stream` names it for the backend.
  // nullptr when it cannot be opened.
  static std::unique_ptr<PlaybackDevice> Open(AudioBackend& backend, const PcmFormat& format,
                                              std::string_view stream, Played played);

  // Ends the device thread; blocks not yet played are dropped without being handed back.
  ~PlaybackDevice();
  PlaybackDevice(const PlaybackDevice&) = delete;
  PlaybackDevice& operator=(const PlaybackDevice&) = delete;

  // Queues the first `bytes` bytes of `block` for playing (whole sample frames; the rest of the
  // block is not played). 0; -1 when bytes is not a positive number of whole frames within the
  // block, or memory is short, and the block then stays with the caller.
  int Write(Block&& block, int bytes);

 private:
  PlaybackDevice(std::unique_ptr<AudioOutput> output, const PcmFormat& format, Played played);
  void Play(const std::stop_token& stop);

  const std::unique_ptr<AudioOutput> output_;  // used by the device thread only
  const PcmFormat format_;
  const Played played_;
  std::mutex mutex_;  // guards queue_
  std::condition_variable_any queued_;
  std::deque<std::pair<Block, int>> queue_;  // blocks and their byte counts, oldest first
  std::jthread thread_;                      // last member: it ends before the rest goes
};

}  // namespace corvel
