// Runs the real corvel-devservice binary on ephemeral ports and talks to it over UDP on
// 127.0.0.1, as the client and the tests that drive it do.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "media/toolkit/udp_socket.h"
#include "service/client_requests.h"
#include "support/child_process.h"
#include "support/temp_folder.h"

#ifndef CORVEL_DEVSERVICE_EXE
#error "CORVEL_DEVSERVICE_EXE must name the service binary"
#endif

namespace corvel::devservice {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;
constexpr int kStartMs = 10'000;  // generous: sanitizer builds start slowly
constexpr int kAnswerMs = 2000;

struct Ports {
  std::uint16_t account = 0;
  std::uint16_t nat = 0;
  std::uint16_t control = 0;
};

std::optional<Ports> ParsePortsLine(const std::string& line) {
  unsigned account = 0, nat = 0, control = 0;
  char tail = 0;
  const int n = std::sscanf(line.c_str(),
                            "devservice account=127.0.0.1:%u nat=127.0.0.1:%u "
                            "control=127.0.0.1:%u%c",
                            &account, &nat, &control, &tail);
  if (n != 3 || account == 0 || nat == 0 || control == 0) return std::nullopt;
  return Ports{static_cast<std::uint16_t>(account), static_cast<std::uint16_t>(nat),
               static_cast<std::uint16_t>(control)};
}

std::uint32_t Word(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes.at(at)) << 24 | bytes.at(at + 1) << 16 |
         bytes.at(at + 2) << 8 | bytes.at(at + 3);
}

std::string Text(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t n) {
  return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                     bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
}

std::string Padded(std::string text, std::size_t width) {
  text.resize(width, ' ');
  return text;
}

std::vector<std::uint8_t> Bytes(ServicePacket packet) {
  std::vector<std::uint8_t> bytes(1100);
  bytes.resize(packet.Serialize(bytes.data(), bytes.size()));
  return bytes;
}

// The payload of the next datagram from `port` on 127.0.0.1; other datagrams are skipped.
std::optional<std::vector<std::uint8_t>> ReceiveFrom(UdpSocket& socket, std::uint16_t port) {
  const Deadline deadline = Deadline::AfterMs(kAnswerMs);
  for (int left = deadline.remainingMs(); left > 0; left = deadline.remainingMs()) {
    const std::optional<Datagram> datagram = socket.Receive(left);
    if (!datagram || datagram->senderAddress != kLoopback || datagram->senderPort != port) continue;
    return std::vector<std::uint8_t>(datagram->data.begin(),
                                     datagram->data.begin() + datagram->length);
  }
  return std::nullopt;
}

// Context switches of every thread of the process so far.
long ContextSwitches(pid_t pid) {
  long total = 0;
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& task : std::filesystem::directory_iterator(tasks)) {
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);) {
      if (line.find("ctxt_switches:") != std::string::npos) {
        total += std::stol(line.substr(line.find(':') + 1));
      }
    }
  }
  return total;
}

class DevServiceProcess : public ::testing::Test {
 protected:
  // Starts the service on ephemeral ports; extra arguments follow.
  void StartService(std::vector<std::string> extra) {
    std::vector<std::string> args = {
        CORVEL_DEVSERVICE_EXE, "--account-port", "0", "--nat-port", "0", "--control-port", "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    service = corvel::testing::ChildProcess::Start(args, folder / "service.log");
    ASSERT_NE(service, nullptr);
    line = service->ReadLine(kStartMs).value_or("");
    const std::optional<Ports> parsed = ParsePortsLine(line);
    ASSERT_TRUE(parsed.has_value()) << "ports line: '" << line << "'";
    ports = *parsed;
  }

  // Runs the binary as a control client; returns its exit status and prints into answer.
  int Control(const std::vector<std::string>& command, std::string& answer) {
    std::vector<std::string> args = {CORVEL_DEVSERVICE_EXE, "control",
                                     "127.0.0.1:" + std::to_string(ports.control)};
    args.insert(args.end(), command.begin(), command.end());
    auto client = corvel::testing::ChildProcess::Start(args, folder / "control.log");
    if (!client) return -1;
    answer = client->ReadAll(kStartMs);
    const std::optional<int> status = client->Wait(kStartMs);
    if (!status || !WIFEXITED(*status)) return -1;
    return WEXITSTATUS(*status);
  }

  // SIGTERM, then a clean exit 0 within two seconds.
  void ExpectCleanStop(int signal = SIGTERM) {
    ASSERT_TRUE(service->Signal(signal));
    const std::optional<int> status = service->Wait(2000);
    ASSERT_TRUE(status.has_value()) << "still running 2 s after the signal";
    EXPECT_TRUE(WIFEXITED(*status)) << "wait status " << *status;
    EXPECT_EQ(WEXITSTATUS(*status), 0);
  }

  void TearDown() override {
    if (HasFailure())
      std::fprintf(stderr, "service log:\n%s\n", ReadFile(folder / "service.log").c_str());
    service.reset();
  }

  static std::string ReadFile(const std::string& path) { return corvel::testing::ReadFile(path); }

  corvel::testing::TempFolder folder;
  std::unique_ptr<corvel::testing::ChildProcess> service;
  std::string line;
  Ports ports;
};

TEST_F(DevServiceProcess, LoginNatProbeControlPushAndCleanStop) {
  const std::string codeTable = "qwertyuiopASDFGHJKL0123456789";
  corvel::testing::WriteFile(
      folder / "accounts.txt",
      "# test account\ntester secret 42.50 13700001111 80009999 ok " + codeTable + "\n");
  ASSERT_NO_FATAL_FAILURE(StartService({"--accounts", folder / "accounts.txt", "--ports-file",
                                        folder / "ports.txt", "--callback-id-delay-ms", "0"}));
  EXPECT_EQ(ReadFile(folder / "ports.txt"), line + "\n");

  // Login, checked byte by byte.
  auto client = UdpSocket::Open("127.0.0.1", 0, false);
  ASSERT_NE(client, nullptr);
  ServicePacket login = LoginRequest("tester", "secret");
  login.seqId = 7;
  const std::vector<std::uint8_t> request = Bytes(login);
  ASSERT_GT(
      client->SendTo(request.data(), static_cast<int>(request.size()), kLoopback, ports.account),
      0);
  const auto answer = ReceiveFrom(*client, ports.account);
  ASSERT_TRUE(answer.has_value()) << "no RSP_LOGIN";
  ASSERT_EQ(answer->size(), 24u + 142u + 12u);
  EXPECT_EQ((*answer)[0], 0xFF);
  EXPECT_EQ((*answer)[1], 0xEE);
  EXPECT_EQ(Word(*answer, 0) & 0xFFFF, answer->size());
  EXPECT_EQ(Word(*answer, 4), 4002u);
  EXPECT_EQ(Word(*answer, 8), 7u);
  const std::uint32_t clientId = Word(*answer, 16);
  EXPECT_NE(clientId, 0u);
  EXPECT_EQ(Word(*answer, 20), 0u);
  EXPECT_EQ(Text(*answer, 24, 12), Padded("42.50", 12));
  EXPECT_EQ(Text(*answer, 36, 15), Padded("13700001111", 15));
  EXPECT_EQ(Text(*answer, 51, 15), Padded("80009999", 15));
  EXPECT_EQ(Text(*answer, 66, 100), Padded(codeTable, 100));
  EXPECT_EQ(Text(*answer, 166, 12), std::string(12, '\0'));

  // A NAT probe from another socket, answered with that socket's address and port.
  auto rtp = UdpSocket::Open("127.0.0.1", 0, false);
  ASSERT_NE(rtp, nullptr);
  const std::vector<std::uint8_t> probe = {0x80, 0x80 | 120, 0,    1,   0,   0,   0,   160, 0xAB,
                                           0xCD, 0xEF,       0x01, 'G', 'e', 't', 'N', 'A', 'T'};
  ASSERT_GT(rtp->SendTo(probe.data(), static_cast<int>(probe.size()), kLoopback, ports.nat), 0);
  const auto reply = ReceiveFrom(*rtp, ports.nat);
  ASSERT_TRUE(reply.has_value()) << "no NAT reply";
  ASSERT_GT(reply->size(), 12u);
  EXPECT_EQ((*reply)[0] & 0xC0, 0x80);
  EXPECT_EQ((*reply)[1] & 0x7F, 120);
  EXPECT_EQ(Text(*reply, 12, reply->size() - 12),
            "[127.0.0.1:" + std::to_string(rtp->localPort()) + "]");

  // The control client pushes a stop notice to where the login came from.
  std::string said;
  EXPECT_EQ(Control({"stop", "tester", "1"}, said), 0) << said;
  EXPECT_TRUE(said.starts_with("ok")) << said;
  const auto stop = ReceiveFrom(*client, ports.account);
  ASSERT_TRUE(stop.has_value()) << "no NTF_SERVICE_STOP";
  EXPECT_EQ(Word(*stop, 4), 8008u);
  EXPECT_EQ(Word(*stop, 20), 1u);

  EXPECT_EQ(Control({"sessions"}, said), 0);
  EXPECT_NE(said.find("tester=127.0.0.1:" + std::to_string(client->localPort())), std::string::npos)
      << said;
  EXPECT_EQ(Control({"stop", "nobody", "1"}, said), 1);
  EXPECT_TRUE(said.starts_with("error")) << said;

  ASSERT_NO_FATAL_FAILURE(ExpectCleanStop());
  const std::string log = ReadFile(folder / "service.log");
  EXPECT_NE(log.find("recv 127.0.0.1:" + std::to_string(client->localPort()) + " CMD_LOGIN(2)"),
            std::string::npos);
  EXPECT_EQ(log.find("secret"), std::string::npos) << "password in the log";
}

TEST_F(DevServiceProcess, FindsTheShippedAccountsNextToItselfAndStopsOnSigint) {
  ASSERT_NO_FATAL_FAILURE(StartService({"--quiet"}));
  auto client = UdpSocket::Open("127.0.0.1", 0, false);
  ASSERT_NE(client, nullptr);
  // Two packets in one datagram: both must be answered.
  std::vector<std::uint8_t> request = Bytes(LoginRequest("demo", "demo123"));
  const std::vector<std::uint8_t> second = Bytes(AreaQueryRequest("01012345678"));
  request.insert(request.end(), second.begin(), second.end());
  client->SendTo(request.data(), static_cast<int>(request.size()), kLoopback, ports.account);
  const auto login = ReceiveFrom(*client, ports.account);
  ASSERT_TRUE(login.has_value());
  EXPECT_EQ(Word(*login, 4), 4002u);
  EXPECT_EQ(Word(*login, 20), 0u);
  EXPECT_EQ(Text(*login, 51, 15), Padded("80001001", 15));
  const auto area = ReceiveFrom(*client, ports.account);
  ASSERT_TRUE(area.has_value());
  EXPECT_EQ(Word(*area, 4), 4009u);
  EXPECT_EQ(Text(*area, 24 + 33, 3), "010");
  ASSERT_NO_FATAL_FAILURE(ExpectCleanStop(SIGINT));
  // --quiet leaves the packets out of the log.
  EXPECT_EQ(ReadFile(folder / "service.log").find("CMD_LOGIN"), std::string::npos);
}

TEST_F(DevServiceProcess, IdleServiceSleeps) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "ThreadSanitizer's own background thread wakes the process every 100 ms";
#endif
  ASSERT_NO_FATAL_FAILURE(StartService({"--accounts", "accounts.txt"}));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let start-up settle
  const long before = ContextSwitches(service->pid());
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const long after = ContextSwitches(service->pid());
  EXPECT_LT(after - before, 10) << "threads woke up while nothing arrived";
  ASSERT_NO_FATAL_FAILURE(ExpectCleanStop());
}

TEST_F(DevServiceProcess, RefusesToStartOnABadAccountsFile) {
  corvel::testing::WriteFile(folder / "accounts.txt", "tester secret lots - - ok -\n");
  auto child = corvel::testing::ChildProcess::Start(
      {CORVEL_DEVSERVICE_EXE, "--account-port", "0", "--nat-port", "0", "--control-port", "0",
       "--accounts", folder / "accounts.txt"},
      folder / "service.log");
  ASSERT_NE(child, nullptr);
  const std::optional<int> status = child->Wait(kStartMs);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(WEXITSTATUS(*status), 1);
  EXPECT_NE(ReadFile(folder / "service.log").find("line 1: balance 'lots'"), std::string::npos);
}

TEST_F(DevServiceProcess, ControlClientGivesUpAfterTwoSeconds) {
  // A socket that never answers stands in for a service that is not running.
  auto silent = UdpSocket::Open("127.0.0.1", 0, false);
  ASSERT_NE(silent, nullptr);
  ports.control = silent->localPort();
  std::string said;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Control({"sessions"}, said), 2);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(1900));
  EXPECT_LT(took, std::chrono::milliseconds(kStartMs));
  const auto received = silent->Receive(100);
  ASSERT_TRUE(received.has_value());
  EXPECT_EQ(std::string(received->chars()), "sessions");
}

}  // namespace
}  // namespace corvel::devservice
