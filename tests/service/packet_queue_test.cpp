#include "service/packet_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace corvel {
namespace {

using Clock = std::chrono::steady_clock;

ServicePacket Numbered(std::uint32_t n) {
  ServicePacket packet;
  packet.cmdId = n;
  return packet;
}

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(PacketQueue, FifoAcrossTheRingAndFullFailsAtOnce) {
  PacketQueue queue(4);
  for (std::uint32_t round = 0; round < 3; ++round) {
    for (std::uint32_t i = 0; i < 4; ++i)
      ASSERT_TRUE(queue.Push(Numbered(round * 10 + i)));
    const auto start = Clock::now();
    EXPECT_FALSE(queue.Push(Numbered(99)));
    EXPECT_LT(MillisecondsSince(start), 50);
    for (std::uint32_t i = 0; i < 4; ++i)
      EXPECT_EQ(queue.Pop(0)->cmdId, round * 10 + i);
  }
  EXPECT_EQ(queue.count(), 0u);
}

TEST(PacketQueue, PopTimesOutKickEndsAWaitCloseEndsAll) {
  PacketQueue queue;
  auto start = Clock::now();
  EXPECT_FALSE(queue.Pop(50));
  EXPECT_GE(MillisecondsSince(start), 45);

  std::thread kicker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    queue.Kick();
  });
  start = Clock::now();
  EXPECT_FALSE(queue.Pop(-1));
  EXPECT_LT(MillisecondsSince(start), 2000);
  kicker.join();

  ASSERT_TRUE(queue.Push(Numbered(1)));
  queue.Close();
  EXPECT_FALSE(queue.Push(Numbered(2)));
  EXPECT_EQ(queue.Pop(-1)->cmdId, 1u);
  EXPECT_FALSE(queue.Pop(-1));
}

TEST(PacketQueue, ProducerAndConsumerThreads) {
  PacketQueue queue(16);
  std::thread producer([&] {
    for (std::uint32_t i = 0; i < 5000; ++i) {
      while (!queue.Push(Numbered(i)))
        std::this_thread::yield();
    }
  });
  for (std::uint32_t i = 0; i < 5000; ++i) {
    const auto packet = queue.Pop(2000);
    ASSERT_TRUE(packet);
    ASSERT_EQ(packet->cmdId, i);
  }
  producer.join();
}

}  // namespace
}  // namespace corvel
