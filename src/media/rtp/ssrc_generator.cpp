#include "media/rtp/ssrc_generator.h"

#include <mutex>
#include <random>

#include "media/toolkit/tick.h"

namespace corvel {
namespace {

uint32_t Seed() {
  try {
    return std::random_device{}();
  } catch (...) {
    return TickCount();  // no entropy source: the tick count still varies between runs
  }
}

struct SsrcState {
  std::mutex mutex;  // guards random and accumulator
  std::mt19937 random{Seed()};
  uint32_t accumulator = 0;  // the last SSRC generated in this process
};

SsrcState& State() {
  static SsrcState state;
  return state;
}

}  // namespace

uint32_t GenerateSsrc() {
  SsrcState& state = State();
  const std::lock_guard<std::mutex> guard(state.mutex);
  uint32_t ssrc = 0;
  do {
    ssrc = TickCount() + static_cast<uint32_t>(state.random()) + state.accumulator;
  } while (ssrc == 0 || ssrc == state.accumulator);
  state.accumulator = ssrc;
  return ssrc;
}

}  // namespace corvel
