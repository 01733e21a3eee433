// Sample-rate conversion through libspeexdsp, for devices that refuse 8000 Hz and for sound
// files recorded at another rate. An object belongs to one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct SpeexResamplerState_;

namespace corvel {

class Resampler {
 public:
  // nullptr for rates or channels speexdsp does not take, or when memory is short.
  static std::unique_ptr<Resampler> Create(int channels, int inRate, int outRate);

  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  // Converts `frames` interleaved input frames and appends what comes out to `out`. The filter
  // holds back a few milliseconds, which come out with the next input.
  void Process(const int16_t* in, int frames, std::vector<int16_t>& out);

  // A whole recording at once, its end flushed out of the filter and the filter's delay removed
  // from its start.
  static std::vector<int16_t> ConvertAll(const std::vector<int16_t>& in, int channels, int inRate,
                                         int outRate);

 private:
  struct Destroy {
    void operator()(SpeexResamplerState_* state) const;
  };
  Resampler(std::unique_ptr<SpeexResamplerState_, Destroy> state, int channels, int inRate,
            int outRate);

  const std::unique_ptr<SpeexResamplerState_, Destroy> state_;
  const int channels_;
  const int inRate_;
  const int outRate_;
};

}  // namespace corvel
