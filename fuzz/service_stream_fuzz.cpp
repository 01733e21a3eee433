// Datagrams from the account server's address: the assembler must cut them into packets without
// reading outside them, every packet it hands on must hold together, and the readers of every
// answer and notification must take any body. The input is a run of datagrams, each led by its
// size as two big-endian bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "service/packet_assembler.h"
#include "service/packet_body.h"
#include "service/server_messages.h"
#include "service/service_packet.h"

using corvel::PacketAssembler;

namespace {

void Check(const corvel::ServicePacket& packet) {
  using corvel::ServicePacket;
  const std::size_t bodySize = packet.bodyLength();
  if (packet.length < ServicePacket::kEmptyLength ||
      bodySize != packet.length - ServicePacket::kEmptyLength || bodySize >= packet.body.size() ||
      packet.body[bodySize] != 0) {
    __builtin_trap();
  }
  corvel::ServicePacket copy = packet;
  std::uint8_t wire[PacketAssembler::kMaxPacket + ServicePacket::kEmptyLength];
  const std::size_t n = copy.Serialize(wire, sizeof wire);
  corvel::ServicePacket again;
  if (n != packet.length || again.Parse(wire, n) != static_cast<int>(bodySize) ||
      again.cmdId != packet.cmdId || again.status != packet.status ||
      again.bodyBytes() != packet.bodyBytes()) {
    __builtin_trap();
  }
  (void)corvel::ReadAccountState(packet);
  (void)corvel::ReadLoginAnswer(packet);
  (void)corvel::ReadCallStartAnswer(packet);
  (void)corvel::ReadAreaAnswer(packet);
  (void)corvel::ReadConferenceMemberNotice(packet);
  (void)corvel::ReadRequestFields(packet);
  (void)packet.bodyText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PacketAssembler assembler(corvel::Endpoint{0x7F000001, 6000},
                            [](const corvel::ServicePacket& packet) { Check(packet); });
  while (size >= 2) {
    std::size_t n = static_cast<std::size_t>(data[0]) << 8 | data[1];
    data += 2;
    size -= 2;
    if (n > size) n = size;
    assembler.HandleDatagram(data, n, corvel::Endpoint{0x7F000001, 3905});
    if (assembler.pendingHave() > PacketAssembler::kMaxPacket) __builtin_trap();
    data += n;
    size -= n;
  }
  return 0;
}
