#include "media/rtp/packet_buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace corvel {
namespace {

constexpr int kGrowthSlack = 10;

}  // namespace

std::optional<PacketBuffer> PacketBuffer::Create(int capacity) {
  if (capacity < 0) return std::nullopt;
  try {
    return PacketBuffer(std::vector<uint8_t>(static_cast<std::size_t>(capacity), 0));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

int PacketBuffer::Append(const void* bytes, int count) {
  if (count < 0 || (bytes == nullptr && count > 0)) return -1;
  if (count == 0) return 0;
  if (count > std::numeric_limits<int>::max() - kGrowthSlack - length_) return -1;
  if (length_ + count > capacity()) {
    try {
      // resize() zero-fills the new part and leaves the block as it was when it throws.
      block_.resize(static_cast<std::size_t>(length_ + count + kGrowthSlack), 0);
    } catch (const std::bad_alloc&) {
      return -1;
    }
  }
  std::memcpy(block_.data() + length_, bytes, static_cast<std::size_t>(count));
  length_ += count;
  return 0;
}

int PacketBuffer::Fill(const void* bytes, int count) {
  if (bytes == nullptr || count <= 0) return 0;
  const int copied = std::min(count, capacity() - length_);
  if (copied <= 0) return 0;
  std::memcpy(block_.data() + length_, bytes, static_cast<std::size_t>(copied));
  length_ += copied;
  return copied;
}

void PacketBuffer::Clear() {
  std::fill(block_.begin(), block_.begin() + length_, uint8_t{0});
  length_ = 0;
}

}  // namespace corvel
