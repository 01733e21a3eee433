// Any payload handed to the G.729 decoder, as a received packet would be.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/codec/g729_handle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 4096) return 0;
  // One decoder for the whole run, as a call keeps one: its state carries over between inputs.
  static const std::unique_ptr<corvel::G729Handle> decoder = corvel::G729Handle::CreateDecoder();
  const int length = static_cast<int>(size);
  std::vector<int16_t> pcm(8 * size);
  const int produced = decoder->Decode(data, length, pcm.data(), 16 * length);
  if (produced != 160 * (length / 10)) __builtin_trap();
  return 0;
}
