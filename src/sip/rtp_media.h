// What the SIP endpoint needs of the RTP server: the addresses and formats its SDP offers and
// answers name, the two settings a negotiated call gives it, and the end of the media. The phone
// module adapts the real RTP server to it; tests give their own.
#pragma once

#include <cstdint>
#include <string>

#include "media/rtp/rtp_server_codec.h"

namespace corvel {

class RtpMedia {
 public:
  virtual ~RtpMedia() = default;

  virtual std::string localHost() const = 0;
  virtual uint16_t localPort() const = 0;
  virtual bool natMode() const = 0;
  // The public address learned from the NAT server; empty and 0 until it answered.
  virtual std::string natHost() const = 0;
  virtual uint16_t natPort() const = 0;
  virtual CodecTable codecTable() const = 0;

  // Where the other side wants its audio (dotted host text), and the payload type to send.
  virtual bool SetRemote(const char* hostText, uint16_t port) = 0;
  virtual bool SetSendPayloadType(uint8_t payloadType) = 0;
  // Ends the media session; called when the last call of the call table is gone.
  virtual void EndRTPSession() = 0;
};

}  // namespace corvel
