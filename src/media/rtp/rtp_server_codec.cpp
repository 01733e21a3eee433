#include "media/rtp/rtp_server_codec.h"

#include "media/codec/amr_codec.h"
#include "media/codec/g711.h"
#include "media/codec/g729_handle.h"

namespace corvel {
namespace {

constexpr CodecSlot kAudioOrder[] = {CodecSlot::kAmr, CodecSlot::kG729, CodecSlot::kPcma,
                                     CodecSlot::kPcmu};

// An AMR codec opened on first use; none when it cannot be opened (tried again next time).
AmrCodec* ReadyAmr(std::unique_ptr<AmrCodec>& amr) {
  try {
    if (!amr) amr = std::make_unique<AmrCodec>();
  } catch (...) {
    return nullptr;
  }
  return amr->Open() ? amr.get() : nullptr;
}

}  // namespace

std::optional<CodecSlot> CodecTable::AudioCodecFor(uint8_t type) const {
  for (const CodecSlot slot : kAudioOrder) {
    if (typeOf(slot) == type) return slot;
  }
  return std::nullopt;
}

MediaEncoder::MediaEncoder() = default;
MediaEncoder::~MediaEncoder() = default;

int MediaEncoder::Encode(CodecSlot slot, const int16_t* pcm, int byteCount, uint8_t* out,
                         int outCapacity) {
  switch (slot) {
    case CodecSlot::kPcmu:
      return byteCount / 2 <= outCapacity ? PcmuEncode(pcm, byteCount, out) : -1;
    case CodecSlot::kPcma:
      return byteCount / 2 <= outCapacity ? PcmaEncode(pcm, byteCount, out) : -1;
    case CodecSlot::kG729:
      if (!g729_) g729_ = G729Handle::CreateEncoder();
      return g729_ ? g729_->Encode(pcm, byteCount, out, outCapacity) : -1;
    case CodecSlot::kAmr: {
      AmrCodec* amr = ReadyAmr(amr_);
      return amr != nullptr ? amr->Encode(pcm, byteCount, out, outCapacity) : -1;
    }
    case CodecSlot::kDtmf:
      return -1;
  }
  return -1;
}

MediaDecoder::MediaDecoder() = default;
MediaDecoder::~MediaDecoder() = default;

int MediaDecoder::Decode(CodecSlot slot, const uint8_t* payload, int length, int16_t* out,
                         int outCapacity) {
  switch (slot) {
    case CodecSlot::kPcmu:
      return length <= outCapacity / 2 ? PcmuDecode(payload, length, out) : -1;
    case CodecSlot::kPcma:
      return length <= outCapacity / 2 ? PcmaDecode(payload, length, out) : -1;
    case CodecSlot::kG729:
      if (!g729_) g729_ = G729Handle::CreateDecoder();
      return g729_ ? g729_->Decode(payload, length, out, outCapacity) : -1;
    case CodecSlot::kAmr: {
      AmrCodec* amr = ReadyAmr(amr_);
      return amr != nullptr ? amr->Decode(payload, length, out, outCapacity) : -1;
    }
    case CodecSlot::kDtmf:
      return -1;
  }
  return -1;
}

}  // namespace corvel
