// The service link's UDP socket with its receive thread: datagrams are cut into packets and
// queued; the thread never waits for the consumer, it drops packets when the queue is full.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "media/toolkit/unique_fd.h"
#include "service/packet_queue.h"
#include "service/service_packet.h"

namespace corvel {

class ServiceSocket {
 public:
  static constexpr int kReceiveWaitMs = 50000;
  static constexpr int kSendWaitMs = 50000;
  static constexpr std::size_t kDatagramSize = 1024;

  // A socket for port with the link's options; nothing is bound yet.
  explicit ServiceSocket(std::uint16_t port);
  ~ServiceSocket();
  ServiceSocket(const ServiceSocket&) = delete;
  ServiceSocket& operator=(const ServiceSocket&) = delete;

  // Binds the port on all local addresses; false (socket closed) when the bind fails.
  bool Open();

  // Whether a datagram from this sender may be read as packets; asked on the receive thread
  // before the datagram reaches the packet stream, so a refused one cannot touch a packet that
  // is waiting for the rest of its bytes either.
  using SourceCheck = std::function<bool(Endpoint sender)>;

  // Starts the receive thread; false when it cannot be created. Without a check every sender
  // is taken.
  bool StartReceiving(SourceCheck accept = {});

  // Serialises packet into one datagram to destination, waiting at most 50 s for the socket
  // to take it. Returns the bytes sent, 0 when nothing went.
  int SendPacket(ServicePacket& packet, Endpoint destination);

  // Ends the receive thread's wait at once and closes the socket to receiving; the thread
  // itself is joined by the destructor.
  void Close();

  PacketQueue& receiveQueue() { return receiveQueue_; }
  Endpoint localAddress() const { return localAddress_; }
  int lastError() const { return lastError_.load(); }
  int loopsRunning() const { return loopsRunning_.load(); }

 private:
  // One datagram into buffer: its length, 0 when nothing arrived, -1 on a socket error.
  int Receive(std::uint8_t* buffer, std::size_t capacity, Endpoint& sender);
  void ReceiveLoop(const SourceCheck& accept);

  UniqueFd socket_;
  UniqueFd wake_;  // eventfd that ends the receive wait
  Endpoint localAddress_;
  std::atomic<int> lastError_{0};
  PacketQueue receiveQueue_;
  std::thread receiveThread_;
  std::atomic<bool> stopFlag_{false};
  std::atomic<int> loopsRunning_{0};
};

// This host's first IPv4 address, looked up once per process.
std::uint32_t FirstHostAddress();

}  // namespace corvel
