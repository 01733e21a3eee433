#include "media/toolkit/host_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <memory>
#include <new>

namespace corvel {
namespace {

struct IfaddrsDeleter {
  void operator()(ifaddrs* list) const { freeifaddrs(list); }
};

void AppendOnce(std::vector<uint32_t>& list, uint32_t address) {
  if (std::find(list.begin(), list.end(), address) == list.end()) list.push_back(address);
}

}  // namespace

std::vector<uint32_t> HostIPv4Addresses() {
  ifaddrs* raw = nullptr;
  if (getifaddrs(&raw) != 0) return {};
  const std::unique_ptr<ifaddrs, IfaddrsDeleter> interfaces(raw);
  try {
    std::vector<uint32_t> external;
    std::vector<uint32_t> loopback;
    for (const ifaddrs* entry = interfaces.get(); entry != nullptr; entry = entry->ifa_next) {
      if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
      if ((entry->ifa_flags & IFF_UP) == 0) continue;
      sockaddr_in in{};
      std::copy_n(reinterpret_cast<const unsigned char*>(entry->ifa_addr), sizeof in,
                  reinterpret_cast<unsigned char*>(&in));
      const uint32_t address = ntohl(in.sin_addr.s_addr);
      AppendOnce((entry->ifa_flags & IFF_LOOPBACK) != 0 ? loopback : external, address);
    }
    // The same address could sit on a loopback and another interface; keep its first place.
    for (const uint32_t address : loopback) {
      AppendOnce(external, address);
    }
    return external;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

int CheckLocalAddress(std::string& address) {
  const std::vector<uint32_t> addresses = HostIPv4Addresses();
  if (addresses.empty()) return -1;
  const std::optional<uint32_t> wanted = Ipv4FromText(address);
  if (wanted && std::find(addresses.begin(), addresses.end(), *wanted) != addresses.end()) {
    return 0;
  }
  std::string first = Ipv4ToText(addresses.front());
  if (first.empty()) return -1;
  address.swap(first);
  return 1;
}

std::string Ipv4ToText(uint32_t hostOrder) {
  in_addr in{};
  in.s_addr = htonl(hostOrder);
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &in, text, sizeof text) == nullptr) return {};
  return text;  // at most 15 characters: fits the small-string buffer, no allocation
}

std::optional<uint32_t> Ipv4FromText(std::string_view text) {
  // inet_pton needs a terminated string; a view may hold a NUL that would hide trailing bytes.
  char buffer[INET_ADDRSTRLEN] = {};
  if (text.empty() || text.size() >= sizeof buffer) return std::nullopt;
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  std::copy(text.begin(), text.end(), buffer);
  in_addr in{};
  if (inet_pton(AF_INET, buffer, &in) != 1) return std::nullopt;
  return ntohl(in.s_addr);
}

}  // namespace corvel
