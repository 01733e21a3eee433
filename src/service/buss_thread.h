// The business worker: the one thread that acts on what the account server says. It takes the
// packets the network module forwards, updates the account state, drives the windows and the
// SIP endpoint through WorkerPeers, and sends the keep-alive that keeps the login alive.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "app/client_state.h"
#include "service/packet_queue.h"
#include "service/service_packet.h"
#include "service/worker_peers.h"

namespace corvel {

class NetworkModule;

struct AreaAnswer;

class BussThread {
 public:
  static constexpr std::uint32_t kKeepAliveIntervalMs = 30000;

  struct Timing {
    std::uint32_t keepAliveIntervalMs = kKeepAliveIntervalMs;
    // How long the worker rests while nobody is logged in; it is woken early by packets,
    // keep-alive resets and the stop request.
    int idleWaitMs = 1000;
  };

  // The thread is created suspended: it starts with Resume. The network module is reached
  // through state.networkModule, which must outlive the running thread.
  BussThread(ClientState& state, PacketQueue& workerQueue, WorkerPeers& peers, Timing timing);
  BussThread(ClientState& state, PacketQueue& workerQueue, WorkerPeers& peers)
      : BussThread(state, workerQueue, peers, Timing{}) {}
  ~BussThread();
  BussThread(const BussThread&) = delete;
  BussThread& operator=(const BussThread&) = delete;

  bool Resume();
  // Clears the running flag; the loop ends within moments and sets stopped as its last act.
  void RequestStop();
  bool running() const { return running_.load(); }
  bool stopped() const { return stopped_.load(); }

  // One packet's effects, as the loop applies them (public for the tests of each handler).
  void Handle(const ServicePacket& packet);

 private:
  void Loop();
  NetworkModule* module() const { return state_.networkModule.load(); }
  // Sends a keep-alive when one is due; returns how long until the next one may be.
  int KeepAlive();

  void OnAccountState(const ServicePacket& packet);
  void OnLoginAnswer(const ServicePacket& packet);
  void OnCallStartAnswer(const ServicePacket& packet);
  void OnCallbackAnswer(const ServicePacket& packet);
  void OnAreaAnswer(const ServicePacket& packet);
  void OnCallbackId(const ServicePacket& packet);
  void OnConferenceMember(const ServicePacket& packet);
  void OnServiceStop(const ServicePacket& packet);
  void HangUpAll();
  bool CallbackInProgress() const;

  ClientState& state_;
  PacketQueue& workerQueue_;
  WorkerPeers& peers_;
  const Timing timing_;
  std::atomic<bool> running_{true};
  std::atomic<bool> stopped_{true};
  std::thread thread_;
};

// The number an area answer dials: without its leading zeros inside the own area (status 1),
// with one "0" in front elsewhere.
std::string AreaDialNumber(const std::string& number, std::uint32_t status);
// The area answer's status: 1 when the number is in the own area ("021" or "上海市").
std::uint32_t AreaStatus(const AreaAnswer& answer);

}  // namespace corvel
