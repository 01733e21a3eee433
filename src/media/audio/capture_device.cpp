#include "media/audio/capture_device.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace corvel {
namespace {

// What the device records into while no buffer is queued.
constexpr int kIdleChunkMs = 20;
// After a failed read, before the next try, so a broken device does not spin.
constexpr auto kFailurePause = std::chrono::milliseconds(20);

}  // namespace

CaptureDevice::CaptureDevice(std::unique_ptr<AudioInput> input, const PcmFormat& format,
                             Filled filled)
    : input_(std::move(input)), format_(format), filled_(std::move(filled)) {}

std::unique_ptr<CaptureDevice> CaptureDevice::Open(AudioBackend& backend, const PcmFormat& format,
                                                   Filled filled) {
  if (!filled || !format.supported()) return nullptr;
  std::unique_ptr<AudioInput> input = backend.OpenInput(format);
  if (!input) return nullptr;
  try {
    return std::unique_ptr<CaptureDevice>(
        new CaptureDevice(std::move(input), format, std::move(filled)));
  } catch (...) {
    return nullptr;
  }
}

CaptureDevice::~CaptureDevice() {
  Reset();
}

int CaptureDevice::AddBuffer(Buffer& buffer) {
  if (buffer.data.size() < static_cast<std::size_t>(format_.blockAlign())) return -1;
  try {
    const std::lock_guard<std::mutex> guard(queueMutex_);
    if (filling_ == &buffer || std::find(queue_.begin(), queue_.end(), &buffer) != queue_.end()) {
      return -1;
    }
    queue_.push_back(&buffer);
    return 0;
  } catch (...) {
    return -1;
  }
}

int CaptureDevice::Start() {
  try {
    const std::lock_guard<std::mutex> guard(controlMutex_);
    if (running_) return 0;
    if (input_->Start() != 0) return -1;
    running_ = true;
    thread_ = std::jthread([this](std::stop_token stop) { Record(stop); });
    return 0;
  } catch (...) {
    running_ = false;
    input_->Stop();
    return -1;
  }
}

void CaptureDevice::Reset() {
  const std::lock_guard<std::mutex> guard(controlMutex_);
  if (thread_.joinable()) {
    thread_.request_stop();
    thread_.join();  // the thread notices within one read
    input_->Stop();
  }
  running_ = false;
  const std::lock_guard<std::mutex> queueGuard(queueMutex_);
  queue_.clear();
  filling_ = nullptr;
}

CaptureDevice::Buffer* CaptureDevice::TakeNext() {
  const std::lock_guard<std::mutex> guard(queueMutex_);
  filling_ = nullptr;
  if (queue_.empty()) return nullptr;
  filling_ = queue_.front();
  queue_.pop_front();
  return filling_;
}

void CaptureDevice::Record(const std::stop_token& stop) {
  std::vector<int16_t> samples;
  const int blockAlign = format_.blockAlign();
  const int idleFrames = format_.samplesPerSecond * kIdleChunkMs / 1000;
  while (!stop.stop_requested()) {
    Buffer* buffer = TakeNext();
    // The buffer's bytes are only written below, outside the lock: nobody else touches a buffer
    // while the device has it.
    const int frames =
        buffer != nullptr ? static_cast<int>(buffer->data.size()) / blockAlign : idleFrames;
    samples.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(format_.channels));
    if (input_->Read(samples.data(), frames) != 0) {
      if (buffer != nullptr) {
        const std::lock_guard<std::mutex> guard(queueMutex_);
        queue_.push_front(buffer);  // still the next one to fill
        filling_ = nullptr;
      }
      std::this_thread::sleep_for(kFailurePause);
      continue;
    }
    if (buffer == nullptr || stop.stop_requested()) continue;
    const int bytes = frames * blockAlign;
    std::memcpy(buffer->data.data(), samples.data(), static_cast<std::size_t>(bytes));
    buffer->recorded = bytes;
    {
      const std::lock_guard<std::mutex> guard(queueMutex_);
      filling_ = nullptr;
    }
    filled_(*buffer);
  }
  const std::lock_guard<std::mutex> guard(queueMutex_);
  filling_ = nullptr;
}

}  // namespace corvel
