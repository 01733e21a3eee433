// The windows' ring and key tones, played by the sound player on the audio backend that the
// configuration ([WAVE] audioDevice) or $CORVEL_AUDIO chooses.
#pragma once

#include <memory>
#include <string>

#include "media/audio/sound_player.h"
#include "ui/sound_port.h"

namespace corvel {

class AudioBackend;

class DesktopSounds : public SoundPort {
 public:
  // Without a backend nothing is heard; the windows behave the same.
  explicit DesktopSounds(std::shared_ptr<AudioBackend> backend) : player_(std::move(backend)) {}

  void Play(const std::string& wavePath, bool loop) override { player_.Play(wavePath, loop); }
  void StopAll() override { player_.StopAll(); }

 private:
  SoundPlayer player_;
};

// The backend for `configPath`'s choice; nullptr (with a warning on stderr) when it cannot be had.
std::shared_ptr<AudioBackend> DesktopAudioBackend(const std::string& configPath);

}  // namespace corvel
