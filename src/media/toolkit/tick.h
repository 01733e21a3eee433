// A 32-bit millisecond tick from the monotonic clock. It wraps after about 49.7 days, as the
// tick counts carried in the service's packets and logs do, so compare ticks only through
// TickSince and TickReached.
#pragma once

#include <cstdint>

namespace corvel {

// Milliseconds of the monotonic clock, modulo 2^32.
uint32_t TickCount();

// Milliseconds from `then` to `now`, correct across one wrap-around.
constexpr uint32_t TickSince(uint32_t then, uint32_t now) {
  return now - then;
}

// True when `now` is at or past `deadline`, for deadlines less than 2^31 ms away.
constexpr bool TickReached(uint32_t now, uint32_t deadline) {
  return static_cast<int32_t>(now - deadline) >= 0;
}

}  // namespace corvel
