// A codec's payload stream for a whole recording, packet by packet as a call would send it, in
// the files other tools read: raw A-law or µ-law bytes, raw 10-byte G.729 frames, or an .amr
// file (the "#!AMR\n" magic, then storage-format frames).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvel::codec_tool {

enum class Codec { kPcmu, kPcma, kG729, kAmr };

// "pcmu", "pcma", "g729" or "amr".
std::optional<Codec> CodecFromName(std::string_view name);

inline constexpr std::string_view kAmrMagic = "#!AMR\n";

struct StreamResult {
  bool ok = false;
  std::string error;  // when !ok
  int packets = 0;    // encoding: packets made; decoding: frames (or code bytes for G.711)
};

// Encodes `pcm` in packets of packetMs (1 to 1000) milliseconds, the last one filled up with
// silence, appending each packet's payload to `out`.
StreamResult EncodeStream(Codec codec, const std::vector<int16_t>& pcm, int packetMs,
                          std::vector<uint8_t>& out);

// Decodes a whole stream as EncodeStream writes it into `pcm`.
StreamResult DecodeStream(Codec codec, const std::vector<uint8_t>& stream,
                          std::vector<int16_t>& pcm);

}  // namespace corvel::codec_tool
