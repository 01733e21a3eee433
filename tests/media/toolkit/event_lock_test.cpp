#include "media/toolkit/event_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "stopwatch.h"

namespace corvel {
namespace {

TEST(EventLockTest, StartsUnlockedAndTryLockReportsState) {
  const auto lock = EventLock::Create();
  ASSERT_NE(lock, nullptr);
  EXPECT_TRUE(lock->try_lock());
  EXPECT_FALSE(lock->try_lock());
  lock->unlock();
  EXPECT_TRUE(lock->try_lock());
  lock->unlock();
}

TEST(EventLockTest, AnotherThreadMayUnlock) {
  EventLock lock;
  lock.lock();
  std::atomic<bool> released{false};
  const test::Stopwatch watch;  // before the thread, so its sleep lies inside the measurement
  std::thread unlocker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    released = true;
    lock.unlock();
  });
  lock.lock();  // waits for the other thread's unlock
  EXPECT_TRUE(released);
  EXPECT_GE(watch.elapsedMs(), 45);
  unlocker.join();
  lock.unlock();
}

TEST(EventLockTest, LockedWaiterStaysBlockedUntilUnlock) {
  EventLock lock;
  lock.lock();
  std::promise<void> acquired;
  auto acquiredFuture = acquired.get_future();
  std::thread waiter([&] {
    lock.lock();
    acquired.set_value();
    lock.unlock();
  });
  EXPECT_EQ(acquiredFuture.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  lock.unlock();
  EXPECT_EQ(acquiredFuture.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  waiter.join();
}

TEST(EventLockTest, GuardsASharedCounter) {
  EventLock lock;
  int counter = 0;  // guarded by lock
  constexpr int kPerThread = 20000;
  const auto work = [&] {
    for (int i = 0; i < kPerThread; ++i) {
      const std::lock_guard<EventLock> guard(lock);
      ++counter;
    }
  };
  std::thread a(work);
  std::thread b(work);
  a.join();
  b.join();
  const std::lock_guard<EventLock> guard(lock);
  EXPECT_EQ(counter, 2 * kPerThread);
}

}  // namespace
}  // namespace corvel
