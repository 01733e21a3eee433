// The SIP user-agent core: a real RFC 3261 user agent over UDP on osip2, offering the operations
// and events of the eXosip2 3.x interface that the SIP endpoint uses, with eXosip2's meaning.
//
// Threads: the core runs its own thread that receives datagrams, drives osip2's transaction state
// machines and timers and queues events. Every operation takes the core's global lock itself; an
// application may hold it (Lock/Unlock) across several operations, as eXosip_lock is held. Event
// waiting needs no lock. Quit must be called without holding the lock.
//
// Results: 0 (OSIP_SUCCESS) or a positive id for success, osip2's negative codes for failures
// (OSIP_BADPARAMETER, OSIP_WRONG_STATE, OSIP_NOTFOUND, OSIP_API_NOT_INITIALIZED ...).
// Messages are handed out and taken back as MessagePtr: a build gives the caller the message,
// a send takes it (also when it fails). No exception leaves these operations.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "sip/ua/osip_types.h"
#include "sip/ua/ua_event.h"

namespace corvel::ua {

class Core;

enum class Option {
  // 1: never answer an INVITE with 101 by itself (the default); 0: send a 101 with the To tag
  // as soon as an INVITE arrives.
  kDontSend101,
  // 1: the core runs its own thread (the default); 0: the caller drives it with RunPass (tests,
  // the fuzz driver). Set before ListenAddr.
  kOwnThread,
  // Milliseconds a 2xx waits for its ACK before the core ends the call with BYE; 32000 (64*T1)
  // by default. Shorter values are for tests.
  kAckWaitMs,
  // 1: send only to 127.x.x.x and never look a name up (the fuzz driver). Set after ListenAddr.
  kLoopbackOnly,
};

class UserAgent {
 public:
  UserAgent();
  ~UserAgent();  // quits when still running
  UserAgent(const UserAgent&) = delete;
  UserAgent& operator=(const UserAgent&) = delete;

  // --- life cycle ---
  int Init();  // 0 on success
  // protocol 17 (UDP) and family 2 (AF_INET) only; port 0 binds an ephemeral port.
  int ListenAddr(int protocol, const char* host, int port, int family, int secure);
  // Stops the thread, sends what is queued once, frees every transaction, dialog and call.
  void Quit();
  bool initialized() const;

  void Lock();
  void Unlock();

  int SetOption(Option option, int value);
  // The host (and port, 0: the listening one) written into the core's own Via, Contact and
  // Call-ID, whatever address the system would pick.
  void MasqueradeContact(const char* host, int port);
  void SetUserAgent(const std::string& text);  // default "Corvel/<version>"

  // --- events ---
  // The next event, waiting at most seconds + milliseconds; null when none came.
  EventPtr EventWait(int seconds, int milliseconds);
  // Ends the EventWait now running (or the next one) early, with no event.
  void EventWake();
  static void EventFree(EventPtr event) { event.reset(); }

  // --- registrations ---
  // A REGISTER from `from` (also the To) to the registrar URI `proxy`; contact null: the core's
  // own Contact. The same from and proxy reuse their registration (same rid, Call-ID, next CSeq).
  // The rid (> 0), or a negative code; OSIP_WRONG_STATE while a REGISTER of that registration
  // is still unanswered (RFC 3261 10.2), unless expires is 0.
  int RegisterBuildInitialRegister(const char* from, const char* proxy, const char* contact,
                                   int expires, MessagePtr* message);
  int RegisterBuildRegister(int rid, int expires, MessagePtr* message);
  // Sends through a client transaction: events EXOSIP_REGISTRATION_SUCCESS (2xx) or _FAILURE
  // (3xx-6xx, 401/407 included: the core adds no credentials; or a transport error). A REGISTER
  // that gets no answer at all ends without an event.
  int RegisterSendRegister(int rid, MessagePtr message);
  // Forgets the registration; a REGISTER in progress ends without events.
  int RegisterRemove(int rid);

  // --- calls ---
  // An INVITE to `to` from `from`; route (optional) becomes a Route header. 0 on success.
  int CallBuildInitialInvite(MessagePtr* invite, const char* to, const char* from,
                             const char* route, const char* subject);
  // The new call's cid (> 0), or a negative code. Events: PROCEEDING (100 or other 1xx),
  // RINGING (180, 183), ANSWERED (2xx: the application sends the ACK), REDIRECTED,
  // REQUESTFAILURE, SERVERFAILURE, GLOBALFAILURE (3xx-6xx, ACKed by the core), NOANSWER
  // (no answer at all), and RELEASED once the call is over.
  int CallSendInitialInvite(MessagePtr invite);
  // An answer to the request of server transaction tid (an INVITE or a request inside a call);
  // 18x and 2xx answers to an INVITE carry the call's To tag, Contact and Record-Route.
  int CallBuildAnswer(int tid, int status, MessagePtr* answer);
  // Sends answer, or with a null answer one built for status. A 2xx to an INVITE is
  // retransmitted until its ACK (event EXOSIP_CALL_ACK) or 32 s, after which the core ends the
  // call with BYE.
  int CallSendAnswer(int tid, int status, MessagePtr answer);
  // The ACK for the 2xx of dialog did; the core resends it when the 2xx comes again.
  int CallBuildAck(int did, MessagePtr* ack);
  int CallSendAck(int did, MessagePtr ack);
  // A request inside dialog did (BYE, INFO, OPTIONS ...; not INVITE).
  int CallBuildRequest(int did, const char* method, MessagePtr* request);
  int CallSendRequest(int did, MessagePtr request);
  // Ends a call: CANCEL of an unanswered outgoing INVITE (once a 1xx allows it), 603 to an
  // unanswered incoming one, BYE on a confirmed dialog that has not seen one yet.
  int CallTerminate(int cid, int did);

  // The SDP bodies of dialog did: the remote one (the answer to our INVITE, or the offer of the
  // INVITE we received) and our own. Null when there is none or it does not parse.
  SdpPtr GetRemoteSdp(int did);
  SdpPtr GetLocalSdp(int did);

  // True while the core still holds call cid (not yet released).
  bool CallAlive(int cid);

  // Where the request of server transaction tid came from; false when unknown.
  bool GetRequestSource(int tid, std::string* host, int* port);

  // Sends message once over the core's socket to host:port, without a transaction, and frees
  // it. Bytes sent, or a negative code.
  int SendDirect(MessagePtr message, const char* host, int port);

  // --- for tests and the fuzz driver ---
  // Handles one datagram as if it had arrived from host:port, then runs the state machines.
  void InjectDatagram(const char* bytes, std::size_t length, const char* host, int port);
  // One pass of the core (receive, state machines, timers), waiting up to waitMs for traffic.
  // Only with kOwnThread 0.
  void RunPass(int waitMs);
  std::size_t TransactionCount();
  std::size_t CallCount();
  std::size_t DialogCount();
  std::size_t RegistrationCount();
  std::size_t RejectedDatagrams();
  int listeningPort();
  std::string listeningHost();

 private:
  const std::unique_ptr<Core> core_;
};

}  // namespace corvel::ua
