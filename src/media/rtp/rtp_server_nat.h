// NAT traversal of the RTP server: the probe texts, the reply format "[a.b.c.d:port]", the
// public address learned from it, and the intervals of the probe schedule.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvel {

inline constexpr std::string_view kGetNatProbe = "GetNAT";
inline constexpr std::string_view kDetectProbe = "Detect";

// The probe schedule of the send thread, in milliseconds.
struct NatTiming {
  uint32_t queryRetryMs = 3000;  // "GetNAT" pairs while the public address is unknown
  uint32_t keepAliveMs = 20000;  // one "GetNAT" after this long without a send
  uint32_t detectMs = 10000;     // "Detect" pairs after this long without a send in a call
  friend bool operator==(const NatTiming&, const NatTiming&) = default;
};

// The public address of the RTP port as the NAT server saw it.
struct NatAddress {
  std::string host;  // dotted IPv4; empty until a reply arrives
  uint16_t port = 0;
  bool known() const { return !host.empty() && port != 0; }
  friend bool operator==(const NatAddress&, const NatAddress&) = default;
};

// The address of a reply text: the host between the first "[" and the first ":" after it, the
// port the decimal digits after the ":". None without "[" or ":", and also when the host is not a
// dotted IPv4 address or the port is not 1 to 65535, since the host goes into the SDP offer as
// it stands.
std::optional<NatAddress> ParseNatReply(std::string_view text);

// An IPv4 address and UDP port (host order) read and replaced as one value by several threads.
struct Ipv4Endpoint {
  uint32_t address = 0;
  uint16_t port = 0;
  bool set() const { return address != 0 && port != 0; }
  friend bool operator==(const Ipv4Endpoint&, const Ipv4Endpoint&) = default;
};

class AtomicEndpoint {
 public:
  Ipv4Endpoint load() const {
    const uint64_t packed = packed_.load();
    return Ipv4Endpoint{static_cast<uint32_t>(packed >> 16), static_cast<uint16_t>(packed)};
  }
  void store(Ipv4Endpoint endpoint) {
    packed_.store(static_cast<uint64_t>(endpoint.address) << 16 | endpoint.port);
  }

 private:
  std::atomic<uint64_t> packed_{0};
};

}  // namespace corvel
