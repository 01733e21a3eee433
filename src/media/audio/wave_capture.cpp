#include "media/audio/wave_capture.h"

#include <chrono>
#include <new>
#include <optional>
#include <stdexcept>

#include "media/audio/audio_backend.h"

namespace corvel {
namespace {

constexpr int kLargestCount = 65535;  // counts and sizes are 16-bit in the capture's record

}  // namespace

WaveCapture::WaveCapture(std::shared_ptr<AudioBackend> backend) : backend_(std::move(backend)) {}

WaveCapture::~WaveCapture() {
  Close();
}

PcmFormat WaveCapture::format() const {
  const std::lock_guard<std::mutex> guard(controlMutex_);
  return format_;
}

int WaveCapture::Open(int channels, int bitsPerSample, int samplesPerSecond, int bufferCount,
                      int bufferBytes) {
  const std::lock_guard<std::mutex> guard(controlMutex_);
  if (opened_) return 0;
  format_ = PcmFormat{channels, bitsPerSample, samplesPerSecond};
  try {
    if (!backend_ || bufferCount < 0 || bufferCount > kLargestCount || bufferBytes < 0 ||
        bufferBytes > kLargestCount) {
      throw std::invalid_argument("capture");
    }
    filled_ = BlockingQueue<CaptureDevice::Buffer*>::Create(bufferCount + 1);
    if (!filled_) throw std::bad_alloc();
    // The device thread reaches the hand-off queue only through its own reference.
    device_ = CaptureDevice::Open(
        *backend_, format_,
        [queue = filled_](CaptureDevice::Buffer& buffer) { queue->Put(&buffer, 0); });
    if (!device_) throw std::runtime_error("capture device");
    if (bufferCount > 0 && bufferBytes > 0) {
      buffers_.resize(static_cast<std::size_t>(bufferCount));
      for (CaptureDevice::Buffer& buffer : buffers_)
        buffer.data.assign(static_cast<std::size_t>(bufferBytes), 0);
    }
    handOff_ = std::jthread([this, queue = filled_] {
      while (std::optional<CaptureDevice::Buffer*> buffer = queue->Get(-1)) {
        BufferDone(**buffer);
      }
    });
  } catch (...) {
    // Close's work on what was made so far; nothing was started.
    if (filled_) filled_->Close();
    device_.reset();
    filled_.reset();
    buffers_.clear();
    return -1;
  }
  bufferBytes_ = bufferBytes;
  bufferCount_ = bufferCount;
  opened_ = true;
  return 0;
}

int WaveCapture::Start(CaptureConsumer* consumer) {
  const std::lock_guard<std::mutex> guard(controlMutex_);
  if (!opened_) return -1;
  if (started_) return 0;
  int added = 0;
  {
    const std::lock_guard<std::mutex> session(sessionMutex_);
    ++session_;
    for (CaptureDevice::Buffer& buffer : buffers_) {
      if (device_->AddBuffer(buffer) == 0) ++added;
    }
    queued_ = added;
    started_ = true;
  }
  {
    const std::lock_guard<std::mutex> consumerGuard(consumerMutex_);
    consumer_ = consumer;
  }
  // Started before the device runs, so the very first buffer is not taken for a stray one.
  if (device_->Start() != 0) {
    {
      const std::lock_guard<std::mutex> consumerGuard(consumerMutex_);
      consumer_ = nullptr;
    }
    {
      const std::lock_guard<std::mutex> session(sessionMutex_);
      started_ = false;
    }
    device_->Reset();
    queued_ = 0;
    return -1;
  }
  return 0;
}

int WaveCapture::Stop() {
  const std::lock_guard<std::mutex> guard(controlMutex_);
  StopLocked();
  return 0;
}

void WaveCapture::StopLocked() {
  if (!opened_) return;
  {
    const std::lock_guard<std::mutex> consumerGuard(consumerMutex_);
    consumer_ = nullptr;
  }
  {
    const std::lock_guard<std::mutex> session(sessionMutex_);
    started_ = false;
  }
  // Buffers that complete from now on are ignored, so while the device holds any this waits the
  // full 200 ms, giving it time to finish what it records.
  for (int poll = 0; poll < kStopPolls && queued_ > 0; ++poll) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kStopPollMs));
  }
  device_->Reset();
  queued_ = 0;
}

int WaveCapture::Close() {
  const std::lock_guard<std::mutex> guard(controlMutex_);
  StopLocked();
  {
    const std::lock_guard<std::mutex> session(sessionMutex_);
    opened_ = false;
  }
  if (filled_) filled_->Close();  // the hand-off thread finishes what is queued and ends
  if (handOff_.joinable()) handOff_.join();
  device_.reset();
  filled_.reset();
  buffers_.clear();
  bufferBytes_ = 0;
  bufferCount_ = 0;
  queued_ = 0;
  return 0;
}

void WaveCapture::BufferDone(CaptureDevice::Buffer& buffer) {
  uint64_t session = 0;
  {
    const std::lock_guard<std::mutex> guard(sessionMutex_);
    if (!opened_ || !started_ || buffer.recorded == 0) return;
    session = session_;
    --queued_;
  }
  {
    const std::lock_guard<std::mutex> guard(consumerMutex_);
    if (consumer_ != nullptr) consumer_->PushCaptured(buffer.data.data(), buffer.recorded);
  }
  const std::lock_guard<std::mutex> guard(sessionMutex_);
  if (opened_ && started_ && session == session_ && device_->AddBuffer(buffer) == 0) ++queued_;
}

}  // namespace corvel
