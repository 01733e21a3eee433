// A growable byte buffer in which outgoing packets are assembled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace corvel {

class PacketBuffer {
 public:
  // A zero-filled buffer of `capacity` bytes with no content; none when capacity < 0 or memory
  // is short.
  static std::optional<PacketBuffer> Create(int capacity);

  // Appends `count` bytes. When they do not fit, the block grows to exactly length + count + 10
  // bytes, the new part zero-filled. 0, or -1 for a null source with count > 0, a negative count
  // or a failed allocation (the content is then unchanged).
  int Append(const void* bytes, int count);

  // Copies as many of `count` bytes as still fit below the capacity, without growing; returns how
  // many were copied (0 for a null source or a negative count).
  int Fill(const void* bytes, int count);

  // Forgets the content; the block keeps its size and is zero-filled again.
  void Clear();

  const uint8_t* data() const { return block_.data(); }
  int length() const { return length_; }
  int capacity() const { return static_cast<int>(block_.size()); }

 private:
  explicit PacketBuffer(std::vector<uint8_t> block) : block_(std::move(block)) {}

  std::vector<uint8_t> block_;  // size() is the capacity
  int length_ = 0;              // bytes of content, which is also where the next append writes
};

}  // namespace corvel
