// What the user-agent core reports: the event types (numbered as eXosip2 3.x numbers them, the
// numbers the endpoint's log lines and dispatch rely on) and one event with its identifiers.
#pragma once

#include <memory>
#include <string>

#include "sip/ua/osip_types.h"

namespace corvel::ua {

enum EventType : int {
  EXOSIP_REGISTRATION_NEW = 0,
  EXOSIP_REGISTRATION_SUCCESS = 1,
  EXOSIP_REGISTRATION_FAILURE = 2,
  EXOSIP_REGISTRATION_REFRESHED = 3,
  EXOSIP_REGISTRATION_TERMINATED = 4,
  EXOSIP_CALL_INVITE = 5,
  EXOSIP_CALL_REINVITE = 6,
  EXOSIP_CALL_NOANSWER = 7,
  EXOSIP_CALL_PROCEEDING = 8,
  EXOSIP_CALL_RINGING = 9,
  EXOSIP_CALL_ANSWERED = 10,
  EXOSIP_CALL_REDIRECTED = 11,
  EXOSIP_CALL_REQUESTFAILURE = 12,
  EXOSIP_CALL_SERVERFAILURE = 13,
  EXOSIP_CALL_GLOBALFAILURE = 14,
  EXOSIP_CALL_ACK = 15,
  EXOSIP_CALL_CANCELLED = 16,
  EXOSIP_CALL_TIMEOUT = 17,
  EXOSIP_CALL_MESSAGE_NEW = 18,
  EXOSIP_CALL_MESSAGE_PROCEEDING = 19,
  EXOSIP_CALL_MESSAGE_ANSWERED = 20,
  EXOSIP_CALL_MESSAGE_REDIRECTED = 21,
  EXOSIP_CALL_MESSAGE_REQUESTFAILURE = 22,
  EXOSIP_CALL_MESSAGE_SERVERFAILURE = 23,
  EXOSIP_CALL_MESSAGE_GLOBALFAILURE = 24,
  EXOSIP_CALL_CLOSED = 25,
  EXOSIP_CALL_RELEASED = 26,
  EXOSIP_MESSAGE_NEW = 27,
  EXOSIP_MESSAGE_PROCEEDING = 28,
  EXOSIP_MESSAGE_ANSWERED = 29,
  EXOSIP_MESSAGE_REDIRECTED = 30,
  EXOSIP_MESSAGE_REQUESTFAILURE = 31,
  EXOSIP_MESSAGE_SERVERFAILURE = 32,
  EXOSIP_MESSAGE_GLOBALFAILURE = 33,
};

// The name of a type ("EXOSIP_CALL_INVITE"), or "UNKNOWN" for a number outside the list.
const char* EventTypeName(int type);

// One report of the core. Identifiers are 0 when they do not apply: tid the transaction, cid the
// call, did the dialog, rid the registration. The messages are the core's own copies.
struct Event {
  EventType type = EXOSIP_REGISTRATION_NEW;
  std::string textinfo;  // a short human-readable description
  int tid = 0;
  int cid = 0;
  int did = 0;
  int rid = 0;
  MessagePtr request;   // the request of the transaction (the INVITE, BYE, REGISTER ...)
  MessagePtr response;  // the response that caused the event, when there is one
  MessagePtr ack;       // the ACK, for EXOSIP_CALL_ACK
  // Where the datagram of a received request came from (dotted address, port); empty and 0 for
  // events about responses.
  std::string sourceHost;
  int sourcePort = 0;
};

using EventPtr = std::unique_ptr<Event>;

}  // namespace corvel::ua
