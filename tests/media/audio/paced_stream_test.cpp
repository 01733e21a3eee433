// The clock-paced streams of the file and null backends: real-time pace, the input file then
// silence, and recordings that keep the listener's timeline.
#include "media/audio/paced_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "audio_test_support.h"
#include "media/audio/audio_backend_registry.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

using Clock = std::chrono::steady_clock;
using testing::Samples;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(FileBackend, CaptureRecordsTheFileInRealTimeThenSilenceAndStartsAgainWithEachStart) {
  testing::TempFolder folder;
  const Samples tone = testing::Tone(500, 0.3, 12000);  // 2400 samples
  ASSERT_TRUE(testing::WriteWav(folder / "in.wav", tone));
  std::shared_ptr<AudioBackend> backend = CreateAudioBackend("file:" + folder / "in.wav");
  ASSERT_TRUE(backend);
  std::unique_ptr<AudioInput> input = backend->OpenInput(PcmFormat::Telephone());
  ASSERT_TRUE(input);

  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(input->Start(), 0);
    const Clock::time_point start = Clock::now();
    Samples heard;
    Samples chunk(160);
    for (int i = 0; i < 25; ++i) {  // 0.5 s
      ASSERT_EQ(input->Read(chunk.data(), 160), 0);
      heard.insert(heard.end(), chunk.begin(), chunk.end());
    }
    const double took = SecondsSince(start);
    EXPECT_GE(took, 0.49) << "run " << run;
    EXPECT_LT(took, 1.5) << "run " << run;
    ASSERT_EQ(heard.size(), 4000u);
    EXPECT_TRUE(std::equal(tone.begin(), tone.end(), heard.begin())) << "run " << run;
    EXPECT_EQ(testing::Peak(heard, tone.size()), 0) << "silence after the file, run " << run;
    input->Stop();
  }
}

TEST(FileBackend, ARecordingHoldsWhatWasPlayedAtTheMomentItWasHeard) {
  testing::TempFolder folder;
  std::shared_ptr<AudioBackend> backend = CreateAudioBackend("file:," + folder / "out");
  ASSERT_TRUE(backend);
  const Samples burst = testing::Tone(1000, 0.1, 10000);  // 800 samples
  {
    std::unique_ptr<AudioOutput> output = backend->OpenOutput(PcmFormat::Telephone(), "speaker");
    ASSERT_TRUE(output);
    ASSERT_EQ(output->Start(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < 5; ++i)
      ASSERT_EQ(output->Write(burst.data() + 160 * i, 160), 0);
    // Paced: 100 ms of audio less the device's own buffer.
    EXPECT_GE(SecondsSince(start), 0.07);
    output->Stop();
  }
  const testing::WavContent wav = testing::ReadWav(folder / "out/speaker.wav");
  ASSERT_TRUE(wav.ok);
  EXPECT_EQ(wav.rate, 8000);
  const std::size_t onset = testing::FirstAbove(wav.samples, 100);
  // About 300 ms of silence came first (the wait, give or take a loaded machine).
  EXPECT_GE(onset, 2300u);
  EXPECT_LE(onset, 4800u);
  ASSERT_GE(wav.samples.size(), onset + 790);
  EXPECT_GT(testing::ToneShare(Samples(wav.samples.begin() + static_cast<long>(onset),
                                       wav.samples.begin() + static_cast<long>(onset) + 790),
                               1000),
            0.9);
}

TEST(FileBackend, StreamsOfTheSameNameGetNumberedRecordings) {
  testing::TempFolder folder;
  std::shared_ptr<AudioBackend> backend = CreateAudioBackend("file:," + folder / "out");
  ASSERT_TRUE(backend);
  const Samples quiet(160, 0);
  for (int i = 0; i < 3; ++i) {
    std::unique_ptr<AudioOutput> output = backend->OpenOutput(PcmFormat::Telephone(), "sound");
    ASSERT_TRUE(output);
    ASSERT_EQ(output->Write(quiet.data(), 160), 0);
  }
  EXPECT_TRUE(testing::Exists(folder / "out/sound.wav"));
  EXPECT_TRUE(testing::Exists(folder / "out/sound-2.wav"));
  EXPECT_TRUE(testing::Exists(folder / "out/sound-3.wav"));
}

// What a measurement uses to line a recording up with the microphone, across processes.
TEST(FileBackend, TheTimelineTellsWhenEachStreamsFirstSampleCounts) {
  testing::TempFolder folder;
  const std::string out = folder / "out";
  std::shared_ptr<AudioBackend> backend = CreateAudioBackend("file:," + out);
  ASSERT_TRUE(backend);
  const auto nowNs = [] {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
  };
  const long long before = nowNs();
  std::unique_ptr<AudioInput> input = backend->OpenInput(PcmFormat::Telephone());
  ASSERT_TRUE(input);
  std::unique_ptr<AudioOutput> first = backend->OpenOutput(PcmFormat::Telephone(), "player-1");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(input->Start(), 0);
  std::unique_ptr<AudioOutput> second = backend->OpenOutput(PcmFormat::Telephone(), "player-1");
  const long long after = nowNs();
  ASSERT_TRUE(first && second);

  std::ifstream timeline(out + "/timeline.txt");
  std::vector<std::pair<std::string, long long>> lines;
  for (std::string what; timeline >> what;) {
    long long ns = 0;
    timeline >> ns;
    lines.emplace_back(what, ns);
  }
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].first, "player-1.wav");
  EXPECT_EQ(lines[1].first, "capture");
  EXPECT_EQ(lines[2].first, "player-1-2.wav");
  for (const auto& [what, ns] : lines) {
    EXPECT_GE(ns, before) << what;
    EXPECT_LE(ns, after) << what;
  }
  EXPECT_GE(lines[1].second - lines[0].second, 50'000'000) << "the capture started later";

  // Without a folder there is nowhere to write one, and nothing fails for it.
  std::shared_ptr<AudioBackend> discarding = CreateAudioBackend("file:");
  ASSERT_TRUE(discarding);
  std::unique_ptr<AudioInput> quiet = discarding->OpenInput(PcmFormat::Telephone());
  ASSERT_TRUE(quiet);
  EXPECT_EQ(quiet->Start(), 0);
}

TEST(NullBackend, RecordsSilenceAtTheDevicesPace) {
  std::shared_ptr<AudioBackend> backend = CreateAudioBackend("null");
  ASSERT_TRUE(backend);
  std::unique_ptr<AudioInput> input = backend->OpenInput(PcmFormat{2, 16, 16000});
  ASSERT_TRUE(input);
  ASSERT_EQ(input->Start(), 0);
  Samples chunk(2 * 1600, 7);
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(input->Read(chunk.data(), 1600), 0);  // 100 ms of stereo
  EXPECT_GE(SecondsSince(start), 0.095);
  EXPECT_EQ(testing::Peak(chunk), 0);
}

}  // namespace
}  // namespace corvel
