// The telephone as the main window drives it: the SIP endpoint, the RTP session and the
// capture, built by the phone module. Every call here is made on the UI thread; the
// implementation takes the SIP stack's lock where the stack is touched.
#pragma once

#include <cstdint>
#include <string>

namespace corvel {

class PhoneControls {
 public:
  virtual ~PhoneControls() = default;

  // May also be asked from the business worker's thread.
  virtual bool HasEndpoint() const = 0;
  virtual bool HasRtpSession() const = 0;
  // Registrations answered so far: below 0 failed, 0 pending.
  virtual int RegistCounter() const = 0;
  virtual bool NatMode() const = 0;
  virtual bool NatAddressKnown() const = 0;

  virtual void Invite(const std::string& number) = 0;
  virtual void Answer(std::uint32_t identify, int statusCode) = 0;
  virtual void HangUp(std::uint32_t identify) = 0;  // 0: every call
  virtual void SendDtmf(int keyValue) = 0;
  // Starts microphone capture into the RTP session when a call connects.
  virtual void StartCapture() = 0;
  // The window's closing sequence: unregister and hang up, then close and delete everything.
  virtual void Shutdown() = 0;
};

}  // namespace corvel
