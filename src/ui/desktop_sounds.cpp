#include "ui/desktop_sounds.h"

#include <cstdio>

#include "app/config.h"
#include "media/audio/audio_backend_registry.h"

namespace corvel {

std::shared_ptr<AudioBackend> DesktopAudioBackend(const std::string& configPath) {
  const std::string choice = AudioBackendChoice(Config(configPath).audioDevice());
  std::shared_ptr<AudioBackend> backend = CreateAudioBackend(choice);
  if (!backend)
    std::fprintf(stderr, "Corvel: no sound, audio \"%s\" is not available\n", choice.c_str());
  return backend;
}

}  // namespace corvel
