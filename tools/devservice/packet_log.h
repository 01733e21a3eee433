// Readable log lines on stderr: one per packet received or sent, with its header and decoded
// body fields (passwords masked), plus short notes on what the service did.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "service/service_packet.h"

namespace corvel::devservice {

// "CMD_LOGIN", "RSP_ACCOUNT_STATE"...; "UNKNOWN" for numbers the protocol does not define.
const char* CommandName(std::uint32_t cmdId);

// "CMD_LOGIN(2) seq=1 sender=0x0 receiver=0x0 status=0 account=\"demo\" password=***".
std::string DescribePacket(const ServicePacket& packet);

// "a.b.c.d:port".
std::string EndpointText(Endpoint endpoint);

class PacketLog {
 public:
  // quiet drops the per-packet lines and notes; Info lines always appear.
  PacketLog(std::FILE* out, bool quiet) : out_(out), quiet_(quiet) {}

  // direction: "recv" or "send".
  void Packet(std::string_view direction, Endpoint peer, const ServicePacket& packet);
  void Note(std::string_view text);
  void Info(std::string_view text);

 private:
  void Line(std::string_view text);

  std::mutex mutex_;  // one line at a time from the service's threads
  std::FILE* const out_;
  const bool quiet_;
};

}  // namespace corvel::devservice
