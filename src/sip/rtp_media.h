// What the SIP endpoint needs of the RTP server (media/rtp): only a reference for now, through
// which the calls end their media; the SDP offer and answer will add what they read and set.
#pragma once

namespace corvel {

class RtpMedia {
 public:
  virtual ~RtpMedia() = default;
  // Ends the media session; called when the last call of the call table is gone.
  virtual void EndRTPSession() = 0;
};

}  // namespace corvel
