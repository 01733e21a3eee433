#include "packet_log.h"

#include <chrono>
#include <ctime>

#include "app/format.h"
#include "media/toolkit/host_address.h"
#include "service/packet_body.h"
#include "service/service_command.h"

namespace corvel::devservice {
namespace {

constexpr std::size_t kUnknownBodyShown = 64;

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out += Format("\\x%02X", static_cast<unsigned char>(c));
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Field(const char* name, const std::string& value) {
  return std::string(" ") + name + "=" + Quoted(value);
}

std::string AccountField(const ServicePacket& p) {
  return Field("account", ReadField(p, 0, 50));
}

std::string AreaFields(const ServicePacket& p) {
  return Format(" mode=%u", ReadByte(p, 0)) + Field("number", ReadField(p, 1, 32)) +
         Field("areaCode", ReadField(p, 33, 32)) + Field("areaName", ReadField(p, 65, 32));
}

std::string ConferenceFields(const ServicePacket& p) {
  if (p.bodyLength() >= 96) {
    return " form=long" + AccountField(p) + Field("phone", ReadField(p, 50, 15)) +
           Format(" flag=%u", ReadByte(p, 65)) + Field("memberId", ReadField(p, 66, 30));
  }
  return Format(" form=short op=%u", ReadByte(p, 0)) + Field("phone", ReadField(p, 1, 15)) +
         Field("memberId", ReadField(p, 16, 30));
}

std::string BodyFields(const ServicePacket& p) {
  switch (p.cmdId) {
    case CMD_KEEPALIVE:
    case CMD_LOGOFF:
    case CMD_CALL_END:
      return AccountField(p);
    case CMD_LOGIN:
      return AccountField(p) + " password=***";
    case CMD_CALL_START:
      return AccountField(p) + Field("number", ReadField(p, 50, 15));
    case CMD_CALLBACK: {
      std::string text = AccountField(p) + Field("number", ReadField(p, 50, 15)) +
                         Format(" kind=%u", ReadByte(p, 65));
      if (ReadByte(p, 65) == 2) text += Field("conferenceId", ReadField(p, 66, 30));
      return text;
    }
    case CMD_AREA_QUERY:
    case RSP_AREA_QUERY:
      return AreaFields(p);
    case CMD_CONF_MEMBER:
      return ConferenceFields(p);
    case RSP_ACCOUNT_STATE:
    case RSP_CALL_START:
      return Field("balance", ReadField(p, 0, 12));
    case RSP_LOGIN:
      if (p.bodyLength() == 0) return {};
      return Field("balance", ReadField(p, 0, 12)) + Field("linkedPhone", ReadField(p, 12, 15)) +
             Field("sipNumber", ReadField(p, 27, 15)) + Field("codeTable", ReadField(p, 42, 100));
    case NTF_CONF_MEMBER:
      return Field("phone", p.bodyText());
    case RSP_CALLBACK:
    case NTF_CALLBACK_ID:
    case NTF_SERVICE_STOP:
      return {};
    default:
      if (p.bodyLength() == 0) return {};
      return Format(" bodyLength=%zu", p.bodyLength()) +
             Field("body", p.bodyText().substr(0, kUnknownBodyShown));
  }
}

std::string Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  return Format("%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(millis));
}

}  // namespace

const char* CommandName(std::uint32_t cmdId) {
  switch (cmdId) {
    case CMD_KEEPALIVE:
      return "CMD_KEEPALIVE";
    case CMD_LOGIN:
      return "CMD_LOGIN";
    case CMD_LOGOFF:
      return "CMD_LOGOFF";
    case CMD_CALL_START:
      return "CMD_CALL_START";
    case CMD_CALL_END:
      return "CMD_CALL_END";
    case CMD_CALLBACK:
      return "CMD_CALLBACK";
    case CMD_AREA_QUERY:
      return "CMD_AREA_QUERY";
    case CMD_CONF_MEMBER:
      return "CMD_CONF_MEMBER";
    case RSP_ACCOUNT_STATE:
      return "RSP_ACCOUNT_STATE";
    case RSP_LOGIN:
      return "RSP_LOGIN";
    case RSP_CALL_START:
      return "RSP_CALL_START";
    case RSP_CALLBACK:
      return "RSP_CALLBACK";
    case RSP_AREA_QUERY:
      return "RSP_AREA_QUERY";
    case NTF_CALLBACK_ID:
      return "NTF_CALLBACK_ID";
    case NTF_CONF_MEMBER:
      return "NTF_CONF_MEMBER";
    case NTF_SERVICE_STOP:
      return "NTF_SERVICE_STOP";
    default:
      return "UNKNOWN";
  }
}

std::string DescribePacket(const ServicePacket& packet) {
  return Format("%s(%u) seq=%u sender=0x%X receiver=0x%X status=%u", CommandName(packet.cmdId),
                packet.cmdId, packet.seqId, packet.sender, packet.receiver, packet.status) +
         BodyFields(packet);
}

std::string EndpointText(Endpoint endpoint) {
  return Ipv4ToText(endpoint.address) + ":" + std::to_string(endpoint.port);
}

void PacketLog::Packet(std::string_view direction, Endpoint peer, const ServicePacket& packet) {
  if (quiet_) return;
  Line(std::string(direction) + " " + EndpointText(peer) + " " + DescribePacket(packet));
}

void PacketLog::Note(std::string_view text) {
  if (!quiet_) Line(text);
}

void PacketLog::Info(std::string_view text) {
  Line(text);
}

void PacketLog::Line(std::string_view text) {
  const std::string line = Now() + " " + std::string(text) + "\n";
  const std::lock_guard lock(mutex_);
  std::fputs(line.c_str(), out_);
  std::fflush(out_);
}

}  // namespace corvel::devservice
