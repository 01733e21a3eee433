// Ring tones and key tones: one WAV file at a time, played on a thread of its own, once or
// looped. Starting a sound ends the one playing (so a key tone ends a looping ring), and an empty
// path only ends it. Safe from any thread; Play and StopAll return at once or within one 20 ms
// chunk of audio.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace corvel {

class AudioBackend;
class AudioOutput;

class SoundPlayer {
 public:
  // Sounds go to the default output device of `backend` (none: nothing is heard), opened when
  // the first sound plays and kept for the player's life.
  explicit SoundPlayer(std::shared_ptr<AudioBackend> backend);
  ~SoundPlayer();
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  // Ends the sound playing and starts the file at `wavePath` without waiting for it; with `loop`
  // it repeats until the next Play or StopAll. The file is read before Play returns: false when
  // it cannot be read (nothing plays then). An empty path stops and returns true.
  bool Play(const std::string& wavePath, bool loop);

  // Ends the sound playing; once it returns none of it is handed to the device any more.
  void StopAll();

  bool playing() const;  // a sound was started and has not ended

 private:
  struct Sound {
    std::shared_ptr<const std::vector<int16_t>> samples;
    bool loop = false;
    uint64_t generation = 0;
  };

  void Run(const std::stop_token& stop);
  void PlaySound(const Sound& sound, const std::stop_token& stop);
  bool Current(uint64_t generation, const std::stop_token& stop);

  const std::shared_ptr<AudioBackend> backend_;
  mutable std::mutex mutex_;  // guards everything below but output_
  std::condition_variable_any changed_;
  std::optional<Sound> request_;  // the sound to start next
  uint64_t generation_ = 0;  // counts Play and StopAll calls; a sound lives while it is current
  uint64_t active_ = 0;      // the generation being handed to the device; 0 when none
  bool playing_ = false;
  std::unique_ptr<AudioOutput> output_;  // used by the thread only
  std::jthread thread_;  // started by the first Play; last member, it ends before the rest goes
};

}  // namespace corvel
