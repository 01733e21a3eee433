// The running service: the account server, NAT helper and control sockets, one receiving thread
// each, all blocked in their waits while nothing arrives.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "account_book.h"
#include "account_server.h"
#include "control_channel.h"
#include "delayed_sender.h"
#include "media/toolkit/udp_socket.h"
#include "nat_helper.h"
#include "options.h"
#include "packet_log.h"

namespace corvel::devservice {

class DevService {
 public:
  // Binds the three sockets and starts the threads; null with error set when a bind fails.
  static std::unique_ptr<DevService> Start(const Options& options, AccountBook book, PacketLog& log,
                                           std::string& error);
  ~DevService();  // Stop()
  DevService(const DevService&) = delete;
  DevService& operator=(const DevService&) = delete;

  // Wakes the threads and joins them; idempotent.
  void Stop();

  // "devservice account=H:P nat=H:Q control=H:R" with the ports as bound.
  std::string PortsLine() const;

 private:
  DevService(const Options& options, AccountBook book, PacketLog& log);

  void AccountLoop();
  void NatLoop();
  void ControlLoop();
  // From the account server's socket, so the client sees every packet come from its server.
  void Send(const Outgoing& out);

  const std::string host_;
  PacketLog& log_;
  std::atomic<bool> stopping_{false};
  std::unique_ptr<UdpSocket> accountSocket_;
  std::unique_ptr<UdpSocket> natSocket_;
  std::unique_ptr<UdpSocket> controlSocket_;
  AccountServer server_;
  NatHelper nat_;
  ControlChannel control_;
  DelayedSender delayed_;
  std::vector<std::thread> threads_;
};

}  // namespace corvel::devservice
