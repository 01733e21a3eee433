#include "media/rtp/ssrc_generator.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace corvel {
namespace {

// The SSRCs are random 32-bit values: among a few thousand, an occasional repeat is the birthday
// paradox, not a fault (about 1 % for 10000). A generator that lost its random or accumulator
// term would repeat nearly every value made within one millisecond.
constexpr std::size_t kTolerableRepeats = 2;

TEST(SsrcGenerator, SsrcsMadeInTheSameMillisecondDiffer) {
  std::set<uint32_t> seen;
  uint32_t previous = 0;
  for (int i = 0; i < 10000; ++i) {
    const uint32_t ssrc = GenerateSsrc();
    ASSERT_NE(ssrc, 0u);
    ASSERT_NE(ssrc, previous) << "draw " << i;
    seen.insert(ssrc);
    previous = ssrc;
  }
  EXPECT_GE(seen.size(), 10000u - kTolerableRepeats);
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
  EXPECT_EQ(seen.count(0u), 0u);
  EXPECT_GE(seen.size(), 4000u - kTolerableRepeats);
}

}  // namespace
}  // namespace corvel
