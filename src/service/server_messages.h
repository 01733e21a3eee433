// What the account server sends: the answers and notifications the client acts on, read by
// their field offsets, and built the same way for the development service and the tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "service/service_packet.h"

namespace corvel {

// RSP_ACCOUNT_STATE (answer to the keep-alive).
struct AccountState {
  std::uint32_t status = 0;  // 6: logged off by the service
  std::string balance;
};

// RSP_LOGIN. The body is only meaningful for status 0 and 1.
struct LoginAnswer {
  std::uint32_t clientId = 0;
  std::uint32_t status = 0;
  std::string balance;
  std::string linkedPhone;
  std::string sipNumber;
  std::string codeTable;
};

// RSP_CALL_START: status 3 accepted (with the balance); 0, 1, 2 refused.
struct CallStartAnswer {
  std::uint32_t status = 0;
  std::string balance;
};

// RSP_AREA_QUERY.
struct AreaAnswer {
  std::uint32_t status = 0;
  std::int8_t mode = 0;
  std::string number;
  std::string areaCode;
  std::string areaName;
};

// NTF_CONF_MEMBER: status 2 when the member has left.
struct ConferenceMemberNotice {
  std::uint32_t status = 0;
  std::uint32_t memberId = 0;
  std::string phone;  // the whole body up to its first zero byte, untrimmed
};

AccountState ReadAccountState(const ServicePacket& packet);
LoginAnswer ReadLoginAnswer(const ServicePacket& packet);
CallStartAnswer ReadCallStartAnswer(const ServicePacket& packet);
AreaAnswer ReadAreaAnswer(const ServicePacket& packet);
ConferenceMemberNotice ReadConferenceMemberNotice(const ServicePacket& packet);

ServicePacket AccountStatePacket(const AccountState& state);
// Status 0 and 1 carry the body; other results an empty one.
ServicePacket LoginAnswerPacket(const LoginAnswer& answer);
ServicePacket CallStartAnswerPacket(const CallStartAnswer& answer);
ServicePacket CallbackAnswerPacket(std::uint32_t status);
ServicePacket AreaAnswerPacket(const AreaAnswer& answer);
ServicePacket CallbackIdNotice(std::uint32_t callbackId);
ServicePacket ConferenceMemberNoticePacket(const ConferenceMemberNotice& notice);
// Status 0: balance exhausted; 1: network fault.
ServicePacket ServiceStopNotice(std::uint32_t status);

// The text fields of client requests, as the server reads them.
struct RequestFields {
  std::string account;       // 0..50
  std::string second;        // 50..65: password, number
  std::uint8_t kind = 0;     // byte 65 of a call-back
  std::string conferenceId;  // 66..96 of a conference call-back
};
RequestFields ReadRequestFields(const ServicePacket& packet);

}  // namespace corvel
