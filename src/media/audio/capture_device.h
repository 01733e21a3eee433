// The driver side of capture, in the manner of a wave-input driver: buffers handed in are filled
// one after another, in the order given, by a device thread that reads the input stream at the
// device's pace, and each filled buffer is announced on that thread. While no buffer is queued
// the device keeps recording and drops what it hears, as a driver without buffers does.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "media/audio/audio_backend.h"

namespace corvel {

class CaptureDevice {
 public:
  struct Buffer {
    std::vector<uint8_t> data;  // its size is the buffer's length
    int recorded = 0;           // bytes the device filled, set before the announcement
  };
  // Runs on the device thread for each filled buffer; it may add buffers but must not Start or
  // Reset the device.
  using Filled = std::function<void(Buffer& buffer)>;

  // The default input device of `backend` in `format`; nullptr when it cannot be opened.
  static std::unique_ptr<CaptureDevice> Open(AudioBackend& backend, const PcmFormat& format,
                                             Filled filled);

  ~CaptureDevice();  // Reset()
  CaptureDevice(const CaptureDevice&) = delete;
  CaptureDevice& operator=(const CaptureDevice&) = delete;

  // Queues a buffer to be filled; it must stay where it is until it is announced or the device
  // is reset. -1 for a buffer shorter than one sample frame or one that is queued already.
  int AddBuffer(Buffer& buffer);

  // Starts recording (0), or -1 when the device will not run. 0 at once when running.
  int Start();

  // Stops recording and forgets the queued buffers without announcing them (one that completes
  // while Reset waits may still be announced). Returns once the device thread has ended.
  void Reset();

  bool running() const { return running_; }

 private:
  CaptureDevice(std::unique_ptr<AudioInput> input, const PcmFormat& format, Filled filled);
  void Record(const std::stop_token& stop);
  Buffer* TakeNext();

  const std::unique_ptr<AudioInput> input_;  // used by the device thread while it runs, else
                                             // by Start and Reset under controlMutex_
  const PcmFormat format_;
  const Filled filled_;
  std::mutex controlMutex_;  // serialises Start and Reset; guards thread_
  std::jthread thread_;
  std::atomic<bool> running_{false};
  mutable std::mutex queueMutex_;  // guards queue_ and filling_
  std::deque<Buffer*> queue_;      // buffers handed in, not yet being filled; not owned
  Buffer* filling_ = nullptr;      // the buffer the device thread is filling; not owned
};

}  // namespace corvel
