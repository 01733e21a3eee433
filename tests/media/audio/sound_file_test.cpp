// Sound files in other shapes come out in the shape a stream asks for.
#include "media/audio/sound_file.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "audio_test_support.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::Samples;

TEST(SoundFile, AStereoFileAt16kHzIsLoadedAsTelephoneAudio) {
  testing::TempFolder folder;
  const std::string path = folder / "stereo16k.wav";
  // sox makes the file, so the reading is checked against another writer.
  const std::string command = "sox -n -r 16000 -c 2 -b 16 -e signed-integer '" + path +
                              "' synth 0.5 sine 700 vol 0.5 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::optional<Samples> samples = LoadSound(path, PcmFormat::Telephone());
  ASSERT_TRUE(samples);
  EXPECT_NEAR(static_cast<double>(samples->size()), 4000, 20);
  EXPECT_GT(testing::ToneShare(Samples(samples->begin() + 200, samples->end() - 200), 700), 0.9);
  EXPECT_NEAR(testing::Peak(*samples, 200, samples->size() - 200), 16384, 1500);
}

TEST(SoundFile, MonoIsSpreadToStereoAndMissingFilesAreRefused) {
  testing::TempFolder folder;
  const Samples tone = testing::Tone(400, 0.2, 8000);
  ASSERT_TRUE(testing::WriteWav(folder / "mono.wav", tone));
  const std::optional<Samples> stereo = LoadSound(folder / "mono.wav", PcmFormat{2, 16, 8000});
  ASSERT_TRUE(stereo);
  ASSERT_EQ(stereo->size(), 2 * tone.size());
  for (std::size_t i = 0; i < tone.size(); i += 97) {
    EXPECT_EQ((*stereo)[2 * i], tone[i]);
    EXPECT_EQ((*stereo)[2 * i + 1], tone[i]);
  }
  EXPECT_FALSE(LoadSound(folder / "absent.wav", PcmFormat::Telephone()));
  testing::WriteFile(folder / "text.wav", "not a sound");
  EXPECT_FALSE(LoadSound(folder / "text.wav", PcmFormat::Telephone()));
}

TEST(WavWriter, TheFileIsCompleteWhileItIsStillBeingWritten) {
  testing::TempFolder folder;
  std::unique_ptr<WavWriter> writer = WavWriter::Create(folder / "w.wav", PcmFormat::Telephone());
  ASSERT_TRUE(writer);
  const Samples tone = testing::Tone(300, 0.1, 5000);
  ASSERT_TRUE(writer->Write(tone.data(), static_cast<int64_t>(tone.size())));
  ASSERT_TRUE(writer->WriteSilence(400));
  const testing::WavContent wav = testing::ReadWav(folder / "w.wav");
  ASSERT_TRUE(wav.ok);
  ASSERT_EQ(wav.samples.size(), tone.size() + 400);
  EXPECT_TRUE(std::equal(tone.begin(), tone.end(), wav.samples.begin()));
  EXPECT_EQ(testing::Peak(wav.samples, tone.size()), 0);
  EXPECT_EQ(writer->frames(), static_cast<int64_t>(tone.size() + 400));
}

}  // namespace
}  // namespace corvel
