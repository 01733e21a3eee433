// Any payload handed to the AMR-NB decoder, as a received packet would be.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/codec/amr_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 4096) return 0;
  // One decoder for the whole run, as a call keeps one: its state carries over between inputs.
  static const std::unique_ptr<corvel::AmrCodec> codec = [] {
    auto opened = std::make_unique<corvel::AmrCodec>();
    if (!opened->Open()) __builtin_trap();
    return opened;
  }();
  const int length = static_cast<int>(size);
  const int capacity = (length / 32 + 1) * 320;
  std::vector<int16_t> pcm(static_cast<std::size_t>(capacity / 2));
  const int produced = codec->Decode(data, length, pcm.data(), capacity);
  if (produced < 0 || produced > capacity || produced % 320 != 0) __builtin_trap();
  return 0;
}
