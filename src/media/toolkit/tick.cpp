#include "media/toolkit/tick.h"

#include <time.h>

namespace corvel {

uint32_t TickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);  // cannot fail for this clock on Linux
  const uint64_t ms =
      static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1'000'000u;
  return static_cast<uint32_t>(ms);
}

}  // namespace corvel
