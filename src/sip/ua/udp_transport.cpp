#include "sip/ua/udp_transport.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace corvel::ua {

std::optional<uint32_t> ResolveIpv4(const std::string& host) {
  if (host.empty()) return std::nullopt;
  in_addr parsed{};
  if (inet_pton(AF_INET, host.c_str(), &parsed) == 1) return parsed.s_addr;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  const uint32_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return address;
}

UdpTransport::UdpTransport(UniqueFd socket, UniqueFd wake, std::string host, int port)
    : socket_(std::move(socket)),
      wake_(std::move(wake)),
      boundHost_(std::move(host)),
      boundPort_(port) {}

std::unique_ptr<UdpTransport> UdpTransport::Open(const std::string& host, int port) {
  if (port < 0 || port > 65535) return nullptr;
  in_addr address{};
  address.s_addr = htonl(INADDR_ANY);
  if (!host.empty() && inet_pton(AF_INET, host.c_str(), &address) != 1) return nullptr;
  UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!socket) return nullptr;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr = address;
  local.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    return nullptr;
  }
  socklen_t size = sizeof local;
  if (getsockname(socket.get(), reinterpret_cast<sockaddr*>(&local), &size) != 0) return nullptr;
  UniqueFd wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake) return nullptr;
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
  return std::unique_ptr<UdpTransport>(
      new UdpTransport(std::move(socket), std::move(wake), text, ntohs(local.sin_port)));
}

bool UdpTransport::Wait(int timeoutMs) {
  pollfd fds[2] = {{socket_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
  const int ready = poll(fds, 2, timeoutMs < 0 ? 0 : timeoutMs);
  if (ready <= 0) return false;
  if (fds[1].revents != 0) {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t drained = read(wake_.get(), &count, sizeof count);
  }
  return (fds[0].revents & POLLIN) != 0;
}

void UdpTransport::Wake() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(wake_.get(), &one, sizeof one);
}

std::optional<ReceivedDatagram> UdpTransport::Receive() {
  if (buffer_.size() < kMaxDatagram) buffer_.assign(kMaxDatagram, 0);
  sockaddr_in from{};
  socklen_t fromSize = sizeof from;
  ssize_t received = 0;
  for (;;) {
    received = recvfrom(socket_.get(), buffer_.data(), kMaxDatagram, MSG_DONTWAIT,
                        reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (received < 0 && errno == EINTR) continue;
    // ICMP errors surface as failed reads on Linux; they carry no datagram.
    if (received < 0) return std::nullopt;
    break;
  }
  ReceivedDatagram datagram;
  datagram.length = static_cast<std::size_t>(received);
  datagram.bytes.assign(buffer_.begin(), buffer_.begin() + received);
  datagram.bytes.push_back('\0');
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
  datagram.sourceHost = text;
  datagram.sourcePort = ntohs(from.sin_port);
  return datagram;
}

int UdpTransport::SendTo(const std::string& bytes, const std::string& host, int port) {
  if (bytes.empty() || port <= 0 || port > 65535) return -1;
  if (loopbackOnly_) {
    in_addr dotted{};
    if (inet_pton(AF_INET, host.c_str(), &dotted) != 1 || (ntohl(dotted.s_addr) >> 24) != 127) {
      return -1;
    }
  }
  const std::optional<uint32_t> address = ResolveIpv4(host);
  if (!address) return -1;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = *address;
  to.sin_port = htons(static_cast<uint16_t>(port));
  for (;;) {
    const ssize_t sent = sendto(socket_.get(), bytes.data(), bytes.size(), MSG_DONTWAIT,
                                reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent < 0 && errno == EINTR) continue;
    return sent < 0 ? -1 : static_cast<int>(sent);
  }
}

}  // namespace corvel::ua
