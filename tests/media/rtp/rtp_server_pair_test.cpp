// Two RTP servers on loopback, one capturing a spoken WAV file, the other playing what arrives
// into a WAV file per source: for every codec the speech comes out after the playback's
// pre-buffer, and closely like what went in.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "media/audio/wave_capture.h"
#include "rtp_server_fixture.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::Samples;

// About two seconds of speech at 8 kHz, or empty when the tools are missing.
Samples Speech(const testing::TempFolder& folder) {
  const std::string spoken = folder / "spoken.wav";
  const std::string speech = folder / "speech.wav";
  const std::string command = "espeak-ng -w '" + spoken +
                              "' 'Hello, this is a test call from Corvel.' && sox '" + spoken +
                              "' -r 8000 -c 1 -b 16 -e signed-integer '" + speech + "'";
  if (std::system(command.c_str()) != 0) return {};
  const testing::WavContent wav = testing::ReadWav(speech);
  return wav.ok && wav.rate == 8000 && wav.channels == 1 ? wav.samples : Samples();
}

struct CodecCase {
  const char* name;
  uint8_t payloadType;
  double minimumCorrelation;
};

std::string CodecName(const ::testing::TestParamInfo<CodecCase>& codec) {
  return codec.param.name;
}

class RtpServerPairTest : public ::testing::TestWithParam<CodecCase> {};

TEST_P(RtpServerPairTest, SpeechArrivesAfterThePreBufferAndFollowsTheInput) {
  const CodecCase& codec = GetParam();
  testing::TempFolder folder;
  const Samples speech = Speech(folder);
  ASSERT_GT(speech.size(), 8000u) << "espeak-ng and sox make the test speech";
  ASSERT_TRUE(testing::WriteWav(folder / "in.wav", speech));

  CodecTable table = testing::ShippedCodecTable();
  table.set(CodecSlot::kAmr, true, 98);
  std::shared_ptr<AudioBackend> microphone = CreateAudioBackend("file:" + folder / "in.wav");
  std::shared_ptr<AudioBackend> speaker = CreateAudioBackend("file:," + folder / "out");
  ASSERT_TRUE(microphone && speaker);
  testing::ServerUnderTest caller(microphone);
  testing::ServerUnderTest callee(speaker);
  for (RtpServer* server : {&caller.server, &callee.server}) {
    server->SetCodecTable(table);
    server->SetNatMode(false);
    ASSERT_TRUE(testing::OpenOnLoopback(*server));
    server->SetSilenceValue(0);  // the whole recording goes through, pauses included
    ASSERT_TRUE(server->SetSendPayloadType(codec.payloadType));
  }
  ASSERT_TRUE(caller.server.SetRemote("127.0.0.1", callee.server.localPort()));
  ASSERT_TRUE(callee.server.SetRemote("127.0.0.1", caller.server.localPort()));

  WaveCapture capture(microphone);
  ASSERT_EQ(capture.Open(1, 16, 8000, 10, 320), 0);
  caller.server.SetCapture(&capture);
  ASSERT_EQ(capture.Start(&caller.server), 0);
  const int speechMs = static_cast<int>(speech.size() / 8);
  std::this_thread::sleep_for(std::chrono::milliseconds(speechMs + 300));
  caller.server.EndRTPSession();  // stops the capture
  EXPECT_FALSE(capture.started());
  // The callee plays out what it holds, then its call ends too.
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  EXPECT_EQ(callee.server.playerCount(), 1);
  callee.server.EndRTPSession();
  capture.Close();

  char name[64];
  std::snprintf(name, sizeof name, "out/player-%08x.wav", caller.server.ssrc());
  const testing::WavContent heard = testing::ReadWav(folder / name);
  ASSERT_TRUE(heard.ok) << name;
  EXPECT_EQ(heard.rate, 8000);
  ASSERT_GT(heard.samples.size(), speech.size());
  // Where the first second of speech lies in the recording gives the pre-buffer.
  const Samples opening(speech.begin(), speech.begin() + 8000);
  const testing::Match match = testing::FindSource(opening, heard.samples, 8 * 1500);
  const double lagMs = match.lag / 8.0;
  // The rest follows the input, each half-second found at its own lag: on a busy machine the
  // player may re-buffer once, which shifts everything after it.
  const double share =
      testing::SpokenShareFound(speech, heard.samples, 8 * 1500, codec.minimumCorrelation);
  std::printf("%s: lag %.1f ms, correlation %.3f, %.2f of the speech found\n", codec.name, lagMs,
              match.correlation, share);
  // 16 frames of 40 ms must be queued before the first is played: 620 ms after the first packet
  // at real-time pace, plus up to a tick or two.
  EXPECT_GE(lagMs, 580);
  EXPECT_LE(lagMs, 900);
  EXPECT_GT(match.correlation, codec.minimumCorrelation);
  EXPECT_GE(share, 0.9);
  int recordings = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder / "out")) {
    if (entry.path().extension() == ".wav") ++recordings;
  }
  EXPECT_EQ(recordings, 1) << "one source, one player";
}

// The speech codecs keep the sound, not the waveform: correlations near 0.85 are their best.
INSTANTIATE_TEST_SUITE_P(Codecs, RtpServerPairTest,
                         ::testing::Values(CodecCase{"PCMU", 0, 0.98}, CodecCase{"PCMA", 8, 0.98},
                                           CodecCase{"G729", 18, 0.7}, CodecCase{"AMR", 98, 0.7}),
                         CodecName);

}  // namespace
}  // namespace corvel
