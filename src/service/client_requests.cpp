#include "service/client_requests.h"

#include <string>

#include "app/format.h"
#include "service/packet_body.h"
#include "service/service_command.h"

namespace corvel {
namespace {

constexpr std::size_t kAccountWidth = 50;
constexpr std::size_t kNumberWidth = 15;

// The member identifier as the 32-bit number it came from (its text may carry any sign).
std::uint32_t MemberNumber(std::string_view memberId) {
  std::size_t i = 0;
  const bool negative = !memberId.empty() && memberId[0] == '-';
  if (negative || (!memberId.empty() && memberId[0] == '+')) i = 1;
  std::uint64_t value = 0;
  for (; i < memberId.size() && memberId[i] >= '0' && memberId[i] <= '9'; ++i) {
    value = (value * 10 + static_cast<std::uint64_t>(memberId[i] - '0')) & 0xFFFFFFFFull;
  }
  return static_cast<std::uint32_t>(negative ? 0 - value : value);
}

ServicePacket Packet(std::uint32_t cmdId, std::uint32_t status, const BodyWriter& body) {
  ServicePacket packet;
  packet.cmdId = cmdId;
  packet.status = status;
  body.Into(packet);
  return packet;
}

ServicePacket AccountOnly(std::uint32_t cmdId, std::uint32_t status, std::string_view account) {
  return Packet(cmdId, status, BodyWriter(50).Text(0, kAccountWidth, account));
}

}  // namespace

ServicePacket KeepAliveRequest(std::string_view account, bool inConversation) {
  return AccountOnly(CMD_KEEPALIVE, inConversation ? 1 : 0, account);
}

ServicePacket LoginRequest(std::string_view account, std::string_view password) {
  return Packet(CMD_LOGIN, 0,
                BodyWriter(65).Text(0, kAccountWidth, account).Text(50, kNumberWidth, password));
}

ServicePacket LogOffRequest(std::string_view account) {
  return AccountOnly(CMD_LOGOFF, 0, account);
}

ServicePacket CallStartRequest(std::string_view account, std::string_view dialledNumber) {
  return Packet(
      CMD_CALL_START, 0,
      BodyWriter(65).Text(0, kAccountWidth, account).Text(50, kNumberWidth, dialledNumber));
}

ServicePacket CallEndRequest(std::string_view account) {
  return AccountOnly(CMD_CALL_END, 0, account);
}

ServicePacket CallbackRequest(std::string_view account, std::string_view number, CallbackKind kind,
                              std::string_view conferenceId) {
  const bool conference = kind == CallbackKind::kConference;
  BodyWriter body(conference ? 96 : 66);
  body.Text(0, kAccountWidth, account)
      .Text(50, kNumberWidth, number)
      .Byte(65, static_cast<std::uint8_t>(kind));
  if (conference) body.Text(66, 30, conferenceId);
  return Packet(CMD_CALLBACK, 0, body);
}

ServicePacket AreaQueryRequest(std::string_view number) {
  return Packet(CMD_AREA_QUERY, 0,
                BodyWriter(97)
                    .Byte(0, 1)
                    .Text(1, 32, number)
                    .Text(33, 32, kOwnAreaCode)
                    .Text(65, 32, kOwnAreaName));
}

ServicePacket ConferenceMemberRequest(ConferenceOp op, std::string_view memberPhone,
                                      std::string_view memberId) {
  ServicePacket packet = Packet(CMD_CONF_MEMBER, 0,
                                BodyWriter(46)
                                    .Byte(0, static_cast<std::uint8_t>(op))
                                    .Text(1, 15, memberPhone)
                                    .Text(16, 30, memberId));
  packet.receiver = MemberNumber(memberId);
  return packet;
}

ServicePacket ConferenceLeaveRequest(std::string_view account, std::string_view memberPhone,
                                     std::string_view memberId) {
  ServicePacket packet = Packet(CMD_CONF_MEMBER, 0,
                                BodyWriter(96)
                                    .Text(0, kAccountWidth, account)
                                    .Text(50, kNumberWidth, memberPhone)
                                    .Byte(65, 1)
                                    .Text(66, 30, memberId));
  packet.receiver = MemberNumber(memberId);
  return packet;
}

bool CallIsReported(std::string_view dialledNumber, std::string_view sipNumber) {
  const bool insideService = dialledNumber.size() == 8 && sipNumber.size() >= 2 &&
                             dialledNumber.substr(0, 2) == sipNumber.substr(0, 2);
  return !insideService;
}

std::string ConferenceId(std::uint32_t tick, std::uint32_t clientId) {
  return Format("CONF%08X%08X", tick, clientId);
}

}  // namespace corvel
