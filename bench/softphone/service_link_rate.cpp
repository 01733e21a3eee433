// The service link's sustained datagram rate: a sender on loopback plays the account server at
// rising rates, each for two seconds, while a consumer drains the link's queue as the business
// worker does; the result is the highest rate at which every packet arrived. The link rests 2 ms
// after every datagram, so that a flood costs the client little: a bit under 500 a second.
//   corvel_service_link_rate [SECONDS_PER_STEP]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "service/service_socket.h"

namespace {

using Clock = std::chrono::steady_clock;

// Sends `count` datagrams evenly over `seconds`, in bursts of a millisecond's worth.
void SendAtRate(int sender, const sockaddr_in& to, const std::vector<std::uint8_t>& datagram,
                int rate, double seconds) {
  const Clock::time_point start = Clock::now();
  const long total = static_cast<long>(rate * seconds);
  long sent = 0;
  while (sent < total) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const long due = std::min(total, static_cast<long>(elapsed * rate) + 1);
    for (; sent < due; ++sent) {
      ::sendto(sender, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to);
    }
    std::this_thread::sleep_until(
        start + std::chrono::microseconds(static_cast<long>(1e6 * (sent + 1) / rate)));
  }
}

// A port nothing is bound to now.
std::uint16_t FreePort() {
  const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(probe);
  return ntohs(address.sin_port);
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
  corvel::ServiceSocket link(FreePort());
  if (!link.Open() || !link.StartReceiving()) {
    std::fprintf(stderr, "service link: cannot open\n");
    return 1;
  }
  const int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(link.localAddress().port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

  corvel::ServicePacket packet;
  packet.Clear();
  packet.cmdId = 8001;  // a notice of the size the server sends
  packet.SetBody("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef", 64);
  std::vector<std::uint8_t> datagram(corvel::ServiceSocket::kDatagramSize);
  datagram.resize(packet.Serialize(datagram.data(), datagram.size()));

  std::atomic<long> received{0};
  std::atomic<bool> done{false};
  std::thread consumer([&] {
    while (!done) {
      if (link.receiveQueue().Pop(100)) ++received;
    }
  });

  int best = 0;
  for (int rate : {100, 200, 300, 400, 450, 500, 1000, 2000, 5000, 10000}) {
    const long before = received;
    SendAtRate(sender, to, datagram, rate, seconds);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the queue drains
    const long got = received - before;
    const long sent = static_cast<long>(rate * seconds);
    std::printf("rate %d/s: %ld of %ld arrived\n", rate, got, sent);
    if (got < sent) break;
    best = rate;
  }
  std::printf("sustained without loss: %d datagrams/s\n", best);
  done = true;
  consumer.join();
  link.Close();
  ::close(sender);
  return 0;
}
