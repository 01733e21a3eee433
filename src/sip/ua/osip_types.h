// osip2's C objects held by RAII: every owned message, event, dialog, transaction and SDP body of
// the user-agent core sits in one of these. osip2 needs <sys/time.h> and <ctime> first.
#pragma once

#include <sys/time.h>

#include <ctime>
#include <memory>
#include <string>

#include <osip2/osip.h>
#include <osip2/osip_dialog.h>
#include <osipparser2/osip_parser.h>
#include <osipparser2/sdp_message.h>

namespace corvel::ua {

struct MessageDeleter {
  void operator()(osip_message_t* message) const { osip_message_free(message); }
};
struct OsipEventDeleter {
  void operator()(osip_event_t* event) const { osip_event_free(event); }
};
struct DialogDeleter {
  void operator()(osip_dialog_t* dialog) const { osip_dialog_free(dialog); }
};
// Removes the transaction from osip's lists (if it is still in one) and frees it.
struct TransactionDeleter {
  void operator()(osip_transaction_t* transaction) const { osip_transaction_free(transaction); }
};
struct UriDeleter {
  void operator()(osip_uri_t* uri) const { osip_uri_free(uri); }
};
struct SdpDeleter {
  void operator()(sdp_message_t* sdp) const { sdp_message_free(sdp); }
};
struct OsipFree {
  void operator()(char* text) const { osip_free(text); }
};

using MessagePtr = std::unique_ptr<osip_message_t, MessageDeleter>;
using OsipEventPtr = std::unique_ptr<osip_event_t, OsipEventDeleter>;
using DialogPtr = std::unique_ptr<osip_dialog_t, DialogDeleter>;
using TransactionPtr = std::unique_ptr<osip_transaction_t, TransactionDeleter>;
using SdpPtr = std::unique_ptr<sdp_message_t, SdpDeleter>;
using UriPtr = std::unique_ptr<osip_uri_t, UriDeleter>;
using OsipText = std::unique_ptr<char, OsipFree>;

// A deep copy of message, or null when message is null or memory is short.
inline MessagePtr CloneMessage(const osip_message_t* message) {
  if (message == nullptr) return nullptr;
  osip_message_t* copy = nullptr;
  if (osip_message_clone(message, &copy) != 0) return nullptr;
  return MessagePtr(copy);
}

// The message as it goes on the wire; empty when it cannot be serialised.
inline std::string MessageText(osip_message_t* message) {
  if (message == nullptr) return {};
  osip_message_force_update(message);
  char* text = nullptr;
  size_t length = 0;
  if (osip_message_to_str(message, &text, &length) != 0 || text == nullptr) return {};
  const OsipText owned(text);
  return std::string(text, length);
}

// osip's own copy of a C string, for the setters that take ownership.
inline char* OsipCopy(const std::string& text) {
  return osip_strdup(text.c_str());
}

}  // namespace corvel::ua
