// Ring tones and key tones through the file backend: once, looped, cut short by the next sound,
// stopped; all of it lands in the sound player's one recording at the moments it was heard.
#include "media/audio/sound_player.h"

#include <gtest/gtest.h>

#include "audio_test_support.h"
#include "media/audio/audio_backend_registry.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::Samples;

class SoundPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // 100 whole periods, so the loop joins without a jump.
    ASSERT_TRUE(testing::WriteWav(folder_ / "ring.wav", testing::Tone(400, 0.25, 12000)));
    ASSERT_TRUE(testing::WriteWav(folder_ / "key.wav", testing::Tone(1336, 0.14, 12000)));
    backend_ = CreateAudioBackend("file:," + folder_ / "out");
    ASSERT_TRUE(backend_);
  }

  // The recording, read once the player is gone.
  Samples Recording() {
    const testing::WavContent wav = testing::ReadWav(folder_ / "out/sound.wav");
    EXPECT_TRUE(wav.ok);
    return wav.samples;
  }

  testing::TempFolder folder_;
  std::shared_ptr<AudioBackend> backend_;
};

// Samples [from, to) of a recording.
Samples Part(const Samples& samples, std::size_t from, std::size_t to) {
  to = std::min(to, samples.size());
  return from < to ? Samples(samples.begin() + static_cast<long>(from),
                             samples.begin() + static_cast<long>(to))
                   : Samples();
}

TEST_F(SoundPlayerTest, ASoundPlaysOnceWithoutHoldingUpTheCaller) {
  {
    SoundPlayer player(backend_);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(player.Play(folder_ / "key.wav", false));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_TRUE(player.playing());
    ASSERT_TRUE(testing::Eventually([&] { return !player.playing(); }, 2000));
  }
  const Samples heard = Recording();
  ASSERT_GE(heard.size(), 1120u);
  EXPECT_GT(testing::ToneShare(Part(heard, 0, 1120), 1336), 0.9);
  EXPECT_EQ(testing::Peak(heard, 1121), 0);
}

TEST_F(SoundPlayerTest, ALoopRepeatsUntilAKeyToneEndsIt) {
  {
    SoundPlayer player(backend_);
    ASSERT_TRUE(player.Play(folder_ / "ring.wav", true));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // nearly three rounds
    ASSERT_TRUE(player.Play(folder_ / "key.wav", false));
    ASSERT_TRUE(testing::Eventually([&] { return !player.playing(); }, 2000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(player.playing()) << "the ring does not come back";
  }
  const Samples heard = Recording();
  // Ring, then the key tone right after it, then nothing.
  const std::size_t keyStart = 8 * 700;
  EXPECT_GT(testing::ToneShare(Part(heard, 0, keyStart - 400), 400), 0.8);
  const std::size_t end = heard.size();
  ASSERT_GT(end, keyStart);
  EXPECT_LT(end, keyStart + 8 * 400) << "the ring stopped when the key tone came";
  EXPECT_GT(testing::ToneShare(Part(heard, end - 1120, end), 1336), 0.8);
}

TEST_F(SoundPlayerTest, StopAllAndAnEmptyPathEndTheSound) {
  {
    SoundPlayer player(backend_);
    ASSERT_TRUE(player.Play(folder_ / "ring.wav", true));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    player.StopAll();
    EXPECT_FALSE(player.playing());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(player.Play(folder_ / "ring.wav", true));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(player.Play("", false));
    EXPECT_FALSE(player.playing());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const Samples heard = Recording();
  // Two stretches of ring with about 300 ms of silence between them; nothing after the second.
  std::size_t gap = 0;
  std::size_t longest = 0;
  for (std::size_t i = testing::FirstAbove(heard, 100); i < heard.size(); ++i) {
    gap = heard[i] == 0 ? gap + 1 : 0;
    longest = std::max(longest, gap);
  }
  EXPECT_GT(longest, 8u * 200);
  EXPECT_LT(heard.size(), 8u * 1500);
}

TEST_F(SoundPlayerTest, AFileThatCannotBeReadPlaysNothingAndEndsTheSoundPlaying) {
  SoundPlayer player(backend_);
  ASSERT_TRUE(player.Play(folder_ / "ring.wav", true));
  EXPECT_FALSE(player.Play(folder_ / "absent.wav", false));
  EXPECT_FALSE(player.playing());

  SoundPlayer mute(nullptr);
  EXPECT_TRUE(mute.Play(folder_ / "key.wav", false)) << "no device: the sound is simply not heard";
  ASSERT_TRUE(testing::Eventually([&] { return !mute.playing(); }, 1000));
}

}  // namespace
}  // namespace corvel
