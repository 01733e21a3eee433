#include "media/toolkit/blocking_queue.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "stopwatch.h"

namespace corvel {
namespace {

using Packet = std::unique_ptr<int>;

std::vector<int> Drain(BlockingQueue<Packet>& queue) {
  std::vector<int> out;
  while (auto packet = queue.Get(0))
    out.push_back(**packet);
  return out;
}

std::unique_ptr<BlockingQueue<Packet>> FullQueue(int capacity) {
  auto queue = BlockingQueue<Packet>::Create(capacity);
  for (int i = 0; i < capacity; ++i) {
    if (queue->Put(std::make_unique<int>(i), 0) != 0) return nullptr;
  }
  return queue;
}

TEST(BlockingQueueTest, CreateRejectsCapacityBelowOne) {
  EXPECT_EQ(BlockingQueue<int>::Create(0), nullptr);
  EXPECT_EQ(BlockingQueue<int>::Create(-3), nullptr);
  const auto queue = BlockingQueue<int>::Create(1);
  ASSERT_NE(queue, nullptr);
  EXPECT_EQ(queue->capacity(), 1);
  EXPECT_EQ(queue->count(), 0);
  EXPECT_FALSE(queue->closed());
}

TEST(BlockingQueueTest, PutOnFullQueueTimesOutAndLeavesEverythingAsItWas) {
  const auto queue = FullQueue(3);
  ASSERT_NE(queue, nullptr);
  auto extra = std::make_unique<int>(99);
  const test::Stopwatch watch;
  EXPECT_EQ(queue->Put(std::move(extra), 500), 1);
  const int64_t elapsed = watch.elapsedMs();
  EXPECT_GE(elapsed, 450);
  EXPECT_LE(elapsed, 1500);
  ASSERT_NE(extra, nullptr);  // not moved from: still the caller's
  EXPECT_EQ(*extra, 99);
  EXPECT_EQ(queue->count(), 3);
  EXPECT_EQ(Drain(*queue), (std::vector<int>{0, 1, 2}));
}

TEST(BlockingQueueTest, PutWithoutWaitOnFullQueueReturnsAtOnce) {
  const auto queue = FullQueue(1);
  ASSERT_NE(queue, nullptr);
  auto extra = std::make_unique<int>(5);
  const test::Stopwatch watch;
  EXPECT_EQ(queue->Put(std::move(extra), 0), 1);
  EXPECT_LT(watch.elapsedMs(), 400);
  EXPECT_NE(extra, nullptr);
}

TEST(BlockingQueueTest, GetTimesOutOnEmptyQueue) {
  const auto queue = BlockingQueue<int>::Create(2);
  ASSERT_NE(queue, nullptr);
  const test::Stopwatch watch;
  EXPECT_EQ(queue->Get(150), std::nullopt);
  const int64_t elapsed = watch.elapsedMs();
  EXPECT_GE(elapsed, 130);
  EXPECT_LE(elapsed, 1500);
}

TEST(BlockingQueueTest, ProducerAndConsumerKeepOrder) {
  constexpr int kCount = 2000;
  const auto queue = BlockingQueue<int>::Create(8);  // small, so both sides really wait
  ASSERT_NE(queue, nullptr);
  std::thread producer([&] {
    for (int i = 0; i < kCount; ++i) {
      int value = i;
      ASSERT_EQ(queue->Put(std::move(value), -1), 0);
    }
  });
  std::vector<int> received;
  for (int i = 0; i < kCount; ++i) {
    const std::optional<int> value = queue->Get(5000);
    if (!value) {
      ADD_FAILURE() << "nothing after " << i;
      break;
    }
    received.push_back(*value);
  }
  queue->Close();  // releases the producer should the consumer have given up
  producer.join();
  ASSERT_EQ(received.size(), static_cast<size_t>(kCount));
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(received[static_cast<size_t>(i)], i);
  }
  EXPECT_EQ(queue->count(), 0);
}

TEST(BlockingQueueTest, BlockedPutProceedsWhenASlotFrees) {
  const auto queue = FullQueue(1);
  ASSERT_NE(queue, nullptr);
  std::promise<int> result;
  std::thread producer([&] { result.set_value(queue->Put(std::make_unique<int>(1), -1)); });
  auto future = result.get_future();
  EXPECT_EQ(future.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  const std::optional<Packet> first = queue->Get(0);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(**first, 0);
  ASSERT_EQ(future.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(future.get(), 0);
  producer.join();
  EXPECT_EQ(Drain(*queue), std::vector<int>{1});
}

TEST(BlockingQueueTest, CloseReleasesWaitersOnBothSides) {
  const auto full = FullQueue(1);
  const auto empty = BlockingQueue<Packet>::Create(1);
  ASSERT_NE(full, nullptr);
  ASSERT_NE(empty, nullptr);
  std::promise<bool> putResult;  // -1 returned and the element still the caller's
  std::promise<bool> getResult;  // none returned
  std::thread producer([&] {
    auto packet = std::make_unique<int>(7);
    const int rc = full->Put(std::move(packet), -1);
    putResult.set_value(rc == -1 && packet != nullptr);
  });
  std::thread consumer([&] { getResult.set_value(!empty->Get(-1).has_value()); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const test::Stopwatch watch;
  full->Close();
  empty->Close();
  auto putFuture = putResult.get_future();
  auto getFuture = getResult.get_future();
  ASSERT_EQ(putFuture.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  ASSERT_EQ(getFuture.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_LT(watch.elapsedMs(), 1000);
  producer.join();
  consumer.join();
  EXPECT_TRUE(putFuture.get());
  EXPECT_TRUE(getFuture.get());
}

TEST(BlockingQueueTest, ClosedQueueRefusesPutsButGivesWhatItHolds) {
  const auto queue = FullQueue(2);
  ASSERT_NE(queue, nullptr);
  queue->Close();
  EXPECT_TRUE(queue->closed());
  auto late = std::make_unique<int>(3);
  EXPECT_EQ(queue->Put(std::move(late), -1), -1);
  EXPECT_NE(late, nullptr);
  EXPECT_EQ(Drain(*queue), (std::vector<int>{0, 1}));
  const test::Stopwatch watch;
  EXPECT_FALSE(queue->Get(-1).has_value());  // closed and empty: no wait
  EXPECT_LT(watch.elapsedMs(), 400);
}

TEST(BlockingQueueTest, DestructionDestroysElementsLeft) {
  auto shared = std::make_shared<int>(0);
  {
    const auto queue = BlockingQueue<std::shared_ptr<int>>::Create(4);
    ASSERT_NE(queue, nullptr);
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(queue->Put(std::shared_ptr<int>(shared), 0), 0);
    }
    EXPECT_EQ(shared.use_count(), 4);
  }
  EXPECT_EQ(shared.use_count(), 1);
}

}  // namespace
}  // namespace corvel
