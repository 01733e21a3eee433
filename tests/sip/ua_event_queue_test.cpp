// Waiting for the core's events: an idle waiter can sleep long and still be called back at once.
#include "sip/ua/event_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace corvel::ua {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(UaEventQueue, WakeEndsALongWaitWithoutAnEvent) {
  EventQueue queue;
  const Clock::time_point start = Clock::now();
  std::jthread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    queue.Wake();
  });
  EXPECT_EQ(queue.Wait(60000), nullptr);
  EXPECT_LT(SecondsSince(start), 30.0) << "woken, not timed out";
  EXPECT_GE(SecondsSince(start), 0.09);
}

TEST(UaEventQueue, AWakeBeforeTheWaitEndsOnlyTheNextOne) {
  EventQueue queue;
  queue.Wake();
  EXPECT_EQ(queue.Wait(60000), nullptr);  // at once
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(queue.Wait(150), nullptr);
  EXPECT_GE(SecondsSince(start), 0.14) << "the wake was used up";

  // An event that is there is still handed out after a wake.
  ASSERT_TRUE(queue.Push(std::make_unique<Event>()));
  queue.Wake();
  EXPECT_NE(queue.Wait(60000), nullptr);
  EXPECT_EQ(queue.size(), 0u);
}

}  // namespace
}  // namespace corvel::ua
