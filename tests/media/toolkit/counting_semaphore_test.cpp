#include "media/toolkit/counting_semaphore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "stopwatch.h"

namespace corvel {
namespace {

TEST(CountingSemaphoreTest, CreateClampsInitialAndRejectsBadMaximum) {
  struct CreateCase {
    int initial;
    int maximum;
    int available;  // -1: creation fails
  };
  const CreateCase cases[] = {{5, 3, 3}, {-1, 3, 0}, {2, 3, 2},  {3, 3, 3},
                              {0, 1, 0}, {0, 0, -1}, {1, -2, -1}};
  for (const CreateCase& c : cases) {
    const auto semaphore = CountingSemaphore::Create(c.initial, c.maximum);
    if (c.available < 0) {
      EXPECT_EQ(semaphore, nullptr) << c.initial << "/" << c.maximum;
      continue;
    }
    ASSERT_NE(semaphore, nullptr) << c.initial << "/" << c.maximum;
    EXPECT_EQ(semaphore->available(), c.available);
    EXPECT_EQ(semaphore->maximum(), c.maximum);
    EXPECT_EQ(semaphore->taken(), 0);
  }
}

TEST(CountingSemaphoreTest, WaitTakesAndReleaseGivesBack) {
  const auto semaphore = CountingSemaphore::Create(2, 2);
  ASSERT_NE(semaphore, nullptr);
  EXPECT_EQ(semaphore->Wait(0), 0);
  EXPECT_EQ(semaphore->Wait(-1), 0);
  EXPECT_EQ(semaphore->available(), 0);
  EXPECT_EQ(semaphore->taken(), 2);
  EXPECT_EQ(semaphore->Wait(0), 1);
  EXPECT_EQ(semaphore->taken(), 2);
  EXPECT_EQ(semaphore->Release(), 0);
  EXPECT_EQ(semaphore->available(), 1);
  EXPECT_EQ(semaphore->taken(), 1);
}

TEST(CountingSemaphoreTest, ReleaseBeyondMaximumIsRefused) {
  const auto semaphore = CountingSemaphore::Create(1, 2);
  ASSERT_NE(semaphore, nullptr);
  EXPECT_EQ(semaphore->Release(), 0);
  EXPECT_EQ(semaphore->Release(), -3);
  EXPECT_EQ(semaphore->available(), 2);
  EXPECT_EQ(semaphore->taken(), -1);
}

TEST(CountingSemaphoreTest, WaitTimesOut) {
  const auto semaphore = CountingSemaphore::Create(0, 1);
  ASSERT_NE(semaphore, nullptr);
  const test::Stopwatch watch;
  EXPECT_EQ(semaphore->Wait(200), 1);
  const int64_t elapsed = watch.elapsedMs();
  EXPECT_GE(elapsed, 180);
  EXPECT_LE(elapsed, 1500);
  EXPECT_EQ(semaphore->taken(), 0);
}

TEST(CountingSemaphoreTest, ReleaseWakesWaiterOnAnotherThread) {
  const auto semaphore = CountingSemaphore::Create(0, 4);
  ASSERT_NE(semaphore, nullptr);
  std::promise<int> result;
  std::thread waiter([&] { result.set_value(semaphore->Wait(-1)); });
  auto future = result.get_future();
  EXPECT_EQ(future.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  EXPECT_EQ(semaphore->Release(), 0);
  ASSERT_EQ(future.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(future.get(), 0);
  waiter.join();
  EXPECT_EQ(semaphore->available(), 0);
  EXPECT_EQ(semaphore->taken(), 0);
}

TEST(CountingSemaphoreTest, UnitsAreNeverOverTaken) {
  constexpr int kMaximum = 3;
  constexpr int kRounds = 2000;
  const auto semaphore = CountingSemaphore::Create(kMaximum, kMaximum);
  ASSERT_NE(semaphore, nullptr);
  std::atomic<int> holders{0};
  std::atomic<int> mostHolders{0};
  const auto work = [&] {
    for (int i = 0; i < kRounds; ++i) {
      ASSERT_EQ(semaphore->Wait(-1), 0);
      const int now = ++holders;
      int seen = mostHolders;
      while (now > seen && !mostHolders.compare_exchange_weak(seen, now)) {
      }
      --holders;
      ASSERT_EQ(semaphore->Release(), 0);
    }
  };
  std::thread threads[] = {std::thread(work), std::thread(work), std::thread(work),
                           std::thread(work), std::thread(work)};
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_LE(mostHolders, kMaximum);
  EXPECT_EQ(semaphore->available(), kMaximum);
  EXPECT_EQ(semaphore->taken(), 0);
}

}  // namespace
}  // namespace corvel
