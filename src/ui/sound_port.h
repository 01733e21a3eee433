// Ring tones and key tones as the windows ask for them: one sound at a time, started
// asynchronously, once or looped; a new sound ends the one playing.
#pragma once

#include <string>

namespace corvel {

class SoundPort {
 public:
  virtual ~SoundPort() = default;
  virtual void Play(const std::string& wavePath, bool loop) = 0;
  virtual void StopAll() = 0;
};

}  // namespace corvel
