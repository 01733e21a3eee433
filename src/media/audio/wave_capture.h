// Microphone capture in a ring of fixed-size buffers. The device fills the buffers in turn; each
// filled buffer is handed from the device thread to a hand-off thread of the capture's own, which
// gives it to the consumer (the RTP server) and queues it again. So the consumer's waits never
// hold up the device, and nothing calls back into the device from its own thread but to requeue.
//
// Open, Start, Stop and Close may come from any thread, one at a time or concurrently.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "media/audio/capture_consumer.h"
#include "media/audio/capture_device.h"
#include "media/audio/pcm_format.h"
#include "media/toolkit/blocking_queue.h"

namespace corvel {

class AudioBackend;

class WaveCapture {
 public:
  static constexpr int kStopPollMs = 10;
  static constexpr int kStopPolls = 20;  // Stop waits at most 200 ms for buffers

  // Opens the default input device of `backend` (none: Open fails).
  explicit WaveCapture(std::shared_ptr<AudioBackend> backend);
  ~WaveCapture();  // Close()
  WaveCapture(const WaveCapture&) = delete;
  WaveCapture& operator=(const WaveCapture&) = delete;

  // Opens the device in the given format with bufferCount buffers of bufferBytes each. 0; 0 at
  // once when already open; -1 when the device cannot be opened (nothing stays open).
  int Open(int channels, int bitsPerSample, int samplesPerSecond, int bufferCount, int bufferBytes);

  // Hands every buffer to the device and starts recording for `consumer`. 0; 0 at once when
  // already started; -1 when not open or the device will not start.
  int Start(CaptureConsumer* consumer);

  // Forgets the consumer (no call to it is in progress once Stop returns), waits up to 200 ms
  // while buffers are still with the device, then stops it. Always 0.
  int Stop();

  // Stops, closes the device and frees the buffers. Always 0.
  int Close();

  bool opened() const { return opened_; }
  bool started() const { return started_; }
  int queued() const { return queued_; }
  int bufferBytes() const { return bufferBytes_; }
  int bufferCount() const { return bufferCount_; }
  PcmFormat format() const;

 private:
  void BufferDone(CaptureDevice::Buffer& buffer);  // hand-off thread
  void StopLocked();

  const std::shared_ptr<AudioBackend> backend_;

  mutable std::mutex
      controlMutex_;  // serialises Open, Start, Stop and Close; guards what they set up:
  PcmFormat format_;  //   the format,
  std::vector<CaptureDevice::Buffer> buffers_;  // the ring (never resized while open),
  std::unique_ptr<CaptureDevice> device_;       // the device, and
  std::shared_ptr<BlockingQueue<CaptureDevice::Buffer*>> filled_;  // the hand-off queue
  std::jthread handOff_;  // and the hand-off thread, which uses the four above while it runs

  std::atomic<bool> opened_{false};
  std::atomic<bool> started_{false};
  std::atomic<int> queued_{0};  // buffers with the device
  std::atomic<int> bufferBytes_{0};
  std::atomic<int> bufferCount_{0};

  // Guards session_ and ties the requeueing of a buffer to the Start or Stop it belongs to, so a
  // late buffer of an earlier run is never queued twice.
  std::mutex sessionMutex_;
  uint64_t session_ = 0;  // counts Starts

  std::mutex consumerMutex_;             // guards consumer_, held across each call to it
  CaptureConsumer* consumer_ = nullptr;  // not owned
};

}  // namespace corvel
