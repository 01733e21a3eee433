// "null": a microphone that records silence and a speaker that hears nothing, both at the pace
// of real devices, for machines without sound and for tests that need no recordings.
#include "media/audio/audio_backend_registry.h"
#include "media/audio/paced_stream.h"

namespace corvel {
namespace {

class NullBackend final : public AudioBackend {
 public:
  std::string name() const override { return "null"; }

  std::unique_ptr<AudioInput> OpenInput(const PcmFormat& format) override {
    if (!format.supported()) return nullptr;
    try {
      return std::make_unique<PacedInput>(format, std::vector<int16_t>());
    } catch (...) {
      return nullptr;
    }
  }

  std::unique_ptr<AudioOutput> OpenOutput(const PcmFormat& format,
                                          std::string_view /*stream*/) override {
    if (!format.supported()) return nullptr;
    try {
      return std::make_unique<PacedOutput>(format, nullptr);
    } catch (...) {
      return nullptr;
    }
  }
};

std::unique_ptr<AudioBackend> MakeNullBackend(std::string_view options) {
  if (!options.empty()) return nullptr;
  return std::make_unique<NullBackend>();
}

const AudioBackendRegistration kRegistration("null", MakeNullBackend);

}  // namespace
}  // namespace corvel
