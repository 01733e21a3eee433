#include "delayed_sender.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace corvel::devservice {
namespace {

using Clock = std::chrono::steady_clock;

struct Sent {
  std::uint32_t cmdId;
  Clock::time_point at;
  std::thread::id thread;
};

class Recorder {
 public:
  void Add(const Outgoing& out) {
    const std::lock_guard lock(mutex_);
    sent_.push_back({out.packet.cmdId, Clock::now(), std::this_thread::get_id()});
    changed_.notify_all();
  }
  bool WaitFor(std::size_t count, int timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return sent_.size() >= count; });
  }
  std::vector<Sent> sent() {
    const std::lock_guard lock(mutex_);
    return sent_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Sent> sent_;
};

Outgoing Packet(std::uint32_t cmdId, int delayMs) {
  Outgoing out;
  out.packet.cmdId = cmdId;
  out.delayMs = delayMs;
  return out;
}

TEST(DelayedSender, WithoutDelaySendsAtOnceOnTheCallersThread) {
  Recorder recorder;
  DelayedSender sender([&](const Outgoing& out) { recorder.Add(out); });
  sender.Post(Packet(1, 0));
  sender.Post(Packet(2, 0));
  const std::vector<Sent> sent = recorder.sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].cmdId, 1u);
  EXPECT_EQ(sent[1].cmdId, 2u);
  EXPECT_EQ(sent[0].thread, std::this_thread::get_id());
}

TEST(DelayedSender, HoldsPacketsForTheirDelayInDueOrder) {
  Recorder recorder;
  DelayedSender sender([&](const Outgoing& out) { recorder.Add(out); });
  const Clock::time_point start = Clock::now();
  sender.Post(Packet(2, 200));
  sender.Post(Packet(1, 100));
  ASSERT_TRUE(recorder.WaitFor(2, 5000));
  const std::vector<Sent> sent = recorder.sent();
  EXPECT_EQ(sent[0].cmdId, 1u);
  EXPECT_EQ(sent[1].cmdId, 2u);
  EXPECT_GE(sent[0].at - start, std::chrono::milliseconds(100));
  EXPECT_GE(sent[1].at - start, std::chrono::milliseconds(200));
  EXPECT_NE(sent[0].thread, std::this_thread::get_id());
}

TEST(DelayedSender, StopDropsWhatIsWaiting) {
  Recorder recorder;
  {
    DelayedSender sender([&](const Outgoing& out) { recorder.Add(out); });
    sender.Post(Packet(1, 10'000));
    const Clock::time_point start = Clock::now();
    sender.Stop();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    sender.Post(Packet(2, 10));
  }
  EXPECT_TRUE(recorder.sent().empty());
}

}  // namespace
}  // namespace corvel::devservice
