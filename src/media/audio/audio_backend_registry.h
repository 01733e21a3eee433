// Backends register themselves by name; the rest of the program asks for one by a choice text
// "name" or "name:options" and never names a backend itself.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "media/audio/audio_backend.h"

namespace corvel {

// Makes a backend from the options after the colon (empty without one); nullptr when the options
// are malformed or the sound system cannot be reached.
using AudioBackendFactory = std::function<std::unique_ptr<AudioBackend>(std::string_view options)>;

// A static object of this type in a backend's source file adds the backend to the registry.
class AudioBackendRegistration {
 public:
  AudioBackendRegistration(std::string name, AudioBackendFactory factory) noexcept;
};

// The environment variable that overrides the configured choice.
inline constexpr const char* kAudioEnvironmentVariable = "CORVEL_AUDIO";
inline constexpr const char* kDefaultAudioBackend = "portaudio";

// The choice in force: $CORVEL_AUDIO when set and not empty, else the configured value ([WAVE]
// audioDevice) when present and not empty, else "portaudio".
std::string AudioBackendChoice(const std::optional<std::string>& configured);

// The backend for a choice text; nullptr for an unknown name or when its factory fails. Never
// throws.
std::shared_ptr<AudioBackend> CreateAudioBackend(std::string_view choice);

// The registered names, sorted.
std::vector<std::string> AudioBackendNames();

}  // namespace corvel
