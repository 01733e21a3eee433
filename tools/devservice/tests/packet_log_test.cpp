#include "packet_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "service/client_requests.h"
#include "service/server_messages.h"

namespace corvel::devservice {
namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(PacketLog, LoginLinesMaskThePassword) {
  ServicePacket login = LoginRequest("demo", "s3cr3t");
  login.seqId = 9;
  login.sender = 0x1001;
  const std::string line = DescribePacket(login);
  EXPECT_TRUE(line.starts_with("CMD_LOGIN(2) seq=9 sender=0x1001 receiver=0x0 status=0")) << line;
  EXPECT_TRUE(Has(line, "account=\"demo\"")) << line;
  EXPECT_TRUE(Has(line, "password=***")) << line;
  EXPECT_FALSE(Has(line, "s3cr3t")) << line;
}

TEST(PacketLog, DecodesBodyFieldsByCommand) {
  EXPECT_TRUE(Has(DescribePacket(CallStartRequest("demo", "13912345678")),
                  "account=\"demo\" number=\"13912345678\""));
  EXPECT_TRUE(Has(DescribePacket(CallbackRequest("demo", "139", CallbackKind::kConference, "C1")),
                  "kind=2 conferenceId=\"C1\""));
  EXPECT_TRUE(Has(DescribePacket(AreaQueryRequest("010123")),
                  "mode=1 number=\"010123\" areaCode=\"021\" areaName=\"上海市\""));
  EXPECT_TRUE(Has(DescribePacket(ConferenceMemberRequest(ConferenceOp::kMute, "139", "5")),
                  "form=short op=2 phone=\"139\" memberId=\"5\""));
  EXPECT_TRUE(Has(DescribePacket(ConferenceLeaveRequest("demo", "139", "5")),
                  "form=long account=\"demo\" phone=\"139\" flag=1 memberId=\"5\""));
  LoginAnswer answer{0x1002, 0, "1.00", "139", "8000", "abc"};
  const std::string login = DescribePacket(LoginAnswerPacket(answer));
  EXPECT_TRUE(Has(login, "RSP_LOGIN(4002)")) << login;
  EXPECT_TRUE(Has(login, "receiver=0x1002")) << login;
  EXPECT_TRUE(Has(login, "balance=\"1.00\" linkedPhone=\"139\" sipNumber=\"8000\"")) << login;
  EXPECT_TRUE(Has(DescribePacket(ServiceStopNotice(1)), "NTF_SERVICE_STOP(8008)"));
  ServicePacket unknown;
  unknown.cmdId = 7;
  unknown.SetBody("a\"b\x01", -1);
  EXPECT_TRUE(Has(DescribePacket(unknown), "UNKNOWN(7)"));
  EXPECT_TRUE(Has(DescribePacket(unknown), "body=\"a\\\"b\\x01\""));
}

std::string LogWith(bool quiet) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
  if (!file) return "no temporary file";
  {
    PacketLog log(file.get(), quiet);
    log.Packet("recv", Endpoint{0x7F000001, 6000}, KeepAliveRequest("demo", false));
    log.Note("a note");
    log.Info("an info line");
  }
  std::rewind(file.get());
  std::string text;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, file.get()) != nullptr)
    text += buffer;
  return text;
}

TEST(PacketLog, QuietKeepsOnlyInfoLines) {
  const std::string loud = LogWith(false);
  EXPECT_TRUE(Has(loud, "recv 127.0.0.1:6000 CMD_KEEPALIVE(1)")) << loud;
  EXPECT_TRUE(Has(loud, "a note"));
  EXPECT_TRUE(Has(loud, "an info line"));
  const std::string quiet = LogWith(true);
  EXPECT_FALSE(Has(quiet, "CMD_KEEPALIVE")) << quiet;
  EXPECT_FALSE(Has(quiet, "a note"));
  EXPECT_TRUE(Has(quiet, "an info line"));
}

}  // namespace
}  // namespace corvel::devservice
