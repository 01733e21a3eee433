#include "media/codec/g729_handle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "speech_fixture.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

constexpr int kPacketPcmBytes = 320;  // 20 ms

// Encodes `speech` in 20 ms packets and decodes each packet again, as a call does.
std::vector<int16_t> RoundTrip(const std::vector<int16_t>& speech) {
  auto encoder = G729Handle::CreateEncoder();
  auto decoder = G729Handle::CreateDecoder();
  EXPECT_TRUE(encoder && decoder);
  if (!encoder || !decoder) return {};
  std::vector<int16_t> decoded;
  const int packets = static_cast<int>(speech.size() * 2 / kPacketPcmBytes);
  for (int p = 0; p < packets; ++p) {
    uint8_t payload[20];
    const int bytes = encoder->Encode(speech.data() + p * kPacketPcmBytes / 2, kPacketPcmBytes,
                                      payload, sizeof payload);
    EXPECT_EQ(bytes, 20);
    int16_t pcm[160];
    EXPECT_EQ(decoder->Decode(payload, bytes, pcm, sizeof pcm), kPacketPcmBytes);
    decoded.insert(decoded.end(), pcm, pcm + 160);
  }
  return decoded;
}

TEST(G729Handle, SpeechRoundTripFollowsTheOriginal) {
  const testing::TempFolder folder;
  const std::vector<int16_t> speech = testing::MakeSpeech(folder);
  ASSERT_GT(speech.size(), 8000u) << "espeak-ng and sox must be installed";
  const testing::Similarity similarity = testing::Compare(speech, RoundTrip(speech), 400);
  std::printf("G.729: lag %d, correlation %.3f, SNR %.1f dB\n", similarity.lag,
              similarity.correlation, similarity.snrDb);
  // Measured: correlation 0.84 (G.729) and 0.87 (AMR 12.2), SNR 5 to 6 dB, 40 samples of delay.
  EXPECT_GT(similarity.correlation, 0.75);
  EXPECT_GT(similarity.snrDb, 3.0);
  EXPECT_LE(similarity.lag, 80);
}

TEST(G729Handle, EncodingLeavesTheInputAsItWas) {
  auto encoder = G729Handle::CreateEncoder();
  ASSERT_TRUE(encoder);
  std::vector<int16_t> original(240);
  for (std::size_t i = 0; i < original.size(); ++i)
    original[i] = static_cast<int16_t>(i * 97 % 9000);
  std::vector<int16_t> pcm = original;
  uint8_t out[30];
  ASSERT_EQ(encoder->Encode(pcm.data(), 480, out, 30), 30);
  EXPECT_EQ(pcm, original);
}

TEST(G729Handle, PayloadSizeFollowsWholeTenMilliseconds) {
  struct Case {
    int packetMs;
    int payloadBytes;
  };
  for (const Case& c :
       {Case{5, 0}, Case{10, 10}, Case{20, 20}, Case{25, 20}, Case{30, 30}, Case{60, 60}}) {
    auto encoder = G729Handle::CreateEncoder();
    ASSERT_TRUE(encoder);
    const std::vector<int16_t> pcm(static_cast<std::size_t>(8 * c.packetMs), 500);
    std::vector<uint8_t> out(100);
    EXPECT_EQ(encoder->Encode(pcm.data(), 16 * c.packetMs, out.data(), 100), c.payloadBytes)
        << c.packetMs << " ms";
  }
}

TEST(G729Handle, TwoFramesAndAComfortNoiseFrameDecodeToTwentyMilliseconds) {
  auto encoder = G729Handle::CreateEncoder();
  auto decoder = G729Handle::CreateDecoder();
  ASSERT_TRUE(encoder && decoder);
  std::vector<int16_t> pcm(160);
  for (std::size_t i = 0; i < pcm.size(); ++i)
    pcm[i] = static_cast<int16_t>((i % 40) * 300 - 6000);
  uint8_t payload[22] = {};
  ASSERT_EQ(encoder->Encode(pcm.data(), 320, payload, 22), 20);
  payload[20] = 0x5A;  // a 2-byte comfort-noise frame
  payload[21] = 0x3C;
  std::vector<int16_t> out(176, 0x7777);
  EXPECT_EQ(decoder->Decode(payload, 22, out.data(), 352), 320);
  EXPECT_EQ(out[160], 0x7777);  // nothing written for the comfort-noise bytes
}

TEST(G729Handle, DecodeStopsWhereTheOutputIsFull) {
  auto decoder = G729Handle::CreateDecoder();
  ASSERT_TRUE(decoder);
  const std::vector<uint8_t> frames(30, 0x55);
  std::vector<int16_t> out(400);
  EXPECT_EQ(decoder->Decode(frames.data(), 30, out.data(), 800), 480);
}

TEST(G729Handle, RefusesBadArguments) {
  auto encoder = G729Handle::CreateEncoder();
  auto decoder = G729Handle::CreateDecoder();
  ASSERT_TRUE(encoder && decoder);
  std::vector<int16_t> pcm(160);
  std::vector<uint8_t> bytes(20);
  struct Case {
    const char* what;
    int result;
  };
  for (const Case& c : {
           Case{"null pcm", encoder->Encode(nullptr, 320, bytes.data(), 20)},
           Case{"null out", encoder->Encode(pcm.data(), 320, nullptr, 20)},
           Case{"no pcm", encoder->Encode(pcm.data(), 0, bytes.data(), 20)},
           Case{"negative pcm", encoder->Encode(pcm.data(), -160, bytes.data(), 20)},
           Case{"out too small to encode", encoder->Encode(pcm.data(), 320, bytes.data(), 19)},
           Case{"null data", decoder->Decode(nullptr, 20, pcm.data(), 320)},
           Case{"null pcm out", decoder->Decode(bytes.data(), 20, nullptr, 320)},
           Case{"no data", decoder->Decode(bytes.data(), 0, pcm.data(), 320)},
           Case{"out too small to decode", decoder->Decode(bytes.data(), 20, pcm.data(), 319)},
       }) {
    EXPECT_EQ(c.result, -1) << c.what;
  }
}

TEST(G729Handle, AHandleSetsUpTheOtherDirectionOnFirstUse) {
  auto handle = G729Handle::CreateDecoder();
  ASSERT_TRUE(handle);
  EXPECT_TRUE(handle->decoderReady());
  EXPECT_FALSE(handle->encoderReady());
  const std::vector<int16_t> pcm(80, 100);
  uint8_t frame[10];
  EXPECT_EQ(handle->Encode(pcm.data(), 160, frame, 10), 10);
  EXPECT_TRUE(handle->encoderReady());
}

}  // namespace
}  // namespace corvel
