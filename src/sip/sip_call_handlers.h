// The call side of the SIP endpoint, as its event thread sees it: the stale-call sweep run
// before every wait and the handlers of the call events. Every handler runs on the event thread
// with the stack lock held; the sweep runs on the event thread without it. The defaults do
// nothing, so an endpoint without calls still registers.
#pragma once

#include "sip/ua/ua_event.h"

namespace corvel {

class SipCallHandlers {
 public:
  virtual ~SipCallHandlers() = default;

  virtual void ReleaseStaleCalls() {}

  virtual void ProcInvite(const ua::Event&) {}   // EXOSIP_CALL_INVITE
  virtual void ProcRinging(const ua::Event&) {}  // EXOSIP_CALL_RINGING
  // EXOSIP_CALL_ANSWERED, _REQUESTFAILURE, _SERVERFAILURE, _GLOBALFAILURE
  virtual void ProcAnswer(const ua::Event&) {}
  virtual void ProcAck(const ua::Event&) {}      // EXOSIP_CALL_ACK
  virtual void ProcBye(const ua::Event&) {}      // EXOSIP_CALL_CLOSED
  virtual void ProcRelease(const ua::Event&) {}  // EXOSIP_CALL_RELEASED
  virtual void ProcMessage(const ua::Event&) {}  // EXOSIP_MESSAGE_NEW
};

}  // namespace corvel
