// One address that a session's packets are sent to.
#pragma once

#include <cstdint>

namespace corvel {

struct RtpDestination {
  uint32_t ssrc = 0;     // the peer's synchronisation source; 0 while not yet known
  uint32_t address = 0;  // IPv4, host order
  uint16_t port = 0;     // host order

  bool operator==(const RtpDestination&) const = default;
};

}  // namespace corvel
