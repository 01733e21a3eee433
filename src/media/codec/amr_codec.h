// AMR-NB through opencore-amrnb. The RTP payload is a plain run of storage-format frames, with
// neither a codec mode request nor a table of contents. The encoder always uses 12.2 kbit/s
// (mode 7) without discontinuous transmission. An object belongs to one thread.
#pragma once

#include <cstdint>
#include <memory>

namespace corvel {

class AmrCodec {
 public:
  static constexpr int kEncoderMode = 7;       // MR122
  static constexpr int kFramePcmBytes = 320;   // 160 samples, 20 ms
  static constexpr int kDefaultFrameType = 7;  // the last received frame type before any

  AmrCodec();
  virtual ~AmrCodec();  // closes
  AmrCodec(const AmrCodec&) = delete;
  AmrCodec& operator=(const AmrCodec&) = delete;

  // Creates both codec states; false when either cannot be made (then neither is kept). True at
  // once when already open.
  bool Open();
  // Releases both states; true when the codec was open.
  bool Close();

  // One 32-byte frame per started 320 PCM bytes, a short last chunk filled up with silence.
  // Returns the bytes written. -1 when not open, for a null buffer, byteCount <= 0, or when
  // `out` cannot hold all the frames (outCapacity < 32 per frame).
  int Encode(const int16_t* pcm, int byteCount, uint8_t* out, int outCapacity);

  // Decodes frame after frame into 160 samples each, appending the 320 bytes while they fit
  // within outCapacity. Stops at a header whose type has no size (9 to 14) or at the end of the
  // payload; a last frame cut short is decoded with its missing bytes taken as zero. Returns the
  // PCM bytes written. -1 when not open, for a null buffer, length <= 0, or
  // outCapacity < (length / 32 + 1) * 320.
  int Decode(const uint8_t* data, int length, int16_t* out, int outCapacity);

  bool opened() const { return encoder_ != nullptr; }
  int lastFrameType() const { return lastFrameType_; }

 private:
  struct EncoderExit {
    void operator()(void* state) const;
  };
  struct DecoderExit {
    void operator()(void* state) const;
  };

  std::unique_ptr<void, EncoderExit> encoder_;  // both set while open, both null otherwise
  std::unique_ptr<void, DecoderExit> decoder_;
  int lastFrameType_ = kDefaultFrameType;
};

}  // namespace corvel
