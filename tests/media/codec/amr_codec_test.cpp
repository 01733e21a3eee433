#include "media/codec/amr_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "media/codec/amr_frame.h"
#include "speech_fixture.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

constexpr int kFrameBytes = 32;  // 12.2 kbit/s with its header byte

std::vector<int16_t> Tone(std::size_t samples) {
  std::vector<int16_t> pcm(samples);
  for (std::size_t i = 0; i < samples; ++i) {
    pcm[i] =
        static_cast<int16_t>(8000 * std::sin(2 * 3.14159265 * 440 * static_cast<double>(i) / 8000));
  }
  return pcm;
}

// Two 12.2 kbit/s frames of a tone.
std::vector<uint8_t> TwoFrames() {
  AmrCodec codec;
  EXPECT_TRUE(codec.Open());
  const std::vector<int16_t> pcm = Tone(320);
  std::vector<uint8_t> frames(2 * kFrameBytes);
  EXPECT_EQ(codec.Encode(pcm.data(), 640, frames.data(), 2 * kFrameBytes), 2 * kFrameBytes);
  return frames;
}

TEST(AmrCodec, SpeechRoundTripFollowsTheOriginal) {
  const testing::TempFolder folder;
  const std::vector<int16_t> speech = testing::MakeSpeech(folder);
  ASSERT_GT(speech.size(), 8000u) << "espeak-ng and sox must be installed";
  AmrCodec sender;
  AmrCodec receiver;
  ASSERT_TRUE(sender.Open());
  ASSERT_TRUE(receiver.Open());
  std::vector<int16_t> decoded;
  for (std::size_t first = 0; first + 160 <= speech.size(); first += 160) {
    uint8_t payload[kFrameBytes];
    ASSERT_EQ(sender.Encode(speech.data() + first, 320, payload, kFrameBytes), kFrameBytes);
    int16_t pcm[320];
    ASSERT_EQ(receiver.Decode(payload, kFrameBytes, pcm, 640), 320);
    decoded.insert(decoded.end(), pcm, pcm + 160);
  }
  const testing::Similarity similarity = testing::Compare(speech, decoded, 400);
  std::printf("AMR: lag %d, correlation %.3f, SNR %.1f dB\n", similarity.lag,
              similarity.correlation, similarity.snrDb);
  // Measured: correlation 0.84 (G.729) and 0.87 (AMR 12.2), SNR 5 to 6 dB, 40 samples of delay.
  EXPECT_GT(similarity.correlation, 0.75);
  EXPECT_GT(similarity.snrDb, 3.0);
  EXPECT_LE(similarity.lag, 80);
}

TEST(AmrCodec, EncodesOneStorageFramePerStartedTwentyMilliseconds) {
  struct Case {
    int packetMs;
    int payloadBytes;
  };
  for (const Case& c : {Case{10, 32}, Case{20, 32}, Case{30, 64}, Case{40, 64}, Case{60, 96}}) {
    AmrCodec codec;
    ASSERT_TRUE(codec.Open());
    const std::vector<int16_t> pcm = Tone(static_cast<std::size_t>(8 * c.packetMs));
    std::vector<uint8_t> out(200);
    ASSERT_EQ(codec.Encode(pcm.data(), 16 * c.packetMs, out.data(), 200), c.payloadBytes)
        << c.packetMs << " ms";
    for (int frame = 0; frame < c.payloadBytes / kFrameBytes; ++frame) {
      EXPECT_EQ(out[static_cast<std::size_t>(frame * kFrameBytes)], (7 << 3) | 0x04);
    }
  }
}

TEST(AmrCodec, EncodingLeavesTheInputAsItWas) {
  AmrCodec codec;
  ASSERT_TRUE(codec.Open());
  const std::vector<int16_t> original = Tone(480);
  std::vector<int16_t> pcm = original;
  std::vector<uint8_t> out(3 * kFrameBytes);
  ASSERT_EQ(codec.Encode(pcm.data(), 960, out.data(), 3 * kFrameBytes), 3 * kFrameBytes);
  EXPECT_EQ(pcm, original);
}

TEST(AmrCodec, TwoFramesDecodeToFortyMilliseconds) {
  const std::vector<uint8_t> frames = TwoFrames();
  AmrCodec codec;
  ASSERT_TRUE(codec.Open());
  std::vector<int16_t> out(480);
  EXPECT_EQ(codec.Decode(frames.data(), 64, out.data(), 960), 640);
  EXPECT_EQ(codec.Decode(frames.data(), 64, out.data(), 959), -1);
}

TEST(AmrCodec, ATruncatedLastFrameStillYieldsItsTwentyMilliseconds) {
  const std::vector<uint8_t> frames = TwoFrames();
  struct Case {
    int length;
    int pcmBytes;
  };
  for (const Case& c : {Case{1, 320}, Case{20, 320}, Case{33, 640}, Case{50, 640}}) {
    AmrCodec codec;
    ASSERT_TRUE(codec.Open());
    std::vector<int16_t> out(480);
    EXPECT_EQ(codec.Decode(frames.data(), c.length, out.data(), 960), c.pcmBytes)
        << c.length << " bytes";
  }
}

TEST(AmrCodec, DecodingStopsAtAFrameTypeWithoutSize) {
  for (int frameType = 9; frameType <= 14; ++frameType) {
    std::vector<uint8_t> payload = TwoFrames();
    payload[0] = static_cast<uint8_t>((frameType << 3) | 0x04);
    AmrCodec codec;
    ASSERT_TRUE(codec.Open());
    std::vector<int16_t> out(480);
    EXPECT_EQ(codec.Decode(payload.data(), 64, out.data(), 960), 0) << "type " << frameType;
    EXPECT_EQ(codec.lastFrameType(), frameType);

    payload = TwoFrames();
    payload[kFrameBytes] = static_cast<uint8_t>(frameType << 3);
    EXPECT_EQ(codec.Decode(payload.data(), 64, out.data(), 960), 320) << "type " << frameType;
  }
}

TEST(AmrCodec, FramesOfEveryTypeWithASizeAreDecoded) {
  // One frame of each type, back to back; a payload of that length allows their output.
  std::vector<uint8_t> payload;
  int frames = 0;
  for (int frameType : {0, 1, 2, 3, 4, 5, 6, 7, 8, 15}) {
    std::vector<uint8_t> frame(static_cast<std::size_t>(AmrFrameBytes(frameType)), 0x33);
    frame[0] = static_cast<uint8_t>((frameType << 3) | 0x04);
    payload.insert(payload.end(), frame.begin(), frame.end());
    ++frames;
  }
  AmrCodec codec;
  ASSERT_TRUE(codec.Open());
  const int capacity = (static_cast<int>(payload.size()) / 32 + 1) * 320;
  std::vector<int16_t> out(static_cast<std::size_t>(capacity / 2));
  // 168 bytes allow six frames of output; the other four are decoded but do not fit.
  EXPECT_EQ(codec.Decode(payload.data(), static_cast<int>(payload.size()), out.data(), capacity),
            std::min(frames, capacity / 320) * 320);
  EXPECT_EQ(codec.lastFrameType(), 15);
}

TEST(AmrCodec, OpenAndClose) {
  AmrCodec codec;
  EXPECT_EQ(codec.lastFrameType(), 7);
  EXPECT_FALSE(codec.Close());
  std::vector<int16_t> pcm(160);
  std::vector<uint8_t> bytes(kFrameBytes);
  EXPECT_EQ(codec.Encode(pcm.data(), 320, bytes.data(), kFrameBytes), -1);
  EXPECT_EQ(codec.Decode(bytes.data(), kFrameBytes, pcm.data(), 640), -1);
  EXPECT_TRUE(codec.Open());
  EXPECT_TRUE(codec.Open());
  EXPECT_EQ(codec.Encode(pcm.data(), 320, bytes.data(), kFrameBytes), kFrameBytes);
  EXPECT_TRUE(codec.Close());
  EXPECT_FALSE(codec.Close());
  EXPECT_EQ(codec.Encode(pcm.data(), 320, bytes.data(), kFrameBytes), -1);
}

TEST(AmrCodec, RefusesBadArguments) {
  AmrCodec codec;
  ASSERT_TRUE(codec.Open());
  std::vector<int16_t> pcm(480);
  std::vector<uint8_t> bytes(64, (7 << 3) | 0x04);
  struct Case {
    const char* what;
    int result;
  };
  for (const Case& c : {
           Case{"null pcm", codec.Encode(nullptr, 320, bytes.data(), 64)},
           Case{"null out", codec.Encode(pcm.data(), 320, nullptr, 64)},
           Case{"no pcm", codec.Encode(pcm.data(), 0, bytes.data(), 64)},
           Case{"out too small to encode", codec.Encode(pcm.data(), 642, bytes.data(), 64)},
           Case{"null data", codec.Decode(nullptr, 32, pcm.data(), 640)},
           Case{"null pcm out", codec.Decode(bytes.data(), 32, nullptr, 640)},
           Case{"no data", codec.Decode(bytes.data(), 0, pcm.data(), 640)},
           Case{"negative data", codec.Decode(bytes.data(), -32, pcm.data(), 640)},
           Case{"out too small to decode", codec.Decode(bytes.data(), 31, pcm.data(), 319)},
       }) {
    EXPECT_EQ(c.result, -1) << c.what;
  }
}

}  // namespace
}  // namespace corvel
