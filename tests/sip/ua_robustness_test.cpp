// Hostile and broken datagrams: the core drops them, stays bounded under a flood, and keeps
// answering afterwards.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "sip/raw_peer.h"
#include "sip/ua/core.h"
#include "sip/ua/user_agent.h"
#include "sip/ua_peer.h"

namespace corvel {
namespace {

using testing::RawPeer;
using testing::StatusOf;
using testing::UaPeer;
using namespace corvel::ua;

constexpr const char* kOptions =
    "OPTIONS sip:2002@127.0.0.1 SIP/2.0\n"
    "Via: SIP/2.0/UDP 127.0.0.1:{me};branch=z9hG4bK{branch};rport\n"
    "From: <sip:probe@127.0.0.1>;tag=p\n"
    "To: <sip:2002@127.0.0.1>\n"
    "Call-ID: {branch}@127.0.0.1\n"
    "CSeq: 1 OPTIONS\n"
    "Content-Length: 0\n\n";

std::string InviteWithout(const std::string& header) {
  const std::vector<std::pair<std::string, std::string>> headers = {
      {"Via", "SIP/2.0/UDP 127.0.0.1:5999;branch=z9hG4bKbad"},
      {"From", "<sip:a@127.0.0.1>;tag=1"},
      {"To", "<sip:b@127.0.0.1>"},
      {"Call-ID", "bad@127.0.0.1"},
      {"CSeq", "1 INVITE"},
  };
  std::string text = "INVITE sip:b@127.0.0.1 SIP/2.0\r\n";
  for (const auto& [name, value] : headers) {
    if (name != header) text += name + ": " + value + "\r\n";
  }
  return text + "Content-Length: 0\r\n\r\n";
}

std::string Huge(std::size_t size) {
  std::string text =
      "INVITE sip:b@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1;branch=z9hG4bKh\r\n"
      "X-Big: ";
  text.append(size, 'a');
  return text +
         "\r\nCall-ID: h@h\r\nCSeq: 1 INVITE\r\nFrom: <sip:a@h>;tag=1\r\nTo: <sip:b@h>\r\n\r\n";
}

std::string ManyVias(int count) {
  std::string text = "OPTIONS sip:b@127.0.0.1 SIP/2.0\r\n";
  for (int i = 0; i < count; ++i) {
    text += "Via: SIP/2.0/UDP 10.0.0." + std::to_string(i % 250) + ";branch=z9hG4bK" +
            std::to_string(i) + "\r\n";
  }
  return text + "From: <sip:a@h>;tag=1\r\nTo: <sip:b@h>\r\nCall-ID: v@h\r\nCSeq: 1 OPTIONS\r\n\r\n";
}

struct HostileCase {
  const char* name;
  std::string bytes;
  bool isCall = false;  // well-formed after all: it becomes a call
};

std::vector<HostileCase> HostileCases() {
  std::string binary;
  std::mt19937 random(7);
  for (int i = 0; i < 1400; ++i)
    binary.push_back(static_cast<char>(random() & 0xff));
  const std::string valid = InviteWithout("");
  return {
      {"garbage", binary},
      {"garbage_after_method", "INVITE " + binary},
      {"truncated", valid.substr(0, valid.size() / 2)},
      {"only_request_line", "INVITE sip:b@127.0.0.1 SIP/2.0\r\n\r\n"},
      {"no_via", InviteWithout("Via")},
      {"no_from", InviteWithout("From")},
      {"no_to", InviteWithout("To")},
      {"no_call_id", InviteWithout("Call-ID")},
      {"no_cseq", InviteWithout("CSeq")},
      {"cseq_method_differs",
       "INVITE sip:b@h SIP/2.0\r\nVia: SIP/2.0/UDP h;branch=z9hG4bKm\r\nFrom: <sip:a@h>;tag=1\r\n"
       "To: <sip:b@h>\r\nCall-ID: m@h\r\nCSeq: 1 BYE\r\n\r\n"},
      {"bad_uri", "INVITE ::: SIP/2.0\r\nVia: SIP/2.0/UDP h;branch=z9hG4bKu\r\n\r\n"},
      {"bad_status", "SIP/2.0 99999 Nope\r\nVia: SIP/2.0/UDP h;branch=z9hG4bKs\r\n\r\n"},
      {"huge_header", Huge(60000), true},
      {"many_vias", ManyVias(1000)},
      {"content_length_too_big",
       "MESSAGE sip:b@h SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:9;branch=z9hG4bKc\r\n"
       "From: <sip:a@h>;tag=1\r\nTo: <sip:b@h>\r\nCall-ID: c@h\r\nCSeq: 1 MESSAGE\r\n"
       "Content-Length: 100000\r\n\r\nshort"},
      {"negative_content_length",
       "MESSAGE sip:b@h SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:9;branch=z9hG4bKn\r\n"
       "From: <sip:a@h>;tag=1\r\nTo: <sip:b@h>\r\nCall-ID: n@h\r\nCSeq: 1 MESSAGE\r\n"
       "Content-Length: -5\r\n\r\nabc"},
      {"stray_response",
       "SIP/2.0 200 OK\r\nVia: SIP/2.0/UDP 127.0.0.1;branch=z9hG4bKnothing\r\n"
       "From: <sip:a@h>;tag=1\r\nTo: <sip:b@h>;tag=2\r\nCall-ID: s@h\r\nCSeq: 1 INVITE\r\n\r\n"},
      {"stray_ack",
       "ACK sip:b@h SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1;branch=z9hG4bKack\r\n"
       "From: <sip:a@h>;tag=1\r\nTo: <sip:b@h>;tag=2\r\nCall-ID: a@h\r\nCSeq: 1 ACK\r\n\r\n"},
      {"nul_inside", std::string("OPTIONS sip:b@h SIP/2.0\r\nVia: SIP/2.0/UDP h\0\0\r\n\r\n", 44)},
      {"keepalive", "\r\n\r\n"},
  };
}

class UaHostileTest : public ::testing::TestWithParam<HostileCase> {
 protected:
  UaPeer core_{"2002"};
  RawPeer peer_;

  // The core still answers: an OPTIONS gets its 200.
  void ExpectAlive(const std::string& branch) {
    ASSERT_TRUE(peer_.Send(kOptions, core_.port(),
                           {{"me", std::to_string(peer_.port())}, {"branch", branch}}));
    std::optional<std::string> answer = peer_.ReceiveStarting("SIP/2.0 ", 3000);
    ASSERT_TRUE(answer) << "no answer after " << GetParam().name;
    EXPECT_EQ(StatusOf(*answer), 200);
  }
};

TEST_P(UaHostileTest, IsDroppedAndTheCoreGoesOn) {
  ASSERT_TRUE(core_.ok());
  ASSERT_TRUE(peer_.ok());
  ASSERT_TRUE(peer_.SendRaw(GetParam().bytes, core_.port()));
  ExpectAlive("after1");
  const std::size_t calls = GetParam().isCall ? 1 : 0;
  EXPECT_EQ(core_.ua().CallCount(), calls);
  // The same through the injection path, twice (a repeated datagram is a retransmission).
  for (int i = 0; i < 2; ++i) {
    core_.ua().InjectDatagram(GetParam().bytes.data(), GetParam().bytes.size(), "127.0.0.1",
                              peer_.port());
  }
  ExpectAlive("after2");
  EXPECT_EQ(core_.ua().CallCount(), calls);
}

INSTANTIATE_TEST_SUITE_P(Datagrams, UaHostileTest, ::testing::ValuesIn(HostileCases()),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(UaFloodTest, ManyNewInvitesStayBounded) {
  UaPeer core("2002");
  RawPeer peer;
  ASSERT_TRUE(core.ok());
  ASSERT_TRUE(peer.ok());
  const std::string me = std::to_string(peer.port());
  for (int i = 0; i < 3000; ++i) {
    const std::string id = std::to_string(i);
    peer.Send(
        "INVITE sip:2002@127.0.0.1 SIP/2.0\n"
        "Via: SIP/2.0/UDP 127.0.0.1:{me};branch=z9hG4bKf{id};rport\n"
        "From: <sip:f@127.0.0.1>;tag=f{id}\nTo: <sip:2002@127.0.0.1>\n"
        "Call-ID: flood{id}@127.0.0.1\nCSeq: 1 INVITE\n"
        "Contact: <sip:f@127.0.0.1:{me}>\nContent-Length: 0\n\n",
        core.port(), {{"me", me}, {"id", id}});
    if (i % 200 == 0) {
      std::string garbage(600, static_cast<char>(i & 0x7f));
      peer.SendRaw(garbage, core.port());
    }
  }
  // Let the core take in what the socket kept.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_LE(core.ua().CallCount(), kMaxCalls);
  EXPECT_LE(core.ua().TransactionCount(), kMaxTransactions);
  EXPECT_GT(core.ua().CallCount(), 0u);
  // Still answering, right after the flood (asked from another socket: the flooder's own
  // receive buffer overflows with the refusals).
  RawPeer probe;
  ASSERT_TRUE(probe.ok());
  ASSERT_TRUE(probe.Send(kOptions, core.port(),
                         {{"me", std::to_string(probe.port())}, {"branch", "afterflood"}}));
  std::optional<std::string> answer = probe.ReceiveStarting("SIP/2.0 ", 5000);
  ASSERT_TRUE(answer);
  EXPECT_EQ(StatusOf(*answer), 200);
}

// Requests that parse but break the protocol's rules get the answer that names the fault,
// rather than being taken as sound or lost without a word.
TEST(UaRequestFaultTest, EachFaultGetsItsAnswer) {
  struct Case {
    const char* name;
    const char* requestLine;
    const char* cseq;
    const char* contentLength;
    const char* body;
    int status;
  };
  const Case cases[] = {
      {"sound", "OPTIONS sip:2002@127.0.0.1 SIP/2.0", "1", "0", "", 200},
      {"longer body than said", "OPTIONS sip:2002@127.0.0.1 SIP/2.0", "2", "2", "abcdef", 200},
      {"version 7", "OPTIONS sip:2002@127.0.0.1 SIP/7.0", "3", "0", "", 505},
      {"unknown scheme", "OPTIONS nosuch:2002@127.0.0.1 SIP/2.0", "4", "0", "", 416},
      {"CSeq of 2**31", "OPTIONS sip:2002@127.0.0.1 SIP/2.0", "2147483648", "0", "", 400},
      {"CSeq not a number", "OPTIONS sip:2002@127.0.0.1 SIP/2.0", "1x", "0", "", 400},
      {"body shorter than said", "OPTIONS sip:2002@127.0.0.1 SIP/2.0", "5", "300", "abc", 400},
      {"negative length", "OPTIONS sip:2002@127.0.0.1 SIP/2.0", "6", "-5", "", 400},
  };
  UaPeer core("2002");
  RawPeer peer;
  ASSERT_TRUE(core.ok());
  ASSERT_TRUE(peer.ok());
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = std::string(c.requestLine) +
                             "\nVia: SIP/2.0/UDP 127.0.0.1:{me};branch=z9hG4bKf{round};rport\n"
                             "From: <sip:probe@127.0.0.1>;tag=p\nTo: <sip:2002@127.0.0.1>\n"
                             "Call-ID: fault{round}@127.0.0.1\nCSeq: " +
                             c.cseq + " OPTIONS\nContent-Length: " + c.contentLength + "\n\n" +
                             c.body;
    ASSERT_TRUE(
        peer.Send(text, core.port(),
                  {{"me", std::to_string(peer.port())}, {"round", std::to_string(++round)}}));
    std::optional<std::string> answer = peer.ReceiveStarting("SIP/2.0 ", 3000);
    ASSERT_TRUE(answer);
    EXPECT_EQ(StatusOf(*answer), c.status);
  }
}

}  // namespace
}  // namespace corvel
