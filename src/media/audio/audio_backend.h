// What the capture and playback code asks of a sound system. A backend opens streams on its
// devices; each stream is used by one thread at a time (Start, then Read or Write from the
// device thread, then Stop, all in sequence). A backend's Open calls are safe from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "media/audio/pcm_format.h"

namespace corvel {

// A recording stream of an input device, created stopped.
class AudioInput {
 public:
  virtual ~AudioInput() = default;
  virtual int Start() = 0;  // 0, or -1 when the device will not run
  // Fills `frames` sample frames (frames x channels samples), waiting until the device has
  // recorded them, which paces the caller at real time. 0, or -1 when the device failed.
  virtual int Read(int16_t* samples, int frames) = 0;
  virtual void Stop() = 0;  // what was recorded and not read is dropped
};

// A playing stream of an output device, created stopped.
class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  virtual int Start() = 0;  // 0, or -1 when the device will not run
  // Queues `frames` sample frames, waiting while the device's own buffer is full, which paces the
  // caller at real time. A stream that was not written for a while has played silence meanwhile.
  // 0, or -1 when the device failed.
  virtual int Write(const int16_t* samples, int frames) = 0;
  virtual void Stop() = 0;  // lets what was written play out, then stops
};

class AudioBackend {
 public:
  virtual ~AudioBackend() = default;

  // The registered name, e.g. "portaudio".
  virtual std::string name() const = 0;

  // The default input device in `format`; nullptr when it cannot be opened so.
  virtual std::unique_ptr<AudioInput> OpenInput(const PcmFormat& format) = 0;

  // The default output device in `format`; nullptr when it cannot be opened so. `stream` names
  // what will play ("player-1a2b3c4d", "sound"); backends that record what is played name their
  // recordings after it.
  virtual std::unique_ptr<AudioOutput> OpenOutput(const PcmFormat& format,
                                                  std::string_view stream) = 0;
};

}  // namespace corvel
