// G.729 (Annex A bitstream) through bcg729, framed as RFC 3551 sends it: 10 bytes per 10 ms of
// speech (80 samples), the eleven parameters packed most significant bit first. Each handle has
// its own encoder and decoder state; a handle belongs to one thread.
#pragma once

#include <cstdint>
#include <memory>

struct bcg729EncoderChannelContextStruct_struct;
struct bcg729DecoderChannelContextStruct_struct;

namespace corvel {

class G729Handle {
 public:
  static constexpr int kFrameBytes = 10;
  static constexpr int kFramePcmBytes = 160;  // 80 samples

  // A handle whose encoder (or decoder) state is ready; nullptr when memory is short. A handle
  // made for one direction sets up the other on first use.
  static std::unique_ptr<G729Handle> CreateEncoder();
  static std::unique_ptr<G729Handle> CreateDecoder();

  ~G729Handle();
  G729Handle(const G729Handle&) = delete;
  G729Handle& operator=(const G729Handle&) = delete;

  // One frame per whole 160 PCM bytes, while `out` has room for it; a shorter remainder is not
  // encoded. Returns the bytes written, 10 per frame. -1 for a null buffer, byteCount <= 0,
  // outCapacity * 16 < byteCount, or an encoder that cannot be set up.
  int Encode(const int16_t* pcm, int byteCount, uint8_t* out, int outCapacity);

  // 80 samples per whole 10 bytes, while `out` (outCapacity bytes) has room for them; a shorter
  // remainder (a 2-byte comfort-noise frame, say) is ignored. Returns the PCM bytes written, 160
  // per frame. -1 for a null buffer, length <= 0, outCapacity < 16 * length, or a decoder that
  // cannot be set up.
  int Decode(const uint8_t* data, int length, int16_t* out, int outCapacity);

  bool encoderReady() const { return encoder_ != nullptr; }
  bool decoderReady() const { return decoder_ != nullptr; }

 private:
  struct EncoderClose {
    void operator()(bcg729EncoderChannelContextStruct_struct* state) const;
  };
  struct DecoderClose {
    void operator()(bcg729DecoderChannelContextStruct_struct* state) const;
  };

  G729Handle() = default;
  bool ReadyEncoder();
  bool ReadyDecoder();

  std::unique_ptr<bcg729EncoderChannelContextStruct_struct, EncoderClose> encoder_;
  std::unique_ptr<bcg729DecoderChannelContextStruct_struct, DecoderClose> decoder_;
};

}  // namespace corvel
