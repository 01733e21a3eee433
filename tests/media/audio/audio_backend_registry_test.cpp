// Choosing a backend: the self-registered names, the order of the choices, option checks.
#include "media/audio/audio_backend_registry.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/temp_folder.h"

namespace corvel {
namespace {

class EnvironmentScope {
 public:
  explicit EnvironmentScope(const char* value) {
    if (const char* old = std::getenv(kAudioEnvironmentVariable)) saved_ = old;
    if (value == nullptr) {
      unsetenv(kAudioEnvironmentVariable);
    } else {
      setenv(kAudioEnvironmentVariable, value, 1);
    }
  }
  ~EnvironmentScope() {
    if (saved_.empty()) {
      unsetenv(kAudioEnvironmentVariable);
    } else {
      setenv(kAudioEnvironmentVariable, saved_.c_str(), 1);
    }
  }

 private:
  std::string saved_;
};

TEST(AudioBackendRegistry, EveryBackendRegistersItself) {
  const std::vector<std::string> names = AudioBackendNames();
  EXPECT_EQ(names, (std::vector<std::string>{"file", "null", "portaudio"}));
}

TEST(AudioBackendRegistry, EnvironmentOverridesConfigurationWhichOverridesTheDefault) {
  struct Case {
    const char* environment;
    std::optional<std::string> configured;
    std::string expected;
  };
  const Case cases[] = {
      {nullptr, std::nullopt, "portaudio"},
      {nullptr, std::string(""), "portaudio"},
      {nullptr, std::string("null"), "null"},
      {"", std::string("null"), "null"},
      {"file:a.wav,out", std::string("null"), "file:a.wav,out"},
      {"file:", std::nullopt, "file:"},
  };
  for (const Case& c : cases) {
    const EnvironmentScope scope(c.environment);
    EXPECT_EQ(AudioBackendChoice(c.configured), c.expected)
        << (c.environment ? c.environment : "(unset)");
  }
}

TEST(AudioBackendRegistry, ChoicesAreCheckedByTheirBackends) {
  testing::TempFolder folder;
  const std::string outFolder = folder / "nested/out";
  struct Case {
    std::string choice;
    bool made;
    const char* name;
  };
  const Case cases[] = {
      {"null", true, "null"},
      {"null:x", false, nullptr},
      {"file:", true, "file"},
      {"file:" + std::string(folder / "in.wav") + "," + outFolder, true, "file"},
      {"portaudio:@44100", true, "portaudio"},
      {"portaudio:@12", false, nullptr},
      {"portaudio:@fast", false, nullptr},
      {"speaker", false, nullptr},
      {"", false, nullptr},
  };
  for (const Case& c : cases) {
    const std::shared_ptr<AudioBackend> backend = CreateAudioBackend(c.choice);
    ASSERT_EQ(backend != nullptr, c.made) << c.choice;
    if (backend) {
      EXPECT_EQ(backend->name(), c.name) << c.choice;
    }
  }
  EXPECT_TRUE(testing::Exists(outFolder)) << "the file backend makes its recording folder";
}

TEST(AudioBackendRegistry, AFileBackendWithoutItsInputFileCannotOpenTheMicrophone) {
  testing::TempFolder folder;
  const std::shared_ptr<AudioBackend> backend =
      CreateAudioBackend("file:" + folder / "missing.wav");
  ASSERT_TRUE(backend);
  EXPECT_EQ(backend->OpenInput(PcmFormat::Telephone()), nullptr);
  EXPECT_NE(backend->OpenOutput(PcmFormat::Telephone(), "x"), nullptr);
  EXPECT_EQ(backend->OpenInput(PcmFormat{1, 8, 8000}), nullptr) << "only 16-bit PCM";
}

}  // namespace
}  // namespace corvel
