// The RTP server's codec table and the per-thread codec sets that turn PCM frames into payloads
// and back. The audio codec of a payload type is chosen by comparing it with the table's entries
// in the order AMR, G.729, PCMA, PCMU; the first match wins, whether the entry is enabled or not
// (the enabled flags are for the SDP offer).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace corvel {

class AmrCodec;
class G729Handle;

enum class CodecSlot : int { kDtmf = 0, kAmr = 1, kG729 = 2, kPcma = 3, kPcmu = 4 };
inline constexpr int kCodecSlots = 5;

struct CodecTable {
  // Every format off with payload type 0 until the phone module fills the table in.
  std::array<uint8_t, kCodecSlots> enabled{};
  std::array<uint8_t, kCodecSlots> payloadType{};

  bool isEnabled(CodecSlot slot) const { return enabled[static_cast<std::size_t>(slot)] != 0; }
  uint8_t typeOf(CodecSlot slot) const { return payloadType[static_cast<std::size_t>(slot)]; }
  void set(CodecSlot slot, bool on, uint8_t type) {
    enabled[static_cast<std::size_t>(slot)] = on ? 1 : 0;
    payloadType[static_cast<std::size_t>(slot)] = type;
  }

  // The audio codec for a payload type; none for telephone-events and anything else.
  std::optional<CodecSlot> AudioCodecFor(uint8_t type) const;

  friend bool operator==(const CodecTable&, const CodecTable&) = default;
};

// The encoders of the send thread. G.729 and AMR are created on first use and kept.
class MediaEncoder {
 public:
  MediaEncoder();
  ~MediaEncoder();
  MediaEncoder(const MediaEncoder&) = delete;
  MediaEncoder& operator=(const MediaEncoder&) = delete;

  // Bytes of payload written to `out`; 0 or less when the codec made nothing.
  int Encode(CodecSlot slot, const int16_t* pcm, int byteCount, uint8_t* out, int outCapacity);

 private:
  std::unique_ptr<G729Handle> g729_;
  std::unique_ptr<AmrCodec> amr_;
};

// The decoders of the receive thread. G.729 and AMR are created on first use and kept.
class MediaDecoder {
 public:
  MediaDecoder();
  ~MediaDecoder();
  MediaDecoder(const MediaDecoder&) = delete;
  MediaDecoder& operator=(const MediaDecoder&) = delete;

  // PCM bytes written to `out` (outCapacity bytes); 0 or less when nothing was decoded. A G.711
  // payload whose PCM would not fit is not decoded.
  int Decode(CodecSlot slot, const uint8_t* payload, int length, int16_t* out, int outCapacity);

 private:
  std::unique_ptr<G729Handle> g729_;
  std::unique_ptr<AmrCodec> amr_;
};

}  // namespace corvel
