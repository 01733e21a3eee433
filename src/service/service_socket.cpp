#include "service/service_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <system_error>

#include "media/toolkit/host_address.h"
#include "service/packet_assembler.h"

namespace corvel {
namespace {

constexpr int kReceiveBufferBytes = 20480;
constexpr int kSendBufferBytes = 10240;
// The receive thread rests this long after each datagram and each empty wait, which bounds the
// rate at which a flood can make it work.
constexpr auto kReceiveRest = std::chrono::milliseconds(2);

sockaddr_in SocketAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in socketAddress{};
  socketAddress.sin_family = AF_INET;
  socketAddress.sin_addr.s_addr = htonl(address);
  socketAddress.sin_port = htons(port);
  return socketAddress;
}

}  // namespace

std::uint32_t FirstHostAddress() {
  static const std::uint32_t first = [] {
    const std::vector<std::uint32_t> addresses = HostIPv4Addresses();
    return addresses.empty() ? INADDR_LOOPBACK : addresses.front();
  }();
  return first;
}

ServiceSocket::ServiceSocket(std::uint16_t port)
    : socket_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)),
      wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      localAddress_{FirstHostAddress(), port} {
  if (!socket_) {
    lastError_ = errno;
    return;
  }
  const int fd = socket_.get();
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBufferBytes, sizeof kReceiveBufferBytes);
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSendBufferBytes, sizeof kSendBufferBytes);
  // No receive low-water mark: on Linux it would hide datagrams shorter than the mark.
  const int off = 0;
  const int on = 1;
  if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &off, sizeof off) != 0) lastError_ = errno;
  if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) lastError_ = errno;
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

ServiceSocket::~ServiceSocket() {
  Close();
  if (receiveThread_.joinable()) receiveThread_.join();
}

bool ServiceSocket::Open() {
  if (!socket_ || !wake_) return false;
  const sockaddr_in address = SocketAddress(INADDR_ANY, localAddress_.port);
  if (bind(socket_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    lastError_ = errno;
    socket_.reset();
    return false;
  }
  return true;
}

bool ServiceSocket::StartReceiving(SourceCheck accept) {
  if (!socket_ || receiveThread_.joinable()) return false;
  try {
    receiveThread_ = std::thread([this, accept = std::move(accept)] { ReceiveLoop(accept); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void ServiceSocket::Close() {
  stopFlag_ = true;
  if (wake_) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
  }
}

int ServiceSocket::Receive(std::uint8_t* buffer, std::size_t capacity, Endpoint& sender) {
  if (!socket_) return 0;
  pollfd fds[2] = {{socket_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
  const int ready = ::poll(fds, 2, kReceiveWaitMs);
  if (ready <= 0 || (fds[0].revents & POLLIN) == 0) return 0;
  sockaddr_in from{};
  iovec part{buffer, capacity};
  msghdr message{};
  message.msg_name = &from;
  message.msg_namelen = sizeof from;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  const ssize_t n = ::recvmsg(socket_.get(), &message, 0);
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    lastError_ = errno;
    return -1;
  }
  // A datagram larger than a packet can be is an error, as it is on the Windows client.
  if (message.msg_flags & MSG_TRUNC) {
    lastError_ = EMSGSIZE;
    return -1;
  }
  sender = Endpoint{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
  return static_cast<int>(n);
}

void ServiceSocket::ReceiveLoop(const SourceCheck& accept) {
  PacketAssembler assembler(localAddress_,
                            [this](const ServicePacket& packet) { receiveQueue_.Push(packet); });
  ++loopsRunning_;
  std::uint8_t buffer[kDatagramSize];
  while (true) {
    Endpoint sender;
    const int n = Receive(buffer, sizeof buffer, sender);
    if (n > 0 && (!accept || accept(sender))) {
      assembler.HandleDatagram(buffer, static_cast<std::size_t>(n), sender);
    }
    if (stopFlag_) break;
    std::this_thread::sleep_for(kReceiveRest);
  }
  --loopsRunning_;
}

int ServiceSocket::SendPacket(ServicePacket& packet, Endpoint destination) {
  if (!socket_ || stopFlag_) return 0;
  std::uint8_t buffer[kDatagramSize];
  const std::size_t length = packet.Serialize(buffer, sizeof buffer);
  if (length == 0) return 0;
  pollfd writable{socket_.get(), POLLOUT, 0};
  if (::poll(&writable, 1, kSendWaitMs) <= 0) return 0;
  const sockaddr_in to = SocketAddress(destination.address, destination.port);
  const ssize_t sent = ::sendto(socket_.get(), buffer, length, MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&to), sizeof to);
  if (sent < 0) {
    lastError_ = errno;
    return 0;
  }
  return static_cast<int>(sent);
}

}  // namespace corvel
