// The phone module built from configuration files: the machine's address for absent hosts, port
// retries, what a failure leaves made, registration timing, ring files and codec values.
#include "sip/phone_module.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/audio/audio_backend_registry.h"
#include "media/audio/wave_capture.h"
#include "media/rtp/rtp_server.h"
#include "media/toolkit/host_address.h"
#include "media/toolkit/udp_socket.h"
#include "sip/raw_peer.h"
#include "sip/sip_test_support.h"
#include "support/recording_poster.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::FreeUdpPort;
using testing::HasLine;
using testing::RawPeer;
using testing::TempFolder;

// `count` even ports from one that are all free now, 2 apart, with their odd neighbours.
int FreeEvenRun(int count) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    const int base = (FreeUdpPort() & ~1);
    if (base < 1024 || base + 2 * count >= 65535) continue;
    bool free = true;
    for (int port = base; port < base + 2 * count && free; ++port) {
      free = UdpSocket::Open(nullptr, static_cast<uint16_t>(port), true) != nullptr;
    }
    if (free) return base;
  }
  return 0;
}

class PhoneModuleTest : public ::testing::Test {
 protected:
  TempFolder folder_;
  PhoneLog log_;
  testing::RecordingPoster window_;
  std::vector<std::string> boxes_;
  RawPeer registrar_;
  std::unique_ptr<PhoneModule> module_;

  void SetUp() override {
    ASSERT_TRUE(log_.Open(folder_ / "SIPPhone.log"));
    ASSERT_TRUE(registrar_.ok());
  }

  // A configuration with these lines; the registrar is the test's raw peer.
  void Configure(const std::string& rtp, const std::string& sip, const std::string& wave) {
    testing::WriteFile(folder_ / "CorvelConfig.ini",
                       "[RTP]\nnatMode=0\n" + rtp + "\n[SIP]\nsipSvrHost=127.0.0.1\nsipSvrPort=" +
                           std::to_string(registrar_.port()) + "\n" + sip + "\n[WAVE]\n" + wave +
                           "\n");
    PhoneModuleSetup setup;
    setup.configPath = folder_ / "CorvelConfig.ini";
    setup.programFolder = folder_.path() + "/";
    setup.sipNumber = "1001";
    setup.log = &log_;
    setup.window = &window_;
    setup.audio = CreateAudioBackend("null");
    setup.showBox = [this](const std::string& text) { boxes_.push_back(text); };
    module_ = std::make_unique<PhoneModule>(std::move(setup));
  }
  std::string LogPath() { return folder_ / "SIPPhone.log"; }
};

TEST_F(PhoneModuleTest, AbsentHostsTakeTheMachinesFirstAddressAndEverythingIsBuilt) {
  const std::vector<uint32_t> addresses = HostIPv4Addresses();
  ASSERT_FALSE(addresses.empty());
  const std::string first = Ipv4ToText(addresses.front());
  Configure("rtpPort=" + std::to_string(FreeEvenRun(1)),
            "sipPort=" + std::to_string(FreeUdpPort()) + "\nsipRegTime=40", "");
  ASSERT_TRUE(module_->CreatePhoneModule({}));
  EXPECT_TRUE(boxes_.empty());
  EXPECT_TRUE(HasLine(LogPath(), "[MODULE] Change Config rtpHost:" + first));
  EXPECT_TRUE(HasLine(LogPath(), "[MODULE] Change Config sipHost:" + first));
  EXPECT_TRUE(HasLine(LogPath(), "[MODULE] Create Phone Module Success"));
  EXPECT_EQ(module_->rtpServer()->localHost(), first);
  EXPECT_EQ(module_->sipServer()->localHost(), first);
  EXPECT_TRUE(module_->waveCapture()->opened());
  EXPECT_EQ(module_->waveCapture()->bufferBytes(), 320);
  // The first REGISTER asks for max(2 x 40, 600) seconds; the refresh runs every 40.
  std::optional<std::string> request = registrar_.ReceiveStarting("REGISTER ", 3000);
  ASSERT_TRUE(request);
  EXPECT_EQ(testing::HeaderValue(*request, "Expires"), "600");
  EXPECT_EQ(module_->sipServer()->registPeriod(), 40);
  // The shipped formats, and the ring files under the program folder when none is configured.
  const CodecTable codecs = module_->rtpServer()->codecTable();
  EXPECT_TRUE(codecs.isEnabled(CodecSlot::kPcmu));
  EXPECT_FALSE(codecs.isEnabled(CodecSlot::kAmr));
  EXPECT_EQ(codecs.typeOf(CodecSlot::kDtmf), 101);
  EXPECT_EQ(module_->ringFiles().crvtRing, folder_.path() + "/Wave/RingCRVT.wav");
  EXPECT_EQ(module_->ringFiles().callBye, folder_.path() + "/Wave/Bye.wav");

  module_->Close();
  EXPECT_EQ(module_->sipServer(), nullptr);
  for (const char* line : {"[CLOSE] Begin Close SIP Server", "[CLOSE] Begin Close Wave Capture",
                           "[CLOSE] Begin Delete SIP Server", "[CLOSE] Begin Delete RTP Server",
                           "[CLOSE] Begin Delete Wave Capture"}) {
    EXPECT_TRUE(HasLine(LogPath(), line)) << line;
  }
  // The unregistration went straight to the proxy on closing.
  std::optional<std::string> last = registrar_.ReceiveStarting("REGISTER ", 3000);
  ASSERT_TRUE(last);
  EXPECT_EQ(testing::HeaderValue(*last, "Expires"), "0");
}

TEST_F(PhoneModuleTest, FiveTakenRtpPortsFailBeforeAnythingOfSip) {
  const int base = FreeEvenRun(5);
  ASSERT_GT(base, 0);
  std::vector<std::unique_ptr<UdpSocket>> taken;
  for (int i = 0; i < 5; ++i)
    taken.push_back(UdpSocket::Open(nullptr, static_cast<uint16_t>(base + 2 * i), true));
  Configure("rtpHost=127.0.0.1\nrtpPort=" + std::to_string(base),
            "sipHost=127.0.0.1\nsipPort=" + std::to_string(FreeUdpPort()), "");
  EXPECT_FALSE(module_->CreatePhoneModule({}));
  EXPECT_EQ(boxes_, (std::vector<std::string>{"创建RTP失败!"}));
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(HasLine(LogPath(), "[MODULE] Create RTP Server 127.0.0.1:" +
                                       std::to_string(base + 2 * i) + " Failed"));
  }
  EXPECT_TRUE(HasLine(LogPath(), "[MODULE] Create RTP Server Failed"));
  EXPECT_NE(module_->rtpServer(), nullptr);  // what was made stays
  EXPECT_EQ(module_->waveCapture(), nullptr);
  EXPECT_EQ(module_->sipServer(), nullptr);
  // A free fourth port is found by the retries.
  taken.pop_back();
  Configure("rtpHost=127.0.0.1\nrtpPort=" + std::to_string(base),
            "sipHost=127.0.0.1\nsipPort=" + std::to_string(FreeUdpPort()), "");
  EXPECT_TRUE(module_->CreatePhoneModule({}));
  EXPECT_EQ(module_->rtpServer()->localPort(), base + 8);
}

TEST_F(PhoneModuleTest, ATakenSipPortIsRetriedOneAbove) {
  const int port = FreeEvenRun(1);
  ASSERT_GT(port, 0);
  auto taken = UdpSocket::Open("127.0.0.1", static_cast<uint16_t>(port), false);
  Configure("rtpHost=127.0.0.1\nrtpPort=" + std::to_string(FreeEvenRun(1)),
            "sipHost=127.0.0.1\nsipPort=" + std::to_string(port), "");
  ASSERT_TRUE(module_->CreatePhoneModule({}));
  EXPECT_TRUE(HasLine(LogPath(),
                      "[MODULE] Create SIP Server 127.0.0.1:" + std::to_string(port) + " Failed"));
  EXPECT_EQ(module_->sipServer()->localPort(), port + 1);
}

TEST_F(PhoneModuleTest, ARegistrationPeriodOf0NeverRegisters) {
  Configure("rtpHost=127.0.0.1\nrtpPort=" + std::to_string(FreeEvenRun(1)),
            "sipHost=127.0.0.1\nsipPort=" + std::to_string(FreeUdpPort()) + "\nsipRegTime=0", "");
  ASSERT_TRUE(module_->CreatePhoneModule({}));
  EXPECT_EQ(module_->sipServer()->state(), 1);
  EXPECT_FALSE(module_->sipServer()->hasRegistTimer());
  EXPECT_FALSE(registrar_.ReceiveStarting("REGISTER ", 500));
  EXPECT_EQ(module_->sipServer()->registCounter(), 0);
}

TEST_F(PhoneModuleTest, CodecValuesAndRingFilesAreReadAsConfigured) {
  const std::string ring = folder_ / "my-ring.wav";
  testing::WriteFile(ring, "RIFF");
  const struct {
    const char* line;
    CodecSlot slot;
    bool enabled;
    int type;
  } cases[] = {
      {"pcmu=0", CodecSlot::kPcmu, false, 0},      {"dtmf=1,96", CodecSlot::kDtmf, true, 96},
      {"g729=", CodecSlot::kG729, false, 0},       {"samr=1", CodecSlot::kAmr, true, 98},
      {"pcma=1,100", CodecSlot::kPcma, true, 100},
  };
  std::string wave;
  for (const auto& c : cases)
    wave += std::string(c.line) + "\n";
  Configure("rtpHost=127.0.0.1\nrtpPort=" + std::to_string(FreeEvenRun(1)),
            "sipHost=127.0.0.1\nsipPort=" + std::to_string(FreeUdpPort()) + "\ncrvtRing=" + ring +
                "\nfileRing=" + folder_ / "missing.wav",
            wave + "packetTime=30");
  ASSERT_TRUE(module_->CreatePhoneModule({}));
  const CodecTable codecs = module_->rtpServer()->codecTable();
  for (const auto& c : cases) {
    EXPECT_EQ(codecs.isEnabled(c.slot), c.enabled) << c.line;
    EXPECT_EQ(codecs.typeOf(c.slot), c.type) << c.line;
  }
  EXPECT_EQ(module_->ringFiles().crvtRing, ring);
  EXPECT_EQ(module_->ringFiles().fileRing, folder_.path() + "/Wave/RingFile.wav");
  EXPECT_EQ(module_->waveCapture()->bufferBytes(), 480);
}

TEST_F(PhoneModuleTest, WithoutASipNumberNothingIsMade) {
  testing::WriteFile(folder_ / "CorvelConfig.ini", "");
  PhoneModuleSetup setup;
  setup.configPath = folder_ / "CorvelConfig.ini";
  setup.log = &log_;
  setup.showBox = [this](const std::string& text) { boxes_.push_back(text); };
  PhoneModule module(std::move(setup));
  EXPECT_FALSE(module.CreatePhoneModule({}));
  EXPECT_EQ(boxes_, (std::vector<std::string>{"获取SIP号码失败!"}));
  EXPECT_EQ(module.rtpServer(), nullptr);
  EXPECT_TRUE(HasLine(LogPath(), "[MODULE] Get Not Phone:"));
}

TEST_F(PhoneModuleTest, ACaptureThatCannotOpenStopsBeforeSip) {
  Configure("rtpHost=127.0.0.1\nrtpPort=" + std::to_string(FreeEvenRun(1)),
            "sipHost=127.0.0.1\nsipPort=" + std::to_string(FreeUdpPort()), "");
  PhoneModuleSetup setup;
  setup.configPath = folder_ / "CorvelConfig.ini";
  setup.sipNumber = "1001";
  setup.log = &log_;
  setup.showBox = [this](const std::string& text) { boxes_.push_back(text); };
  PhoneModule module(std::move(setup));  // no sound system at all
  EXPECT_FALSE(module.CreatePhoneModule({}));
  EXPECT_EQ(boxes_, (std::vector<std::string>{"创建语音捕获失败!"}));
  EXPECT_EQ(module.sipServer(), nullptr);
}

}  // namespace
}  // namespace corvel
