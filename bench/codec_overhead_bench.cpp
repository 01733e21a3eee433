// What our G.729 and AMR-NB wrappers cost on top of calling bcg729 and opencore-amrnb directly,
// per 20 ms packet of a speech-like signal.
#include <benchmark/benchmark.h>

extern "C" {
#include <bcg729/decoder.h>
#include <bcg729/encoder.h>
}
#include <opencore-amrnb/interf_dec.h>
#include <opencore-amrnb/interf_enc.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/codec/amr_codec.h"
#include "media/codec/g729_handle.h"
#include "ratio_report.h"
#include "test_signal.h"

namespace {

constexpr int kPacketSamples = 160;  // 20 ms
constexpr int kPackets = 250;        // 5 s, cycled
constexpr int kG729PacketBytes = 20;
constexpr int kAmrPacketBytes = 32;

const std::vector<int16_t>& Signal() {
  static const std::vector<int16_t> signal =
      corvel::bench::SpeechLikeSignal(kPacketSamples * kPackets);
  return signal;
}

const std::vector<uint8_t>& G729Stream() {
  static const std::vector<uint8_t> stream = [] {
    auto encoder = corvel::G729Handle::CreateEncoder();
    std::vector<uint8_t> bytes(kPackets * kG729PacketBytes);
    encoder->Encode(Signal().data(), static_cast<int>(Signal().size() * 2), bytes.data(),
                    static_cast<int>(bytes.size()));
    return bytes;
  }();
  return stream;
}

const std::vector<uint8_t>& AmrStream() {
  static const std::vector<uint8_t> stream = [] {
    corvel::AmrCodec codec;
    codec.Open();
    std::vector<uint8_t> bytes(kPackets * kAmrPacketBytes);
    codec.Encode(Signal().data(), static_cast<int>(Signal().size() * 2), bytes.data(),
                 static_cast<int>(bytes.size()));
    return bytes;
  }();
  return stream;
}

void G729EncodeOurs(benchmark::State& state) {
  auto encoder = corvel::G729Handle::CreateEncoder();
  uint8_t payload[kG729PacketBytes];
  int packet = 0;
  for (auto _ : state) {
    encoder->Encode(Signal().data() + packet * kPacketSamples, 2 * kPacketSamples, payload,
                    sizeof payload);
    benchmark::DoNotOptimize(payload);
    packet = (packet + 1) % kPackets;
  }
  state.SetItemsProcessed(state.iterations());
}

void G729EncodeDirect(benchmark::State& state) {
  bcg729EncoderChannelContextStruct* encoder = initBcg729EncoderChannel(0);
  uint8_t payload[kG729PacketBytes];
  int packet = 0;
  for (auto _ : state) {
    const int16_t* pcm = Signal().data() + packet * kPacketSamples;
    uint8_t length = 0;
    bcg729Encoder(encoder, pcm, payload, &length);
    bcg729Encoder(encoder, pcm + 80, payload + 10, &length);
    benchmark::DoNotOptimize(payload);
    packet = (packet + 1) % kPackets;
  }
  closeBcg729EncoderChannel(encoder);
  state.SetItemsProcessed(state.iterations());
}

void G729DecodeOurs(benchmark::State& state) {
  auto decoder = corvel::G729Handle::CreateDecoder();
  int16_t pcm[kPacketSamples];
  int packet = 0;
  for (auto _ : state) {
    decoder->Decode(G729Stream().data() + packet * kG729PacketBytes, kG729PacketBytes, pcm,
                    sizeof pcm);
    benchmark::DoNotOptimize(pcm);
    packet = (packet + 1) % kPackets;
  }
  state.SetItemsProcessed(state.iterations());
}

void G729DecodeDirect(benchmark::State& state) {
  bcg729DecoderChannelContextStruct* decoder = initBcg729DecoderChannel();
  int16_t pcm[kPacketSamples];
  int packet = 0;
  for (auto _ : state) {
    const uint8_t* bytes = G729Stream().data() + packet * kG729PacketBytes;
    bcg729Decoder(decoder, bytes, 10, 0, 0, 0, pcm);
    bcg729Decoder(decoder, bytes + 10, 10, 0, 0, 0, pcm + 80);
    benchmark::DoNotOptimize(pcm);
    packet = (packet + 1) % kPackets;
  }
  closeBcg729DecoderChannel(decoder);
  state.SetItemsProcessed(state.iterations());
}

void AmrEncodeOurs(benchmark::State& state) {
  corvel::AmrCodec codec;
  codec.Open();
  uint8_t payload[kAmrPacketBytes];
  int packet = 0;
  for (auto _ : state) {
    codec.Encode(Signal().data() + packet * kPacketSamples, 2 * kPacketSamples, payload,
                 sizeof payload);
    benchmark::DoNotOptimize(payload);
    packet = (packet + 1) % kPackets;
  }
  state.SetItemsProcessed(state.iterations());
}

void AmrEncodeDirect(benchmark::State& state) {
  void* encoder = Encoder_Interface_init(0);
  // The library filters its input in place, so it works on a copy that is renewed each cycle:
  // as many bytes copied per packet as our wrapper copies.
  std::vector<int16_t> working = Signal();
  uint8_t payload[kAmrPacketBytes];
  int packet = 0;
  for (auto _ : state) {
    Encoder_Interface_Encode(encoder, MR122, working.data() + packet * kPacketSamples, payload, 0);
    benchmark::DoNotOptimize(payload);
    packet = (packet + 1) % kPackets;
    if (packet == 0) std::copy(Signal().begin(), Signal().end(), working.begin());
  }
  Encoder_Interface_exit(encoder);
  state.SetItemsProcessed(state.iterations());
}

void AmrDecodeOurs(benchmark::State& state) {
  corvel::AmrCodec codec;
  codec.Open();
  int16_t pcm[2 * kPacketSamples];
  int packet = 0;
  for (auto _ : state) {
    codec.Decode(AmrStream().data() + packet * kAmrPacketBytes, kAmrPacketBytes, pcm, sizeof pcm);
    benchmark::DoNotOptimize(pcm);
    packet = (packet + 1) % kPackets;
  }
  state.SetItemsProcessed(state.iterations());
}

void AmrDecodeDirect(benchmark::State& state) {
  void* decoder = Decoder_Interface_init();
  int16_t pcm[kPacketSamples];
  int packet = 0;
  for (auto _ : state) {
    Decoder_Interface_Decode(decoder, AmrStream().data() + packet * kAmrPacketBytes, pcm, 0);
    benchmark::DoNotOptimize(pcm);
    packet = (packet + 1) % kPackets;
  }
  Decoder_Interface_exit(decoder);
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

int main(int argc, char** argv) {
  struct Pair {
    const char* name;
    void (*ours)(benchmark::State&);
    void (*direct)(benchmark::State&);
  };
  const Pair pairs[] = {
      {"G729/Encode", G729EncodeOurs, G729EncodeDirect},
      {"G729/Decode", G729DecodeOurs, G729DecodeDirect},
      {"AMR/Encode", AmrEncodeOurs, AmrEncodeDirect},
      {"AMR/Decode", AmrDecodeOurs, AmrDecodeDirect},
  };
  std::vector<corvel::bench::Comparison> comparisons;
  for (const Pair& pair : pairs) {
    const std::string ours = std::string(pair.name) + "/corvel";
    const std::string direct = std::string(pair.name) + "/library";
    benchmark::RegisterBenchmark(ours.c_str(), pair.ours)
        ->Repetitions(7)
        ->ReportAggregatesOnly(true);
    benchmark::RegisterBenchmark(direct.c_str(), pair.direct)
        ->Repetitions(7)
        ->ReportAggregatesOnly(true);
    comparisons.push_back({std::string(pair.name) + " per 20 ms", ours, direct, false});
  }
  return corvel::bench::RunAndCompare(argc, argv, comparisons);
}
