#include "app/config.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::TempFolder;
using testing::WorkingFolderScope;
using testing::WriteFile;

TEST(Config, NoFileGivesEveryDefault) {
  const Config config("/nonexistent/CorvelConfig.ini");
  EXPECT_EQ(config.udpLocal(), (HostPort{"127.0.0.1", 6000}));
  EXPECT_EQ(config.udpRemote(), (HostPort{DefaultServiceHost(), 3905}));
  EXPECT_EQ(config.rtpHost(), "");
  EXPECT_EQ(config.rtpPort(), 10000);
  EXPECT_EQ(config.natMode(), 1);
  EXPECT_EQ(config.natType(), 120);
  EXPECT_EQ(config.natSvrPort(), 10000);
  EXPECT_EQ(config.natSvrHost(), DefaultServiceHost());
  EXPECT_EQ(config.silenceValue(), 100);
  EXPECT_EQ(config.packetTime(), 20);
  EXPECT_EQ(config.captureFrameBytes(), 320);
  EXPECT_EQ(config.playoutDelay(), 600);
  EXPECT_EQ(config.dtmf(), (CodecSetting{true, 101}));
  EXPECT_EQ(config.samr(), (CodecSetting{false, 98}));
  EXPECT_EQ(config.g729(), (CodecSetting{true, 18}));
  EXPECT_EQ(config.pcma(), (CodecSetting{true, 8}));
  EXPECT_EQ(config.pcmu(), (CodecSetting{true, 0}));
  EXPECT_EQ(config.audioDevice(), std::nullopt);
  EXPECT_EQ(config.sipHost(), "");
  EXPECT_EQ(config.sipPort(), 5060);
  EXPECT_EQ(config.sipSvrHost(), DefaultServiceHost());
  EXPECT_EQ(config.sipSvrPort(), 5060);
  EXPECT_EQ(config.sipRegistration(), (SipRegistration{true, 40, 600}));
  EXPECT_EQ(config.ringFile(RingKind::kCallRing, "/app/"), "/app/Wave/RingCall.wav");
  EXPECT_EQ(config.ringFile(RingKind::kCrvtRing, "/app/"), "/app/Wave/RingCRVT.wav");
  EXPECT_EQ(config.ringFile(RingKind::kFileRing, "/app/"), "/app/Wave/RingFile.wav");
  EXPECT_EQ(config.ringFile(RingKind::kCallBye, "/app/"), "/app/Wave/Bye.wav");
  const std::string site = DefaultWebSite();
  EXPECT_EQ(config.rechargeHttp(), site + "/recharge.do");
  EXPECT_EQ(config.callRecordHttp(), site + "/user/login.do");
  EXPECT_EQ(config.tipHttp(), site + "/user/login.do");
  EXPECT_EQ(config.registerHttp(), site + "/reg.do?t=client&id=");
  EXPECT_EQ(config.lookupHttp(), site + "/getPwd.do");
}

struct SplitCase {
  const char* value;
  HostPort expected;
};

class SplitHostPortTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitHostPortTest, FollowsTheCommaRules) {
  EXPECT_EQ(SplitHostPort(GetParam().value, 3905), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SplitHostPortTest,
                         ::testing::Values(SplitCase{"", {"127.0.0.1", 3905}},
                                           SplitCase{",", {"127.0.0.1", 3905}},
                                           SplitCase{"10.0.0.9", {"10.0.0.9", 3905}},
                                           SplitCase{"10.0.0.9,", {"10.0.0.9", 3905}},
                                           SplitCase{",4000", {"127.0.0.1", 4000}},
                                           SplitCase{"10.0.0.9,4000", {"10.0.0.9", 4000}},
                                           SplitCase{"10.0.0.9 , 4000", {"10.0.0.9", 4000}},
                                           SplitCase{"10.0.0.9,4000,9", {"10.0.0.9", 4000}},
                                           SplitCase{"10.0.0.9,,", {"10.0.0.9", 0}},
                                           SplitCase{"10.0.0.9,x", {"10.0.0.9", 0}}));

struct CodecCase {
  const char* value;
  CodecSetting expected;
};

class CodecSettingTest : public ::testing::TestWithParam<CodecCase> {};

TEST_P(CodecSettingTest, ParsesEnabledAndPayloadType) {
  EXPECT_EQ(ParseCodecSetting(GetParam().value, 8), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, CodecSettingTest,
                         ::testing::Values(CodecCase{"0", {false, 8}}, CodecCase{"1,9", {true, 9}},
                                           CodecCase{"1", {true, 8}}, CodecCase{"2,8", {true, 8}},
                                           CodecCase{"0,96", {false, 96}},
                                           CodecCase{"", {false, 0}}, CodecCase{"1,", {true, 0}}));

TEST(Config, RegistrationLifetimeIsTwicePeriodButAtLeast600) {
  EXPECT_EQ(RegistrationFor(100), (SipRegistration{true, 100, 600}));
  EXPECT_EQ(RegistrationFor(400), (SipRegistration{true, 400, 800}));
  EXPECT_EQ(RegistrationFor(1), (SipRegistration{true, 1, 600}));
  EXPECT_FALSE(RegistrationFor(0).enabled);
  EXPECT_FALSE(RegistrationFor(-3).enabled);
  EXPECT_EQ(RegistrationFor(2000000000).lifetime, 2147483647);
}

TEST(Config, CaptureFrameIsSixteenBytesPerMillisecond) {
  EXPECT_EQ(CaptureFrameBytes(20), 320);
  EXPECT_EQ(CaptureFrameBytes(30), 480);
  EXPECT_EQ(CaptureFrameBytes(-5), 320);
  EXPECT_EQ(CaptureFrameBytes(0), 320);
}

TEST(Config, ReadsConfiguredValues) {
  TempFolder folder;
  WriteFile(folder / "CorvelConfig.ini",
            "[UDP]\nLocal=127.0.0.1,6100\nRemote=10.1.2.3\n"
            "[RTP]\nrtpHost=127.0.0.1\nrtpPort=20000\nnatMode=0\n"
            "[WAVE]\npcma=0\npcmu=1,9\ndtmf=1,96\nsamr=\npacketTime=30\naudioDevice=null\n"
            "playoutDelay=120\n"
            "[SIP]\nsipRegTime=400\nsipPort=5062\n"
            "[WEB]\nrechargeHttp=abc\ntipHttp=http://w/t\nregisterHttp=http://w/signup?x=1&id=\n");
  const Config config(folder / "CorvelConfig.ini");
  EXPECT_EQ(config.udpLocal(), (HostPort{"127.0.0.1", 6100}));
  EXPECT_EQ(config.udpRemote(), (HostPort{"10.1.2.3", 3905}));
  EXPECT_EQ(config.rtpHost(), "127.0.0.1");
  EXPECT_EQ(config.rtpPort(), 20000);
  EXPECT_EQ(config.natMode(), 0);
  EXPECT_EQ(config.pcma(), (CodecSetting{false, 8}));
  EXPECT_EQ(config.pcmu(), (CodecSetting{true, 9}));
  EXPECT_EQ(config.dtmf(), (CodecSetting{true, 96}));
  EXPECT_EQ(config.samr(), (CodecSetting{false, 0}));  // present but empty: off
  EXPECT_EQ(config.captureFrameBytes(), 480);
  EXPECT_EQ(config.playoutDelay(), 120);
  EXPECT_EQ(config.audioDevice(), "null");
  EXPECT_EQ(config.sipRegistration(), (SipRegistration{true, 400, 800}));
  EXPECT_EQ(config.sipPort(), 5062);
  EXPECT_EQ(config.rechargeHttp(), DefaultWebSite() + "/recharge.do");
  EXPECT_EQ(config.tipHttp(), "http://w/t");
  EXPECT_EQ(config.registerHttp(), "http://w/signup?x=1&id=?t=client&id=");
}

TEST(Config, UdpValuesAreCutToTheirSmallBuffer) {
  TempFolder folder;
  WriteFile(folder / "c.ini", "[UDP]\nRemote=" + std::string(55, '1') + ",3999\n");
  // 59 characters survive: the port loses its last digit.
  EXPECT_EQ(Config(folder / "c.ini").udpRemote().port, 399);
}

TEST(Config, WebAddressOfSevenCharactersCounts) {
  TempFolder folder;
  WriteFile(folder / "c.ini", "[WEB]\nlookupHttp=http://\nrechargeHttp=http:/\n");
  const Config config(folder / "c.ini");
  EXPECT_EQ(config.lookupHttp(), "http://");
  EXPECT_EQ(config.rechargeHttp(), DefaultWebSite() + "/recharge.do");
}

TEST(Config, RingFileIsUsedOnlyWhenItExists) {
  TempFolder folder;
  WriteFile(folder / "sounds/mine.wav", "RIFF");
  WriteFile(folder / "c.ini", "[SIP]\ncallRing=" + folder.path() + "sounds\\mine.wav\n" +
                                  "fileRing=" + folder.path() + "sounds/missing.wav\n" +
                                  "callBye=" + folder.path() + "sounds\n");
  const Config config(folder / "c.ini");
  EXPECT_EQ(config.ringFile(RingKind::kCallRing, "/app/"), folder / "sounds/mine.wav");
  EXPECT_EQ(config.ringFile(RingKind::kFileRing, "/app/"), "/app/Wave/RingFile.wav");
  // A folder is not a sound file.
  EXPECT_EQ(config.ringFile(RingKind::kCallBye, "/app/"), "/app/Wave/Bye.wav");
}

TEST(Config, ReadsTheFileAtEveryCall) {
  TempFolder folder;
  const Config config(folder / "c.ini");
  WriteFile(folder / "c.ini", "[WEB]\ntipHttp=http://first\n");
  EXPECT_EQ(config.tipHttp(), "http://first");
  WriteFile(folder / "c.ini", "[WEB]\ntipHttp=http://second\n");
  EXPECT_EQ(config.tipHttp(), "http://second");
}

TEST(Config, ServiceLinkNameFollowsTheWorkingFolder) {
  TempFolder appFolder;
  TempFolder elsewhere;
  WriteFile(appFolder / "CorvelConfig.ini", "[UDP]\nRemote=10.0.0.1,4001\n");
  WriteFile(elsewhere / "CorvelConfig.ini", "[UDP]\nRemote=10.0.0.2,4002\n");
  WorkingFolderScope scope(elsewhere.path());
  EXPECT_EQ(Config(kServiceLinkConfigFile).udpRemote(), (HostPort{"10.0.0.2", 4002}));
  EXPECT_EQ(Config(appFolder / kConfigFileName).udpRemote(), (HostPort{"10.0.0.1", 4001}));
}

}  // namespace
}  // namespace corvel
