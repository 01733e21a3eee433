// DTMF digits as RFC 2833 telephone-events: five packets per key, the first three marking the
// start of the event, the last two its end, the very last one a repeat of the one before.
#pragma once

#include <array>
#include <cstdint>

namespace corvel {

struct TelephoneEventPacket {
  std::array<uint8_t, 4> payload{};  // event, end bit and volume, duration (network order)
  bool marker = false;
  uint32_t timestampStep = 0;  // how far the session's timestamp moves after the packet
  bool repeat = false;         // carries the sequence number of the packet before it
};

inline constexpr int kTelephoneEventVolume = 10;
inline constexpr int kHighestDtmfEvent = 15;  // 0-9, * (10), # (11), A-D (12-15)

// The five packets of one key press.
std::array<TelephoneEventPacket, 5> TelephoneEventPackets(uint8_t event);

}  // namespace corvel
