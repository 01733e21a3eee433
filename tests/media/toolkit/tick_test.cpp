#include "media/toolkit/tick.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>

namespace corvel {
namespace {

TEST(TickTest, CountAdvancesWithTime) {
  const uint32_t start = TickCount();
  uint32_t previous = start;
  for (int i = 0; i < 1000; ++i) {
    const uint32_t now = TickCount();
    EXPECT_LT(TickSince(previous, now), 1000u) << "went backwards or jumped";
    previous = now;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  const uint32_t elapsed = TickSince(start, TickCount());
  EXPECT_GE(elapsed, 55u);
  EXPECT_LE(elapsed, 2000u);
}

TEST(TickTest, SinceAndReachedWrapAround) {
  struct TickCase {
    uint32_t then;
    uint32_t now;
    uint32_t since;
  };
  const TickCase cases[] = {
      {0xFFFFFF00u, 0x100u, 0x200u},  {0xFFFFFFFFu, 0u, 1u}, {10u, 20u, 10u}, {5u, 5u, 0u},
      {0u, 0xFFFFFFFFu, 0xFFFFFFFFu},
  };
  for (const TickCase& c : cases) {
    EXPECT_EQ(TickSince(c.then, c.now), c.since) << std::hex << c.then << " -> " << c.now;
  }
  struct ReachedCase {
    uint32_t now;
    uint32_t deadline;
    bool reached;
  };
  const ReachedCase reached[] = {
      {100u, 100u, true},         {101u, 100u, true},          {99u, 100u, false},
      {0x10u, 0xFFFFFFF0u, true}, {0xFFFFFFF0u, 0x10u, false},
  };
  for (const ReachedCase& c : reached) {
    EXPECT_EQ(TickReached(c.now, c.deadline), c.reached)
        << std::hex << c.now << " vs " << c.deadline;
  }
}

}  // namespace
}  // namespace corvel
