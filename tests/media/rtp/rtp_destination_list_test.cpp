#include "media/rtp/rtp_destination_list.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace corvel {
namespace {

using List = std::vector<RtpDestination>;

constexpr uint32_t kA = 0x0A000001;  // 10.0.0.1
constexpr uint32_t kB = 0x0A000002;
constexpr uint32_t kC = 0x0A000003;

struct Add {
  uint32_t ssrc;
  uint32_t address;
  uint16_t port;
};

TEST(RtpDestinationList, LearningRules) {
  struct Case {
    const char* name;
    std::vector<Add> adds;
    List expected;
  };
  const Case cases[] = {
      {"new entries are appended", {{0, kA, 4000}, {7, kB, 4000}}, {{0, kA, 4000}, {7, kB, 4000}}},
      {"ssrc 0 twice keeps one entry, at the second address",
       {{0, kA, 4000}, {0, kB, 5000}},
       {{0, kB, 5000}}},
      {"a known address learns an ssrc it did not have",
       {{0, kA, 4000}, {9, kA, 4000}},
       {{9, kA, 4000}}},
      {"a known address keeps the ssrc it had", {{5, kA, 4000}, {9, kA, 4000}}, {{5, kA, 4000}}},
      {"a known ssrc moves to the new address", {{5, kA, 4000}, {5, kB, 4002}}, {{5, kB, 4002}}},
      {"the same address on another port is another entry",
       {{5, kA, 4000}, {6, kA, 4002}},
       {{5, kA, 4000}, {6, kA, 4002}}},
      {"address match goes before ssrc match",
       {{5, kA, 4000}, {0, kB, 4000}, {5, kB, 4000}},
       {{5, kA, 4000}, {5, kB, 4000}}},
      {"the first entry with the ssrc moves",
       {{0, kA, 1}, {3, kB, 1}, {0, kC, 1}},
       {{0, kC, 1}, {3, kB, 1}}},
  };
  for (const Case& c : cases) {
    auto list = RtpDestinationList::Create();
    ASSERT_TRUE(list);
    for (const Add& add : c.adds) {
      EXPECT_EQ(list->Add(add.ssrc, add.address, add.port), 0) << c.name;
    }
    EXPECT_EQ(list->Snapshot(), c.expected) << c.name;
    EXPECT_EQ(list->count(), static_cast<int>(c.expected.size())) << c.name;
  }
}

TEST(RtpDestinationList, ContainsAndClear) {
  auto list = RtpDestinationList::Create();
  ASSERT_TRUE(list);
  ASSERT_EQ(list->Add(0, kA, 4000), 0);
  EXPECT_TRUE(list->Contains(kA, 4000));
  EXPECT_FALSE(list->Contains(kA, 4001));
  EXPECT_FALSE(list->Contains(kB, 4000));
  list->Clear();
  EXPECT_FALSE(list->Contains(kA, 4000));
  EXPECT_EQ(list->count(), 0);
}

TEST(RtpDestinationList, ForEachVisitsInOrderAndReportsAnEmptyList) {
  auto list = RtpDestinationList::Create();
  ASSERT_TRUE(list);
  int visits = 0;
  EXPECT_FALSE(list->ForEach([&](const RtpDestination&) { ++visits; }));
  EXPECT_EQ(visits, 0);
  ASSERT_EQ(list->Add(1, kA, 1), 0);
  ASSERT_EQ(list->Add(2, kB, 2), 0);
  List seen;
  EXPECT_TRUE(list->ForEach([&](const RtpDestination& d) { seen.push_back(d); }));
  EXPECT_EQ(seen, (List{{1, kA, 1}, {2, kB, 2}}));
}

TEST(RtpDestinationList, ConcurrentAddsOfOneAddressLeaveOneEntry) {
  auto list = RtpDestinationList::Create();
  ASSERT_TRUE(list);
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (uint32_t t = 1; t <= 4; ++t) {
    threads.emplace_back([&, t] {
      while (!go)
        std::this_thread::yield();
      for (int i = 0; i < 500; ++i)
        list->Add(t, kA, 4000);
    });
  }
  go = true;
  for (std::thread& thread : threads)
    thread.join();
  const List entries = list->Snapshot();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_NE(entries[0].ssrc, 0u);
}

}  // namespace
}  // namespace corvel
