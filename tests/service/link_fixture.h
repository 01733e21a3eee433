// A network module running in a scratch application folder, talking to a UDP socket of the
// test that plays the account server.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/client_state.h"
#include "media/toolkit/udp_socket.h"
#include "service/network_module.h"
#include "service/packet_queue.h"
#include "support/temp_folder.h"

namespace corvel::testing {

// A local port that nothing holds right now (the kernel's pick).
inline std::uint16_t FreePort() {
  auto probe = UdpSocket::Open(nullptr, 0, true);
  return probe ? probe->localPort() : 0;
}

inline constexpr std::uint32_t kLoopback = 0x7F000001;

class LinkFixture : public ::testing::Test {
 protected:
  LinkFixture() : scope_(folder.path()) {
    std::filesystem::create_directory(folder / "log");
    server = UdpSocket::Open("127.0.0.1", 0, false);
  }

  // Writes the configuration and starts the module on it.
  bool StartModule(const std::string& local = "") {
    const std::string localValue =
        local.empty() ? "127.0.0.1," + std::to_string(FreePort()) : local;
    WriteFile(folder / "CorvelConfig.ini", "[UDP]\nLocal=" + localValue + "\nRemote=" + remoteHost +
                                               "," + std::to_string(server->localPort()) + "\n");
    module = std::make_unique<NetworkModule>(workerQueue);
    state.networkModule = module.get();
    return module->Init();
  }

  // The next packet the module sent to the server.
  std::optional<ServicePacket> ServerReceive(int timeoutMs = 2000) {
    const auto datagram = server->Receive(timeoutMs);
    if (!datagram) return std::nullopt;
    ServicePacket packet;
    if (packet.Parse(datagram->data.data(), static_cast<std::size_t>(datagram->length)) < 0) {
      return std::nullopt;
    }
    lastClient = datagram->senderPort;
    return packet;
  }

  // Sends raw bytes from the server to the module.
  void ServerSendBytes(const std::vector<std::uint8_t>& bytes) {
    server->SendTo(bytes.data(), static_cast<int>(bytes.size()), kLoopback,
                   static_cast<std::uint16_t>(module->localPort()));
  }

  void ServerSend(ServicePacket packet) {
    std::vector<std::uint8_t> bytes(1024);
    bytes.resize(packet.Serialize(bytes.data(), bytes.size()));
    ServerSendBytes(bytes);
  }

  std::string TraceText() const { return ReadFile(folder / "log/UdpNetwork.log"); }

  void TearDown() override {
    state.networkModule = nullptr;
    module.reset();
  }

  TempFolder folder;
  WorkingFolderScope scope_;
  ClientState state;
  PacketQueue workerQueue;
  std::unique_ptr<UdpSocket> server;
  std::unique_ptr<NetworkModule> module;
  std::uint16_t lastClient = 0;
  // The account server's address in the configuration; its port is always the server socket's.
  std::string remoteHost = "127.0.0.1";
};

// Waits until condition holds or timeoutMs passes.
template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs = 2000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace corvel::testing
