#include "media/toolkit/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

#include "media/toolkit/blocking_queue.h"
#include "stopwatch.h"

namespace corvel {
namespace {

using std::chrono::milliseconds;

// A loop that does what a well-behaved worker does: checks its flag between short waits.
WorkerThread::Loop PollingLoop(std::shared_ptr<std::atomic<int>> rounds) {
  return [rounds](const std::atomic<bool>& running) {
    while (running) {
      ++*rounds;
      std::this_thread::sleep_for(milliseconds(2));
    }
  };
}

TEST(WorkerThreadTest, CreateRejectsEmptyLoop) {
  EXPECT_EQ(WorkerThread::Create(nullptr), nullptr);
}

TEST(WorkerThreadTest, LoopRunsUntilStopThenThreadEnds) {
  auto rounds = std::make_shared<std::atomic<int>>(0);
  const auto worker = WorkerThread::Create(PollingLoop(rounds));
  ASSERT_NE(worker, nullptr);
  EXPECT_TRUE(test::WaitFor([&] { return *rounds >= 3; }, 5000));
  EXPECT_TRUE(worker->running());
  EXPECT_FALSE(worker->ended());

  const test::Stopwatch watch;
  EXPECT_TRUE(worker->Stop());
  EXPECT_LT(watch.elapsedMs(), 450);  // the loop noticed: no abandonment wait
  EXPECT_FALSE(worker->running());
  EXPECT_TRUE(worker->ended());
  const int after = *rounds;
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_EQ(*rounds, after);
  EXPECT_EQ(rounds.use_count(), 1);  // the thread released the loop and its captures
  EXPECT_TRUE(worker->Stop());       // stopping again is harmless
}

TEST(WorkerThreadTest, DestructionStopsTheLoop) {
  auto rounds = std::make_shared<std::atomic<int>>(0);
  auto sawStop = std::make_shared<std::atomic<bool>>(false);
  {
    const auto worker = WorkerThread::Create([rounds, sawStop](const std::atomic<bool>& running) {
      while (running) {
        ++*rounds;
        std::this_thread::sleep_for(milliseconds(2));
      }
      *sawStop = true;
    });
    ASSERT_NE(worker, nullptr);
    EXPECT_TRUE(test::WaitFor([&] { return *rounds >= 1; }, 5000));
  }
  EXPECT_TRUE(*sawStop);  // the destructor waited for the loop to return
  EXPECT_EQ(rounds.use_count(), 1);
}

TEST(WorkerThreadTest, SuspendedThreadStartsOnResume) {
  auto rounds = std::make_shared<std::atomic<int>>(0);
  const auto worker = WorkerThread::Create(PollingLoop(rounds), true);
  ASSERT_NE(worker, nullptr);
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(*rounds, 0);
  EXPECT_TRUE(worker->running());
  worker->Resume();
  EXPECT_TRUE(test::WaitFor([&] { return *rounds >= 1; }, 5000));
  EXPECT_TRUE(worker->Stop());
}

TEST(WorkerThreadTest, StopWithoutResumeNeverCallsTheLoop) {
  auto called = std::make_shared<std::atomic<bool>>(false);
  const auto worker =
      WorkerThread::Create([called](const std::atomic<bool>&) { *called = true; }, true);
  ASSERT_NE(worker, nullptr);
  const test::Stopwatch watch;
  EXPECT_TRUE(worker->Stop());
  EXPECT_LT(watch.elapsedMs(), 450);
  EXPECT_TRUE(worker->ended());
  EXPECT_FALSE(*called);
  EXPECT_EQ(called.use_count(), 1);
}

TEST(WorkerThreadTest, LoopThatIgnoresStopIsAbandonedAndKeepsItsCaptures) {
  using Queue = BlockingQueue<int>;
  std::shared_ptr<Queue> queue = Queue::Create(1);
  ASSERT_NE(queue, nullptr);
  int first = 1;
  ASSERT_EQ(queue->Put(std::move(first), 0), 0);
  auto putResult = std::make_shared<std::atomic<int>>(100);
  auto entered = std::make_shared<std::promise<void>>();
  auto worker = WorkerThread::Create([queue, putResult, entered](const std::atomic<bool>&) {
    entered->set_value();
    int second = 2;
    *putResult = queue->Put(std::move(second), -1);  // blocks: the queue is full
  });
  ASSERT_NE(worker, nullptr);
  ASSERT_EQ(entered->get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const std::weak_ptr<Queue> watchQueue = queue;
  queue.reset();  // from now on only the abandoned thread keeps the queue alive

  const test::Stopwatch watch;
  EXPECT_FALSE(worker->Stop());
  const int64_t elapsed = watch.elapsedMs();
  EXPECT_GE(elapsed, 400);
  EXPECT_LE(elapsed, 1500);
  EXPECT_FALSE(worker->ended());

  // The queue is alive and usable though the thread was abandoned.
  const std::shared_ptr<Queue> stillThere = watchQueue.lock();
  ASSERT_NE(stillThere, nullptr);
  EXPECT_EQ(stillThere->count(), 1);
  EXPECT_EQ(*putResult, 100);  // still blocked
  // Closing it lets the abandoned thread finish; wait for that so nothing outlives the test.
  stillThere->Close();
  EXPECT_TRUE(test::WaitFor([&] { return worker->ended(); }, 5000));
  EXPECT_EQ(*putResult, -1);
  worker.reset();
  EXPECT_EQ(putResult.use_count(), 1);  // the thread let go of the loop's captures
}

TEST(WorkerThreadTest, StopFromInsideTheLoopDoesNotDeadlock) {
  auto self = std::make_shared<std::atomic<WorkerThread*>>(nullptr);
  auto stopReturned = std::make_shared<std::promise<bool>>();
  auto worker = WorkerThread::Create(
      [self, stopReturned](const std::atomic<bool>& running) {
        while (*self == nullptr)
          std::this_thread::sleep_for(milliseconds(1));
        const bool result = self->load()->Stop();
        stopReturned->set_value(!result && !running);
      },
      true);
  ASSERT_NE(worker, nullptr);
  *self = worker.get();
  worker->Resume();
  auto future = stopReturned->get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_TRUE(future.get());  // false returned and the flag cleared
  EXPECT_TRUE(test::WaitFor([&] { return worker->ended(); }, 5000));
  const test::Stopwatch watch;
  EXPECT_TRUE(worker->Stop());  // ended already: at once
  EXPECT_LT(watch.elapsedMs(), 450);
}

}  // namespace
}  // namespace corvel
