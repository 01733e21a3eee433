#include "media/rtp/packet_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace corvel {
namespace {

TEST(PacketBuffer, StartsEmptyAndZeroFilled) {
  std::optional<PacketBuffer> buffer = PacketBuffer::Create(64);
  ASSERT_TRUE(buffer);
  EXPECT_EQ(buffer->length(), 0);
  EXPECT_EQ(buffer->capacity(), 64);
  EXPECT_TRUE(std::all_of(buffer->data(), buffer->data() + 64, [](uint8_t b) { return b == 0; }));
  EXPECT_FALSE(PacketBuffer::Create(-1));
}

TEST(PacketBuffer, AppendGrowsToTheContentPlusTenBytes) {
  struct Case {
    int capacity;
    int first;
    int second;
    int capacityAfter;
  };
  for (const Case& c :
       {Case{16, 10, 6, 16}, Case{16, 10, 7, 27}, Case{0, 0, 5, 15}, Case{4096, 4000, 200, 4210}}) {
    std::optional<PacketBuffer> buffer = PacketBuffer::Create(c.capacity);
    ASSERT_TRUE(buffer);
    const std::vector<uint8_t> a(static_cast<std::size_t>(c.first), 0xAA);
    const std::vector<uint8_t> b(static_cast<std::size_t>(c.second), 0xBB);
    ASSERT_EQ(buffer->Append(a.data(), c.first), 0);
    ASSERT_EQ(buffer->Append(b.data(), c.second), 0);
    EXPECT_EQ(buffer->length(), c.first + c.second);
    EXPECT_EQ(buffer->capacity(), c.capacityAfter);
    std::vector<uint8_t> expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    expected.resize(static_cast<std::size_t>(c.capacityAfter), 0);  // the grown part is zeroed
    EXPECT_EQ(std::vector<uint8_t>(buffer->data(), buffer->data() + buffer->capacity()), expected);
  }
}

TEST(PacketBuffer, AppendRefusesBadArguments) {
  std::optional<PacketBuffer> buffer = PacketBuffer::Create(8);
  ASSERT_TRUE(buffer);
  const uint8_t byte = 1;
  EXPECT_EQ(buffer->Append(nullptr, 3), -1);
  EXPECT_EQ(buffer->Append(&byte, -1), -1);
  EXPECT_EQ(buffer->Append(nullptr, 0), 0);
  EXPECT_EQ(buffer->length(), 0);
}

TEST(PacketBuffer, FillCopiesOnlyWhatFitsBelowTheCapacity) {
  struct Case {
    int capacity;
    int already;
    int offered;
    int copied;
  };
  for (const Case& c : {Case{10, 0, 4, 4}, Case{10, 6, 8, 4}, Case{10, 10, 3, 0}, Case{10, 0, 0, 0},
                        Case{10, 0, -5, 0}}) {
    std::optional<PacketBuffer> buffer = PacketBuffer::Create(c.capacity);
    ASSERT_TRUE(buffer);
    const std::vector<uint8_t> bytes(20, 0x5A);
    ASSERT_EQ(buffer->Fill(bytes.data(), c.already), c.already);
    EXPECT_EQ(buffer->Fill(bytes.data(), c.offered), c.copied);
    EXPECT_EQ(buffer->length(), c.already + c.copied);
    EXPECT_EQ(buffer->capacity(), c.capacity);
  }
}

TEST(PacketBuffer, ClearZeroesTheContent) {
  std::optional<PacketBuffer> buffer = PacketBuffer::Create(4);
  ASSERT_TRUE(buffer);
  const uint8_t bytes[3] = {1, 2, 3};
  ASSERT_EQ(buffer->Append(bytes, 3), 0);
  buffer->Clear();
  EXPECT_EQ(buffer->length(), 0);
  EXPECT_EQ(buffer->data()[0], 0);
  EXPECT_EQ(buffer->data()[2], 0);
}

}  // namespace
}  // namespace corvel
