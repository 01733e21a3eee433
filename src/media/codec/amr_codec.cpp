#include "media/codec/amr_codec.h"

#include <algorithm>
#include <cstring>

#include <opencore-amrnb/interf_dec.h>
#include <opencore-amrnb/interf_enc.h>

#include "media/codec/amr_frame.h"

namespace corvel {
namespace {

constexpr int kDtxOff = 0;
constexpr int kNoForcedSpeech = 0;
constexpr int kGoodFrame = 0;
constexpr int kFrameSamples = AmrCodec::kFramePcmBytes / 2;
static_assert(AmrCodec::kEncoderMode == MR122);

}  // namespace

void AmrCodec::EncoderExit::operator()(void* state) const {
  Encoder_Interface_exit(state);
}

void AmrCodec::DecoderExit::operator()(void* state) const {
  Decoder_Interface_exit(state);
}

AmrCodec::AmrCodec() = default;

AmrCodec::~AmrCodec() {
  Close();
}

bool AmrCodec::Open() {
  if (opened()) return true;
  std::unique_ptr<void, EncoderExit> encoder(Encoder_Interface_init(kDtxOff));
  if (!encoder) return false;
  std::unique_ptr<void, DecoderExit> decoder(Decoder_Interface_init());
  if (!decoder) return false;  // the encoder goes with `encoder`
  encoder_ = std::move(encoder);
  decoder_ = std::move(decoder);
  return true;
}

bool AmrCodec::Close() {
  const bool wasOpen = opened();
  decoder_.reset();
  encoder_.reset();
  return wasOpen;
}

int AmrCodec::Encode(const int16_t* pcm, int byteCount, uint8_t* out, int outCapacity) {
  if (!opened() || pcm == nullptr || out == nullptr || byteCount <= 0) return -1;
  const int64_t frames = (int64_t{byteCount} + kFramePcmBytes - 1) / kFramePcmBytes;
  if (outCapacity < frames * kAmrMaxFrameBytes) return -1;
  const int samples = byteCount / 2;
  int written = 0;
  for (int64_t frame = 0; frame < frames; ++frame) {
    const int first = static_cast<int>(frame) * kFrameSamples;
    const int available = std::clamp(samples - first, 0, kFrameSamples);
    // opencore's encoder filters its input in place despite the const in its signature, so it
    // gets a copy: the caller's frame stays as it was.
    int16_t chunk[kFrameSamples] = {};
    std::copy(pcm + first, pcm + first + available, chunk);
    const int bytes =
        Encoder_Interface_Encode(encoder_.get(), MR122, chunk, out + written, kNoForcedSpeech);
    if (bytes > 0) written += bytes;
  }
  return written;
}

int AmrCodec::Decode(const uint8_t* data, int length, int16_t* out, int outCapacity) {
  if (!opened() || data == nullptr || out == nullptr || length <= 0) return -1;
  if (outCapacity < (int64_t{length} / kAmrMaxFrameBytes + 1) * kFramePcmBytes) return -1;
  int produced = 0;
  int position = 0;
  int remaining = length;
  for (;;) {
    const int frameType = AmrFrameType(data[position]);
    lastFrameType_ = frameType;
    const int size = AmrFrameBytes(frameType);
    if (size == 0) break;
    // The decoder reads a whole frame of the header's type; a frame cut short by the end of the
    // payload is completed with zero bits rather than read past the end.
    uint8_t frame[kAmrMaxFrameBytes] = {};
    std::memcpy(frame, data + position, static_cast<std::size_t>(std::min(size, remaining)));
    int16_t samples[kFrameSamples];
    Decoder_Interface_Decode(decoder_.get(), frame, samples, kGoodFrame);
    if (outCapacity - produced >= kFramePcmBytes) {
      std::memcpy(out + produced / 2, samples, sizeof samples);
      produced += kFramePcmBytes;
    }
    remaining -= size;
    if (remaining <= 0) break;
    position += size;
  }
  return produced;
}

}  // namespace corvel
