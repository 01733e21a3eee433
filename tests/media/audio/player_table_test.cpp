// Per-source playback through the file backend: pre-buffering, re-buffering, the adaptive
// threshold, frames, the speaker level, the cap on sources and Reset.
#include "media/audio/player_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "audio_test_support.h"
#include "media/audio/audio_backend_registry.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::Samples;

constexpr int kFrame = 640;  // 40 ms at 8000 Hz
constexpr int kLoud = 20000;

class LevelRecorder {
 public:
  LevelSink sink() {
    return [this](int level) {
      const std::lock_guard<std::mutex> guard(mutex_);
      levels_.push_back(level);
    };
  }
  std::vector<int> levels() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return levels_;
  }

 private:
  mutable std::mutex mutex_;  // guards levels_
  std::vector<int> levels_;
};

class PlayerTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ = CreateAudioBackend("file:," + folder_ / "out");
    ASSERT_TRUE(backend_);
    table_ = PlayerTable::Create(backend_, 500, levels_.sink());
    ASSERT_TRUE(table_);
  }

  int Play(uint32_t ssrc, const std::vector<uint8_t>& pcm) {
    return table_->Play(ssrc, pcm.data(), static_cast<int>(pcm.size()), 1, 16, 8000);
  }
  void PlayFrames(uint32_t ssrc, int count, int amplitude) {
    const std::vector<uint8_t> frame = testing::ToneBytes(kFrame, amplitude);
    for (int i = 0; i < count; ++i)
      ASSERT_EQ(Play(ssrc, frame), 0);
  }

  testing::TempFolder folder_;
  std::shared_ptr<AudioBackend> backend_;
  LevelRecorder levels_;
  std::unique_ptr<PlayerTable> table_;
};

TEST_F(PlayerTableTest, TheFirst15FramesAreHeldBackAndThe16thStartsPlayback) {
  PlayFrames(7, 15, kLoud);
  std::shared_ptr<const WavePlayer> player = table_->Find(7);
  ASSERT_TRUE(player);
  EXPECT_EQ(player->frameBytes(), kFrame);
  EXPECT_EQ(player->lowWaterFrames(), 15);
  EXPECT_EQ(player->highWaterFrames(), 75);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(player->buffering());
  EXPECT_EQ(player->framesPlayed(), 0);
  EXPECT_EQ(player->pendingFrames(), 15);
  EXPECT_TRUE(levels_.levels().empty());

  PlayFrames(7, 1, kLoud);
  ASSERT_TRUE(testing::Eventually([&] { return player->framesPlayed() >= 1; }, 1000));
  EXPECT_FALSE(player->buffering());
  // Every frame handed to the device reports its peak.
  ASSERT_TRUE(testing::Eventually([&] { return player->framesPlayed() == 16; }, 2000));
  ASSERT_TRUE(testing::Eventually([&] { return player->buffering(); }, 1000))
      << "back to buffering once the queue is dry";
  const std::vector<int> levels = levels_.levels();
  ASSERT_EQ(levels.size(), 16u);
  EXPECT_TRUE(std::all_of(levels.begin(), levels.end(), [](int l) { return l == kLoud; }));

  ASSERT_TRUE(testing::Eventually([&] { return player->outstanding() == 0; }, 1000));
  player.reset();
  table_->Reset();  // closes the recording
  const testing::WavContent wav = testing::ReadWav(folder_ / "out/player-00000007.wav");
  ASSERT_TRUE(wav.ok);
  const std::size_t onset = testing::FirstAbove(wav.samples, 1000);
  EXPECT_GE(onset, 8u * 300) << "nothing was heard while the first 15 frames waited";
  ASSERT_GE(wav.samples.size(), onset + 16 * 320);
  EXPECT_EQ(testing::Peak(wav.samples, onset, onset + 16 * 320), kLoud);
}

TEST_F(PlayerTableTest, ABurstOfMoreThan75FramesIsCutOffAndRaisesTheThreshold) {
  PlayFrames(9, 90, kLoud);
  std::shared_ptr<const WavePlayer> player = table_->Find(9);
  ASSERT_TRUE(player);
  // The queue takes 76 frames (while it holds 75 or fewer); the rest is refused, 10 each.
  const int dropped = player->inputsDropped();
  EXPECT_EQ(player->framesQueued() + dropped, 90);
  EXPECT_GE(dropped, 10);
  EXPECT_LE(dropped, 14) << "a few ticks may have run during the burst";
  EXPECT_EQ(player->threshold(), 500 + 10 * dropped);
  EXPECT_LE(player->pendingFrames(), 76);
}

TEST_F(PlayerTableTest, AQuietChunkWhileTheQueueIsShortIsDroppedAndLowersTheThreshold) {
  const std::vector<uint8_t> quiet = testing::ToneBytes(kFrame, 400);  // at or below 500
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(Play(3, quiet), 0);
  std::shared_ptr<const WavePlayer> player = table_->Find(3);
  ASSERT_TRUE(player);
  EXPECT_EQ(player->inputsDropped(), 3);
  EXPECT_EQ(player->framesQueued(), 0);
  EXPECT_EQ(player->threshold(), 470);
  // Louder than the threshold: kept.
  ASSERT_EQ(Play(3, testing::ToneBytes(kFrame, 480)), 0);
  EXPECT_EQ(player->framesQueued(), 1);
}

TEST_F(PlayerTableTest, TheLongerTheQueueTheLouderInputMustBe) {
  PlayFrames(4, 38, kLoud);  // between 30 and 45 frames queued: twice the threshold
  std::shared_ptr<const WavePlayer> player = table_->Find(4);
  ASSERT_TRUE(player);
  ASSERT_GT(player->pendingFrames(), 31);
  const int queued = player->framesQueued();
  ASSERT_EQ(Play(4, testing::ToneBytes(kFrame, 900)), 0);  // quiet at 2 x 500
  EXPECT_EQ(player->framesQueued(), queued);
  ASSERT_EQ(Play(4, testing::ToneBytes(kFrame, 1100)), 0);  // not quiet at 2 x 500
  EXPECT_EQ(player->framesQueued(), queued + 1);
  EXPECT_EQ(player->threshold(), 500) << "only the short queue lowers it, only the full raises";
}

TEST(PlayerTableThreshold, AtZeroNothingIsEverDroppedAsQuiet) {
  testing::TempFolder folder;
  std::unique_ptr<PlayerTable> table = PlayerTable::Create(CreateAudioBackend("null"), 500, {});
  ASSERT_TRUE(table);
  table->setThreshold(0);
  EXPECT_EQ(table->threshold(), 0);
  const std::vector<uint8_t> silence(kFrame, 0);
  for (int i = 0; i < 40; ++i)
    ASSERT_EQ(table->Play(5, silence.data(), kFrame, 1, 16, 8000), 0);
  std::shared_ptr<const WavePlayer> player = table->Find(5);
  ASSERT_TRUE(player);
  EXPECT_EQ(player->framesQueued(), 40);
  EXPECT_EQ(player->inputsDropped(), 0);
  EXPECT_EQ(player->threshold(), 0);
}

TEST_F(PlayerTableTest, InputThatIsNotAWholeFrameWaitsInTheCurrentFrame) {
  ASSERT_EQ(Play(2, testing::ToneBytes(1000, kLoud)), 0);
  std::shared_ptr<const WavePlayer> player = table_->Find(2);
  ASSERT_TRUE(player);
  EXPECT_EQ(player->framesQueued(), 1);
  EXPECT_EQ(player->currentBytes(), 360);
  ASSERT_EQ(Play(2, testing::ToneBytes(280, kLoud)), 0);
  EXPECT_EQ(player->framesQueued(), 2);
  EXPECT_EQ(player->currentBytes(), 0);
  ASSERT_EQ(Play(2, testing::ToneBytes(100, kLoud)), 0);
  EXPECT_EQ(player->currentBytes(), 100);
}

TEST_F(PlayerTableTest, AQuietFrameWithFewerThan7LeftSendsThePlayerBackToBuffering) {
  PlayFrames(6, 10, kLoud);
  PlayFrames(6, 6, 1000);  // above the threshold, quiet at 5 x 500
  std::shared_ptr<const WavePlayer> player = table_->Find(6);
  ASSERT_TRUE(player);
  ASSERT_EQ(player->framesQueued(), 16);
  ASSERT_TRUE(testing::Eventually([&] { return player->framesPlayed() >= 11; }, 2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(player->framesPlayed(), 11) << "the first quiet frame with 5 left stops playback";
  EXPECT_TRUE(player->buffering());
  EXPECT_EQ(player->pendingFrames(), 5);
}

TEST_F(PlayerTableTest, ACallHasAtMostFourSourcesUntilReset) {
  const std::vector<uint8_t> frame = testing::ToneBytes(kFrame, kLoud);
  for (uint32_t ssrc = 100; ssrc < 104; ++ssrc)
    EXPECT_EQ(Play(ssrc, frame), 0) << ssrc;
  EXPECT_EQ(table_->count(), PlayerTable::kMaxPlayers);
  EXPECT_EQ(Play(104, frame), -1);
  EXPECT_EQ(Play(0xFFFFFFFF, frame), -1);
  EXPECT_EQ(Play(101, frame), 0) << "known sources still play";
  EXPECT_EQ(table_->count(), 4);
  table_->Reset();
  EXPECT_EQ(table_->count(), 0);
  EXPECT_EQ(Play(104, frame), 0);
  EXPECT_EQ(table_->count(), 1);
}

TEST_F(PlayerTableTest, SsrcZeroIsOneSourceAndBadInputIsRefused) {
  const std::vector<uint8_t> frame = testing::ToneBytes(kFrame, kLoud);
  EXPECT_EQ(Play(0, frame), 0);
  EXPECT_EQ(Play(0, frame), 0);
  EXPECT_EQ(table_->count(), 1);
  EXPECT_EQ(table_->Play(0, nullptr, 10, 1, 16, 8000), -1);
  EXPECT_EQ(table_->Play(0, frame.data(), 0, 1, 16, 8000), -1);
  EXPECT_EQ(table_->Play(8, frame.data(), kFrame, 1, 8, 8000), -1) << "no device takes 8 bits";
  EXPECT_EQ(table_->count(), 1);

  std::unique_ptr<PlayerTable> silent = PlayerTable::Create(nullptr, 500, {});
  ASSERT_TRUE(silent);
  EXPECT_EQ(silent->Play(1, frame.data(), kFrame, 1, 16, 8000), -1);
}

TEST_F(PlayerTableTest, ANewThresholdAppliesToPlayersMadeAfterwards) {
  PlayFrames(1, 1, kLoud);
  table_->setThreshold(100);
  PlayFrames(2, 1, kLoud);
  EXPECT_EQ(table_->Find(1)->threshold(), 500);
  EXPECT_EQ(table_->Find(2)->threshold(), 100);
}

TEST(PlayoutLimits, MarksFollowTheConfiguredDelay) {
  struct Case {
    int delayMs;
    int lowWaterMs;
    int highWaterMs;
  };
  const Case cases[] = {
      {600, 600, 3000}, {0, 600, 3000},     {-40, 600, 3000},     // absent or unreadable: default
      {120, 120, 600},  {200, 200, 1000},   {40, 40, 200},        // lower delays
      {10, 40, 200},    {1000, 1000, 5000}, {9000, 3000, 15000},  // held within range
  };
  for (const Case& c : cases) {
    const PlayoutLimits limits = PlayoutLimits::ForDelay(c.delayMs);
    EXPECT_EQ(limits.lowWaterMs, c.lowWaterMs) << c.delayMs;
    EXPECT_EQ(limits.highWaterMs, c.highWaterMs) << c.delayMs;
  }
  EXPECT_EQ(PlayoutLimits::ForDelay(600), PlayoutLimits()) << "the default is unchanged";
  EXPECT_EQ(PlayoutLimits().deviceRefillMs, 100);
  EXPECT_EQ(PlayoutLimits().deviceRefillBlocks, 4);
  EXPECT_EQ(PlayoutLimits::ForDelay(1000).deviceRefillBlocks, 4) << "more delay, same device";
  // A low delay keeps less at the device too: it would add to the delay.
  EXPECT_EQ(PlayoutLimits::ForDelay(120).deviceRefillMs, 40);
  EXPECT_EQ(PlayoutLimits::ForDelay(120).deviceRefillBlocks, 2);
  EXPECT_EQ(PlayoutLimits::ForDelay(300).deviceRefillMs, 50);
}

TEST_F(PlayerTableTest, ALowerPlayoutDelayStartsPlaybackSoonerAndRefusesSooner) {
  table_->setPlayoutDelay(120);  // 3 frames of 40 ms
  PlayFrames(5, 3, kLoud);
  std::shared_ptr<const WavePlayer> player = table_->Find(5);
  ASSERT_TRUE(player);
  EXPECT_EQ(player->lowWaterFrames(), 3);
  EXPECT_EQ(player->highWaterFrames(), 15);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(player->buffering());
  EXPECT_EQ(player->framesPlayed(), 0);
  PlayFrames(5, 1, kLoud);
  ASSERT_TRUE(testing::Eventually([&] { return player->framesPlayed() >= 1; }, 1000));

  // A burst beyond 15 queued frames is refused, where the default would have taken it all.
  PlayFrames(6, 30, kLoud);
  std::shared_ptr<const WavePlayer> burst = table_->Find(6);
  ASSERT_TRUE(burst);
  EXPECT_GE(burst->inputsDropped(), 10);
  EXPECT_LE(burst->pendingFrames(), 16);

  // Players of sources that were there before keep their marks.
  table_->setPlayoutDelay(0);
  PlayFrames(8, 1, kLoud);
  EXPECT_EQ(table_->Find(8)->lowWaterFrames(), 15);
  EXPECT_EQ(table_->Find(5)->lowWaterFrames(), 3);
}

}  // namespace
}  // namespace corvel
