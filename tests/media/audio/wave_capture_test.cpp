// Capture through the file backend: buffers in the ring, real-time pace, the hand-off to the
// consumer, and the rules of Open, Start, Stop and Close.
#include "media/audio/wave_capture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>

#include "audio_test_support.h"
#include "media/audio/audio_backend_registry.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

using Clock = std::chrono::steady_clock;
using testing::Samples;

class RecordingConsumer final : public CaptureConsumer {
 public:
  bool PushCaptured(const uint8_t* pcm, int byteCount) override {
    if (delayMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
    const std::lock_guard<std::mutex> guard(mutex_);
    const std::size_t samples = static_cast<std::size_t>(byteCount) / 2;
    const std::size_t start = heard_.size();
    heard_.resize(start + samples);
    std::memcpy(heard_.data() + start, pcm, samples * 2);
    sizes_.push_back(byteCount);
    times_.push_back(Clock::now());
    return true;
  }
  Samples heard() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return heard_;
  }
  std::vector<int> sizes() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return sizes_;
  }
  std::vector<Clock::time_point> times() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return times_;
  }
  int frames() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<int>(sizes_.size());
  }
  void setDelayMs(int ms) { delayMs_ = ms; }

 private:
  std::atomic<int> delayMs_{0};
  mutable std::mutex mutex_;  // guards the three records
  Samples heard_;
  std::vector<int> sizes_;
  std::vector<Clock::time_point> times_;
};

class WaveCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    source_ = testing::Tone(440, 1.0, 9000);
    for (std::size_t i = 0; i < source_.size(); ++i)
      source_[i] = static_cast<int16_t>(source_[i] + static_cast<int>(i % 1000));  // no repeats
    ASSERT_TRUE(testing::WriteWav(folder_ / "mic.wav", source_));
    backend_ = CreateAudioBackend("file:" + folder_ / "mic.wav");
    ASSERT_TRUE(backend_);
  }

  testing::TempFolder folder_;
  Samples source_;
  std::shared_ptr<AudioBackend> backend_;
};

TEST_F(WaveCaptureTest, FramesOfOneBufferArriveInOrderAtRealTimeRate) {
  WaveCapture capture(backend_);
  ASSERT_EQ(capture.Open(1, 16, 8000, 10, 320), 0);
  EXPECT_TRUE(capture.opened());
  EXPECT_EQ(capture.bufferCount(), 10);
  EXPECT_EQ(capture.bufferBytes(), 320);
  RecordingConsumer consumer;
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(capture.Start(&consumer), 0);
  EXPECT_TRUE(capture.started());
  ASSERT_TRUE(testing::Eventually([&] { return consumer.frames() >= 50; }, 5000));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  // 50 buffers of 20 ms are one second of sound; they cannot come sooner.
  EXPECT_GE(seconds, 0.98);
  EXPECT_LT(seconds, 2.0);
  capture.Stop();
  const std::vector<int> sizes = consumer.sizes();
  EXPECT_TRUE(std::all_of(sizes.begin(), sizes.end(), [](int s) { return s == 320; }));
  const Samples heard = consumer.heard();
  ASSERT_GE(heard.size(), 8000u);
  EXPECT_TRUE(std::equal(source_.begin(), source_.end(), heard.begin()))
      << "the ring hands the buffers over in recording order";
  // Frames keep their 20 ms spacing instead of arriving in bursts.
  const std::vector<Clock::time_point> times = consumer.times();
  const double span = std::chrono::duration<double>(times[49] - times[9]).count();
  EXPECT_NEAR(span, 0.8, 0.25);
}

TEST_F(WaveCaptureTest, StartTwiceDoesNothingTheSecondTimeAndStopWaitsAbout200Ms) {
  WaveCapture capture(backend_);
  ASSERT_EQ(capture.Open(1, 16, 8000, 10, 320), 0);
  RecordingConsumer consumer;
  RecordingConsumer other;
  ASSERT_EQ(capture.Start(&consumer), 0);
  EXPECT_EQ(capture.Start(&other), 0);
  ASSERT_TRUE(testing::Eventually([&] { return consumer.frames() >= 5; }, 3000));
  EXPECT_EQ(other.frames(), 0) << "the second Start changed nothing";
  EXPECT_GT(capture.queued(), 0);

  const Clock::time_point start = Clock::now();
  EXPECT_EQ(capture.Stop(), 0);
  const double stopMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  EXPECT_GE(stopMs, 190);  // buffers with the device are waited for, at most 200 ms
  EXPECT_LT(stopMs, 700);
  EXPECT_FALSE(capture.started());
  EXPECT_EQ(capture.queued(), 0);
  const int frames = consumer.frames();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(consumer.frames(), frames) << "nothing reaches the consumer after Stop";

  // Stopped, it starts again with a fresh ring, from the start of the file.
  RecordingConsumer again;
  ASSERT_EQ(capture.Start(&again), 0);
  ASSERT_TRUE(testing::Eventually([&] { return again.frames() >= 3; }, 3000));
  const Samples heard = again.heard();
  EXPECT_TRUE(std::equal(heard.begin(), heard.begin() + 480, source_.begin()));
  EXPECT_EQ(capture.Close(), 0);
  EXPECT_FALSE(capture.opened());
  EXPECT_EQ(capture.bufferCount(), 0);
}

TEST_F(WaveCaptureTest, StopWaitsForAConsumerCallInProgress) {
  WaveCapture capture(backend_);
  ASSERT_EQ(capture.Open(1, 16, 8000, 4, 320), 0);
  RecordingConsumer consumer;
  consumer.setDelayMs(150);  // a consumer that blocks, as a full queue would make it
  ASSERT_EQ(capture.Start(&consumer), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  capture.Stop();
  const int frames = consumer.frames();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(consumer.frames(), frames);
}

TEST_F(WaveCaptureTest, OpenFailsWithoutADeviceAndStartWithoutOpen) {
  WaveCapture missing(CreateAudioBackend("file:" + folder_ / "absent.wav"));
  EXPECT_EQ(missing.Open(1, 16, 8000, 10, 320), -1);
  EXPECT_FALSE(missing.opened());
  RecordingConsumer consumer;
  EXPECT_EQ(missing.Start(&consumer), -1);
  EXPECT_EQ(missing.Stop(), 0);
  EXPECT_EQ(missing.Close(), 0);

  WaveCapture none(nullptr);
  EXPECT_EQ(none.Open(1, 16, 8000, 10, 320), -1);

  WaveCapture wrongFormat(backend_);
  EXPECT_EQ(wrongFormat.Open(1, 8, 8000, 10, 320), -1);

  WaveCapture twice(backend_);
  ASSERT_EQ(twice.Open(1, 16, 8000, 10, 320), 0);
  EXPECT_EQ(twice.Open(1, 16, 16000, 3, 100), 0) << "already open: nothing changes";
  EXPECT_EQ(twice.bufferCount(), 10);
  EXPECT_EQ(twice.format().samplesPerSecond, 8000);
}

TEST_F(WaveCaptureTest, WithoutBuffersNothingReachesTheConsumer) {
  WaveCapture capture(backend_);
  ASSERT_EQ(capture.Open(1, 16, 8000, 0, 0), 0);
  RecordingConsumer consumer;
  ASSERT_EQ(capture.Start(&consumer), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(consumer.frames(), 0);
  const Clock::time_point start = Clock::now();
  capture.Stop();
  const double stopMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  EXPECT_LT(stopMs, 150) << "no buffer with the device: nothing to wait for";
}

}  // namespace
}  // namespace corvel
