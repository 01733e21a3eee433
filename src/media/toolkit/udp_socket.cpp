#include "media/toolkit/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <new>

#include "media/toolkit/deadline.h"
#include "media/toolkit/host_address.h"

namespace corvel {
namespace {

constexpr int kDefaultReceiveMs = 3000;

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(address);
  in.sin_port = htons(port);
  return in;
}

enum class Readiness { kReadable, kWoken, kTimedOut, kFailed };

Readiness WaitReadable(int socket, int wake, int timeoutMs) {
  const Deadline deadline = Deadline::AfterMs(timeoutMs);
  for (;;) {
    pollfd fds[2] = {{socket, POLLIN, 0}, {wake, POLLIN, 0}};
    const int ready = poll(fds, 2, deadline.remainingMs());
    if (ready < 0) {
      if (errno == EINTR) continue;
      return Readiness::kFailed;
    }
    if (ready == 0) {
      // poll() may return a little early against the steady clock; only the deadline decides.
      if (deadline.remainingMs() == 0) return Readiness::kTimedOut;
      continue;
    }
    if (fds[1].revents != 0) return Readiness::kWoken;
    if ((fds[0].revents & (POLLIN | POLLERR)) != 0) return Readiness::kReadable;
    if ((fds[0].revents & (POLLNVAL | POLLHUP)) != 0) return Readiness::kFailed;
  }
}

}  // namespace

UdpSocket::UdpSocket(UniqueFd socket, UniqueFd wake, std::string hostText, uint16_t port)
    : socket_(std::move(socket)),
      wake_(std::move(wake)),
      hostText_(std::move(hostText)),
      port_(port) {}

std::unique_ptr<UdpSocket> UdpSocket::Open(const char* hostText, uint16_t port, bool anyAddress) {
  try {
    uint32_t bindAddress = INADDR_ANY;
    if (hostText != nullptr && !anyAddress) {
      const std::optional<uint32_t> parsed = Ipv4FromText(hostText);
      if (!parsed) return nullptr;
      bindAddress = *parsed;
    }
    UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket) return nullptr;
    const sockaddr_in local = MakeAddress(bindAddress, port);
    if (bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
      return nullptr;
    }
    UniqueFd wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake) return nullptr;
    return std::unique_ptr<UdpSocket>(new UdpSocket(std::move(socket), std::move(wake),
                                                    hostText != nullptr ? hostText : "", port));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

uint16_t UdpSocket::localPort() const {
  sockaddr_in local{};
  socklen_t size = sizeof local;
  if (getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&local), &size) != 0) return 0;
  return ntohs(local.sin_port);
}

int UdpSocket::SendTo(const void* data, int length, uint32_t address, uint16_t port) {
  if (data == nullptr || length <= 0 || address == 0 || port == 0) return 0;
  const sockaddr_in to = MakeAddress(address, port);
  const ssize_t sent = sendto(socket_.get(), data, static_cast<size_t>(length), 0,
                              reinterpret_cast<const sockaddr*>(&to), sizeof to);
  return sent > 0 ? static_cast<int>(sent) : 0;
}

std::optional<Datagram> UdpSocket::Receive(int timeoutMs) {
  if (timeoutMs <= 0) timeoutMs = kDefaultReceiveMs;
  if (WaitReadable(socket_.get(), wake_.get(), timeoutMs) != Readiness::kReadable) {
    return std::nullopt;
  }
  int pending = 0;
  if (ioctl(socket_.get(), FIONREAD, &pending) != 0 || pending < 0) return std::nullopt;
  try {
    Datagram datagram;
    datagram.data.assign(static_cast<size_t>(pending) + 2, 0);
    sockaddr_in from{};
    socklen_t fromSize = sizeof from;
    // Non-blocking: another thread may have taken the datagram since the poll.
    const ssize_t received =
        recvfrom(socket_.get(), datagram.data.data(), static_cast<size_t>(pending), MSG_DONTWAIT,
                 reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (received <= 0) return std::nullopt;
    datagram.length = static_cast<int32_t>(received);
    datagram.senderAddress = ntohl(from.sin_addr.s_addr);
    datagram.senderPort = ntohs(from.sin_port);
    datagram.senderText = Ipv4ToText(datagram.senderAddress);
    return datagram;
  } catch (const std::bad_alloc&) {
    // The datagram stays queued; it cannot be held now, so drop it rather than spin on it.
    char discard = 0;
    recv(socket_.get(), &discard, sizeof discard, MSG_DONTWAIT);
    return std::nullopt;
  }
}

void UdpSocket::Wake() {
  const uint64_t one = 1;
  // Only fails when the counter would overflow, which would still leave it readable.
  [[maybe_unused]] const ssize_t written = write(wake_.get(), &one, sizeof one);
}

}  // namespace corvel
