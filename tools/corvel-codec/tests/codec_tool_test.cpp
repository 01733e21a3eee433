// The corvel-codec binary against sox, which reads and writes the same files independently.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/codec/amr_frame.h"
#include "support/temp_folder.h"
#include "wav_file.h"

namespace corvel {
namespace {

using testing::TempFolder;

int Shell(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Tool() {
  return CORVEL_CODEC_EXE;
}

std::vector<int16_t> ReadRaw(const std::string& path) {
  const std::string bytes = testing::ReadFile(path);
  std::vector<int16_t> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                      (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
  }
  return samples;
}

std::vector<int16_t> ReadWavOrEmpty(const std::string& path) {
  std::vector<int16_t> samples;
  std::string error;
  EXPECT_TRUE(codec_tool::ReadWav(path, samples, error)) << error;
  return samples;
}

double Correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  double cross = 0, energyA = 0, energyB = 0;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    cross += static_cast<double>(a[i]) * b[i];
    energyA += static_cast<double>(a[i]) * a[i];
    energyB += static_cast<double>(b[i]) * b[i];
  }
  return energyA > 0 && energyB > 0 ? cross / std::sqrt(energyA * energyB) : 0.0;
}

// One second of a two-tone signal, or of speech, as an 8 kHz mono 16-bit WAV.
std::string ToneWav(const TempFolder& folder) {
  const std::string path = folder / "tone.wav";
  EXPECT_EQ(Shell("sox -n -r 8000 -c 1 -b 16 -e signed-integer '" + path +
                  "' synth 1 sine 440 sine 1250 remix 1,2 vol 0.4"),
            0);
  return path;
}

std::string SpeechWav(const TempFolder& folder) {
  const std::string path = folder / "speech.wav";
  EXPECT_EQ(Shell("espeak-ng -w '" + (folder / "voice.wav") +
                  "' 'Your balance is twelve yuan and forty fen.' && sox '" +
                  (folder / "voice.wav") + "' -r 8000 -c 1 -b 16 -e signed-integer '" + path + "'"),
            0);
  return path;
}

TEST(CodecTool, G711FilesReadLikeSoxReadsThem) {
  const TempFolder folder;
  const std::string wav = ToneWav(folder);
  const std::vector<int16_t> original = ReadWavOrEmpty(wav);
  ASSERT_EQ(original.size(), 8000u);
  struct Case {
    const char* codec;
    const char* soxType;
  };
  for (const Case& c : {Case{"pcmu", "ul"}, Case{"pcma", "al"}}) {
    SCOPED_TRACE(c.codec);
    const std::string coded = folder / (std::string(c.codec) + ".raw");
    ASSERT_EQ(Shell(Tool() + " encode " + c.codec + " '" + wav + "' '" + coded + "'"), 0);
    EXPECT_EQ(testing::ReadFile(coded).size(), 8000u);

    const std::string bySox = folder / "sox.raw";
    ASSERT_EQ(Shell("sox -t " + std::string(c.soxType) + " -r 8000 -c 1 '" + coded +
                    "' -t raw -e signed-integer -b 16 '" + bySox + "'"),
              0);
    const std::string byUs = folder / "ours.wav";
    ASSERT_EQ(Shell(Tool() + " decode " + c.codec + " '" + coded + "' '" + byUs + "'"), 0);
    const std::vector<int16_t> ours = ReadWavOrEmpty(byUs);
    EXPECT_EQ(ours, ReadRaw(bySox));
    EXPECT_GT(Correlation(original, ours), 0.999);
  }
}

TEST(CodecTool, PayloadStreamSizesFollowThePacketTime) {
  const TempFolder folder;
  const std::string wav = ToneWav(folder);  // 8000 samples
  struct Case {
    const char* codec;
    int packetMs;
    std::size_t bytes;
  };
  // 1 s in packets of 10, 20 and 30 ms: 100, 50 and 34 packets (the last one filled up).
  for (const Case& c : {Case{"pcmu", 10, 8000}, Case{"pcma", 20, 8000}, Case{"pcmu", 30, 8160},
                        Case{"g729", 10, 1000}, Case{"g729", 20, 1000}, Case{"g729", 30, 1020},
                        Case{"g729", 25, 800}, Case{"amr", 10, 6 + 3200}, Case{"amr", 20, 6 + 1600},
                        Case{"amr", 30, 6 + 2176}}) {
    const std::string coded = folder / "coded.bin";
    ASSERT_EQ(Shell(Tool() + " encode " + c.codec + " '" + wav + "' '" + coded + "' --ptime " +
                    std::to_string(c.packetMs)),
              0);
    EXPECT_EQ(testing::ReadFile(coded).size(), c.bytes) << c.codec << " " << c.packetMs << " ms";
  }
}

TEST(CodecTool, SoxReadsTheAmrFilesItWrites) {
  const TempFolder folder;
  const std::string wav = SpeechWav(folder);
  const std::vector<int16_t> original = ReadWavOrEmpty(wav);
  ASSERT_GT(original.size(), 8000u);
  const std::string amr = folder / "speech.amr";
  ASSERT_EQ(Shell(Tool() + " encode amr '" + wav + "' '" + amr + "'"), 0);
  EXPECT_EQ(testing::ReadFile(amr).substr(0, 6), "#!AMR\n");

  const std::string bySox = folder / "sox.raw";
  ASSERT_EQ(Shell("sox -t amr-nb '" + amr + "' -t raw -e signed-integer -b 16 '" + bySox + "'"), 0);
  const std::string byUs = folder / "ours.wav";
  ASSERT_EQ(Shell(Tool() + " decode amr '" + amr + "' '" + byUs + "'"), 0);
  const std::vector<int16_t> ours = ReadWavOrEmpty(byUs);
  const std::vector<int16_t> sox = ReadRaw(bySox);
  EXPECT_EQ(ours.size(), (original.size() + 159) / 160 * 160);
  EXPECT_EQ(sox.size(), ours.size());
  EXPECT_GT(Correlation(sox, ours), 0.999);
}

TEST(CodecTool, DecodesAmrFilesThatSoxWrites) {
  const TempFolder folder;
  const std::string wav = SpeechWav(folder);
  for (const int mode : {0, 4, 7}) {  // sox -C: 4.75, 7.95 and 12.2 kbit/s
    SCOPED_TRACE(mode);
    const std::string amr = folder / "sox.amr";
    ASSERT_EQ(Shell("sox '" + wav + "' -t amr-nb -C " + std::to_string(mode) + " '" + amr + "'"),
              0);
    // sox may switch to comfort noise in pauses, so frames of the mode mix with others.
    const std::string bytes = testing::ReadFile(amr);
    std::size_t frames = 0;
    std::size_t framesOfMode = 0;
    for (std::size_t at = 6; at < bytes.size(); ++frames) {
      const int type = AmrFrameType(static_cast<uint8_t>(bytes[at]));
      ASSERT_GT(AmrFrameBytes(type), 0) << "at byte " << at;
      if (type == mode) ++framesOfMode;
      at += static_cast<std::size_t>(AmrFrameBytes(type));
    }
    EXPECT_GT(framesOfMode, frames / 2);

    const std::string bySox = folder / "sox.raw";
    ASSERT_EQ(Shell("sox -t amr-nb '" + amr + "' -t raw -e signed-integer -b 16 '" + bySox + "'"),
              0);
    const std::string byUs = folder / "ours.wav";
    ASSERT_EQ(Shell(Tool() + " decode amr '" + amr + "' '" + byUs + "'"), 0);
    const std::vector<int16_t> ours = ReadWavOrEmpty(byUs);
    const std::vector<int16_t> sox = ReadRaw(bySox);
    EXPECT_EQ(ours.size(), frames * 160);
    EXPECT_EQ(sox.size(), ours.size());
    EXPECT_GT(Correlation(sox, ours), 0.999);
  }
}

TEST(CodecTool, G729RoundTripOfSpeech) {
  const TempFolder folder;
  const std::string wav = SpeechWav(folder);
  const std::vector<int16_t> original = ReadWavOrEmpty(wav);
  ASSERT_GT(original.size(), 8000u);
  const std::string coded = folder / "speech.g729";
  ASSERT_EQ(Shell(Tool() + " encode g729 '" + wav + "' '" + coded + "'"), 0);
  const std::size_t packets = (original.size() + 159) / 160;
  EXPECT_EQ(testing::ReadFile(coded).size(), packets * 20);
  const std::string decoded = folder / "decoded.wav";
  ASSERT_EQ(Shell(Tool() + " decode g729 '" + coded + "' '" + decoded + "'"), 0);
  std::vector<int16_t> ours = ReadWavOrEmpty(decoded);
  ASSERT_EQ(ours.size(), packets * 160);
  ours.erase(ours.begin(), ours.begin() + 40);  // the codec's delay
  EXPECT_GT(Correlation(original, ours), 0.75);
}

TEST(CodecTool, Refusals) {
  const TempFolder folder;
  const std::string wav = ToneWav(folder);
  const std::string wideband = folder / "16k.wav";
  ASSERT_EQ(
      Shell("sox -n -r 16000 -c 1 -b 16 -e signed-integer '" + wideband + "' synth 0.1 sine 300"),
      0);
  const std::string stereo = folder / "stereo.wav";
  ASSERT_EQ(
      Shell("sox -n -r 8000 -c 2 -b 16 -e signed-integer '" + stereo + "' synth 0.1 sine 300"), 0);
  testing::WriteFile(folder / "not.amr", "#!AMR-WB\n");
  const std::string out = folder / "out";
  struct Case {
    std::string arguments;
    int exitCode;
  };
  for (const Case& c : {
           Case{"", 1},
           Case{"encode opus '" + wav + "' '" + out + "'", 1},
           Case{"encode pcmu '" + wav + "' '" + out + "' --ptime x", 1},
           Case{"encode pcmu '" + wav + "' '" + out + "' --ptime 0", 2},
           Case{"transcode pcmu '" + wav + "' '" + out + "'", 1},
           Case{"encode pcmu '" + wideband + "' '" + out + "'", 2},
           Case{"encode amr '" + stereo + "' '" + out + "'", 2},
           Case{"encode g729 '" + (folder / "missing.wav") + "' '" + out + "'", 2},
           Case{"decode amr '" + (folder / "not.amr") + "' '" + out + "'", 2},
           Case{"decode g729 '" + (folder / "missing") + "' '" + out + "'", 2},
       }) {
    EXPECT_EQ(Shell(Tool() + " " + c.arguments), c.exitCode) << c.arguments;
  }
}

}  // namespace
}  // namespace corvel
