// An IPv4 UDP socket bound at creation, with waits that can be cut short for shutdown.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "media/toolkit/datagram.h"
#include "media/toolkit/unique_fd.h"

namespace corvel {

class UdpSocket {
 public:
  // Binds to `port` (0: an ephemeral one) on the wildcard address when hostText is null or
  // anyAddress is set, otherwise on hostText, which must be a dotted IPv4 address of this
  // machine. nullptr when the text is not such an address or the bind fails.
  static std::unique_ptr<UdpSocket> Open(const char* hostText, uint16_t port, bool anyAddress);

  ~UdpSocket() = default;  // closes the socket
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Bytes sent, or 0 when nothing was sent: null data, length <= 0, address or port 0, or the
  // send failed. Address and port in host order.
  int SendTo(const void* data, int length, uint32_t address, uint16_t port);

  // The next datagram, waiting at most timeoutMs (0 or less: 3000 ms). None on time-out, after
  // Wake(), on a zero-length datagram or a receive failure. Meant for one receiving thread; any
  // thread may send meanwhile.
  std::optional<Datagram> Receive(int timeoutMs);

  // Makes a Receive that is waiting return none at once, and every later one too: call it before
  // stopping the thread that receives and closing the socket. Safe from any thread.
  void Wake();

  const std::string& hostText() const { return hostText_; }  // as given; empty when null
  uint16_t port() const { return port_; }                    // as asked for
  uint16_t localPort() const;                                // as bound; 0 if unknown

 private:
  UdpSocket(UniqueFd socket, UniqueFd wake, std::string hostText, uint16_t port);

  // Both descriptors are fixed for the socket's life; the kernel serialises their use.
  const UniqueFd socket_;
  const UniqueFd wake_;  // eventfd; readable once Wake() ran, and never read, hence sticky
  const std::string hostText_;
  const uint16_t port_;
};

}  // namespace corvel
