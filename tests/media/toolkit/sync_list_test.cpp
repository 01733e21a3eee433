#include "media/toolkit/sync_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace corvel {
namespace {

std::vector<std::string> Contents(const SyncList<std::string>& list) {
  std::vector<std::string> out;
  list.ForEach([&](const std::string& element) { out.push_back(element); });
  return out;
}

std::unique_ptr<SyncList<std::string>> ListOf(const std::vector<std::string>& elements,
                                              bool withLock = true) {
  auto list = SyncList<std::string>::Create(withLock);
  for (const std::string& element : elements) {
    if (list->Insert(element, -1) != 0) return nullptr;
  }
  return list;
}

struct InsertCase {
  std::vector<std::string> before;
  int index;
  std::vector<std::string> after;
};

TEST(SyncListTest, InsertPlacesByIndex) {
  const InsertCase cases[] = {
      {{}, 0, {"x"}},
      {{}, -1, {"x"}},
      {{}, 5, {"x"}},
      {{"a", "b"}, 0, {"x", "a", "b"}},
      {{"a", "b"}, -1, {"a", "b", "x"}},
      {{"a", "b"}, 1, {"a", "x", "b"}},
      {{"a", "b"}, 2, {"a", "b", "x"}},
      {{"a", "b"}, 5, {"a", "b", "x"}},
      {{"a", "b", "c"}, 2, {"a", "b", "x", "c"}},
  };
  for (const InsertCase& c : cases) {
    const auto list = ListOf(c.before);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->Insert(std::string("x"), c.index), 0);
    EXPECT_EQ(Contents(*list), c.after) << "index " << c.index << " into " << c.before.size();
    EXPECT_EQ(list->count(), static_cast<int>(c.after.size()));
  }
}

TEST(SyncListTest, GetAndRemoveByIndex) {
  struct IndexCase {
    int index;
    std::optional<std::string> expected;
  };
  const IndexCase cases[] = {{0, "a"},          {1, "b"},          {-1, "b"},
                             {2, std::nullopt}, {7, std::nullopt}, {-2, std::nullopt}};
  for (const IndexCase& c : cases) {
    const auto list = ListOf({"a", "b"});
    EXPECT_EQ(list->Get(c.index), c.expected) << "Get " << c.index;
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(list->Remove(c.index), c.expected) << "Remove " << c.index;
    EXPECT_EQ(list->count(), c.expected ? 1 : 2);
    if (c.expected) {
      EXPECT_EQ(list->Find(*c.expected, std::equal_to<>()), std::nullopt);
    }
  }
  const auto empty = ListOf({});
  EXPECT_EQ(empty->Get(0), std::nullopt);
  EXPECT_EQ(empty->Get(-1), std::nullopt);
  EXPECT_EQ(empty->Remove(-1), std::nullopt);
}

struct Call {
  int id;
  std::string number;
  friend bool operator==(const Call&, const Call&) = default;
};

TEST(SyncListTest, FindAndRemoveIfUseThePredicate) {
  auto list = SyncList<Call>::Create(true);
  ASSERT_NE(list, nullptr);
  for (const Call& call : {Call{1, "100"}, Call{2, "200"}, Call{3, "200"}}) {
    ASSERT_EQ(list->Insert(call, -1), 0);
  }
  const auto byNumber = [](const Call& call, const std::string& number) {
    return call.number == number;
  };
  EXPECT_EQ(list->Find(std::string("200"), byNumber), (Call{2, "200"}));  // the first match
  EXPECT_EQ(list->Find(std::string("300"), byNumber), std::nullopt);
  EXPECT_EQ(list->count(), 3);

  EXPECT_EQ(list->RemoveIf(std::string("200"), byNumber), (Call{2, "200"}));
  EXPECT_EQ(list->RemoveIf(std::string("200"), byNumber), (Call{3, "200"}));
  EXPECT_EQ(list->RemoveIf(std::string("200"), byNumber), std::nullopt);
  EXPECT_EQ(list->count(), 1);
  EXPECT_EQ(list->Get(0), (Call{1, "100"}));
}

TEST(SyncListTest, RemoveHandsOverMoveOnlyElements) {
  SyncList<std::unique_ptr<int>> list(false);
  auto seven = std::make_unique<int>(7);
  ASSERT_EQ(list.Insert(std::move(seven), -1), 0);
  EXPECT_EQ(seven, nullptr);  // ownership moved into the list
  std::optional<std::unique_ptr<int>> taken = list.Remove(0);
  ASSERT_TRUE(taken.has_value());
  ASSERT_NE(*taken, nullptr);
  EXPECT_EQ(**taken, 7);
  EXPECT_EQ(list.count(), 0);
}

TEST(SyncListTest, CopyCopiesInOrderAndKeepsTheLock) {
  for (const bool withLock : {true, false}) {
    const auto source = ListOf({"a", "b", "c"}, withLock);
    const auto copy = source->Copy([](const std::string& s) { return std::optional(s + "'"); });
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->hasLock(), withLock);
    EXPECT_EQ(Contents(*copy), (std::vector<std::string>{"a'", "b'", "c'"}));
    EXPECT_EQ(Contents(*source), (std::vector<std::string>{"a", "b", "c"}));
  }
}

TEST(SyncListTest, FailedCopyGivesNoneAndReleasesWhatWasMade) {
  SyncList<std::shared_ptr<int>> source(true);
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(source.Insert(std::make_shared<int>(i), -1), 0);
  }
  int calls = 0;
  const auto copy = source.Copy([&](const std::shared_ptr<int>& element) {
    ++calls;
    // Fails on the third element, after two copies share ownership of theirs.
    return *element == 2 ? std::nullopt : std::optional(element);
  });
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(calls, 3);
  source.ForEach([](const std::shared_ptr<int>& element) { EXPECT_EQ(element.use_count(), 1); });
}

TEST(SyncListTest, DestructionFreesEveryElement) {
  auto shared = std::make_shared<int>(1);
  std::vector<int> freed;
  {
    SyncList<std::pair<int, std::shared_ptr<int>>> list(
        true,
        [&](std::pair<int, std::shared_ptr<int>>& element) { freed.push_back(element.first); });
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(list.Insert({i, shared}, -1), 0);
    }
    EXPECT_EQ(shared.use_count(), 4);
    ASSERT_TRUE(list.Remove(1).has_value());  // taken out: not freed by the list
  }
  EXPECT_EQ(shared.use_count(), 1);
  EXPECT_EQ(freed, (std::vector<int>{0, 2}));
}

TEST(SyncListTest, ConcurrentUseWithLockKeepsCount) {
  constexpr int kPerThread = 5000;
  auto list = SyncList<int>::Create(true);
  ASSERT_NE(list, nullptr);
  const auto insert = [&](int first, int index) {
    for (int i = 0; i < kPerThread; ++i) {
      EXPECT_EQ(list->Insert(first + i, index), 0);
    }
  };
  std::thread front(insert, 0, 0);
  std::thread back(insert, kPerThread, -1);
  // A third thread reads and searches while the others insert.
  std::thread reader([&] {
    for (int i = 0; i < 500; ++i) {
      (void)list->Get(-1);
      (void)list->Find(i, std::equal_to<>());
    }
  });
  front.join();
  back.join();
  reader.join();
  EXPECT_EQ(list->count(), 2 * kPerThread);

  // Then take everything out from two threads: each element exactly once.
  std::vector<int> takenA, takenB;
  const auto drain = [&](std::vector<int>& taken, int index) {
    while (auto element = list->Remove(index))
      taken.push_back(*element);
  };
  std::thread a(drain, std::ref(takenA), 0);
  std::thread b(drain, std::ref(takenB), -1);
  a.join();
  b.join();
  std::vector<int> all = takenA;
  all.insert(all.end(), takenB.begin(), takenB.end());
  std::sort(all.begin(), all.end());
  ASSERT_EQ(all.size(), static_cast<size_t>(2 * kPerThread));
  for (int i = 0; i < 2 * kPerThread; ++i) {
    EXPECT_EQ(all[static_cast<size_t>(i)], i);
  }
  EXPECT_EQ(list->count(), 0);
}

}  // namespace
}  // namespace corvel
