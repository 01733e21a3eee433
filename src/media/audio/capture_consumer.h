// Who takes the microphone's frames: the RTP server.
#pragma once

#include <cstdint>

namespace corvel {

class CaptureConsumer {
 public:
  virtual ~CaptureConsumer() = default;
  // One filled capture buffer, called on the capture's hand-off thread; the bytes are valid only
  // during the call. False when the frame was refused or dropped.
  virtual bool PushCaptured(const uint8_t* pcm, int byteCount) = 0;
};

}  // namespace corvel
