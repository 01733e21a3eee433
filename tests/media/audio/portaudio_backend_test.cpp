// The PortAudio backend against a private PipeWire server with a null sink: capture frames come
// at real-time rate, and what is played reaches the sink's monitor, at 8 kHz on the device and
// through the resampler at a device rate of 44.1 kHz. Skipped where no sound server can start.
#include <gtest/gtest.h>

#include <chrono>

#include "audio_test_support.h"
#include "media/audio/audio_backend_registry.h"
#include "media/audio/player_table.h"
#include "media/audio/sound_player.h"
#include "media/audio/wave_capture.h"
#include "sound_server.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

using Clock = std::chrono::steady_clock;
using testing::Samples;

class CountingConsumer final : public CaptureConsumer {
 public:
  bool PushCaptured(const uint8_t* /*pcm*/, int byteCount) override {
    const std::lock_guard<std::mutex> guard(mutex_);
    times_.push_back(Clock::now());
    bytes_ += byteCount;
    return true;
  }
  std::vector<Clock::time_point> times() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return times_;
  }

 private:
  mutable std::mutex mutex_;  // guards times_ and bytes_
  std::vector<Clock::time_point> times_;
  int bytes_ = 0;
};

class PortAudioBackendTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    std::string why;
    if (!server_.Start(folder_, why)) GTEST_SKIP() << "no headless sound server: " << why;
    backend_ = CreateAudioBackend(GetParam());
    ASSERT_TRUE(backend_) << GetParam();
  }

  // Records the sink's monitor with the sound server's own client while `play` runs, and checks
  // that a second of the 1 kHz tone came through whole: a dropout of a few milliseconds breaks
  // the phase and shows in the tone's share.
  template <typename Play>
  void ExpectToneAtTheMonitor(Play play) {
    std::unique_ptr<testing::ChildProcess> recorder = testing::ChildProcess::Start(
        {"/usr/bin/parec", "-d", std::string(testing::SoundServer::kSink) + ".monitor", "--raw",
         "--rate=8000", "--channels=1", "--format=s16le", "--latency-msec=100"},
        folder_ / "parec.log");
    ASSERT_TRUE(recorder);
    testing::SoundServer::Wait(500);
    play();
    testing::SoundServer::Wait(300);
    recorder->Signal(SIGTERM);
    const std::string raw = recorder->ReadAll(3000);
    Samples heard(raw.size() / 2);
    std::memcpy(heard.data(), raw.data(), heard.size() * 2);
    ASSERT_GT(heard.size(), 8000u) << "the monitor recorded";
    const std::size_t onset = testing::FirstAbove(heard, 2000);
    ASSERT_LT(onset, heard.size()) << "the tone was heard";
    const Samples tone(heard.begin() + static_cast<long>(onset),
                       heard.begin() + static_cast<long>(std::min(heard.size(), onset + 8000)));
    std::printf("%s: peak %d, 1 kHz share %.2f over %zu samples\n", GetParam(), testing::Peak(tone),
                testing::ToneShare(tone, 1000), tone.size());
    EXPECT_EQ(tone.size(), 8000u);
    EXPECT_GT(testing::ToneShare(tone, 1000), 0.8);
    // The server's channel mapping of the mono stream may change the level by a few dB.
    EXPECT_GT(testing::Peak(tone), 16000 / 2);
    EXPECT_LT(testing::Peak(tone), 16000 * 2);
  }

  testing::TempFolder folder_;
  testing::SoundServer server_;
  std::shared_ptr<AudioBackend> backend_;
};

TEST_P(PortAudioBackendTest, CaptureFramesArriveAtRealTimeRate) {
  WaveCapture capture(backend_);
  ASSERT_EQ(capture.Open(1, 16, 8000, 10, 320), 0);
  CountingConsumer consumer;
  ASSERT_EQ(capture.Start(&consumer), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  capture.Close();
  const std::vector<Clock::time_point> times = consumer.times();
  ASSERT_GT(times.size(), 60u) << "frames came";
  // Past the device's start-up, one 20 ms frame per 20 ms.
  const std::size_t from = 20;
  const double seconds = std::chrono::duration<double>(times.back() - times[from]).count();
  const double rate = static_cast<double>(times.size() - 1 - from) / seconds;
  std::printf("%s: %zu capture frames, %.1f frames/s\n", GetParam(), times.size(), rate);
  EXPECT_NEAR(rate, 50.0, 5.0);
}

TEST_P(PortAudioBackendTest, ASoundReachesTheSinksMonitor) {
  ASSERT_TRUE(testing::WriteWav(folder_ / "tone.wav", testing::Tone(1000, 2.0, 16000)));
  ExpectToneAtTheMonitor([&] {
    SoundPlayer player(backend_);
    ASSERT_TRUE(player.Play(folder_ / "tone.wav", false));
    ASSERT_TRUE(testing::Eventually([&] { return !player.playing(); }, 6000));
  });
}

TEST_P(PortAudioBackendTest, ASourcesAudioReachesTheSinksMonitor) {
  const Samples tone = testing::Tone(1000, 2.0, 16000);
  ExpectToneAtTheMonitor([&] {
    std::unique_ptr<PlayerTable> players = PlayerTable::Create(backend_, 500, {});
    ASSERT_TRUE(players);
    // Decoded packets of 20 ms, at the pace the network brings them.
    const auto start = Clock::now();
    for (std::size_t at = 0; at + 160 <= tone.size(); at += 160) {
      std::this_thread::sleep_until(start + std::chrono::milliseconds(at / 8));
      ASSERT_EQ(
          players->Play(1, reinterpret_cast<const uint8_t*>(tone.data() + at), 320, 1, 16, 8000),
          0);
    }
    std::shared_ptr<const WavePlayer> player = players->Find(1);
    ASSERT_TRUE(player);
    ASSERT_TRUE(testing::Eventually(
        [&] { return player->pendingFrames() == 0 && player->outstanding() == 0; }, 3000));
    testing::SoundServer::Wait(200);  // what the device holds
  });
}

INSTANTIATE_TEST_SUITE_P(Devices, PortAudioBackendTest,
                         ::testing::Values("portaudio:pulse", "portaudio:pulse@44100"));

}  // namespace
}  // namespace corvel
