#include "media/toolkit/synchronized.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace corvel {
namespace {

TEST(SynchronizedTest, GetSetAndWith) {
  Synchronized<std::string> text;
  EXPECT_EQ(text.get(), "");
  text.set("abc");
  EXPECT_EQ(text.get(), "abc");
  const size_t length = text.with([](std::string& value) {
    value += "def";
    return value.size();
  });
  EXPECT_EQ(length, 6u);
  const Synchronized<std::string>& view = text;
  EXPECT_EQ(view.with([](const std::string& value) { return value.front(); }), 'a');
}

TEST(SynchronizedTest, SetReleasesTheOldValue) {
  auto old = std::make_shared<int>(1);
  Synchronized<std::shared_ptr<int>> holder(old);
  EXPECT_EQ(old.use_count(), 2);
  holder.set(nullptr);
  EXPECT_EQ(old.use_count(), 1);
}

TEST(SynchronizedTest, ReadModifyWriteFromTwoThreads) {
  constexpr int kPerThread = 10000;
  Synchronized<std::vector<int>> values;
  const auto work = [&](int base) {
    for (int i = 0; i < kPerThread; ++i) {
      values.with([&](std::vector<int>& v) { v.push_back(base + i); });
    }
  };
  std::thread a(work, 0);
  std::thread b(work, kPerThread);
  a.join();
  b.join();
  EXPECT_EQ(values.get().size(), static_cast<size_t>(2 * kPerThread));
}

}  // namespace
}  // namespace corvel
