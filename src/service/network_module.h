// The client's end of the service link: one UDP socket to the account server, a receive
// thread that cuts datagrams into packets, and a dispatch thread that logs each packet and
// hands the ones the business worker knows into the worker queue. Sending is a direct call
// from any thread. Only datagrams from the configured account server (address and port) are
// read; the rest are counted and dropped, with a rate-limited trace line.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "media/toolkit/log_throttle.h"
#include "service/packet_queue.h"
#include "service/service_packet.h"

namespace corvel {

class ServiceSocket;
class TraceLog;

class NetworkModule {
 public:
  static constexpr int kPortAttempts = 10;

  // Reads [UDP] of configFile (relative to the working folder, as the client passes it) and
  // opens ./log/UdpNetwork.log. The worker queue outlives the module.
  NetworkModule(PacketQueue& workerQueue, std::string configFile = "./CorvelConfig.ini");
  virtual ~NetworkModule();
  NetworkModule(const NetworkModule&) = delete;
  NetworkModule& operator=(const NetworkModule&) = delete;

  // Binds the socket (up to ten ports upwards) and starts both threads; true when running.
  bool Init();

  // Sends one packet, stamped with the client identifier and the local address; to the
  // packet's remoteAddress, or to the account server when that is unset. A packet that cannot
  // be sent is lost.
  void Send(ServicePacket packet);

  // Called on the dispatch thread, under the module lock, for every received packet.
  virtual void OnPacket(const ServicePacket& packet);

  // The identifier the account server gave at the last login answer; 0 before.
  std::uint32_t clientId() const { return clientId_.load(); }
  void setClientId(std::uint32_t id) { clientId_ = id; }

  // Tick of the last keep-alive; 0 makes the worker send the next one at once.
  std::uint32_t lastKeepAlive() const { return lastKeepAlive_.load(); }
  void setLastKeepAlive(std::uint32_t tick) { lastKeepAlive_ = tick; }
  // True once after each ResetKeepAlive: a reset that lands while a keep-alive is being sent
  // still asks for the next one at once.
  bool TakeKeepAliveReset() { return keepAliveReset_.exchange(false); }
  // Asks for a keep-alive at once (after a call start or end report).
  void ResetKeepAlive();

  Endpoint localAddress() const;
  Endpoint remoteAddress() const { return remoteAddress_; }
  const std::string& localIp() const { return localIp_; }
  int localPort() const { return localPort_; }
  std::uint32_t receivedCount() const { return receivedCount_.load(); }
  // Datagrams dropped because they did not come from the account server.
  std::uint64_t foreignDatagrams() const { return foreignDatagrams_.load(); }
  const std::shared_ptr<TraceLog>& traceLog() const { return traceLog_; }

 private:
  void ChooseLocalIp();
  void DispatchLoop();
  // On the receive thread, for every datagram: true when it came from the account server.
  bool FromAccountServer(Endpoint sender);

  PacketQueue& workerQueue_;
  const std::string configFile_;
  std::shared_ptr<TraceLog> traceLog_;
  std::string localIp_;
  int localPort_ = 0;
  std::string remoteIp_;
  int remotePort_ = 0;
  Endpoint remoteAddress_;
  std::atomic<std::uint32_t> localAddressIp_{0};
  std::atomic<std::uint16_t> localAddressPort_{0};
  std::unique_ptr<ServiceSocket> socket_;  // m_SockRecv
  std::thread dispatchThread_;             // m_RecvThread
  std::mutex handlerMutex_;                // held around every OnPacket
  std::atomic<bool> stopFlag_{false};
  std::atomic<int> dispatchRunning_{0};
  std::atomic<std::uint32_t> receivedCount_{0};
  std::atomic<std::uint32_t> clientId_{0};
  std::atomic<std::uint32_t> lastKeepAlive_{0};
  std::atomic<bool> keepAliveReset_{false};
  std::atomic<std::uint64_t> foreignDatagrams_{0};
  LogThrottle foreignLog_;  // one line per foreign source every few seconds at most
};

}  // namespace corvel
