#include "media/audio/resampler.h"

#include <speex/speex_resampler.h>

#include <algorithm>

namespace corvel {
namespace {

// Speech quality at a modest cost; the devices and files here carry telephone audio.
constexpr int kQuality = SPEEX_RESAMPLER_QUALITY_VOIP;

}  // namespace

void Resampler::Destroy::operator()(SpeexResamplerState_* state) const {
  speex_resampler_destroy(state);
}

Resampler::Resampler(std::unique_ptr<SpeexResamplerState_, Destroy> state, int channels, int inRate,
                     int outRate)
    : state_(std::move(state)), channels_(channels), inRate_(inRate), outRate_(outRate) {}

Resampler::~Resampler() = default;

std::unique_ptr<Resampler> Resampler::Create(int channels, int inRate, int outRate) {
  if (channels < 1 || channels > 8 || inRate <= 0 || outRate <= 0) return nullptr;
  int error = 0;
  std::unique_ptr<SpeexResamplerState_, Destroy> state(
      speex_resampler_init(static_cast<spx_uint32_t>(channels), static_cast<spx_uint32_t>(inRate),
                           static_cast<spx_uint32_t>(outRate), kQuality, &error));
  if (!state || error != RESAMPLER_ERR_SUCCESS) return nullptr;
  try {
    return std::unique_ptr<Resampler>(new Resampler(std::move(state), channels, inRate, outRate));
  } catch (...) {
    return nullptr;
  }
}

void Resampler::Process(const int16_t* in, int frames, std::vector<int16_t>& out) {
  while (frames > 0) {
    // Generous room: the ratio plus what the filter may release from earlier input.
    const int room = static_cast<int>(static_cast<int64_t>(frames) * outRate_ / inRate_) + 64;
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(room * channels_));
    spx_uint32_t inFrames = static_cast<spx_uint32_t>(frames);
    spx_uint32_t outFrames = static_cast<spx_uint32_t>(room);
    speex_resampler_process_interleaved_int(state_.get(), in, &inFrames, out.data() + start,
                                            &outFrames);
    out.resize(start + static_cast<std::size_t>(outFrames) * static_cast<std::size_t>(channels_));
    if (inFrames == 0 && outFrames == 0) break;  // nothing moves; do not spin
    in += static_cast<std::ptrdiff_t>(inFrames) * channels_;
    frames -= static_cast<int>(inFrames);
  }
}

std::vector<int16_t> Resampler::ConvertAll(const std::vector<int16_t>& in, int channels, int inRate,
                                           int outRate) {
  if (inRate == outRate) return in;
  std::unique_ptr<Resampler> resampler = Create(channels, inRate, outRate);
  if (!resampler || channels <= 0) return {};
  speex_resampler_skip_zeros(resampler->state_.get());
  std::vector<int16_t> out;
  const int frames = static_cast<int>(in.size()) / channels;
  resampler->Process(in.data(), frames, out);
  // Push the held-back tail out with silence, then cut to the exact converted length.
  const int latency = speex_resampler_get_input_latency(resampler->state_.get());
  const std::vector<int16_t> zeros(static_cast<std::size_t>(std::max(latency, 0) * channels), 0);
  resampler->Process(zeros.data(), latency, out);
  const std::size_t wanted =
      static_cast<std::size_t>(static_cast<int64_t>(frames) * outRate / inRate * channels);
  if (out.size() > wanted) out.resize(wanted);
  return out;
}

}  // namespace corvel
