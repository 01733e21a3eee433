#include "media/audio/audio_backend_registry.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>

namespace corvel {
namespace {

struct Registry {
  std::mutex mutex;  // guards factories
  std::map<std::string, AudioBackendFactory, std::less<>> factories;
};

// Constructed on first use, so registrations from other files' static objects find it ready
// whatever the order of static initialisation.
Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

AudioBackendRegistration::AudioBackendRegistration(std::string name,
                                                   AudioBackendFactory factory) noexcept {
  try {
    Registry& registry = TheRegistry();
    const std::lock_guard<std::mutex> guard(registry.mutex);
    registry.factories[std::move(name)] = std::move(factory);
  } catch (...) {
    // Out of memory before main: the backend is simply not offered.
  }
}

std::string AudioBackendChoice(const std::optional<std::string>& configured) {
  const char* environment = std::getenv(kAudioEnvironmentVariable);
  if (environment != nullptr && *environment != '\0') return environment;
  if (configured && !configured->empty()) return *configured;
  return kDefaultAudioBackend;
}

std::shared_ptr<AudioBackend> CreateAudioBackend(std::string_view choice) {
  try {
    const std::size_t colon = choice.find(':');
    const std::string_view name = choice.substr(0, colon);
    const std::string_view options =
        colon == std::string_view::npos ? std::string_view() : choice.substr(colon + 1);
    AudioBackendFactory factory;
    {
      Registry& registry = TheRegistry();
      const std::lock_guard<std::mutex> guard(registry.mutex);
      const auto found = registry.factories.find(name);
      if (found == registry.factories.end()) return nullptr;
      factory = found->second;
    }
    return std::shared_ptr<AudioBackend>(factory(options));
  } catch (...) {
    return nullptr;
  }
}

std::vector<std::string> AudioBackendNames() {
  std::vector<std::string> names;
  try {
    Registry& registry = TheRegistry();
    const std::lock_guard<std::mutex> guard(registry.mutex);
    for (const auto& entry : registry.factories)
      names.push_back(entry.first);
  } catch (...) {
    names.clear();
  }
  return names;
}

}  // namespace corvel
