// Sessions and plain UDP peers on 127.0.0.1, on ports the kernel picks.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "media/rtp/rtp_packet.h"
#include "media/rtp/rtp_session.h"
#include "media/toolkit/udp_socket.h"

namespace corvel::testing {

inline constexpr uint32_t kLoopback = 0x7F000001;

// With RTCP the port above the kernel's choice may be taken, so a few tries.
inline std::unique_ptr<RtpSession> LoopbackSession(bool withRtcp, uint32_t ssrc = 0) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    std::unique_ptr<RtpSession> session = RtpSession::Create(ssrc, "127.0.0.1", 0, false, withRtcp);
    if (session) return session;
  }
  return nullptr;
}

// A plain socket standing in for the far end.
class Peer {
 public:
  Peer() : socket_(UdpSocket::Open("127.0.0.1", 0, false)) {}

  bool ok() const { return socket_ != nullptr; }
  uint16_t port() const { return socket_->localPort(); }
  UdpSocket& socket() { return *socket_; }

  int Send(const std::vector<uint8_t>& bytes, uint16_t port) {
    return socket_->SendTo(bytes.data(), static_cast<int>(bytes.size()), kLoopback, port);
  }

  // The next datagram as an RTP packet; none on time-out or when it does not parse.
  std::optional<RtpPacket> Next(int timeoutMs = 2000) {
    std::optional<Datagram> datagram = socket_->Receive(timeoutMs);
    if (!datagram) return std::nullopt;
    lastLength_ = datagram->length;
    return RtpPacket::Parse(datagram->data.data(), datagram->length);
  }
  int lastLength() const { return lastLength_; }

 private:
  std::unique_ptr<UdpSocket> socket_;
  int lastLength_ = 0;
};

}  // namespace corvel::testing
