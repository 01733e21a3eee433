// The core's one UDP socket: bound to the listening address, read without blocking after a wait
// that a wake-up (new work from another thread) or a stop cuts short.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/toolkit/unique_fd.h"

namespace corvel::ua {

struct ReceivedDatagram {
  std::vector<char> bytes;  // the payload followed by one zero byte
  std::size_t length = 0;
  std::string sourceHost;  // dotted
  int sourcePort = 0;
};

class UdpTransport {
 public:
  // The largest datagram read; a longer one is cut and then rejected by the parser.
  static constexpr std::size_t kMaxDatagram = 65535;

  // Binds host ("0.0.0.0" or empty: every address) and port (0: an ephemeral one). Null when
  // the address is not a dotted IPv4 address of this machine or the bind fails.
  static std::unique_ptr<UdpTransport> Open(const std::string& host, int port);

  UdpTransport(const UdpTransport&) = delete;
  UdpTransport& operator=(const UdpTransport&) = delete;

  // Waits up to timeoutMs for a datagram or a wake-up; true when a datagram may be waiting.
  bool Wait(int timeoutMs);
  // Makes the current or next Wait return at once. Any thread.
  void Wake();

  // The next queued datagram without waiting; none when there is none. One thread at a time
  // (the core calls it under its lock).
  std::optional<ReceivedDatagram> Receive();

  // Bytes sent to host (dotted, or a name resolved to IPv4) and port; negative on failure.
  int SendTo(const std::string& bytes, const std::string& host, int port);

  // Only dotted 127.x.x.x destinations; names are not looked up. For the fuzz driver and
  // tests, whose input must never make the core send elsewhere. Set before any send.
  void RestrictToLoopback(bool restrict) { loopbackOnly_ = restrict; }

  const std::string& boundHost() const { return boundHost_; }
  int boundPort() const { return boundPort_; }

 private:
  UdpTransport(UniqueFd socket, UniqueFd wake, std::string host, int port);

  // Fixed for the transport's life; the kernel serialises their use.
  const UniqueFd socket_;
  const UniqueFd wake_;  // eventfd, drained by Wait
  const std::string boundHost_;
  const int boundPort_;
  std::vector<char> buffer_;  // read buffer; used only by Receive, which is never concurrent
  std::atomic<bool> loopbackOnly_{false};
};

// The IPv4 address of host in network order: a dotted quad, or a name looked up once.
std::optional<uint32_t> ResolveIpv4(const std::string& host);

}  // namespace corvel::ua
