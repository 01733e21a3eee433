// G.711 against spandsp's implementation as the independent reference.
#include "media/codec/g711.h"

#include <gtest/gtest.h>

// telephony.h and bit_operations.h first: g711.h uses them without including them.
#include <spandsp/telephony.h>

#include <spandsp/bit_operations.h>

#include <spandsp/g711.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <numeric>
#include <set>
#include <vector>

namespace corvel {
namespace {

// Our A-law encoder takes the magnitude of a negative sample as -s - 8, spandsp (like ITU-T
// G.191) as -s - 1. Both sit inside the same 13-bit step most of the time; they part only for
// the seven samples just below each negative decision level, that is s = -t - 7 .. -t - 1 for
// every decision level t from 16 up. These are the last samples of each such run.
constexpr int kAlawRunLength = 7;
constexpr int kAlawDifferingRunEnds[] = {
    -31745, -30721, -29697, -28673, -27649, -26625, -25601, -24577, -23553, -22529, -21505, -20481,
    -19457, -18433, -17409, -16385, -15873, -15361, -14849, -14337, -13825, -13313, -12801, -12289,
    -11777, -11265, -10753, -10241, -9729,  -9217,  -8705,  -8193,  -7937,  -7681,  -7425,  -7169,
    -6913,  -6657,  -6401,  -6145,  -5889,  -5633,  -5377,  -5121,  -4865,  -4609,  -4353,  -4097,
    -3969,  -3841,  -3713,  -3585,  -3457,  -3329,  -3201,  -3073,  -2945,  -2817,  -2689,  -2561,
    -2433,  -2305,  -2177,  -2049,  -1985,  -1921,  -1857,  -1793,  -1729,  -1665,  -1601,  -1537,
    -1473,  -1409,  -1345,  -1281,  -1217,  -1153,  -1089,  -1025,  -993,   -961,   -929,   -897,
    -865,   -833,   -801,   -769,   -737,   -705,   -673,   -641,   -609,   -577,   -545,   -513,
    -497,   -481,   -465,   -449,   -433,   -417,   -401,   -385,   -369,   -353,   -337,   -321,
    -305,   -289,   -273,   -257,   -241,   -225,   -209,   -193,   -177,   -161,   -145,   -129,
    -113,   -97,    -81,    -65,    -49,    -33,    -17};

struct SpandspG711 {
  explicit SpandspG711(int mode) : state(g711_init(nullptr, mode)) {}
  ~SpandspG711() { g711_free(state); }
  SpandspG711(const SpandspG711&) = delete;
  SpandspG711& operator=(const SpandspG711&) = delete;

  std::vector<uint8_t> Encode(std::vector<int16_t> pcm) const {
    std::vector<uint8_t> out(pcm.size());
    g711_encode(state, out.data(), pcm.data(), static_cast<int>(pcm.size()));
    return out;
  }
  std::vector<int16_t> Decode(std::vector<uint8_t> codes) const {
    std::vector<int16_t> out(codes.size());
    g711_decode(state, out.data(), codes.data(), static_cast<int>(codes.size()));
    return out;
  }

  g711_state_t* state;
};

std::vector<int16_t> EverySample() {
  std::vector<int16_t> samples(65536);
  for (int i = 0; i < 65536; ++i)
    samples[static_cast<std::size_t>(i)] = static_cast<int16_t>(i - 32768);
  return samples;
}

std::vector<uint8_t> EveryByte() {
  std::vector<uint8_t> codes(256);
  std::iota(codes.begin(), codes.end(), uint8_t{0});
  return codes;
}

std::size_t IndexOf(int sample) {
  return static_cast<std::size_t>(sample + 32768);
}

using EncodeFn = int (*)(const int16_t*, int, uint8_t*);
using DecodeFn = int (*)(const uint8_t*, int, int16_t*);

std::vector<uint8_t> EncodeAll(EncodeFn encode, const std::vector<int16_t>& pcm) {
  std::vector<uint8_t> out(pcm.size());
  const int bytes = static_cast<int>(pcm.size() * 2);
  EXPECT_EQ(encode(pcm.data(), bytes, out.data()), bytes / 2);
  return out;
}

TEST(G711, UlawEncodesEverySampleLikeSpandsp) {
  const std::vector<int16_t> samples = EverySample();
  const std::vector<uint8_t> ours = EncodeAll(PcmuEncode, samples);
  const std::vector<uint8_t> reference = SpandspG711(G711_ULAW).Encode(samples);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    ASSERT_EQ(ours[i], reference[i]) << "sample " << samples[i];
  }
}

TEST(G711, AlawEncodesEverySampleLikeSpandspExceptBelowNegativeDecisionLevels) {
  const std::vector<int16_t> samples = EverySample();
  const std::vector<uint8_t> ours = EncodeAll(PcmaEncode, samples);
  const std::vector<uint8_t> reference = SpandspG711(G711_ALAW).Encode(samples);

  std::set<int> listed;
  for (const int last : kAlawDifferingRunEnds) {
    for (int s = last - kAlawRunLength + 1; s <= last; ++s)
      listed.insert(s);
  }
  std::set<int> differing;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (ours[i] != reference[i]) differing.insert(samples[i]);
  }
  EXPECT_EQ(differing, listed);

  // Where they differ, ours is the reference's code of the sample 7 higher: the two magnitude
  // rules are 7 apart and nothing else.
  for (const int s : listed) {
    EXPECT_EQ(ours[IndexOf(s)], reference[IndexOf(s + kAlawRunLength)]) << "sample " << s;
  }
}

TEST(G711, EveryCodeDecodesLikeSpandsp) {
  struct Case {
    const char* name;
    DecodeFn decode;
    int mode;
  };
  for (const Case& c : {Case{"ulaw", PcmuDecode, G711_ULAW}, Case{"alaw", PcmaDecode, G711_ALAW}}) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> codes = EveryByte();
    std::vector<int16_t> ours(codes.size());
    EXPECT_EQ(c.decode(codes.data(), 256, ours.data()), 512);
    EXPECT_EQ(ours, SpandspG711(c.mode).Decode(codes));
  }
}

TEST(G711, FixedPoints) {
  struct EncodeCase {
    EncodeFn encode;
    int16_t sample;
    uint8_t code;
  };
  for (const EncodeCase& c : {EncodeCase{PcmuEncode, 0, 0xFF}, EncodeCase{PcmaEncode, 0, 0xD5},
                              EncodeCase{PcmuEncode, -32768, 0x00}}) {
    uint8_t code = 0x5A;
    ASSERT_EQ(c.encode(&c.sample, 2, &code), 1);
    EXPECT_EQ(code, c.code) << "sample " << c.sample;
  }
  struct DecodeCase {
    DecodeFn decode;
    uint8_t code;
    int16_t sample;
  };
  for (const DecodeCase& c : {DecodeCase{PcmuDecode, 0xFF, 0}, DecodeCase{PcmuDecode, 0x7F, 0}}) {
    int16_t sample = 1234;
    ASSERT_EQ(c.decode(&c.code, 1, &sample), 2);
    EXPECT_EQ(sample, c.sample) << "code " << int{c.code};
  }
}

TEST(G711, SmallNegativeSamplesStayInTheSmallestALawStep) {
  for (int s = -8; s <= -1; ++s) {
    const int16_t sample = static_cast<int16_t>(s);
    uint8_t code = 0;
    ASSERT_EQ(PcmaEncode(&sample, 2, &code), 1);
    int16_t decoded = 0;
    ASSERT_EQ(PcmaDecode(&code, 1, &decoded), 2);
    EXPECT_EQ(decoded, -8) << "sample " << s;
  }
}

TEST(G711, OddTrailingByteIsIgnored) {
  for (const EncodeFn encode : {PcmuEncode, PcmaEncode}) {
    const std::vector<int16_t> pcm(161, 1000);
    std::vector<uint8_t> out(161, 0x11);
    EXPECT_EQ(encode(pcm.data(), 321, out.data()), 160);
    EXPECT_EQ(out[160], 0x11);  // the half sample wrote nothing
    EXPECT_EQ(encode(pcm.data(), 1, out.data()), 0);
  }
}

TEST(G711, RefusesMissingBuffersAndEmptyCounts) {
  int16_t pcm[4] = {};
  uint8_t codes[4] = {};
  for (const EncodeFn encode : {PcmuEncode, PcmaEncode}) {
    EXPECT_EQ(encode(nullptr, 8, codes), -1);
    EXPECT_EQ(encode(pcm, 8, nullptr), -1);
    EXPECT_EQ(encode(pcm, 0, codes), -1);
    EXPECT_EQ(encode(pcm, -2, codes), -1);
  }
  for (const DecodeFn decode : {PcmuDecode, PcmaDecode}) {
    EXPECT_EQ(decode(nullptr, 4, pcm), -1);
    EXPECT_EQ(decode(codes, 4, nullptr), -1);
    EXPECT_EQ(decode(codes, 0, pcm), -1);
    EXPECT_EQ(decode(codes, -1, pcm), -1);
  }
}

}  // namespace
}  // namespace corvel
