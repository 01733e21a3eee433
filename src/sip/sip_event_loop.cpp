// The SIP event thread: sweeps stale calls, waits on the stack in short slices while a call could
// go stale (in longer ones while calls are connected, and for the next event when there are
// none), logs every event and dispatches it under the stack lock.
#include "sip/sip_server.h"

#include "media/toolkit/host_address.h"

namespace corvel {

void SipServer::EventLoop(const std::atomic<bool>& running) {
  while (state_ == 1 && running) {
    if (SipCallHandlers* handlers = handlers_) handlers->ReleaseStaleCalls();
    // An idle endpoint sleeps until something happens: a new call wakes the wait (WakeEventLoop).
    const int waitMs = calls_.AnyUnconnected() ? kEventWaitMs
                       : calls_.count() > 0    ? kConnectedEventWaitMs
                                               : kIdleEventWaitMs;
    ua::EventPtr event = stack_.EventWait(0, waitMs);
    if (!event) continue;
    LogEvent(*event);
    Lock();
    Dispatch(*event);
    Unlock();
    ua::UserAgent::EventFree(std::move(event));
  }
}

void SipServer::WakeEventLoop() {
  stack_.EventWake();
}

void SipServer::LogEvent(const ua::Event& event) {
  const char* name = ua::EventTypeName(event.type);
  switch (event.type) {
    case ua::EXOSIP_REGISTRATION_NEW:
    case ua::EXOSIP_REGISTRATION_SUCCESS:
    case ua::EXOSIP_REGISTRATION_FAILURE:
      Log("[SIPEVENT] %s rid:%d tid:%d cid:%d did:%d\n", name, event.rid, event.tid, event.cid,
          event.did);
      return;
    case ua::EXOSIP_MESSAGE_NEW: {
      // Anyone may send a request outside a call: at most a few lines per source and interval.
      const uint64_t source = static_cast<uint64_t>(Ipv4FromText(event.sourceHost).value_or(0))
                                  << 16 |
                              static_cast<uint16_t>(event.sourcePort);
      strangerLineAdmitted_ = strangerLog_.Admit(source) != 0;
      if (!strangerLineAdmitted_) return;
      Log("[SIPEVENT] %s tid:%d cid:%d did:%d\n", name, event.tid, event.cid, event.did);
      return;
    }
    case ua::EXOSIP_CALL_INVITE:
    case ua::EXOSIP_CALL_NOANSWER:
    case ua::EXOSIP_CALL_PROCEEDING:
    case ua::EXOSIP_CALL_RINGING:
    case ua::EXOSIP_CALL_ANSWERED:
    case ua::EXOSIP_CALL_REQUESTFAILURE:
    case ua::EXOSIP_CALL_SERVERFAILURE:
    case ua::EXOSIP_CALL_GLOBALFAILURE:
    case ua::EXOSIP_CALL_ACK:
    case ua::EXOSIP_CALL_MESSAGE_NEW:
    case ua::EXOSIP_CALL_CLOSED:
    case ua::EXOSIP_CALL_RELEASED:
    case ua::EXOSIP_MESSAGE_ANSWERED:
      Log("[SIPEVENT] %s tid:%d cid:%d did:%d\n", name, event.tid, event.cid, event.did);
      return;
    default:
      Log("[SIPEVENT] UNKNOWN:%d TextInfo:%s tid:%d cid:%d did:%d\n", static_cast<int>(event.type),
          event.textinfo.c_str(), event.tid, event.cid, event.did);
      return;
  }
}

void SipServer::Dispatch(const ua::Event& event) {
  switch (event.type) {
    case ua::EXOSIP_REGISTRATION_SUCCESS:
    case ua::EXOSIP_REGISTRATION_FAILURE:
      ProcRegistAnswer(event);
      return;
    default:
      break;
  }
  SipCallHandlers* handlers = handlers_;
  if (handlers == nullptr) return;
  switch (event.type) {
    case ua::EXOSIP_CALL_INVITE:
      handlers->ProcInvite(event);
      return;
    case ua::EXOSIP_CALL_RINGING:
      handlers->ProcRinging(event);
      return;
    case ua::EXOSIP_CALL_ANSWERED:
    case ua::EXOSIP_CALL_REQUESTFAILURE:
    case ua::EXOSIP_CALL_SERVERFAILURE:
    case ua::EXOSIP_CALL_GLOBALFAILURE:
      handlers->ProcAnswer(event);
      return;
    case ua::EXOSIP_CALL_ACK:
      handlers->ProcAck(event);
      return;
    case ua::EXOSIP_CALL_CLOSED:
      handlers->ProcBye(event);
      return;
    case ua::EXOSIP_CALL_RELEASED:
      handlers->ProcRelease(event);
      return;
    case ua::EXOSIP_MESSAGE_NEW:
      handlers->ProcMessage(event);
      return;
    default:
      return;
  }
}

}  // namespace corvel
