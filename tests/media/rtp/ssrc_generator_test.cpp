#include "media/rtp/ssrc_generator.h"

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace corvel {
namespace {

TEST(SsrcGenerator, SsrcsMadeInTheSameMillisecondDiffer) {
  std::set<uint32_t> seen;
  for (int i = 0; i < 10000; ++i) {
    const uint32_t ssrc = GenerateSsrc();
    EXPECT_NE(ssrc, 0u);
    seen.insert(ssrc);
  }
  EXPECT_EQ(seen.size(), 10000u);
}

TEST(SsrcGenerator, SafeFromSeveralThreads) {
  std::mutex mutex;
  std::set<uint32_t> seen;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      std::vector<uint32_t> mine;
      for (int i = 0; i < 1000; ++i)
        mine.push_back(GenerateSsrc());
      const std::lock_guard<std::mutex> guard(mutex);
      seen.insert(mine.begin(), mine.end());
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(seen.size(), 4000u);
}

}  // namespace
}  // namespace corvel
