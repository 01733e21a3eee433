#include "payload_stream.h"

#include <algorithm>
#include <memory>

#include "media/codec/amr_codec.h"
#include "media/codec/amr_frame.h"
#include "media/codec/g711.h"
#include "media/codec/g729_handle.h"

namespace corvel::codec_tool {
namespace {

constexpr int kSamplesPerMs = 8;
constexpr int kMaxPacketMs = 1000;

// Bytes of payload one packet of `pcmBytes` can give, with room to spare.
int PayloadCapacity(int pcmBytes) {
  return pcmBytes + AmrCodec::kFramePcmBytes;
}

StreamResult Failure(std::string error) {
  StreamResult result;
  result.error = std::move(error);
  return result;
}

// One encoder for the whole stream, so the codec state runs on from packet to packet.
class PacketEncoder {
 public:
  static std::unique_ptr<PacketEncoder> Create(Codec codec) {
    auto encoder = std::unique_ptr<PacketEncoder>(new PacketEncoder(codec));
    if (codec == Codec::kG729 && !(encoder->g729_ = G729Handle::CreateEncoder())) return nullptr;
    if (codec == Codec::kAmr && !encoder->amr_.Open()) return nullptr;
    return encoder;
  }

  int Encode(const int16_t* pcm, int pcmBytes, uint8_t* out, int outCapacity) {
    switch (codec_) {
      case Codec::kPcmu:
        return PcmuEncode(pcm, pcmBytes, out);
      case Codec::kPcma:
        return PcmaEncode(pcm, pcmBytes, out);
      case Codec::kG729:
        return g729_->Encode(pcm, pcmBytes, out, outCapacity);
      case Codec::kAmr:
        return amr_.Encode(pcm, pcmBytes, out, outCapacity);
    }
    return -1;
  }

 private:
  explicit PacketEncoder(Codec codec) : codec_(codec) {}

  const Codec codec_;
  std::unique_ptr<G729Handle> g729_;
  AmrCodec amr_;
};

StreamResult DecodeG711(Codec codec, const std::vector<uint8_t>& stream,
                        std::vector<int16_t>& pcm) {
  pcm.assign(stream.size(), 0);
  if (!stream.empty()) {
    const int length = static_cast<int>(stream.size());
    const int produced = codec == Codec::kPcmu ? PcmuDecode(stream.data(), length, pcm.data())
                                               : PcmaDecode(stream.data(), length, pcm.data());
    if (produced != 2 * length) return Failure("G.711 decoding failed");
  }
  StreamResult result;
  result.ok = true;
  result.packets = static_cast<int>(stream.size());
  return result;
}

StreamResult DecodeG729(const std::vector<uint8_t>& stream, std::vector<int16_t>& pcm) {
  std::unique_ptr<G729Handle> decoder = G729Handle::CreateDecoder();
  if (!decoder) return Failure("cannot set up the G.729 decoder");
  StreamResult result;
  int16_t frame[G729Handle::kFramePcmBytes / 2];
  for (std::size_t offset = 0; offset + G729Handle::kFrameBytes <= stream.size();
       offset += G729Handle::kFrameBytes) {
    if (decoder->Decode(stream.data() + offset, G729Handle::kFrameBytes, frame, sizeof frame) !=
        G729Handle::kFramePcmBytes) {
      return Failure("G.729 decoding failed");
    }
    pcm.insert(pcm.end(), frame, frame + G729Handle::kFramePcmBytes / 2);
    ++result.packets;
  }
  result.ok = true;
  return result;
}

StreamResult DecodeAmr(const std::vector<uint8_t>& stream, std::vector<int16_t>& pcm) {
  if (stream.size() < kAmrMagic.size() ||
      !std::equal(kAmrMagic.begin(), kAmrMagic.end(), stream.begin())) {
    return Failure("not an AMR-NB file: the \"#!AMR\\n\" magic is missing");
  }
  AmrCodec decoder;
  if (!decoder.Open()) return Failure("cannot set up the AMR decoder");
  StreamResult result;
  // The decoder asks for room for one frame more than a 32-byte payload can hold.
  int16_t frame[AmrCodec::kFramePcmBytes];
  std::size_t offset = kAmrMagic.size();
  while (offset < stream.size()) {
    const int size = AmrFrameBytes(AmrFrameType(stream[offset]));
    if (size == 0) {
      return Failure("frame type " + std::to_string(AmrFrameType(stream[offset])) +
                     " has no size, at byte " + std::to_string(offset));
    }
    const int available = static_cast<int>(std::min<std::size_t>(size, stream.size() - offset));
    if (decoder.Decode(stream.data() + offset, available, frame, sizeof frame) !=
        AmrCodec::kFramePcmBytes) {
      return Failure("AMR decoding failed");
    }
    pcm.insert(pcm.end(), frame, frame + AmrCodec::kFramePcmBytes / 2);
    ++result.packets;
    offset += static_cast<std::size_t>(size);
  }
  result.ok = true;
  return result;
}

}  // namespace

std::optional<Codec> CodecFromName(std::string_view name) {
  if (name == "pcmu") return Codec::kPcmu;
  if (name == "pcma") return Codec::kPcma;
  if (name == "g729") return Codec::kG729;
  if (name == "amr") return Codec::kAmr;
  return std::nullopt;
}

StreamResult EncodeStream(Codec codec, const std::vector<int16_t>& pcm, int packetMs,
                          std::vector<uint8_t>& out) {
  if (packetMs < 1 || packetMs > kMaxPacketMs) return Failure("packet time must be 1 to 1000 ms");
  std::unique_ptr<PacketEncoder> encoder = PacketEncoder::Create(codec);
  if (!encoder) return Failure("cannot set up the encoder");
  if (codec == Codec::kAmr) out.insert(out.end(), kAmrMagic.begin(), kAmrMagic.end());

  const std::size_t packetSamples = static_cast<std::size_t>(packetMs * kSamplesPerMs);
  const int pcmBytes = static_cast<int>(packetSamples * 2);
  std::vector<int16_t> packet(packetSamples);
  std::vector<uint8_t> payload(static_cast<std::size_t>(PayloadCapacity(pcmBytes)));
  StreamResult result;
  for (std::size_t first = 0; first < pcm.size(); first += packetSamples) {
    const std::size_t count = std::min(packetSamples, pcm.size() - first);
    std::fill(std::copy(pcm.begin() + static_cast<std::ptrdiff_t>(first),
                        pcm.begin() + static_cast<std::ptrdiff_t>(first + count), packet.begin()),
              packet.end(), int16_t{0});
    const int bytes =
        encoder->Encode(packet.data(), pcmBytes, payload.data(), static_cast<int>(payload.size()));
    if (bytes < 0) return Failure("encoding failed");
    out.insert(out.end(), payload.begin(), payload.begin() + bytes);
    ++result.packets;
  }
  result.ok = true;
  return result;
}

StreamResult DecodeStream(Codec codec, const std::vector<uint8_t>& stream,
                          std::vector<int16_t>& pcm) {
  pcm.clear();
  switch (codec) {
    case Codec::kPcmu:
    case Codec::kPcma:
      return DecodeG711(codec, stream, pcm);
    case Codec::kG729:
      return DecodeG729(stream, pcm);
    case Codec::kAmr:
      return DecodeAmr(stream, pcm);
  }
  return Failure("unknown codec");
}

}  // namespace corvel::codec_tool
