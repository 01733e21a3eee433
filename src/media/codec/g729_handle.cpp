#include "media/codec/g729_handle.h"

#include <new>

extern "C" {
#include <bcg729/decoder.h>
#include <bcg729/encoder.h>
}

namespace corvel {
namespace {

constexpr uint8_t kVadOff = 0;

}  // namespace

void G729Handle::EncoderClose::operator()(bcg729EncoderChannelContextStruct_struct* state) const {
  closeBcg729EncoderChannel(state);
}

void G729Handle::DecoderClose::operator()(bcg729DecoderChannelContextStruct_struct* state) const {
  closeBcg729DecoderChannel(state);
}

std::unique_ptr<G729Handle> G729Handle::CreateEncoder() {
  std::unique_ptr<G729Handle> handle(new (std::nothrow) G729Handle());
  if (!handle || !handle->ReadyEncoder()) return nullptr;
  return handle;
}

std::unique_ptr<G729Handle> G729Handle::CreateDecoder() {
  std::unique_ptr<G729Handle> handle(new (std::nothrow) G729Handle());
  if (!handle || !handle->ReadyDecoder()) return nullptr;
  return handle;
}

G729Handle::~G729Handle() = default;

bool G729Handle::ReadyEncoder() {
  if (!encoder_) encoder_.reset(initBcg729EncoderChannel(kVadOff));
  return encoder_ != nullptr;
}

bool G729Handle::ReadyDecoder() {
  if (!decoder_) decoder_.reset(initBcg729DecoderChannel());
  return decoder_ != nullptr;
}

int G729Handle::Encode(const int16_t* pcm, int byteCount, uint8_t* out, int outCapacity) {
  if (pcm == nullptr || out == nullptr || byteCount <= 0) return -1;
  if (int64_t{outCapacity} * 16 < byteCount) return -1;
  if (!ReadyEncoder()) return -1;
  int written = 0;
  for (int offset = 0; byteCount - offset >= kFramePcmBytes && outCapacity - written >= kFrameBytes;
       offset += kFramePcmBytes) {
    uint8_t frameBytes = 0;
    bcg729Encoder(encoder_.get(), pcm + offset / 2, out + written, &frameBytes);
    written += frameBytes;  // always a full frame with voice activity detection off
  }
  return written;
}

int G729Handle::Decode(const uint8_t* data, int length, int16_t* out, int outCapacity) {
  if (data == nullptr || out == nullptr || length <= 0) return -1;
  if (outCapacity < int64_t{16} * length) return -1;
  if (!ReadyDecoder()) return -1;
  int produced = 0;
  for (int offset = 0; length - offset >= kFrameBytes && outCapacity - produced >= kFramePcmBytes;
       offset += kFrameBytes) {
    bcg729Decoder(decoder_.get(), data + offset, kFrameBytes, 0, 0, 0, out + produced / 2);
    produced += kFramePcmBytes;
  }
  return produced;
}

}  // namespace corvel
