// The requests the client sends to the account server, with their exact body layouts.
// Sender is left 0: the network module stamps the client identifier when it sends.
#pragma once

#include <cstdint>
#include <string_view>

#include "service/service_packet.h"

namespace corvel {

enum class CallbackKind : std::uint8_t { kCallback = 1, kConference = 2 };

enum class ConferenceOp : std::uint8_t { kEnd = 1, kMute = 2, kUnmute = 3 };

// Status 1 while the main window's call is in conversation.
ServicePacket KeepAliveRequest(std::string_view account, bool inConversation);
// The password travels as typed.
ServicePacket LoginRequest(std::string_view account, std::string_view password);
ServicePacket LogOffRequest(std::string_view account);
ServicePacket CallStartRequest(std::string_view account, std::string_view dialledNumber);
ServicePacket CallEndRequest(std::string_view account);
// kCallback: N = 66; kConference: N = 96 with the conference identifier at 66..96.
ServicePacket CallbackRequest(std::string_view account, std::string_view number, CallbackKind kind,
                              std::string_view conferenceId = {});
ServicePacket AreaQueryRequest(std::string_view number);
// Short form: end of conference, mute, unmute one member.
ServicePacket ConferenceMemberRequest(ConferenceOp op, std::string_view memberPhone,
                                      std::string_view memberId);
// Long form: a member leaves the conference.
ServicePacket ConferenceLeaveRequest(std::string_view account, std::string_view memberPhone,
                                     std::string_view memberId);

// Whether a call to dialledNumber is reported to the service: not for 8-character numbers
// sharing their first two characters with the account's SIP number (calls inside the service).
bool CallIsReported(std::string_view dialledNumber, std::string_view sipNumber);

// The conference identifier "CONF%08X%08X" from the tick count and the client identifier.
std::string ConferenceId(std::uint32_t tick, std::uint32_t clientId);

inline constexpr std::string_view kOwnAreaCode = "021";
inline constexpr std::string_view kOwnAreaName = "上海市";

}  // namespace corvel
