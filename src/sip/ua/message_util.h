// Small read-only questions about osip messages that every part of the core asks.
#pragma once

#include <string>

#include "sip/ua/osip_types.h"

namespace corvel::ua {

bool HasToTag(const osip_message_t* message);
// The CSeq number, 0 when missing or not a number.
int CseqNumber(const osip_message_t* message);
// The request method, or the CSeq method of a response; empty when missing.
std::string MethodOf(const osip_message_t* message);
bool IsRequest(const osip_message_t* message, const char* method);
// The top Via's branch parameter; empty when there is none.
std::string TopBranch(const osip_message_t* message);
bool SameCallId(const osip_message_t* a, const osip_message_t* b);
// The message carries every header a transaction needs (Via with a host, From and To with a
// URI, Call-ID, CSeq with number and method) and, for a request, a Request-URI and a CSeq
// method equal to the request's.
bool IsWellFormed(const osip_message_t* message);
// Where a request goes next: its first Route when that route is loose (";lr"), else the
// Request-URI; port 5060 when none is given. False without a usable host.
bool NextHop(const osip_message_t* request, std::string* host, int* port);
// A URI from "sip:..." or "Name <sip:...>"; null when it does not parse.
UriPtr ParseUri(const std::string& text);
// The first body's text; null when there is none.
const char* BodyText(const osip_message_t* message);

}  // namespace corvel::ua
