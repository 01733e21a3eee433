// Runs corvel-gen-sounds and checks its files with a WAV reader and tone detector of its own, so a
// mistake in the generator's writer or synthesis cannot hide behind the same code here.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#ifndef CORVEL_GEN_SOUNDS_EXE
#error "CORVEL_GEN_SOUNDS_EXE must name the generator binary"
#endif

namespace {

namespace fs = std::filesystem;

constexpr int kRate = 8000;
// -3 dBFS: every file must leave this much headroom.
const double kMaxPeak = std::pow(10.0, -3.0 / 20.0);

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "corvel-gen-sounds-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

int RunGenerator(const fs::path& dir) {
  const std::string command =
      std::string("'") + CORVEL_GEN_SOUNDS_EXE + "' '" + dir.string() + "' 2>&1";
  return std::system(command.c_str());
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::uint32_t Le(const std::string& bytes, std::size_t at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
  }
  return value;
}

struct Wav {
  std::vector<double> samples;  // full scale is 1.0
};

// Accepts only the canonical 44-byte header for 8 kHz mono 16-bit PCM; anything else fails.
Wav ParseCanonicalWav(const std::string& bytes) {
  EXPECT_GE(bytes.size(), 44u);
  if (bytes.size() < 44) return {};
  EXPECT_EQ(bytes.substr(0, 4), "RIFF");
  EXPECT_EQ(Le(bytes, 4, 4), bytes.size() - 8);
  EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(Le(bytes, 16, 4), 16u);
  EXPECT_EQ(Le(bytes, 20, 2), 1u) << "PCM";
  EXPECT_EQ(Le(bytes, 22, 2), 1u) << "channels";
  EXPECT_EQ(Le(bytes, 24, 4), 8000u) << "sample rate";
  EXPECT_EQ(Le(bytes, 28, 4), 16000u) << "byte rate";
  EXPECT_EQ(Le(bytes, 32, 2), 2u) << "block align";
  EXPECT_EQ(Le(bytes, 34, 2), 16u) << "bits per sample";
  EXPECT_EQ(bytes.substr(36, 4), "data");
  const std::uint32_t data_size = Le(bytes, 40, 4);
  EXPECT_EQ(data_size, bytes.size() - 44);
  EXPECT_EQ(data_size % 2, 0u);
  Wav wav;
  for (std::size_t at = 44; at + 1 < bytes.size(); at += 2) {
    const auto raw = static_cast<std::int16_t>(static_cast<std::uint16_t>(Le(bytes, at, 2)));
    wav.samples.push_back(raw / 32768.0);
  }
  return wav;
}

// Power at one frequency over samples [begin, end), Hann-windowed to keep leakage off the
// neighbouring keypad tones.
double Goertzel(const std::vector<double>& x, std::size_t begin, std::size_t end, double hz) {
  const double coeff = 2.0 * std::cos(2.0 * std::numbers::pi * hz / kRate);
  const double n = static_cast<double>(end - begin);
  double s1 = 0.0;
  double s2 = 0.0;
  for (std::size_t i = begin; i < end; ++i) {
    const double window =
        0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * static_cast<double>(i - begin) / n));
    const double s = x[i] * window + coeff * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  return s1 * s1 + s2 * s2 - coeff * s1 * s2;
}

double Db(double power_ratio) {
  return 10.0 * std::log10(power_ratio);
}

double Peak(const std::vector<double>& x) {
  double peak = 0.0;
  for (const double v : x)
    peak = std::max(peak, std::abs(v));
  return peak;
}

double Rms(const std::vector<double>& x, std::size_t begin, std::size_t end) {
  double sum = 0.0;
  for (std::size_t i = begin; i < end; ++i)
    sum += x[i] * x[i];
  return std::sqrt(sum / static_cast<double>(end - begin));
}

struct Burst {
  int on_ms;
  int off_ms;
};

// What each call-progress file must contain: its cadence and the tones of its bursts, picked out
// of a list of nearby candidates that it must not be confused with.
struct Expected {
  std::vector<Burst> cadence;
  std::vector<double> tones;
  std::vector<double> candidates;
};

const std::map<std::string, Expected>& CallProgress() {
  static const std::map<std::string, Expected> expected{
      {"RingFile", {{{1000, 4000}}, {450}, {350, 400, 425, 440, 450, 480, 620}}},
      {"RingCRVT",
       {{{400, 200}, {400, 2000}}, {880, 1100}, {440, 660, 825, 880, 1000, 1100, 1300}}},
      {"RingCall", {{{1000, 1000}}, {660, 825}, {440, 600, 660, 750, 825, 880, 1100}}},
      {"Bye",
       {{{250, 250}, {250, 250}, {250, 250}}, {480, 620}, {350, 425, 440, 480, 520, 620, 700}}},
  };
  return expected;
}

// Candidate indices ordered by power, strongest first.
std::vector<std::size_t> Ranked(const std::vector<double>& power) {
  std::vector<std::size_t> order(power.size());
  for (std::size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return power[a] > power[b]; });
  return order;
}

class GenSoundsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<TempDir>();
    exit_status_ = RunGenerator(dir_->path());
  }
  static void TearDownTestSuite() { dir_.reset(); }

  void SetUp() override { ASSERT_EQ(exit_status_, 0) << "generator failed"; }

  static Wav Load(const std::string& name) {
    const fs::path path = dir_->path() / (name + ".wav");
    EXPECT_TRUE(fs::exists(path)) << path;
    return ParseCanonicalWav(ReadBytes(path));
  }

  static std::vector<std::string> AllNames() {
    std::vector<std::string> names;
    for (int key = 0; key < 12; ++key)
      names.push_back("DTMF" + std::to_string(key));
    for (const auto& [name, expected] : CallProgress())
      names.push_back(name);
    return names;
  }

  static inline std::unique_ptr<TempDir> dir_;
  static inline int exit_status_ = -1;
};

TEST_F(GenSoundsTest, WritesExactlyTheExpectedFiles) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(dir_->path())) {
    found.push_back(entry.path().filename().string());
  }
  std::vector<std::string> wanted;
  for (const std::string& name : AllNames())
    wanted.push_back(name + ".wav");
  std::sort(found.begin(), found.end());
  std::sort(wanted.begin(), wanted.end());
  EXPECT_EQ(found, wanted);
}

TEST_F(GenSoundsTest, EveryFileIsCanonicalWavWithHeadroom) {
  for (const std::string& name : AllNames()) {
    SCOPED_TRACE(name);
    const Wav wav = Load(name);
    ASSERT_FALSE(wav.samples.empty());
    EXPECT_LT(Peak(wav.samples), kMaxPeak);
    EXPECT_GT(Peak(wav.samples), 0.1) << "audible level";
    // Loops and one-shots both start and end at rest, so neither end clicks.
    EXPECT_LT(std::abs(wav.samples.front()), 1e-3);
    EXPECT_LT(std::abs(wav.samples.back()), 1e-3);
  }
}

TEST_F(GenSoundsTest, DtmfFilesCarryTheirKeypadPair) {
  const std::vector<double> rows = {697, 770, 852, 941};
  const std::vector<double> columns = {1209, 1336, 1477, 1633};
  std::vector<double> all = rows;
  all.insert(all.end(), columns.begin(), columns.end());
  // Files are numbered by key value: '1'..'9', '*', '0', '#'.
  const std::string keys = "123456789*0#";
  const std::map<char, std::pair<double, double>> pair_of{
      {'1', {697, 1209}}, {'2', {697, 1336}}, {'3', {697, 1477}}, {'4', {770, 1209}},
      {'5', {770, 1336}}, {'6', {770, 1477}}, {'7', {852, 1209}}, {'8', {852, 1336}},
      {'9', {852, 1477}}, {'*', {941, 1209}}, {'0', {941, 1336}}, {'#', {941, 1477}},
  };
  for (int key = 0; key < 12; ++key) {
    const std::string name = "DTMF" + std::to_string(key);
    SCOPED_TRACE(name + " = '" + keys[static_cast<std::size_t>(key)] + "'");
    const Wav wav = Load(name);
    const double ms = 1000.0 * static_cast<double>(wav.samples.size()) / kRate;
    EXPECT_GE(ms, 120.0);
    EXPECT_LE(ms, 150.0);

    std::vector<double> power;
    for (const double hz : all)
      power.push_back(Goertzel(wav.samples, 0, wav.samples.size(), hz));
    const std::vector<std::size_t> order = Ranked(power);
    const auto [row, column] = pair_of.at(keys[static_cast<std::size_t>(key)]);
    const double first = all[order[0]];
    const double second = all[order[1]];
    EXPECT_EQ(std::min(first, second), row);
    EXPECT_EQ(std::max(first, second), column);
    EXPECT_GE(Db(power[order[1]] / power[order[2]]), 10.0);
    // Neither tone dominates the other: a keypad receiver would reject heavy twist.
    EXPECT_LT(std::abs(Db(power[order[0]] / power[order[1]])), 3.0);
  }
}

TEST_F(GenSoundsTest, CallProgressFilesFollowTheirCadence) {
  constexpr std::size_t kPerMs = kRate / 1000;
  constexpr std::size_t kEdge = 10 * kPerMs;  // skip the fades when measuring a burst's level
  for (const auto& [name, expected] : CallProgress()) {
    SCOPED_TRACE(name);
    const Wav wav = Load(name);
    std::size_t total = 0;
    for (const Burst& burst : expected.cadence)
      total += (burst.on_ms + burst.off_ms) * kPerMs;
    ASSERT_EQ(wav.samples.size(), total);

    std::size_t at = 0;
    for (const Burst& burst : expected.cadence) {
      const std::size_t on_end = at + burst.on_ms * kPerMs;
      const std::size_t off_end = on_end + burst.off_ms * kPerMs;
      EXPECT_GT(Rms(wav.samples, at + kEdge, on_end - kEdge), 0.1) << "burst at " << at;
      // A raised-cosine fade makes the first and last samples of a burst nearly silent.
      EXPECT_LT(std::abs(wav.samples[at + 1]), 0.01) << "burst at " << at;
      EXPECT_LT(std::abs(wav.samples[on_end - 2]), 0.01) << "burst at " << at;
      for (std::size_t i = on_end; i < off_end; ++i) {
        ASSERT_EQ(wav.samples[i], 0.0) << "gap sample " << i;
      }

      std::vector<double> power;
      for (const double hz : expected.candidates) {
        power.push_back(Goertzel(wav.samples, at, on_end, hz));
      }
      const std::vector<std::size_t> order = Ranked(power);
      const std::size_t count = expected.tones.size();
      std::vector<double> strongest;
      for (std::size_t i = 0; i < count; ++i)
        strongest.push_back(expected.candidates[order[i]]);
      std::sort(strongest.begin(), strongest.end());
      EXPECT_EQ(strongest, expected.tones) << "burst at " << at;
      EXPECT_GE(Db(power[order[count - 1]] / power[order[count]]), 10.0) << "burst at " << at;
      at = off_end;
    }
  }
}

TEST_F(GenSoundsTest, RingerTrillsBetweenItsTwoTones) {
  // In 1/64 s windows across a burst the two tones take turns; a plain dual tone would keep the
  // balance constant.
  const Wav wav = Load("RingCRVT");
  constexpr std::size_t kWindow = kRate / 64;
  int first_louder = 0;
  int second_louder = 0;
  for (std::size_t at = 0; at + kWindow <= 400 * kRate / 1000; at += kWindow) {
    const double balance = Db(Goertzel(wav.samples, at, at + kWindow, 880) /
                              Goertzel(wav.samples, at, at + kWindow, 1100));
    if (balance > 6.0) ++first_louder;
    if (balance < -6.0) ++second_louder;
  }
  EXPECT_GE(first_louder, 5);
  EXPECT_GE(second_louder, 5);
}

TEST_F(GenSoundsTest, RunsReproducibly) {
  const TempDir again;
  ASSERT_EQ(RunGenerator(again.path()), 0);
  for (const std::string& name : AllNames()) {
    SCOPED_TRACE(name);
    const std::string first = ReadBytes(dir_->path() / (name + ".wav"));
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(first, ReadBytes(again.path() / (name + ".wav")));
  }
}

TEST(GenSoundsCli, RejectsMissingArgument) {
  const std::string command = std::string("'") + CORVEL_GEN_SOUNDS_EXE + "' 2>/dev/null";
  const int status = std::system(command.c_str());
  ASSERT_NE(status, -1);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 0);
}

TEST(GenSoundsCli, FailsWhenOutputCannotBeCreated) {
  const TempDir dir;
  const fs::path blocker = dir.path() / "file";
  std::ofstream(blocker) << "not a folder";
  EXPECT_NE(RunGenerator(blocker / "sounds"), 0);
}

}  // namespace
