#include "media/toolkit/periodic_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "stopwatch.h"

namespace corvel {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(PeriodicTimerTest, StartRejectsBadArguments) {
  EXPECT_EQ(PeriodicTimer::Start(0, [] {}), nullptr);
  EXPECT_EQ(PeriodicTimer::Start(-5, [] {}), nullptr);
  EXPECT_EQ(PeriodicTimer::Start(10, nullptr), nullptr);
}

TEST(PeriodicTimerTest, FiresAtItsPeriod) {
  std::atomic<int> ticks{0};
  auto timer = PeriodicTimer::Start(20, [&] { ++ticks; });
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->periodMs(), 20);
  std::this_thread::sleep_for(milliseconds(220));
  timer->Stop();
  EXPECT_GE(ticks, 5);
  EXPECT_LE(ticks, 15);
}

TEST(PeriodicTimerTest, NoCallbackRunsOrWillRunAfterStop) {
  std::atomic<int> ticks{0};
  std::atomic<bool> inCallback{false};
  auto timer = PeriodicTimer::Start(5, [&] {
    inCallback = true;
    std::this_thread::sleep_for(milliseconds(15));  // Stop very likely lands in here
    ++ticks;
    inCallback = false;
  });
  ASSERT_NE(timer, nullptr);
  ASSERT_TRUE(test::WaitFor([&] { return ticks >= 2; }, 5000));
  timer->Stop();
  EXPECT_FALSE(inCallback);
  const int atStop = ticks;
  std::this_thread::sleep_for(milliseconds(60));
  EXPECT_EQ(ticks, atStop);
  timer.reset();  // destroying a stopped timer is fine too
}

TEST(PeriodicTimerTest, DestructionStopsAndReleasesTheCallback) {
  auto ticks = std::make_shared<std::atomic<int>>(0);
  {
    const auto timer = PeriodicTimer::Start(5, [ticks] { ++*ticks; });
    ASSERT_NE(timer, nullptr);
    ASSERT_TRUE(test::WaitFor([&] { return *ticks >= 1; }, 5000));
  }
  const int atEnd = *ticks;
  EXPECT_EQ(ticks.use_count(), 1);
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_EQ(*ticks, atEnd);
}

TEST(PeriodicTimerTest, StopFromInsideTheCallback) {
  constexpr int kStopAt = 3;
  std::atomic<PeriodicTimer*> self{nullptr};
  std::atomic<int> ticks{0};
  std::promise<void> stopped;
  auto timer = PeriodicTimer::Start(10, [&] {
    if (++ticks != kStopAt) return;
    while (self == nullptr)
      std::this_thread::yield();
    self.load()->Stop();  // must return without waiting for this very callback
    stopped.set_value();
  });
  ASSERT_NE(timer, nullptr);
  self = timer.get();
  ASSERT_EQ(stopped.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
  std::this_thread::sleep_for(milliseconds(60));
  EXPECT_EQ(ticks, kStopAt);
  timer.reset();  // waits for the detached thread to finish with the callback
}

TEST(PeriodicTimerTest, OverrunSkipsMissedTicksInsteadOfBursting) {
  constexpr auto kPeriod = milliseconds(20);
  std::mutex mutex;  // guards starts and longCallEnd
  std::vector<Clock::time_point> starts;
  Clock::time_point longCallEnd;
  auto timer = PeriodicTimer::Start(20, [&] {
    const auto now = Clock::now();
    bool first = false;
    {
      const std::lock_guard<std::mutex> guard(mutex);
      starts.push_back(now);
      first = starts.size() == 1;
    }
    if (!first) return;
    std::this_thread::sleep_for(kPeriod * 7 / 2);  // misses three ticks
    const std::lock_guard<std::mutex> guard(mutex);
    longCallEnd = Clock::now();
  });
  ASSERT_NE(timer, nullptr);
  std::this_thread::sleep_for(milliseconds(250));
  timer->Stop();

  const std::lock_guard<std::mutex> guard(mutex);
  ASSERT_GE(starts.size(), 2u);
  // Each tick after the long call waits for a grid point later than the call's end, so a window
  // of 1.5 periods from there holds at most two starts; catching up would crowd in three more.
  const auto windowEnd = longCallEnd + kPeriod * 3 / 2;
  int inWindow = 0;
  for (const auto& start : starts) {
    if (start >= longCallEnd && start <= windowEnd) ++inWindow;
  }
  EXPECT_LE(inWindow, 2);
}

}  // namespace
}  // namespace corvel
