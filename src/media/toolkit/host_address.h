// The machine's own IPv4 addresses, and dotted-quad text conversions. Addresses are uint32_t in
// host byte order throughout the program; only the socket calls see network order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

// Addresses of the interfaces that are up: non-loopback ones first in interface order, loopback
// ones last, each address once. Empty when the interfaces cannot be listed.
std::vector<uint32_t> HostIPv4Addresses();

// 0 when `address` (dotted text) is one of HostIPv4Addresses(); 1 after replacing it with the
// first of them when it is not (so an empty or malformed text is replaced too); -1, leaving it
// untouched, when there are no addresses to choose from.
int CheckLocalAddress(std::string& address);

// "a.b.c.d" for a host-order address.
std::string Ipv4ToText(uint32_t hostOrder);

// The host-order address of a strict dotted quad ("1.2.3.4"; no leading zeros, no spaces, no
// shorthand forms such as "127.1"), or none.
std::optional<uint32_t> Ipv4FromText(std::string_view text);

}  // namespace corvel
