// G.711 throughput of our tables against spandsp's G.711, over the same speech-like signal in
// 20 ms frames.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "media/codec/g711.h"
#include "ratio_report.h"
#include "test_signal.h"

// After <cmath>, whose declarations telephony.h's math macros would otherwise garble; and
// telephony.h and bit_operations.h before g711.h, which uses them without including them.
#include <spandsp/telephony.h>

#include <spandsp/bit_operations.h>

#include <spandsp/g711.h>

namespace {

constexpr int kFrameSamples = 160;
constexpr int kFrames = 500;  // 10 s

const std::vector<int16_t>& Signal() {
  static const std::vector<int16_t> signal =
      corvel::bench::SpeechLikeSignal(kFrameSamples * kFrames);
  return signal;
}

const std::vector<uint8_t>& Codes() {
  static const std::vector<uint8_t> codes = [] {
    std::vector<uint8_t> bytes(Signal().size());
    corvel::PcmuEncode(Signal().data(), static_cast<int>(bytes.size() * 2), bytes.data());
    return bytes;
  }();
  return codes;
}

template <typename EncodeFrame>
void RunEncode(benchmark::State& state, EncodeFrame encode) {
  const std::vector<int16_t>& pcm = Signal();
  std::vector<uint8_t> out(pcm.size());
  for (auto _ : state) {
    for (int frame = 0; frame < kFrames; ++frame) {
      encode(pcm.data() + frame * kFrameSamples, out.data() + frame * kFrameSamples);
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(pcm.size()));
}

template <typename DecodeFrame>
void RunDecode(benchmark::State& state, DecodeFrame decode) {
  const std::vector<uint8_t>& codes = Codes();
  std::vector<int16_t> out(codes.size());
  for (auto _ : state) {
    for (int frame = 0; frame < kFrames; ++frame) {
      decode(codes.data() + frame * kFrameSamples, out.data() + frame * kFrameSamples);
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(codes.size()));
}

struct Spandsp {
  explicit Spandsp(int mode) : state(g711_init(nullptr, mode)) {}
  ~Spandsp() { g711_free(state); }
  Spandsp(const Spandsp&) = delete;
  Spandsp& operator=(const Spandsp&) = delete;
  g711_state_t* state;
};

void Register() {
  struct Law {
    const char* name;
    int mode;
    int (*encode)(const int16_t*, int, uint8_t*);
    int (*decode)(const uint8_t*, int, int16_t*);
  };
  for (const Law& law : {Law{"Ulaw", G711_ULAW, corvel::PcmuEncode, corvel::PcmuDecode},
                         Law{"Alaw", G711_ALAW, corvel::PcmaEncode, corvel::PcmaDecode}}) {
    const std::string prefix = std::string("G711/") + law.name;
    benchmark::RegisterBenchmark((prefix + "Encode/corvel").c_str(),
                                 [law](benchmark::State& s) {
                                   RunEncode(s, [&](const int16_t* pcm, uint8_t* out) {
                                     law.encode(pcm, 2 * kFrameSamples, out);
                                   });
                                 })
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
    benchmark::RegisterBenchmark((prefix + "Encode/spandsp").c_str(),
                                 [law](benchmark::State& s) {
                                   const Spandsp spandsp(law.mode);
                                   RunEncode(s, [&](const int16_t* pcm, uint8_t* out) {
                                     g711_encode(spandsp.state, out, pcm, kFrameSamples);
                                   });
                                 })
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
    benchmark::RegisterBenchmark((prefix + "Decode/corvel").c_str(),
                                 [law](benchmark::State& s) {
                                   RunDecode(s, [&](const uint8_t* codes, int16_t* out) {
                                     law.decode(codes, kFrameSamples, out);
                                   });
                                 })
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
    benchmark::RegisterBenchmark((prefix + "Decode/spandsp").c_str(),
                                 [law](benchmark::State& s) {
                                   const Spandsp spandsp(law.mode);
                                   RunDecode(s, [&](const uint8_t* codes, int16_t* out) {
                                     g711_decode(spandsp.state, out, codes, kFrameSamples);
                                   });
                                 })
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Register();
  std::vector<corvel::bench::Comparison> comparisons;
  for (const char* name : {"UlawEncode", "UlawDecode", "AlawEncode", "AlawDecode"}) {
    const std::string base = std::string("G711/") + name;
    comparisons.push_back({base + " vs spandsp", base + "/corvel", base + "/spandsp", true});
  }
  return corvel::bench::RunAndCompare(argc, argv, comparisons);
}
