#include "nat_helper.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace corvel::devservice {
namespace {

constexpr Endpoint kFrom{0xC0A80105, 20004};  // 192.168.1.5

// A probe as the client sends it, built byte by byte.
std::vector<std::uint8_t> Probe(std::uint8_t byte0, std::uint8_t byte1,
                                const std::string& payload) {
  std::vector<std::uint8_t> bytes = {byte0, byte1, 0x12, 0x34, 0xDE, 0xAD,
                                     0xBE,  0xEF,  0x01, 0x02, 0x03, 0x04};
  for (const char c : payload)
    bytes.push_back(static_cast<std::uint8_t>(c));
  return bytes;
}

NatHelper::Answer Ask(NatHelper& helper, const std::vector<std::uint8_t>& bytes) {
  return helper.Handle(bytes.data(), bytes.size(), kFrom);
}

TEST(NatHelper, AnswersAProbeWithTheSendersAddress) {
  NatHelper helper(120);
  const NatHelper::Answer answer = Ask(helper, Probe(0x80, 0x80 | 120, "GetNAT"));
  const std::string text = "[192.168.1.5:20004]";
  ASSERT_EQ(answer.reply.size(), 12 + text.size());
  EXPECT_EQ(answer.reply[0], 0x80);
  EXPECT_EQ(answer.reply[1] & 0x7F, 120);
  EXPECT_EQ(answer.reply[2], 0x12);  // the probe's sequence number
  EXPECT_EQ(answer.reply[3], 0x34);
  const std::uint32_t ssrc = static_cast<std::uint32_t>(answer.reply[8]) << 24 |
                             answer.reply[9] << 16 | answer.reply[10] << 8 | answer.reply[11];
  EXPECT_EQ(ssrc, kHelperSsrc);
  EXPECT_EQ(std::string(answer.reply.begin() + 12, answer.reply.end()), text);
  EXPECT_EQ(helper.probes(), 1u);
}

TEST(NatHelper, MarkerBitIsOptionalAndThePayloadTypeConfigurable) {
  NatHelper helper(99);
  EXPECT_FALSE(Ask(helper, Probe(0x80, 99, "GetNAT")).reply.empty());
  EXPECT_TRUE(Ask(helper, Probe(0x80, 0x80 | 120, "GetNAT")).reply.empty());
  EXPECT_EQ(Ask(helper, Probe(0x80, 0x80 | 99, "GetNAT")).reply[1] & 0x7F, 99);
}

TEST(NatHelper, IgnoresWhatIsNotAProbe) {
  NatHelper helper(120);
  const std::vector<std::vector<std::uint8_t>> others = {
      {},
      {0x80, 0xF8, 0x00},
      Probe(0x40, 0x80 | 120, "GetNAT"),  // version 1
      Probe(0x80, 0x80 | 0, "GetNAT"),    // an audio payload type
      Probe(0x80, 0x80 | 120, "GetNA"),
      Probe(0x80, 0x80 | 120, "GetNATx"),
      Probe(0x80, 0x80 | 120, "getnat"),
      Probe(0x80, 0x80 | 120, ""),
  };
  for (const auto& bytes : others) {
    const NatHelper::Answer answer = Ask(helper, bytes);
    EXPECT_TRUE(answer.reply.empty()) << answer.note;
    EXPECT_NE(answer.note.find("ignored"), std::string::npos);
  }
  EXPECT_EQ(helper.probes(), 0u);
}

TEST(NatHelper, SkipsContributingSourcesAndPadding) {
  NatHelper helper(120);
  std::vector<std::uint8_t> bytes = Probe(0xA1, 120, "");  // one CSRC, padding
  for (std::uint8_t b : {0, 0, 0, 9})
    bytes.push_back(b);
  for (char c : std::string("GetNAT"))
    bytes.push_back(static_cast<std::uint8_t>(c));
  bytes.insert(bytes.end(), {0, 0, 3});
  EXPECT_FALSE(Ask(helper, bytes).reply.empty());
  bytes.back() = 200;  // padding longer than the packet
  EXPECT_TRUE(Ask(helper, bytes).reply.empty());
}

TEST(NatHelper, OffAndGarbageModes) {
  NatHelper helper(120);
  helper.setMode(NatMode::kOff);
  NatHelper::Answer answer = Ask(helper, Probe(0x80, 0x80 | 120, "GetNAT"));
  EXPECT_TRUE(answer.reply.empty());
  EXPECT_EQ(helper.probes(), 1u);  // seen, though not answered
  helper.setMode(NatMode::kGarbage);
  answer = Ask(helper, Probe(0x80, 0x80 | 120, "GetNAT"));
  ASSERT_GT(answer.reply.size(), 12u);
  const std::string text(answer.reply.begin() + 12, answer.reply.end());
  EXPECT_EQ(text.find('['), std::string::npos);
  EXPECT_EQ(text.find(':'), std::string::npos);
  EXPECT_NE(text.find("192.168.1.5"), std::string::npos);
  helper.setMode(NatMode::kOn);
  EXPECT_EQ(NatReplyText(kFrom, helper.mode()), "[192.168.1.5:20004]");
}

}  // namespace
}  // namespace corvel::devservice
