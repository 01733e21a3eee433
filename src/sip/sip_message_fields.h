// The fields of a SIP message that the call side reads: the Call-ID and the From and To users.
#pragma once

#include <optional>
#include <string>

#include "sip/sip_call.h"
#include "sip/ua/osip_types.h"

namespace corvel {

// None when the message has no Call-ID number.
inline std::optional<CallId> CallIdOf(const osip_message_t* message) {
  if (message == nullptr || message->call_id == nullptr || message->call_id->number == nullptr) {
    return std::nullopt;
  }
  const osip_call_id_t* id = message->call_id;
  return CallId{id->number, id->host != nullptr ? id->host : ""};
}

// The user part of a From or To header; none when the header, its URL or the user is missing.
inline std::optional<std::string> UserOf(const osip_from_t* header) {
  if (header == nullptr || header->url == nullptr || header->url->username == nullptr) {
    return std::nullopt;
  }
  return std::string(header->url->username);
}

}  // namespace corvel
