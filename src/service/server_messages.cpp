#include "service/server_messages.h"

#include "media/toolkit/text_codec.h"
#include "service/packet_body.h"
#include "service/service_command.h"

namespace corvel {
namespace {

ServicePacket Packet(std::uint32_t cmdId, std::uint32_t status) {
  ServicePacket packet;
  packet.cmdId = cmdId;
  packet.status = status;
  return packet;
}

}  // namespace

AccountState ReadAccountState(const ServicePacket& packet) {
  return AccountState{packet.status, ReadField(packet, 0, 12)};
}

LoginAnswer ReadLoginAnswer(const ServicePacket& packet) {
  LoginAnswer answer;
  answer.clientId = packet.receiver;
  answer.status = packet.status;
  answer.balance = ReadField(packet, 0, 12);
  answer.linkedPhone = ReadField(packet, 12, 15);
  answer.sipNumber = ReadField(packet, 27, 15);
  answer.codeTable = ReadField(packet, 42, 100);
  return answer;
}

CallStartAnswer ReadCallStartAnswer(const ServicePacket& packet) {
  return CallStartAnswer{packet.status, ReadField(packet, 0, 12)};
}

AreaAnswer ReadAreaAnswer(const ServicePacket& packet) {
  AreaAnswer answer;
  answer.status = packet.status;
  answer.mode = static_cast<std::int8_t>(ReadByte(packet, 0));
  answer.number = ReadField(packet, 1, 32);
  answer.areaCode = ReadField(packet, 33, 32);
  answer.areaName = ReadField(packet, 65, 32);
  return answer;
}

ConferenceMemberNotice ReadConferenceMemberNotice(const ServicePacket& packet) {
  ConferenceMemberNotice notice;
  notice.status = packet.status;
  notice.memberId = packet.receiver;
  notice.phone = packet.bodyText();  // not trimmed: the whole body up to its first zero byte
  return notice;
}

ServicePacket AccountStatePacket(const AccountState& state) {
  ServicePacket packet = Packet(RSP_ACCOUNT_STATE, state.status);
  BodyWriter(12).Text(0, 12, state.balance).Into(packet);
  return packet;
}

ServicePacket LoginAnswerPacket(const LoginAnswer& answer) {
  ServicePacket packet = Packet(RSP_LOGIN, answer.status);
  packet.receiver = answer.clientId;
  if (answer.status <= 1) {
    BodyWriter(142)
        .Text(0, 12, answer.balance)
        .Text(12, 15, answer.linkedPhone)
        .Text(27, 15, answer.sipNumber)
        .Text(42, 100, answer.codeTable)
        .Into(packet);
  }
  return packet;
}

ServicePacket CallStartAnswerPacket(const CallStartAnswer& answer) {
  ServicePacket packet = Packet(RSP_CALL_START, answer.status);
  BodyWriter(12).Text(0, 12, answer.balance).Into(packet);
  return packet;
}

ServicePacket CallbackAnswerPacket(std::uint32_t status) {
  return Packet(RSP_CALLBACK, status);
}

ServicePacket AreaAnswerPacket(const AreaAnswer& answer) {
  ServicePacket packet = Packet(RSP_AREA_QUERY, answer.status);
  BodyWriter(97)
      .Byte(0, static_cast<std::uint8_t>(answer.mode))
      .Text(1, 32, answer.number)
      .Text(33, 32, answer.areaCode)
      .Text(65, 32, answer.areaName)
      .Into(packet);
  return packet;
}

ServicePacket CallbackIdNotice(std::uint32_t callbackId) {
  ServicePacket packet = Packet(NTF_CALLBACK_ID, 0);
  packet.receiver = callbackId;
  return packet;
}

ServicePacket ConferenceMemberNoticePacket(const ConferenceMemberNotice& notice) {
  ServicePacket packet = Packet(NTF_CONF_MEMBER, notice.status);
  packet.receiver = notice.memberId;
  const std::string gbk = Utf8ToGbk(notice.phone);
  packet.SetBody(gbk.data(), static_cast<int>(gbk.size()));
  return packet;
}

ServicePacket ServiceStopNotice(std::uint32_t status) {
  return Packet(NTF_SERVICE_STOP, status);
}

RequestFields ReadRequestFields(const ServicePacket& packet) {
  RequestFields fields;
  fields.account = ReadField(packet, 0, 50);
  fields.second = ReadField(packet, 50, 15);
  fields.kind = ReadByte(packet, 65);
  fields.conferenceId = ReadField(packet, 66, 30);
  return fields;
}

}  // namespace corvel
